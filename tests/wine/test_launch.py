#!/usr/bin/python3
"""tarnwick.exe under Wine: the launch with the registry's current runtime.

The child's exact command line on Windows XP and Windows 7, its starting
directory, the output file, the launcher directory for the different ways of
starting the launcher, relaunch on 999 and the launcher's exit code.
"""
import random

import harness as h
from harness import HOME_PLAIN, HOME_SPACE, WINDOWS_7, WINDOWS_XP, launch_output

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"
JAVAW_QUOTED = '"%s"' % JAVAW


class WorkedExample(h.WineTestCase):
    """Registry 1.6 -> a home holding the test child; the launcher started by
    its drive-qualified path with -Dapp.mode=test hello "two words"."""

    ARGS = ["-Dapp.mode=test", "hello", "two words"]
    # Runtime path, blank, the JVM parameter and its blank, nothing for the
    # empty class path (not even "-classpath") and the unset main class, the
    # blank before the arguments, each argument followed by a blank.
    EXPECTED = {
        WINDOWS_XP: JAVAW + ' -Dapp.mode=test  hello "two words" ',
        WINDOWS_7: JAVAW_QUOTED + ' -Dapp.mode=test  "hello" "two words" ',
    }

    def test_child_command_line_directory_and_output_file(self):
        for windows, command_line in self.EXPECTED.items():
            with self.subTest(windows=windows):
                sc = self.scenario(windows, windows=windows)
                r = sc.run(["-o"] + self.ARGS)
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.boxes, [], r)
                self.assertSingleLaunch(r, command_line, sc.app_dir)
                self.assertEqual(r.children[0].argv[1:],
                                 [b"-Dapp.mode=test", b"hello", b"two words"])
                self.assertEqual(r.stdout, launch_output(command_line))
                self.assertEqual(r.stderr, b"")
                # Written in the launcher's directory, three CRLF lines.
                self.assertEqual(r.files, {r"app\tarnwick.out": launch_output(command_line)})

    def test_no_output_file_without_o(self):
        sc = self.scenario(windows=WINDOWS_XP)
        r = sc.run(self.ARGS)
        self.assertSingleLaunch(r, self.EXPECTED[WINDOWS_XP], sc.app_dir)
        self.assertEqual(r.files, {})

    def test_without_arguments_the_line_ends_with_the_class_path_blank(self):
        cases = [
            (WINDOWS_XP, HOME_PLAIN, JAVAW + " "),
            # A home holding a blank is quoted on every version.
            (WINDOWS_XP, HOME_SPACE, '"%s\\bin\\javaw.exe" ' % HOME_SPACE),
            (WINDOWS_7, HOME_SPACE, '"%s\\bin\\javaw.exe" ' % HOME_SPACE),
        ]
        for i, (windows, home, command_line) in enumerate(cases):
            with self.subTest(windows=windows, home=home):
                sc = self.scenario(str(i), windows=windows, registry=h.jre_registry("1.6", home=home))
                r = sc.run([])
                self.assertEqual(r.exit_code, 0, r)
                self.assertSingleLaunch(r, command_line, sc.app_dir)


class ArgumentQuoting(h.WineTestCase):
    """Arguments with quotes, backslashes, tabs and empty ones reach the child's
    argv unchanged; enclosed arguments escape what needs it."""

    ARGS = ['say "hi"', "C:\\", "dir\\", "", 'a\\\\"b', "tab\there", "plain",
            "back\\slash", "\\\\server\\share\\", '"']
    ENCLOSED = [r'"say \"hi\""', r'"C:\\"', r'"dir\\"', '""', r'"a\\\\\"b"', '"tab\there"',
                '"plain"', r'"back\slash"', r'"\\server\share\\"', r'"\""']
    # Before Vista only what needs enclosing is enclosed.
    XP = [r'"say \"hi\""', "C:\\", "dir\\", '""', r'"a\\\\\"b"', '"tab\there"',
          "plain", "back\\slash", "\\\\server\\share\\", r'"\""']

    def test_round_trip(self):
        for windows, runtime, pieces in ((WINDOWS_XP, JAVAW, self.XP),
                                         (WINDOWS_7, JAVAW_QUOTED, self.ENCLOSED)):
            with self.subTest(windows=windows):
                sc = self.scenario(windows, windows=windows)
                r = sc.run(self.ARGS)
                self.assertSingleLaunch(r, runtime + "  " + " ".join(pieces) + " ",
                                        sc.app_dir)
                self.assertEqual(r.children[0].argv[1:],
                                 [a.encode() for a in self.ARGS])

    def test_generated_arguments_round_trip(self):
        # Arguments built from the characters that matter to the splitting
        # rules, in many combinations; the child's C runtime must hand back
        # each list unchanged.
        rng = random.Random(20190314)
        alphabet = ["a", "b", " ", "\t", '"', "\\", "\\", "-"]
        for windows in (WINDOWS_XP, WINDOWS_7):
            for round_ in range(2):
                args = ["".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 9)))
                        for _ in range(40)]
                with self.subTest(windows=windows, round=round_, args=args):
                    sc = self.scenario("%s.%d" % (windows, round_), windows=windows)
                    r = sc.run(args)
                    self.assertEqual(len(r.children), 1, r)
                    self.assertEqual(r.children[0].argv[1:],
                                     [a.encode() for a in args], r)

    def test_jvm_options_of_the_command_line_arrive_whole(self):
        # Quoted only when they hold a blank, a tab or a quote, on every
        # version; the child receives each one unchanged.
        args = ["-Dwith blank=a b", '-Dq="x"', "-Dt=a\tb", "-Dplain=C:\\", "arg"]
        for windows, runtime, arg in ((WINDOWS_XP, JAVAW, "arg"), (WINDOWS_7, JAVAW_QUOTED, '"arg"')):
            with self.subTest(windows=windows):
                sc = self.scenario(windows, windows=windows)
                r = sc.run(args)
                self.assertSingleLaunch(
                    r, runtime + ' "-Dwith blank=a b" "-Dq=\\"x\\"" "-Dt=a\tb" -Dplain=C:\\  %s ' % arg,
                    sc.app_dir)
                self.assertEqual(r.children[0].argv[1:], [a.encode() for a in args], r)


class LauncherDirectory(h.WineTestCase):
    """Where the launcher looks for its files and starts the child, for the
    ways it can be started."""

    def test_start_forms(self):
        for form in ("qualified", "relative", "forward_slashes"):
            with self.subTest(form=form):
                sc = self.scenario(form, windows=WINDOWS_XP)
                if form == "qualified":
                    # Drive letter, colon, backslashes: the program's own
                    # directory, which also becomes the current directory.
                    r = sc.run(["-d", "-o"])
                    expected, out = sc.app_dir, r"app\tarnwick.out"
                elif form == "relative":
                    r = sc.run(["-d", "-o"], start="relative")
                    expected, out = sc.win_dir, "tarnwick.out"
                else:
                    # No backslash: not taken as a program directory, so the
                    # directory the launcher was started in counts.
                    r = sc.run(command=sc.exe_path.replace("\\", "/") + " -d -o", cwd=sc.start_dir)
                    expected, out = sc.start_dir, r"start\tarnwick.out"
                cwd_boxes = [b.text for b in r.boxes if b.caption == "CWD"]
                self.assertEqual(cwd_boxes, [expected], r)
                self.assertEqual(len(r.children), 1, r)
                self.assertEqual(r.children[0].cwd, expected.encode(), r)
                self.assertEqual(list(r.files), [out], r)

    def test_started_from_the_root_of_a_drive(self):
        # C:\twroot.exe: the launcher directory is "C:" alone; changing into
        # it keeps the current directory of drive C, the start directory.
        sc = self.scenario(windows=WINDOWS_XP)
        root_exe = sc.session.linux_path(r"C:\twroot.exe")
        h.shutil.copyfile(sc.session.launcher, root_exe)
        stray = sc.session.linux_path(r"C:\tarnwick.out")
        try:
            r = sc.run(command=r"C:\twroot.exe -d -o", cwd=sc.start_dir)
        finally:
            h.os.remove(root_exe)
            if h.os.path.exists(stray):
                h.os.remove(stray)
        self.assertEqual([b.text for b in r.boxes if b.caption in ("CWD", "Reading App Config file")],
                         ["C:", r"[C:\twroot.config]"], r)
        self.assertEqual(len(r.children), 1, r)
        self.assertEqual(r.children[0].cwd, sc.start_dir.encode(), r)
        self.assertEqual(list(r.files), [r"start\tarnwick.out"], r)

    def test_output_file_that_cannot_be_written(self):
        sc = self.scenario(windows=WINDOWS_XP)
        h.os.makedirs(sc.path("app", "tarnwick.out"))
        r = sc.run(["-o", "-passExitCode", "x"])
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        self.assertTrue(r.stderr.startswith(b"Cannot write tarnwick.out: "), r)
        self.assertSingleLaunch(r, JAVAW + "  x ", sc.app_dir)

    def test_child_inherits_the_environment(self):
        sc = self.scenario(env={"TARNWICK_PROBE": "probe value 42"})
        r = sc.run(["x"])
        self.assertEqual(len(r.children), 1, r)
        self.assertEqual(r.children[0].env, {"TARNWICK_PROBE": b"probe value 42"})


class Relaunch(h.WineTestCase):

    def test_999_starts_the_child_again(self):
        sc = self.scenario(windows=WINDOWS_XP, child_exits=[999, 999, 0])
        r = sc.run(["-o", "-passExitCode", "x"])
        command_line = JAVAW + "  x "
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual([c.cmdline for c in r.children], [command_line.encode()] * 3, r)
        self.assertEqual(r.boxes, [], r)
        self.assertEqual(r.stdout, launch_output(command_line) * 3)
        # Written anew on each start: one copy, not three.
        self.assertEqual(r.files, {r"app\tarnwick.out": launch_output(command_line)})

    def test_relaunch_ends_with_the_next_code(self):
        sc = self.scenario(windows=WINDOWS_XP, child_exits=[999, 7])
        r = sc.run(["-passExitCode"])
        self.assertEqual(r.exit_code, 7, r)
        self.assertEqual(len(r.children), 2, r)
        self.assertEqual(r.boxes, [h.error_box("", JAVAW, 7)], r)

    def test_registry_is_read_once(self):
        # With -d on Windows 7 the registry lookup shows the home it quotes;
        # the second start reuses the path and shows only "Javapath is".
        sc = self.scenario(child_exits=[999, 0])
        r = sc.run(["-d"])
        self.assertEqual(len(r.children), 2, r)
        quoted_homes = [b for b in r.boxes if b == h.Box(HOME_PLAIN, "Adding double quotes around", 0)]
        self.assertEqual(len(quoted_homes), 1, r)
        self.assertEqual([b.text for b in r.boxes if b.caption == "Javapath is"],
                         ['"%s\\bin\\java.exe"' % HOME_PLAIN] * 2, r)


class ExitCode(h.WineTestCase):

    def test_exit_codes(self):
        # (launcher arguments, child exit codes, launcher exit code)
        cases = [
            ([], [3], 0),
            (["-passExitCode"], [3], 3),
            (["-passExitCode"], [0], 0),
            (["-passExitCode"], [-1073741819], -1073741819),   # 0xC0000005
            (["-passExitCode"], [-1], -1),
            (["-passExitCode"], [256], 256),                    # low byte 0
            ([], [-1073741819], 0),
            (["-passExitCode"], [999, 999, 42], 42),
        ]
        for i, (args, exits, expected) in enumerate(cases):
            with self.subTest(args=args, exits=exits):
                sc = self.scenario(str(i), windows=WINDOWS_XP, child_exits=exits)
                r = sc.run(args)
                self.assertEqual(r.exit_code, expected, r)
                self.assertEqual(len(r.children), len(exits), r)
                last = exits[-1]
                self.assertEqual(r.boxes, [h.error_box("", JAVAW, last)] if last else [], r)


if __name__ == "__main__":
    h.main()

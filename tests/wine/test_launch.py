#!/usr/bin/python3
"""tarnwick.exe under Wine: the launch with the registry's current runtime.

The child's exact command line on Windows XP and Windows 7, its starting
directory, the output file, the launcher directory for the different ways of
starting the launcher (by a bare name found on PATH too), the runtime's path
as the system is given it, relaunch on 999, the launcher's exit code, the
Windows version the manifest lets the launcher see, the child's end with the
launcher's, and its standard handles.
"""
import os
import random
import subprocess
import threading
import time

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
                    # Not drive-qualified: the launcher's own file decides.
                    r = sc.run(["-d", "-o"], start="relative")
                    expected, out = sc.app_dir, r"app\tarnwick.out"
                else:
                    r = sc.run(command=sc.exe_path.replace("\\", "/") + " -d -o", cwd=sc.start_dir)
                    expected, out = sc.app_dir, r"app\tarnwick.out"
                cwd_boxes = [b.text for b in r.boxes if b.caption == "CWD"]
                self.assertEqual(cwd_boxes, [expected], r)
                self.assertEqual(len(r.children), 1, r)
                self.assertEqual(r.children[0].cwd, expected.encode(), r)
                self.assertEqual(list(r.files), [out], r)

    def test_started_by_its_bare_name_through_path(self):
        # From another folder that holds a configuration of the same name:
        # only the launcher's own is read, and it starts in its own folder.
        for launcher in (None, h.x86_launcher()):
            with self.subTest(x86=bool(launcher)):
                sc = self.scenario("x86" if launcher else "x64", windows=WINDOWS_XP,
                                   launcher=launcher)
                sc.env["WINEPATH"] = sc.app_dir
                sc.config("mainclass own.Main")
                sc.write(r"start\Demo.config", "mainclass planted.Main\njavapath C:\\planted.exe\n")
                r = sc.run(command="Demo -d -o", cwd=sc.start_dir)
                self.assertEqual([b.text for b in r.boxes
                                  if b.caption in ("CWD", "Reading App Config file")],
                                 [sc.app_dir, "[%s\\Demo.config]" % sc.app_dir], r)
                self.assertSingleLaunch(r, HOME_PLAIN + r"\bin\java.exe own.Main",
                                        sc.app_dir)
                self.assertEqual(list(r.files), [r"app\tarnwick.out"], r)

    def test_the_file_windows_loaded_decides_whatever_the_caller_wrote(self):
        # A caller that writes the path without quotes (a Run key, a service
        # path) names the program on its own and hands the line over as
        # written: its first word is C:\...\My, beside a planted My.config.
        # A caller may also write any other first word, a path to a planted
        # Demo.config among them.
        for bits, launcher in (("x64", None), ("x86", h.x86_launcher())):
            sc = self.scenario(bits, windows=WINDOWS_XP, launcher=launcher,
                               env={"TARNWICK_CHILD_ENV": "TARNWICK_APP_DIR"})
            folder = sc.win_path("My Apps")
            sc.write(r"My Apps\Demo.config", "mainclass own.Main\n")
            h.shutil.copyfile(launcher or sc.session.launcher, sc.path("My Apps", "Demo.exe"))
            for planted in ("My.config", r"Other\Demo.config"):
                sc.write(planted, "mainclass planted.Main\njavapath C:\\planted.exe\n")
            program = folder + r"\Demo.exe"
            for first_word in (program, sc.win_path(r"Other\Demo.exe")):
                with self.subTest(bits=bits, first_word=first_word):
                    r = sc.run(command=first_word + " a", application=program, cwd=sc.start_dir)
                    self.assertEqual(r.boxes, [], r)
                    self.assertSingleLaunch(r, JAVAW + " own.Main a ", folder)
                    self.assertEqual(r.children[0].env["TARNWICK_APP_DIR"], folder.encode(), r)

    def test_started_by_its_short_name_or_in_capitals(self):
        # The 8.3 name is made long again; .EXE counts as .exe.
        for bits, launcher in (("x64", None), ("x86", h.x86_launcher())):
            with self.subTest(bits=bits):
                sc = self.scenario(bits, windows=WINDOWS_XP, launcher=launcher)
                folder = sc.win_path("My Long Folder")
                sc.write(r"My Long Folder\My Application.config", "mainclass long.Main\n")
                sc.config("mainclass tool.Main", name="tool.config")
                for copy in (("My Long Folder", "My Application.exe"), ("app", "tool.exe")):
                    h.shutil.copyfile(launcher or sc.session.launcher, sc.path(*copy))
                short = sc.session.short_path(folder + r"\My Application.exe")
                self.assertIn("~", short)
                for command, expected, where in ((short + " -d", "long.Main", folder),
                                                 (sc.app_dir + r"\TOOL.EXE -d", "tool.Main", sc.app_dir)):
                    r = sc.run(command=command, cwd=sc.start_dir)
                    self.assertSingleLaunch(r, HOME_PLAIN + r"\bin\java.exe " + expected, where)

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


class RuntimePath(h.WineTestCase):
    """A runtime path with a blank is quoted on the command line, and the
    system is given the runtime's full path on its own as well, so that it
    can take no shorter path cut at a blank (app\\rt.exe, planted here, for
    rt dir\\bin\\javaw.exe).  The relay trace shows what the launcher
    passed; Wine would quote an unquoted path for the child by itself."""

    def test_quoted_and_named_to_the_system(self):
        space_javaw = HOME_SPACE + r"\bin\javaw.exe"
        # (javapath line, first token, application name)
        cases = [
            ("javapath " + space_javaw, '"%s"' % space_javaw, space_javaw),
            (r"javapath rt dir\bin\javaw.exe", r'"rt dir\bin\javaw.exe"',
             r"%(app)s\rt dir\bin\javaw.exe"),
            # A name without an extension: the system's ".exe".
            (r"javapath C:\tw\jre\bin\javaw", r"C:\tw\jre\bin\javaw", JAVAW),
        ]
        for launcher in (None, h.x86_launcher()):
            for i, (line, token, program) in enumerate(cases):
                with self.subTest(line=line, x86=bool(launcher)):
                    sc = self.scenario("%s%d" % ("x86." if launcher else "", i), windows=WINDOWS_XP,
                                       launcher=launcher)
                    sc.add_program(r"app\rt dir\bin\javaw.exe")
                    sc.add_program(r"app\rt.exe")
                    sc.config(line)
                    program = program % {"app": sc.app_dir}
                    r = sc.run(["x"])
                    command_line = token + "  x "
                    self.assertSingleLaunch(r, command_line, sc.app_dir)
                    self.assertEqual(r.children[0].exe, program.encode(), r)
                    self.assertEqual([c.args[:2] for c in r.launcher_calls("kernel32.CreateProcessW")],
                                     [[program, command_line]], r)


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


class SystemVersion(h.WineTestCase):
    """The manifest lets the launcher see the Windows version as it is:
    without one, Windows 10 reports 6.2.  The debug trail's first line."""

    def test_windows_10_is_seen_as_10(self):
        for launcher in (None, h.x86_launcher()):
            with self.subTest(x86=bool(launcher)):
                sc = self.scenario("x86" if launcher else "x64", windows="win10", launcher=launcher)
                r = sc.run(["-d"])
                self.assertEqual(r.stdout.split(b"\r\n")[0][:len(b"Windows version 10.0 ")],
                                 b"Windows version 10.0 ", r)
                self.assertIsNotNone(h.after_system_version(r.stdout), r)


def wine_processes(marker):
    """The Linux process ids of the Wine processes whose command line holds
    marker."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                found += [int(pid)] if marker.encode() in f.read() else []
        except OSError:
            pass
    return found


def read_text(path):
    with open(path) as f:
        return f.read()


class EndsWithTheLauncher(h.WineTestCase):
    """The child runs in a job object that ends it when the launcher ends
    (here by taskkill /F, as Task Manager or an updater would end it); what
    the child starts itself leaves the job and lives on."""

    GRANDCHILD_MS = 4000
    PATIENCE_SECONDS = 30

    def wait_for(self, condition):
        deadline = time.monotonic() + self.PATIENCE_SECONDS
        while not condition() and time.monotonic() < deadline:
            time.sleep(0.05)
        return condition()

    def test_ending_the_launcher_ends_the_child_but_not_the_grandchild(self):
        for launcher in (None, h.x86_launcher()):
            with self.subTest(x86=bool(launcher)):
                name = "x86" if launcher else "x64"
                sc = self.scenario(name, launcher=launcher, env={
                    "TARNWICK_CHILD_SLEEP_MS": "120000",
                    "TARNWICK_CHILD_GRANDCHILD_MS": str(self.GRANDCHILD_MS)})
                sc.add_program(r"app\rt\bin\javaw.exe")
                marker = "job.%s.Main" % name
                sc.config(r"javapath rt\bin\javaw.exe", "mainclass " + marker)
                bin_dir = sc.path("app", "rt", "bin")
                results = []
                run = threading.Thread(target=lambda: results.append(sc.run([])))
                run.start()
                grandchild_log = os.path.join(bin_dir, "grandchild.log")
                try:
                    self.assertTrue(self.wait_for(lambda: os.path.exists(grandchild_log)
                                                  and wine_processes(marker)),
                                    "the child never started its grandchild")
                    ended = subprocess.run([h.WINE64, "taskkill", "/F", "/IM", "Demo.exe"],
                                           env=sc.session.env, capture_output=True, timeout=60)
                    self.assertEqual(ended.returncode, 0, ended)
                    run.join(self.PATIENCE_SECONDS)
                    self.assertFalse(run.is_alive(), "the runner did not see the launcher end")
                    self.assertTrue(self.wait_for(lambda: not wine_processes(marker)),
                                    "the child outlived the launcher")
                    self.assertTrue(self.wait_for(lambda: "\nalive " in read_text(grandchild_log)),
                                    "the grandchild did not outlive the launcher: %r"
                                    % read_text(grandchild_log))
                finally:
                    for pid in wine_processes(marker):
                        os.kill(pid, 9)
                    run.join(self.PATIENCE_SECONDS)
                self.assertEqual(len(results[0].children), 1, results[0])


class StandardHandles(h.WineTestCase):
    """With the launcher's output redirected, a console runtime's output
    reaches it, and the runtime reads the launcher's input (here NUL, so it
    reads nothing at once) instead of a hidden console's, where it would
    wait for ever."""

    def test_a_console_child_writes_to_the_launchers_output(self):
        env = {"TARNWICK_CHILD_SAY": "said by java", "TARNWICK_CHILD_READ": "1"}
        # (arguments, configuration, runtime): -d starts java.exe, and so
        # does a javapath that names it.
        java = HOME_PLAIN + r"\bin\java.exe"
        cases = [(["-d"], [], java + " "),
                 ([], ["javapath " + java], java + " ")]
        for launcher in (None, h.x86_launcher()):
            for i, (args, config, command_line) in enumerate(cases):
                with self.subTest(args=args, x86=bool(launcher)):
                    sc = self.scenario("%s%d" % ("x86." if launcher else "", i), windows=WINDOWS_XP,
                                       env=env, launcher=launcher)
                    sc.config(*config)
                    r = sc.run(args)
                    self.assertSingleLaunch(r, command_line, sc.app_dir)
                    self.assertEqual(r.children[0].stdin, b"", r)
                    self.assertIn(launch_output(command_line) + b"said by java\r\n", r.stdout)

    def test_the_child_gets_no_other_handle_of_the_launchers(self):
        # The runner opens a file as an inheritable handle before it starts
        # the launcher; the child writes to that handle's value.  Started
        # directly, the child reaches the file; through any launcher it does
        # not, and still writes to its redirected standard output.
        env = {"TARNWICK_CHILD_SAY": "said by java"}
        starts = [("direct", None, [JAVAW]), ("x64", None, []), ("x86", h.x86_launcher(), [])]
        starts += [("console." + name, path, []) for name, path in sorted(h.console_launchers().items())]
        for name, launcher, command in starts:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_7, env=env, launcher=launcher)
                leak = sc.win_path("inherited.txt")
                r = sc.run(command=command[0] if command else None, inherited_file=leak)
                self.assertEqual(len(r.children), 1, r)
                self.assertIn(b"said by java\r\n", r.stdout + r.stderr, r)
                with open(sc.path("inherited.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"reached by the child\n" if command else b"", r)


if __name__ == "__main__":
    h.main()

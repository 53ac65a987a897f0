#!/usr/bin/python3
"""tarnwick.exe under Wine: reports of a failed launch.

The "Error" box of a child that fails fast, a runtime home without
javaw.exe (CreateProcessW fails), lists beyond their capacity, and one box
answered on a real (virtual) display.
"""
import harness as h
from harness import HOME_NO_JAVAW, HOME_PLAIN, MB_ICONERROR, WINDOWS_7, WINDOWS_XP, launch_output

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"


class ErrorReport(h.WineTestCase):

    def test_error_box_after_a_fast_failure(self):
        # (Windows version, child exit codes, launcher arguments, expected boxes)
        quoted = '"%s"' % JAVAW
        cases = [
            (WINDOWS_XP, [1], [], [h.error_box("", JAVAW, 1)]),
            (WINDOWS_7, [1], [], [h.error_box("", quoted, 1)]),
            (WINDOWS_XP, [-1073741819], [], [h.error_box("", JAVAW, -1073741819)]),
            (WINDOWS_XP, [0], [], []),
            (WINDOWS_XP, [999, 0], [], []),
            (WINDOWS_XP, [1], ["-q"], []),
        ]
        for i, (windows, exits, args, boxes) in enumerate(cases):
            with self.subTest(windows=windows, exits=exits, args=args):
                sc = self.scenario(str(i), windows=windows, child_exits=exits)
                r = sc.run(args + ["-passExitCode"])
                self.assertEqual(r.boxes, boxes, r)
                self.assertEqual(r.exit_code, exits[-1], r)
                self.assertEqual(len(r.children), len(exits), r)

    def test_missing_javaw(self):
        javapath = HOME_NO_JAVAW + r"\bin\javaw.exe"
        command_line = javapath + "  x "
        # (launcher arguments, exit code, boxes)
        cases = [
            (["-passExitCode"], 2, [h.error_box("", javapath, 2)]),
            ([], 0, [h.error_box("", javapath, 2)]),
            (["-q", "-passExitCode"], 2, []),
        ]
        for i, (args, code, boxes) in enumerate(cases):
            with self.subTest(args=args):
                sc = self.scenario(str(i), windows=WINDOWS_XP,
                                   registry=h.jre_registry("1.6", home=HOME_NO_JAVAW))
                r = sc.run(args + ["x"])
                self.assertEqual(r.exit_code, code, r)
                self.assertEqual(r.boxes, boxes, r)
                self.assertEqual(r.children, [], r)
                # The command line was printed before the start was tried,
                # and the system's reason follows on standard error.
                self.assertEqual(r.stdout, launch_output(command_line), r)
                self.assertIn(javapath.encode(), r.stderr, r)

    def test_debug_uses_java_exe_which_exists(self):
        sc = self.scenario(windows=WINDOWS_XP, registry=h.jre_registry("1.6", home=HOME_NO_JAVAW))
        r = sc.run(["-d", "-passExitCode"])
        self.assertEqual(r.exit_code, 0, r)
        self.assertSingleLaunch(r, HOME_NO_JAVAW + r"\bin\java.exe ", sc.app_dir)


class Capacity(h.WineTestCase):
    """100 application arguments and 100 JVM parameters fit; one more of
    either ends the launcher with 2 before anything is started, once all
    options are read: a -q after it silences the box, a -sample after it
    still writes the sample."""

    def test_limits(self):
        args_100 = ["a%d" % i for i in range(100)]
        params_100 = ["-Dp%d" % i for i in range(100)]
        for name, args in (("args", args_100), ("vmparams", params_100)):
            with self.subTest(name, count=100):
                sc = self.scenario(name + "_100", windows=WINDOWS_XP)
                r = sc.run(args)
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.boxes, [], r)
                self.assertEqual(len(r.children), 1, r)
                argv = r.children[0].argv
                received = argv[1:]
                self.assertEqual(received, [a.encode() for a in args])
            for quiet in (False, True):
                with self.subTest(name, count=101, quiet=quiet):
                    sc = self.scenario(name + ("_101_quiet" if quiet else "_101"), windows=WINDOWS_XP)
                    extra = "a100" if name == "args" else "-Dp100"
                    r = sc.run(args + [extra] + (["-q"] if quiet else []) + ["-passExitCode"])
                    self.assertEqual(r.exit_code, 2, r)
                    self.assertEqual(r.children, [], r)
                    self.assertEqual(r.stdout, b"", r)
                    self.assertIn(b"100", r.stderr, r)
                    if quiet:
                        self.assertEqual(r.boxes, [], r)
                    else:
                        self.assertEqual([(b.caption, b.type) for b in r.boxes],
                                         [("Too Many Entries", MB_ICONERROR)], r)
                        self.assertIn("100", r.boxes[0].text)
            with self.subTest(name, count=101, sample=True):
                sc = self.scenario(name + "_101_sample", windows=WINDOWS_XP)
                r = sc.run(args + [extra, "-sample", "-passExitCode"])
                self.assertEqual((r.exit_code, r.boxes, r.children), (0, [], []), r)
                self.assertEqual(list(r.files), [r"start\sample.config"], r)


class OnScreen(h.WineTestCase):
    """With a display the box really appears, under its caption, and the
    launcher waits for it to be answered."""

    def test_error_box_is_shown_and_answered(self):
        sc = self.scenario(windows=WINDOWS_XP, child_exits=[4])
        r = sc.run(["-passExitCode"], answers=[("Error", "Return")])
        self.assertEqual(r.boxes, [h.error_box("", JAVAW, 4)], r)
        self.assertEqual(r.exit_code, 4, r)
        self.assertIn(b"Ret  user32.MessageBoxW() retval=00000001", r.wine_trace)


if __name__ == "__main__":
    h.main()

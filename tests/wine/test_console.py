#!/usr/bin/python3
"""tarnwick-console.exe, x64 and x86, under Wine, started by a console
program (the runner) whose standard output and error are files.

It waits for its child, the console runtime java.exe, and ends with the
child's full exit code; the child shares the launcher's console (it is never
given a hidden one of its own) and its redirected standard handles, so a
line it writes arrives in the runner's file, where nothing of the launcher's
stands: the launcher's lines and its boxes are lines on standard error, and
no box is shown.  A Ctrl-C on the shared console reaches the child while
the launcher waits on.  In tool mode every argument arrives as given, in the
caller's folder, the exit code (999 too) is passed on, and the launcher's
own lines are written only with -d.
"""
import os
import unittest

import harness as h
from harness import HOME_PLAIN, WINDOWS_7, launch_output

JAVA = '"%s"' % (HOME_PLAIN + r"\bin\java.exe")
CREATE_NO_WINDOW = 0x08000000


class ConsoleLauncher(h.WineTestCase):

    def launchers(self):
        """(name, path) of each console launcher, both required."""
        found = h.console_launchers()
        for path in found.values():
            if not os.path.isfile(path):
                message = "%s is missing: build the windows and windows-x86 presets" % path
                if os.environ.get("TARNWICK_ALLOW_SKIP"):
                    raise unittest.SkipTest(message)
                self.fail(message)
        return sorted(found.items())

    def test_waits_passes_the_exit_code_and_shares_the_standard_handles(self):
        # (launcher arguments, a configuration line, the child's exit code,
        #  the launcher's, what standard error says after the launch)
        cases = [
            (["-passExitCode"], "", -1073741819, -1073741819,
             "Error: Error launching Class com.acme.Main\r\n with Java %s.\r\nError=-1073741819\r\n" % JAVA),
            # A question is put as a line and answered No: nothing is opened.
            (["-passExitCode"], "vmparam -DLOGFILE=C:/app.log", 1, 1,
             "Unexpected Close: Application has closed in an unexpected way. Would you like to view "
             "the log file?\r\n\r\nLog file location:C:/app.log\r\n\r\nJava returned the following "
             "error code: 1\r\n(answered No: the console launcher asks no questions)\r\n"),
            # Tool mode passes the code on, the relaunch code too, and
            # writes nothing of its own (below).
            ([], "toolMode on", 256, 256, ""),
            ([], "toolMode on", 999, 999, ""),
        ]
        for name, launcher in self.launchers():
            for i, (args, config, exit_code, code, reported) in enumerate(cases):
                with self.subTest(launcher=name, args=args, config=config, exit_code=exit_code):
                    sc = self.scenario("%s.%d" % (name, i), windows=WINDOWS_7, child_exits=[exit_code],
                                       launcher=launcher, env={"TARNWICK_CHILD_SAY": "said by java"})
                    sc.config("mainclass com.acme.Main", config)
                    r = sc.run(args)
                    self.assertEqual(r.exit_code, code, r)
                    self.assertEqual(r.stdout, b"said by java\r\n", r)
                    jvm = config[len("vmparam "):] + " " if config.startswith("vmparam ") else ""
                    line = "%s %scom.acme.Main" % (JAVA, jvm)
                    banner = b"" if config == "toolMode on" else launch_output(line)
                    self.assertEqual(r.stderr, banner + reported.encode(), r)
                    self.assertEqual((r.boxes, r.launcher_calls("shell32.ShellExecuteW")), ([], []), r)
                    starts = r.launcher_calls("kernel32.CreateProcessW")
                    self.assertEqual(len(starts), 1, r)
                    self.assertFalse(starts[0].args[5] & CREATE_NO_WINDOW, starts[0])

    def test_tool_mode_passes_every_argument_as_given_in_the_callers_folder(self):
        args = ["-count", "-q", "-cx", "-Dy=1", "-sample", "-o", "-d", "a b", "", 'say "hi"', "C:\\"]
        for name, launcher in self.launchers():
            with self.subTest(launcher=name):
                sc = self.scenario(name, windows=WINDOWS_7, launcher=launcher)
                sc.config("toolMode on", "mainclass com.acme.Main", "addjars lib")
                r = sc.run(args)
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(len(r.children), 1, r)
                child = r.children[0]
                self.assertEqual(child.argv[1:], [b"-classpath", (sc.app_dir + r"\lib/*").encode(),
                                                  b"com.acme.Main"] + [a.encode() for a in args], r)
                self.assertEqual(child.cwd, sc.start_dir.encode(), r)
                self.assertEqual(r.files, {}, r)
                self.assertEqual(r.stderr, b"", r)

    def test_tool_mode_writes_its_own_lines_only_with_d(self):
        # Standard error is a file (as with ant 2>errors.txt); the command
        # line may hold a secret passed as an argument.
        # (TARNWICK_OPTIONS, the banner on standard error, tarnwick.out)
        cases = [("", False, False), ("-q", False, False), ("-o", False, True), ("-d", True, False)]
        for name, launcher in self.launchers():
            for options, banner, written in cases:
                with self.subTest(launcher=name, options=options):
                    sc = self.scenario("%s.%s" % (name, options.strip("-") or "none"), windows=WINDOWS_7,
                                       launcher=launcher, env={"TARNWICK_OPTIONS": options})
                    sc.config("toolMode on", "mainclass com.acme.Main")
                    r = sc.run(["secret"])
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertEqual(len(r.children), 1, r)
                    record = launch_output(r.children[0].cmdline.decode())
                    self.assertEqual(record in r.stderr, banner, r)
                    self.assertEqual(r.stderr == b"", not banner, r)
                    self.assertEqual(r.files, {r"app\tarnwick.out": record} if written else {}, r)

    def test_ctrl_c_reaches_the_application_while_the_launcher_waits(self):
        # The child handles Ctrl-C by ending with 130, as Java does; a
        # launcher ended by the key would end with Wine's code for it.
        for name, launcher in self.launchers():
            with self.subTest(launcher=name):
                sc = self.scenario(name, windows=WINDOWS_7, launcher=launcher,
                                   env={"TARNWICK_CHILD_CTRL_C": "1"})
                sc.config("mainclass com.acme.Main")
                r = sc.run(["-passExitCode"], new_console=True)
                self.assertEqual(r.exit_code, 130, r)
                # An end asked for: not reported.
                self.assertEqual(r.stderr, launch_output(JAVA + " com.acme.Main"), r)


if __name__ == "__main__":
    h.main()

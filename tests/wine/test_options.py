#!/usr/bin/python3
"""tarnwick.exe under Wine: the command-line options.

The option scan (which arguments are options, which reach the application),
the quiet rule, and "-sample".
"""
import harness as h
from harness import HOME_PLAIN, WINDOWS_XP, launch_output

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"

SAMPLE_LINES = [
    "#Created with version @(#)tarnWick Version: 1.3.1 NVQ Compiled: Mar 14 2019 at 11:37:00",
    "",
    "# Remove the '#' to uncomment a line",
    "",
    "# Rename this file to the same name as the .exe (if test.exe then rename to text.config",
    "",
    "# To set what the main class to run is, use:",
    "#mainclass <main class>",
    "",
    "# Configuring the class path",
    "# To add a folder to the classpath, use:",
    "#addpath <folder>",
    "# To add all jars in a folder, use:",
    "#addjars <folder>",
    "# To add a single jar, use:",
    "#addjar <jarfile>",
    "",
    "# To set VM parameters like -D options use:",
    "#vmparam <-Dsomething=true>",
    "",
    "# To set what instanceof of Java (or JavaW) to run with, use:",
    "#javapath <absolute or relative path to java or just 'java' or 'javaw'>",
    "",
    "# To make a console window show, use:",
    "#showConsole true",
    "# To set the Console Title (used with 'showConsole true'), use",
    "#consoleTitle <title of Console>",
    "",
    "# To include another config file in this one, use:",
    "#include <another config file>",
    "",
    "# To add an argument that's passed to the JVM on the command line, use:",
    "#argument <arg>",
    "",
    "# To set the minimum Java version to use:",
    "#javaVersion <java version>",
    "# To Set the Application Name used in messages and such, use:",
    "#appname <application name>",
    "",
    "# To Set the working directory of the JVM, use:",
    "#workingDir <working directory>",
    "# To set the outputfile for debug info, use:",
    "#outputFile <output file>",
]
SAMPLE = "".join(line + "\r\n" for line in SAMPLE_LINES).encode("ascii")


class OptionScan(h.WineTestCase):

    def test_which_arguments_reach_the_application(self):
        # (launcher arguments, the child's command line after the runtime
        #  path, the application's arguments as the child receives them)
        cases = [
            # "-d" matches only whole.
            (["-debug", "-d1", "-dx"], "  -debug -d1 -dx ", ["-debug", "-d1", "-dx"]),
            # "-D" is a prefix: the whole argument, quoted when it holds a blank.
            (["-D", "-Dk=v w", "-DLOGFILE=C:\\x.log"],
             ' -D "-Dk=v w" -DLOGFILE=C:\\x.log ', []),
            # Longer forms of -q, -o, -passExitCode; near misses are arguments.
            (["-quiet", "-output", "-passExitCodeX", "-pass", "-s", "-", "x", "-P"],
             "  -pass -s - x -P ", ["-pass", "-s", "-", "x", "-P"]),
            # "-con..." is the console switch, never a configuration file.
            (["-console", "-config.txt", "-con"], " ", []),
            # "-c" wants its path in the same argument.
            (["-c", "my.config", "-cother.config"], "  my.config ", ["my.config"]),
            # Repeats are appended again, in order.
            (["-Da", "x", "-Da", "x"], " -Da -Da  x x ", ["x", "x"]),
            # Never a file pattern, although start\match.config would match.
            (["*.config"], "  *.config ", ["*.config"]),
        ]
        for i, (args, tail, app_args) in enumerate(cases):
            with self.subTest(args=args):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                sc.write(r"start\match.config", "")
                r = sc.run(args)
                self.assertSingleLaunch(r, JAVAW + tail, sc.app_dir)
                argv = r.children[0].argv
                self.assertEqual(argv[len(argv) - len(app_args):], [a.encode() for a in app_args])
                self.assertEqual(r.stdout, launch_output(JAVAW + tail))

    def test_flags_set_by_longer_forms(self):
        # -quiet: no "Error" box; -output: tarnwick.out; -passExitCodeX: the
        # child's code is passed on.
        sc = self.scenario(windows=WINDOWS_XP, child_exits=[3])
        r = sc.run(["-quiet", "-output", "-passExitCodeX"])
        self.assertEqual(r.exit_code, 3, r)
        self.assertEqual(r.boxes, [], r)
        self.assertEqual(list(r.files), [r"app\tarnwick.out"], r)

    def test_debug_trail_and_console_and_config_path(self):
        # With -d the "Reading App Config file" box shows the file chosen and
        # "Show Console" the console switch.
        derived = "[%s\\Demo.config]"
        cases = [
            (["-cmy.config"], "[my.config]", "false", []),
            (["-c", "my.config"], "[]", "false", ["my.config"]),
            (["-co"], "[o]", "false", []),
            (["-config.txt"], derived, "true", []),
            (["-con", "-cfirst", "-csecond"], "[second]", "true", []),
        ]
        for i, (args, config_box, console, app_args) in enumerate(cases):
            with self.subTest(args=args):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                r = sc.run(["-d"] + args)
                if "%s" in config_box:
                    config_box = config_box % sc.app_dir
                self.assertEqual([b.text for b in r.boxes if b.caption == "Reading App Config file"],
                                 [config_box], r)
                self.assertEqual([b.text for b in r.boxes if b.caption == "Show Console"], [console], r)
                self.assertEqual(len(r.children), 1, r)
                self.assertEqual(r.children[0].argv[1:], [a.encode() for a in app_args])
                self.assertTrue(h.after_system_version(r.stdout).startswith(
                    b"reading app config %s\r\n" % config_box[1:-1].encode()), r)

    def test_debug_trail(self):
        sc = self.scenario(windows=WINDOWS_XP)
        r = sc.run(["-d", "-Dapp.mode=test", "hello", "two words"])
        command_line = HOME_PLAIN + r'\bin\java.exe -Dapp.mode=test  hello "two words" '
        self.assertEqual(r.boxes, [
            h.Box("1.3.1", "Version", 0),
            h.Box("[%s]" % sc.exe_path, "LpCmdLine", 0),
            h.Box("false", "passExitCode", 0),
            h.Box(sc.app_dir, "CWD", 0),
            h.Box("[%s\\Demo.config]" % sc.app_dir, "Reading App Config file", 0),
            h.Box("", "MainClass is", 0),
            h.Box(HOME_PLAIN + r"\bin\java.exe", "Javapath is", 0),
            h.Box("two words", "Adding double quotes around", 0),
            h.Box("", "Starting dir", 0),
            h.Box(command_line, "Command Line is", 0),
            h.Box("false", "Show Console", 0),
        ])
        self.assertSingleLaunch(r, command_line, sc.app_dir)
        self.assertEqual(r.stdout,
                         b"Windows version 5.2 (build 3790)\r\n"
                         + b"reading app config %s\\Demo.config\r\n" % sc.app_dir.encode()
                         + b"vmparam 0=-Dapp.mode=test\r\n"
                         + launch_output(command_line)
                         + b"CreateProcess ret 1, exitCode=0\r\n")

    def test_debug_trail_on_vista_and_later(self):
        sc = self.scenario(child_exits=[5])
        r = sc.run(["-passExitCode", "-d", "x"])
        quoted = '"%s\\bin\\java.exe"' % HOME_PLAIN
        command_line = quoted + '  "x" '
        self.assertEqual(r.exit_code, 5, r)
        self.assertEqual(r.boxes, [
            h.Box("1.3.1", "Running on Vista", 0),
            h.Box("1.3.1", "Version", 0),
            h.Box("[%s]" % sc.exe_path, "LpCmdLine", 0),
            h.Box("true", "passExitCode", 0),
            h.Box(sc.app_dir, "CWD", 0),
            h.Box("[%s\\Demo.config]" % sc.app_dir, "Reading App Config file", 0),
            h.Box("", "MainClass is", 0),
            h.Box(HOME_PLAIN, "Adding double quotes around", 0),
            h.Box(quoted, "Javapath is", 0),
            h.Box("x", "Adding double quotes around", 0),
            h.Box("", "Starting dir", 0),
            h.Box(command_line, "Command Line is", 0),
            h.Box("false", "Show Console", 0),
            h.error_box("", quoted, 5),
            h.Box("5", "Calling Post Quit Message With Code", 0),
        ])
        self.assertTrue(r.stdout.endswith(b"CreateProcess ret 1, exitCode=5\r\n"), r)


class QuietRule(h.WineTestCase):

    def test_quiet_wins_over_debug(self):
        command_line = JAVAW + " -Dx=1 "
        for i, args in enumerate([["-q", "-d"], ["-d", "-q"], ["-d", "-quiet", "-d"]]):
            with self.subTest(args=args):
                sc = self.scenario(str(i), windows=WINDOWS_XP, child_exits=[1])
                r = sc.run(args + ["-Dx=1", "-passExitCode"])
                # No debug box, no debug line, the windowed runtime, and no
                # "Error" box for the failed child.
                self.assertEqual(r.boxes, [], r)
                self.assertEqual(r.stdout, launch_output(command_line))
                self.assertSingleLaunch(r, command_line, sc.app_dir)
                self.assertEqual(r.exit_code, 1, r)


class Sample(h.WineTestCase):

    def test_sample_is_written_where_the_launcher_was_started(self):
        cases = [
            # Later arguments are not looked at; an earlier -d shows nothing.
            ("qualified", ["-d", "-sample", "-o", "hello"], r"start\sample.config"),
            ("relative", ["-sample"], "sample.config"),
            ("prefix", ["x", "-samplefoo", "-q"], r"start\sample.config"),
        ]
        for name, args, where in cases:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP)
                r = sc.run(args, start="relative" if name == "relative" else "qualified")
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.files, {where: SAMPLE})
                self.assertEqual(r.boxes, [], r)
                self.assertEqual(r.children, [], r)
                self.assertEqual(r.stdout, b"", r)

    def test_existing_file_is_replaced(self):
        sc = self.scenario()
        with open(sc.path("start", "sample.config"), "wb") as f:
            f.write(b"old text that is longer than nothing\r\n" * 100)
        r = sc.run(["-sample"])
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.files, {r"start\sample.config": SAMPLE})

    def test_cannot_create_the_file(self):
        sc = self.scenario()
        h.os.makedirs(sc.path("start", "sample.config"))
        r = sc.run(["-d", "-passExitCode", "-sample"])
        self.assertEqual(r.exit_code, 1, r)
        self.assertEqual(r.boxes, [], r)
        self.assertTrue(r.stderr.startswith(b"Cannot write sample.config: "), r)
        self.assertEqual(r.children, [], r)

    def test_s_alone_is_an_argument(self):
        sc = self.scenario(windows=WINDOWS_XP)
        r = sc.run(["-s"])
        self.assertSingleLaunch(r, JAVAW + "  -s ", sc.app_dir)
        self.assertEqual(r.files, {})


if __name__ == "__main__":
    h.main()

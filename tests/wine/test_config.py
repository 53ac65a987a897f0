#!/usr/bin/python3
"""tarnwick.exe under Wine: the configuration file.

Demo.exe reads Demo.config beside it (or the file named with -c) and applies
each line at once: the worked example to the byte, the line rules of a real
file read in text mode, includes, setenv and the expansion of variables
through the real environment, the working directory, the console, a
configuration that cannot be opened, the "Unexpected Close" question with
its log file, and the list capacities reached from a file.
"""
import itertools
import re

import harness as h
from harness import HOME_NO_JAVAW, HOME_PLAIN, MB_ICONERROR, MB_ICONERROR_YESNO, MB_OK, \
    WINDOWS_7, WINDOWS_XP, launch_output

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"
CREATE_NO_WINDOW = 0x08000000
# The child is made suspended and runs once it is in the launcher's job.
CREATE_SUSPENDED = 0x4
# The runner redirects the launcher's standard handles: the child gets them,
# and them alone, through the handle list of the extended startup information.
EXTENDED_STARTUPINFO_PRESENT = 0x80000
STARTED_WITH = CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT

READ_ERROR = "Error Reading Config File"
# Opening a directory as a file fails with EACCES; msvcrt's text for it.
EACCES_TEXT = "Permission denied"


def crlf(text):
    """What the launcher's text-mode standard error makes of text."""
    return text.replace("\n", "\r\n").encode("latin-1")


def cannot_open(path):
    return "Can't open %s Error %s\n" % (path, EACCES_TEXT)


class ConfigTestCase(h.WineTestCase):

    def assertLaunch(self, r, command_line, cwd):
        """One child, this command line in cwd, printed as usual, no box."""
        self.assertSingleLaunch(r, command_line, cwd)
        self.assertEqual(r.boxes, [], r)
        self.assertEqual(r.stdout, launch_output(command_line), r)

    def assertNothingStarted(self, r):
        self.assertEqual(r.children, [], r)
        self.assertEqual(r.launcher_calls("kernel32.CreateProcessW"), [], r)


class WorkedExample(ConfigTestCase):
    """Demo.exe started by its full path, Demo.config with four lines, the
    registry's current version 1.6 naming the test child's home."""

    LINES = ["mainclass com.acme.Main", "addjars lib", "vmparam -Xmx256m", "argument hello"]
    # The runtime, a blank, the parameter and its blank, "-classpath ", the
    # class path, a blank, the main class, the blank before the arguments,
    # the argument and its blank.  From Vista on the runtime path and every
    # argument are quoted.
    EXPECTED = {
        WINDOWS_XP: JAVAW + " -Xmx256m -classpath lib/* com.acme.Main hello ",
        WINDOWS_7: '"%s" -Xmx256m -classpath lib/* com.acme.Main "hello" ' % JAVAW,
    }

    def test_the_four_lines(self):
        for windows, command_line in self.EXPECTED.items():
            with self.subTest(windows=windows):
                sc = self.scenario(windows, windows=windows)
                sc.config(*self.LINES)
                r = sc.run()
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.stderr, b"", r)
                self.assertLaunch(r, command_line, sc.app_dir)
                self.assertEqual(r.children[0].argv[1:],
                                 [b"-Xmx256m", b"-classpath", b"lib/*", b"com.acme.Main", b"hello"])

    def test_file_forms(self):
        # The same settings however the file's lines are ended, with a
        # byte-order mark in front, and with a line far longer than the
        # reader's 2048-byte buffer (read whole, not in pieces).
        text = "".join(line + "\n" for line in self.LINES)
        long_value = "-Dlong=" + "x" * 3000
        cases = [
            ("crlf", text.replace("\n", "\r\n").encode(), []),
            ("lf", text.encode(), []),
            ("no_final_line_feed", text.rstrip("\n").encode(), []),
            ("byte_order_mark", b"\xef\xbb\xbf" + text.encode(), []),
            ("long_line", ("vmparam %s\n" % long_value + text).encode(), [long_value]),
        ]
        for name, data, extra in cases:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP)
                sc.write(r"app\Demo.config", data)
                r = sc.run()
                command_line = (JAVAW + " " + "".join(p + " " for p in extra)
                                + "-Xmx256m -classpath lib/* com.acme.Main hello ")
                self.assertLaunch(r, command_line, sc.app_dir)

    def test_started_by_a_relative_path(self):
        # Not a full path: the launcher's own file still names its
        # directory, and a configuration where the user stands is ignored.
        sc = self.scenario(windows=WINDOWS_XP)
        sc.config(*self.LINES)
        sc.write("Demo.config", "mainclass other.Main\n")
        r = sc.run(start="relative")
        self.assertLaunch(r, self.EXPECTED[WINDOWS_XP], sc.app_dir)


class LineRules(ConfigTestCase):

    def test_keyword_forms(self):
        # Prefix matching in table order, case-sensitive keywords, values
        # that keep their blanks, and the lines that are ignored.
        sc = self.scenario(windows=WINDOWS_XP, registry=h.NO_JAVA,
                           env={"TARNWICK_CHILD_ENV": "TW_SE;TW_NOEQ"})
        sc.config(
            "# a comment with blanks",
            "/ another comment",
            "mainClass wrong.Main",          # not "mainclass"
            "mainclass right.Main",
            "vmparams -Xmx512m",             # a "vmparam" line
            "vmparam\t-Dtab=1",              # no blank: ignored
            "  vmparam -Dindented=1",        # begins with no keyword
            "vmparam  -Dtwo=blanks",         # the value keeps its leading blank
            "addjarsx lib",                  # "addjars", tried before "addjar"
            "addjar lib/x.jar",
            "addpath classes",
            "arguments first arg",           # an "argument" line
            "argument $HOME",                # never expanded
            "javapath: " + JAVAW,            # no registry needed
            "setenvironment TW_SE=1",        # a "setenv" line
            "setenv TW_NOEQ",                # no '=': ignored
            "unknown keyword",
            "vmparam",                       # no blank: ignored
        )
        r = sc.run()
        self.assertEqual(r.exit_code, 0, r)
        self.assertLaunch(r, JAVAW + ' -Xmx512m  -Dtwo=blanks -classpath lib/*;lib/x.jar;classes'
                          ' right.Main "first arg" $HOME ', sc.app_dir)
        self.assertEqual(r.children[0].env, {"TW_SE": b"1", "TW_NOEQ": None})

    def test_class_path_with_a_blank(self):
        # One pair of quotes around the whole class path, on every version;
        # an entry that expansion quoted gives up its own quotes to it.
        cases = [
            (["addjars lib", "addjar my app.jar"], '"lib/*;my app.jar"'),
            (["addjar a.jar", "addjar b.jar"], "a.jar;b.jar"),
            (["addjars $TW_APPS/lib", "addjar my app.jar"], '"C:/Program Files/Demo/lib/*;my app.jar"'),
            (["addpath $TW_APPS/lib"], '"C:/Program Files/Demo/lib"'),
        ]
        for i, (lines, class_path) in enumerate(cases):
            with self.subTest(lines=lines):
                sc = self.scenario(str(i), windows=WINDOWS_7,
                                   env={"TW_APPS": r"C:\Program Files\Demo"})
                sc.config(*lines)
                r = sc.run()
                self.assertLaunch(r, '"%s" -classpath %s ' % (JAVAW, class_path), sc.app_dir)


class Includes(ConfigTestCase):

    def test_nested_includes_take_effect_in_place(self):
        # Paths are relative to the launcher's directory, not to the
        # including file; a missing include is skipped without a word.
        sc = self.scenario(windows=WINDOWS_XP)
        sc.config("setenv TW_CONF=conf",
                  "vmparam -Dorder=1",
                  "include $TW_CONF/common.config",
                  "vmparam -Dorder=4",
                  "include missing.config",
                  "mainclass app.Main")
        sc.write(r"app\conf\common.config",
                 "vmparam -Dorder=2\ninclude conf\\nested.config\naddjar common.jar\n")
        sc.write(r"app\conf\nested.config", "vmparam -Dorder=3\nmainclass nested.Main\n")
        command_line = JAVAW + " -Dorder=1 -Dorder=2 -Dorder=3 -Dorder=4 -classpath common.jar app.Main"
        r = sc.run()
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.stderr, b"", r)
        self.assertLaunch(r, command_line, sc.app_dir)
        # The files read, as the debug trail names them: the expanded
        # include has slashes, the literal one keeps its backslash.
        r = sc.run(["-d"])
        self.assertEqual([b.text for b in r.boxes if b.caption == "Reading Config file"],
                         [sc.app_dir + r"\Demo.config", "conf/common.config", r"conf\nested.config"],
                         r)

    def test_include_of_a_directory(self):
        for quiet in (False, True):
            with self.subTest(quiet=quiet):
                sc = self.scenario("quiet" if quiet else "", windows=WINDOWS_XP)
                sc.mkdir(r"app\confdir")
                sc.config("vmparam -Dbefore=1", "include confdir", "vmparam -Dafter=1")
                r = sc.run(["-q"] if quiet else [])
                message = cannot_open("confdir")
                self.assertEqual(r.boxes, [] if quiet else [h.Box(message, READ_ERROR, MB_OK)], r)
                self.assertEqual(r.stderr, crlf(message), r)
                self.assertEqual(r.exit_code, 0, r)
                self.assertSingleLaunch(r, JAVAW + " -Dbefore=1 -Dafter=1 ", sc.app_dir)

    def test_devices_are_not_read(self):
        # A device could make the read wait for ever: it is a file that
        # cannot be opened.  NUL always exists; COM1 and AUX are the serial
        # port when the machine has one (else they cannot be found), so
        # their reason varies.  A name in the device namespace is refused
        # without being opened (opening a pipe would connect to it).
        # (launcher arguments, Demo.config lines, exit code, the JVM
        #  parameters of the launch or None, the device named)
        cases = [
            ([], ["vmparam -Dbefore=1", "include NUL", "vmparam -Dafter=1"], 0,
             "-Dbefore=1 -Dafter=1", "NUL"),
            ([], ["include COM1", "vmparam -Dafter=1"], 0, "-Dafter=1", "COM1"),
            (["-cAUX"], ["vmparam -Dnot=read"], 2, None, "AUX"),
            (["-cNUL"], [], 2, None, "NUL"),
            # Every spelling in the device namespace, a pipe too, as NUL.
            (["-c\\\\.\\NUL"], [], 2, None, "\\\\.\\NUL"),
            (["-c\\\\?\\NUL"], [], 2, None, "\\\\?\\NUL"),
            ([], ["include \\\\.\\COM1", "vmparam -Dafter=1"], 0, "-Dafter=1", "\\\\.\\COM1"),
            ([], ["include //./pipe/tarnwick", "vmparam -Dafter=1"], 0, "-Dafter=1",
             "//./pipe/tarnwick"),
        ]
        for (i, (args, lines, code, params, device)), (bits, launcher) in itertools.product(
                enumerate(cases), (("x64", None), ("x86", h.x86_launcher()))):
            with self.subTest(args=args, lines=lines, bits=bits):
                sc = self.scenario("%d.%s" % (i, bits), windows=WINDOWS_XP, launcher=launcher)
                sc.config(*lines)
                r = sc.run(args)
                self.assertEqual(r.exit_code, code, r)
                report = r.stderr.decode("latin-1")
                self.assertRegex(report, r"^Can't open %s Error \S.*\r\n$" % re.escape(device))
                if device not in ("COM1", "AUX"):
                    self.assertEqual(report, crlf(cannot_open(device)).decode(), r)
                self.assertEqual(r.boxes, [h.Box(report.replace("\r\n", "\n"), READ_ERROR, MB_OK)],
                                 r)
                if params is None:
                    self.assertNothingStarted(r)
                else:
                    self.assertSingleLaunch(r, JAVAW + " " + params + " ", sc.app_dir)

    def test_include_loops_are_reported_once_and_skipped(self):
        # (files besides Demo.config, Demo.config, the JVM parameters of the
        #  launch, the file whose include is refused)
        cases = [
            ("itself", {"a.config": "vmparam -Da=1\ninclude a.config\nvmparam -Da=2\n"},
             ["include a.config", "vmparam -Dafter=1"],
             "-Da=1 -Da=2 -Dafter=1", "a.config"),
            ("through_another", {"a.config": "vmparam -Da=1\ninclude b.config\nvmparam -Da=2\n",
                                 "b.config": "vmparam -Db=1\ninclude a.config\nvmparam -Db=2\n"},
             ["include a.config", "vmparam -Dafter=1"],
             "-Da=1 -Db=1 -Db=2 -Da=2 -Dafter=1", "a.config"),
            # The application's own file, named relative to the launcher's
            # directory, is the same file as the one being read.
            ("application_file", {},
             ["vmparam -Dx=1", "include Demo.config", "vmparam -Dy=1"],
             "-Dx=1 -Dy=1", "Demo.config"),
        ]
        for name, files, lines, params, refused in cases:
            for quiet in (False, True):
                with self.subTest(name, quiet=quiet):
                    sc = self.scenario(name + (".quiet" if quiet else ""), windows=WINDOWS_XP)
                    for file_name, text in files.items():
                        sc.write("app\\" + file_name, text)
                    sc.config(*lines)
                    r = sc.run(["-q"] if quiet else [])
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertSingleLaunch(r, JAVAW + " " + params + " ", sc.app_dir)
                    # One report on standard error, naming the file; the
                    # same text in one box unless quiet.
                    report = r.stderr.decode("latin-1")
                    self.assertEqual(report.count("\r\n"), 1, r)
                    self.assertTrue(report.endswith("\r\n"), r)
                    self.assertIn(refused, report, r)
                    self.assertEqual(r.boxes, [] if quiet else
                                     [h.Box(report.replace("\r\n", "\n"), READ_ERROR, MB_OK)], r)

    def test_nesting_deeper_than_16_is_refused_once(self):
        # Demo.config -> n1 -> n2 -> ... -> n20: the files down to 16 levels
        # of nesting are read, the include of n17 is reported and skipped,
        # and Demo.config goes on after its include line.
        sc = self.scenario(windows=WINDOWS_XP)
        for i in range(1, 21):
            sc.write(r"app\n%d.config" % i, "vmparam -Dn=%d\ninclude n%d.config\n" % (i, i + 1))
        sc.config("include n1.config", "vmparam -Dafter=1")
        r = sc.run()
        params = " ".join("-Dn=%d" % i for i in range(1, 17))
        self.assertSingleLaunch(r, JAVAW + " " + params + " -Dafter=1 ", sc.app_dir)
        self.assertEqual([b.caption for b in r.boxes], [READ_ERROR], r)
        self.assertIn("n17.config", r.boxes[0].text)
        self.assertEqual(r.stderr, crlf(r.boxes[0].text), r)


class Environment(ConfigTestCase):

    def test_setenv_reaches_the_child_and_later_lines(self):
        sc = self.scenario(windows=WINDOWS_XP, env={
            "TW_OUTER": r"C:\outer dir",
            "TARNWICK_CHILD_ENV": "APP_HOME;A;TW_INNER;TW_OUTER",
        })
        sc.config(
            r"setenv APP_HOME=C:\apps\demo",       # no '$': backslashes stay
            "vmparam -Dhome=$APP_HOME",
            "vmparam -Dlower=$app_home",           # names match in any case
            "setenv A=b=c",                        # the first '=' divides
            r"setenv TW_INNER=$TW_OUTER\sub",      # from the launcher's environment
            "vmparam -Dinner=$TW_INNER",           # '=' before '$' quotes a blank
            "setenv TW_OUTER=replaced",
            "vmparam -Douter=$TW_OUTER",           # the current value
        )
        r = sc.run()
        self.assertEqual(r.exit_code, 0, r)
        self.assertLaunch(r, JAVAW + ' -Dhome=C:/apps/demo -Dlower=C:/apps/demo'
                          ' -Dinner="C:/outer dir/sub" -Douter=replaced ', sc.app_dir)
        self.assertEqual(r.children[0].env, {
            "APP_HOME": rb"C:\apps\demo",
            "A": b"b=c",
            "TW_INNER": b"C:/outer dir/sub",
            "TW_OUTER": b"replaced",
        })

    def test_expansion_and_quoting(self):
        sc = self.scenario(windows=WINDOWS_XP, env={
            "TW_APPS": r"C:\Program Files\Demo",
            "TW_TEMP": r"C:\Temp",
            "TW_APPT": "C:\\apps\\demo\\",
        })
        # (line, the JVM parameter it gives; "%(pid)d" is the launcher's id)
        cases = [
            # The quote that ends a name stays; pid is the bare number.
            ('vmparam "-Dpid=$pid"', '"-Dpid=%(pid)d"'),
            ('vmparam -Dx="$TW_TEMP"', '-Dx="C:/Temp"'),
            # Inside written quotes a value with a blank is not quoted again.
            ('vmparam -Dx="$TW_APPS"', '-Dx="C:/Program Files/Demo"'),
            # Two passes, one balanced pair of quotes around the whole.
            ("vmparam $TW_APPS/$TW_TEMP", '"C:/Program Files/Demo/C:/Temp"'),
            ("vmparam -Dapp.home=$TW_APPS", '-Dapp.home="C:/Program Files/Demo"'),
            ("vmparam -javaagent:$TW_APPS/agent.jar", '"-javaagent:C:/Program Files/Demo/agent.jar"'),
            ("vmparam -Dt=$TW_APPT/lib", "-Dt=C:/apps/demo/lib"),
            ("vmparam -Dn=$TW_APPT", "-Dn=C:/apps/demo/"),
            # Unresolved: left as written, backslashes too, and nothing
            # after it is expanded.
            ("vmparam -Dnope=$TW_NOPE/$TW_TEMP", "-Dnope=$TW_NOPE/$TW_TEMP"),
            (r"vmparam -Dnope=$TW_NOPE\x", r"-Dnope=$TW_NOPE\x"),
            # The name runs to the backslash: there is no variable "TW_TEMP/x".
            (r"vmparam -Dy=$TW_TEMP/x\y", r"-Dy=$TW_TEMP/x\y"),
            ("vmparam -DPID=$PID", "-DPID=$PID"),
            (r"vmparam C:\dir\file", r"C:\dir\file"),
            # An empty variable is found and gives nothing, also right after
            # a lookup that found nothing ($pid is looked up as a variable
            # first).
            ("vmparam -Da=$pid/$TW_EMPTY", "-Da=%(pid)d/"),
        ]
        sc.config(*["setenv TW_EMPTY="] + [line for line, _ in cases] +
                  ["mainclass com.acme.Main$Inner", "argument $TW_TEMP"])
        r = sc.run()
        self.assertEqual(r.exit_code, 0, r)
        calls = r.launcher_calls("kernel32.CreateProcessW")
        self.assertEqual(len(calls), 1, r)
        pid = calls[0].pid
        params = [expected % {"pid": pid} for _, expected in cases]
        self.assertLaunch(r, JAVAW + " " + " ".join(params) + " com.acme.Main$Inner $TW_TEMP ",
                          sc.app_dir)


class WorkingDirectory(ConfigTestCase):

    def test_child_starts_in_the_working_directory(self):
        # (workingDir value, where the child starts; relative to the
        #  scenario directory, which "%s" stands for in the value)
        cases = [
            (r"%s\work\sub", r"work\sub"),
            ("data", r"app\data"),               # relative to the launcher's directory
            (r"$TW_WORK\sub", r"work\sub"),      # expanded, so written with slashes
            # Expanded with a blank, so stored in quotes; the system is
            # given the folder itself.
            ("$TW_WORK_BLANK", r"work dir"),
        ]
        for i, (value, where) in enumerate(cases):
            with self.subTest(value=value):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                sc.env["TW_WORK"] = sc.win_path("work")
                sc.env["TW_WORK_BLANK"] = sc.win_path("work dir")
                sc.mkdir(r"work\sub")
                sc.mkdir(r"work dir")
                sc.mkdir(r"app\data")
                sc.config("workingDir " + value.replace("%s", sc.win_dir))
                r = sc.run()
                self.assertEqual(r.exit_code, 0, r)
                self.assertLaunch(r, JAVAW + " ", sc.win_path(where))


class Console(ConfigTestCase):
    """showConsole decides the creation flags; a console runtime (no
    "javaw" in its path) gets the launcher's new console and its title."""

    def test_console_settings(self):
        java = HOME_NO_JAVAW + r"\bin\java.exe"
        # (lines, runtime path, creation flags, AllocConsole, titles set)
        cases = [
            ([], JAVAW, CREATE_NO_WINDOW, 0, []),
            (["showConsole true"], JAVAW, 0, 0, []),
            (["showConsole TRUEish"], JAVAW, 0, 0, []),
            (["showConsole True"], JAVAW, CREATE_NO_WINDOW, 0, []),
            (["showConsole false"], JAVAW, CREATE_NO_WINDOW, 0, []),
            (["consoleTitle Demo console"], JAVAW, CREATE_NO_WINDOW, 0, []),
            # The title is set even when no console was allocated.
            (["showConsole true", "consoleTitle Demo console"], JAVAW, 0, 0, ["Demo console"]),
            (["javapath " + java, "showConsole true", "consoleTitle Demo console"], java, 0, 1,
             ["Demo console"]),
            (["javapath " + java, "showConsole true"], java, 0, 1, []),
        ]
        for i, (lines, runtime, flags, allocs, titles) in enumerate(cases):
            with self.subTest(lines=lines):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                sc.config(*lines)
                r = sc.run()
                self.assertEqual(r.exit_code, 0, r)
                self.assertLaunch(r, runtime + " ", sc.app_dir)
                starts = r.launcher_calls("kernel32.CreateProcessW")
                self.assertEqual([c.args[5] for c in starts], [flags | STARTED_WITH], r)
                self.assertEqual(len(r.launcher_calls("kernel32.AllocConsole")), allocs, r)
                self.assertEqual([c.args[0] for c in r.launcher_calls("kernel32.SetConsoleTitleW")],
                                 titles, r)

    def test_console_option_is_not_cleared_by_the_file(self):
        sc = self.scenario(windows=WINDOWS_XP)
        sc.config("showConsole false")
        r = sc.run(["-con"])
        self.assertEqual([c.args[5] for c in r.launcher_calls("kernel32.CreateProcessW")],
                         [STARTED_WITH], r)


class ConfigPath(ConfigTestCase):

    def test_which_file_is_read(self):
        # Demo.config (when present) sets -Dfile=Demo.
        # (launcher arguments, Demo.config present, other files, the JVM
        #  parameters that show which file was read)
        cases = [
            ([], True, {}, "-Dfile=Demo "),
            ([], False, {}, ""),
            (["-cother.config"], True, {r"app\other.config": "vmparam -Dfile=other\n"},
             "-Dfile=other "),
            # Absolute, in another directory, any name.
            (["-c%(etc)s"], True, {r"etc\settings.txt": "vmparam -Dfile=etc\n"}, "-Dfile=etc "),
            # A missing file: the launcher runs without, saying nothing.
            (["-cnothere.config"], True, {}, ""),
        ]
        for i, (args, demo, files, params) in enumerate(cases):
            with self.subTest(args=args, demo=demo):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                if demo:
                    sc.config("vmparam -Dfile=Demo")
                for name, text in files.items():
                    sc.write(name, text)
                r = sc.run([a % {"etc": sc.win_path(r"etc\settings.txt")} for a in args])
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.stderr, b"", r)
                self.assertLaunch(r, JAVAW + " " + params + "", sc.app_dir)

    def test_config_that_cannot_be_opened(self):
        # A directory where the file should be: exit code 2 through every
        # path, the message in a plain box and on standard error, nothing
        # started.
        cases = [
            # (launcher arguments, directory to create, path in the message)
            ([], r"app\Demo.config", "%(app)s\\Demo.config"),
            (["-passExitCode"], r"app\Demo.config", "%(app)s\\Demo.config"),
            (["-cconfdir"], r"app\confdir", "confdir"),
            (["-c%(app)s\\confdir"], r"app\confdir", "%(app)s\\confdir"),
        ]
        for i, (args, directory, path) in enumerate(cases):
            for quiet in (False, True):
                with self.subTest(args=args, quiet=quiet):
                    sc = self.scenario("%d%s" % (i, ".quiet" if quiet else ""), windows=WINDOWS_XP)
                    sc.mkdir(directory)
                    names = {"app": sc.app_dir}
                    r = sc.run((["-q"] if quiet else []) + [a % names for a in args])
                    message = cannot_open(path % names)
                    self.assertEqual(r.exit_code_unsigned, 2, r)
                    self.assertEqual(r.boxes, [] if quiet else [h.Box(message, READ_ERROR, MB_OK)], r)
                    self.assertEqual(r.stderr, crlf(message), r)
                    self.assertEqual(r.stdout, b"", r)
                    self.assertNothingStarted(r)


class UnexpectedClose(ConfigTestCase):
    """A child that ends with an error while a log file is configured: the
    question offers the log file."""

    @staticmethod
    def question(name, log_file, code):
        return h.Box("%s has closed in an unexpected way. Would you like to view the log file?"
                     "\n\nLog file location:%s\n\nJava returned the following error code: %d"
                     % (name, log_file, code), "Unexpected Close", MB_ICONERROR_YESNO)

    def test_question(self):
        log = "C:/logs/app.log"
        # (lines, launcher arguments, child's exit code, expected boxes)
        cases = [
            (["vmparam -DLOGFILE=" + log], [], 3, [self.question("Application", log, 3)]),
            (["appname Demo App", "vmparam -DLOGFILE=" + log], [], 3,
             [self.question("Demo App", log, 3)]),
            (["appname ", "vmparam -DLOGFILE=" + log], [], -1073741819,
             [self.question("Application", log, -1073741819)]),
            (["vmparam -DLOGFILE=" + log], ["-q"], 3, []),
            # The quotes that expansion puts around a path with a blank stay.
            (["vmparam -DLOGFILE=$TW_LOGS/app.log"], [], 1,
             [self.question("Application", '"C:/Log Files/app.log"', 1)]),
            # A bare -DLOGFILE names no log file, so no question (what
            # shows instead depends on how long the child ran).
            (["vmparam -DLOGFILE"], [], 3, None),
        ]
        for i, (lines, args, code, boxes) in enumerate(cases):
            with self.subTest(lines=lines, args=args):
                sc = self.scenario(str(i), windows=WINDOWS_XP, child_exits=[code],
                                   env={"TW_LOGS": r"C:\Log Files"})
                sc.config(*lines)
                r = sc.run(args)
                if boxes is None:
                    self.assertNotIn("Unexpected Close", [b.caption for b in r.boxes], r)
                else:
                    self.assertEqual(r.boxes, boxes, r)
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(len(r.children), 1, r)
                # Not answered Yes (no display): nothing is opened.
                self.assertEqual(r.launcher_calls("shell32.ShellExecuteW"), [], r)

    def test_answers(self):
        # On a display: Yes opens the log file with its associated program
        # (the file does not exist, so nothing opens), No opens nothing.
        for key, answer, opened in (("y", 6, True), ("n", 7, False)):
            with self.subTest(key=key):
                sc = self.scenario(key, windows=WINDOWS_XP, child_exits=[3])
                log = sc.win_path(r"logs\app.log").replace("\\", "/")
                sc.config("appname Demo", "vmparam -DLOGFILE=" + log)
                r = sc.run(["-passExitCode"], answers=[("Unexpected Close", key)])
                self.assertEqual(r.boxes, [self.question("Demo", log, 3)], r)
                self.assertIn(b"Ret  user32.MessageBoxW() retval=%08x" % answer, r.wine_trace)
                self.assertEqual(r.exit_code, 3, r)
                self.assertEqual([c.args for c in r.launcher_calls("shell32.ShellExecuteW")],
                                 [[0, "open", log, "", 0, 5]] if opened else [], r)


class Capacity(ConfigTestCase):
    """The lists hold 100 JVM parameters, 200 class-path entries and 100
    arguments, the command line's included; one more from the file ends the
    launcher with 2 before anything starts."""

    def test_limits(self):
        # (name, launcher arguments, lines, fits)
        d99 = ["-Dc%d" % i for i in range(99)]
        cases = [
            ("jars_200", [], ["addjar j%d.jar" % i for i in range(200)], True),
            ("jars_201", [], ["addjar j%d.jar" % i for i in range(201)], False),
            ("jars_201_quiet", ["-q"], ["addjar j%d.jar" % i for i in range(201)], False),
            ("params_100", d99, ["vmparam -Df0"], True),
            ("params_101", d99, ["vmparam -Df0", "vmparam -Df1"], False),
            ("args_100", ["a"], ["argument f%d" % i for i in range(99)], True),
            ("args_101", ["a"], ["argument f%d" % i for i in range(100)], False),
        ]
        for name, args, lines, fits in cases:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP)
                sc.config(*lines)
                r = sc.run(args + ["-passExitCode"])
                if fits:
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertEqual(r.boxes, [], r)
                    self.assertEqual(len(r.children), 1, r)
                    if name.startswith("jars"):
                        entries = ";".join("j%d.jar" % i for i in range(200))
                        self.assertIn((" -classpath %s " % entries).encode(), r.children[0].cmdline)
                    continue
                self.assertEqual(r.exit_code_unsigned, 2, r)
                self.assertNothingStarted(r)
                self.assertEqual(r.stdout, b"", r)
                limit = b"200" if name.startswith("jars") else b"100"
                self.assertIn(limit, r.stderr, r)
                if "quiet" in name:
                    self.assertEqual(r.boxes, [], r)
                else:
                    self.assertEqual([(b.caption, b.type) for b in r.boxes],
                                     [("Too Many Entries", MB_ICONERROR)], r)
                    self.assertIn(limit.decode(), r.boxes[0].text)


if __name__ == "__main__":
    h.main()

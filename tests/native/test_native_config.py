#!/usr/bin/python3
"""End-to-end tests of the native launcher driven by its configuration file.

Each test ships the demo the way a user does: the built launcher (environment
variable TARNWICK) is copied as "Demo" into a scratch application folder,
Demo.config is written beside it, and it is started by its absolute path from
another folder, so that it works in its own folder.  The demo application
(compiled into DEMO_CLASSES, main class Demo) runs on this machine's real JVM,
also where made-up runtimes are selected: their bin/java is a symlink to the
real one.

Run one group:  TARNWICK=... DEMO_CLASSES=... python3 test_native_config.py -v ConfigFilesTests
"""
import errno
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_native_launcher import (DemoOutput, clean_environment, kill_leftover, read_to_end,  # noqa: E402
                                  read_until, wait_for)

TARNWICK = os.environ.get("TARNWICK", "")
DEMO_CLASSES = os.environ.get("DEMO_CLASSES", "")
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Guards against a hung launcher or build, not measurements.
RUN_TIMEOUT_SECONDS = 60
BUILD_TIMEOUT_SECONDS = 900

JVM_ROOT = "/usr/lib/jvm"


def setUpModule():
    if not TARNWICK or not os.access(TARNWICK, os.X_OK):
        raise RuntimeError("TARNWICK must name the built launcher (got %r)" % TARNWICK)
    if not os.path.isfile(os.path.join(DEMO_CLASSES, "Demo.class")):
        raise RuntimeError("DEMO_CLASSES must hold Demo.class (got %r)" % DEMO_CLASSES)


def real_java():
    """The real path of this machine's java, or None."""
    java = shutil.which("java")
    return os.path.realpath(java) if java else None


def config_environment(**changes):
    """A clean environment: no runtime choice, no JVM options and no "pid"
    variable of the caller's."""
    for name in ("JDK_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "pid"):
        changes.setdefault(name, None)
    return clean_environment(**changes)


class Run:
    """One finished launcher run, with the pieces of its output: the
    application's on standard output, the launcher's own lines (the trace,
    the banner and the command line) and its boxes on standard error."""

    def __init__(self, code, out, err, pid):
        self.code, self.out, self.err, self.pid = code, out, err, pid
        lines = err.split("\n")
        self.command_line = None
        self.before_banner = lines
        for i, line in enumerate(lines):
            if line.startswith("#Version "):
                self.before_banner = lines[:i]
                if i + 2 < len(lines) and lines[i + 1] == "#Command line=":
                    self.command_line = lines[i + 2]
                break
        self.demo = DemoOutput(out) if "demo args=" in out else None

    def text(self):
        return "exit %d\n--- stdout\n%s--- stderr\n%s" % (self.code, self.out, self.err)

    def program(self):
        """The first token of the command line: the java that was started."""
        line = self.command_line
        if line.startswith('"'):
            return line[1:line.index('"', 1)]
        return line.split(" ", 1)[0]

    def selection_trace(self):
        """The lines the runtime selection printed before the launch (and
        any box that followed them)."""
        return [line for line in self.before_banner if line]


class ConfiguredLauncherCase(unittest.TestCase):
    """A scratch application folder holding the launcher as Demo."""

    def setUp(self):
        self.scratch = os.path.realpath(tempfile.mkdtemp(prefix="tarnwick-config-"))
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.app = self.path("app")
        self.elsewhere = self.path("elsewhere")
        os.makedirs(self.app)
        os.makedirs(self.elsewhere)
        self.launcher = os.path.join(self.app, "Demo")
        shutil.copy2(TARNWICK, self.launcher)

    def path(self, *names):
        return os.path.join(self.scratch, *names)

    def place_classes(self, folder):
        """Copies the demo's classes into folder (relative to the app folder)."""
        target = os.path.join(self.app, folder)
        os.makedirs(target, exist_ok=True)
        shutil.copy2(os.path.join(DEMO_CLASSES, "Demo.class"), target)
        return target

    def write(self, name, lines):
        """Writes a configuration file (relative to the app folder)."""
        target = os.path.join(self.app, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "w") as out:
            out.write("".join(line + "\n" for line in lines))
        return target

    def launch(self, args=(), env=None, config=None, program=None):
        """Writes Demo.config when config is given, starts the launcher (by its
        absolute path unless program names it otherwise) from another folder
        and waits for it."""
        if config is not None:
            self.write("Demo.config", config)
        process = subprocess.Popen([program or self.launcher] + list(args), cwd=self.elsewhere,
                                   env=env if env is not None else config_environment(),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise
        return Run(process.returncode, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"), process.pid)

    def launch_demo(self, args=(), env=None, config=None):
        """A run that must end well with the demo's output."""
        run = self.launch(args, env, config)
        self.assertEqual(0, run.code, run.text())
        self.assertIsNotNone(run.demo, run.text())
        return run

    def assertNotStarted(self, run):
        self.assertIsNone(run.command_line, run.text())
        self.assertNotIn("demo args=", run.out)


class ReadmeDemoTests(unittest.TestCase):
    """The README's first command builds the launcher and starts the demo
    through it with examples/demo/Demo.config."""

    def test_scripts_demo_sh_starts_the_demo(self):
        native = os.path.join(SOURCE_ROOT, "build", "native", "tarnwick")
        if os.path.realpath(TARNWICK) != os.path.realpath(native):
            self.skipTest("scripts/demo.sh builds the native preset; this run tests %s" % TARNWICK)
        done = subprocess.run([os.path.join(SOURCE_ROOT, "scripts", "demo.sh"), "one two", "three"],
                              cwd=SOURCE_ROOT, env=config_environment(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=BUILD_TIMEOUT_SECONDS)
        out, err = done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")
        self.assertEqual(0, done.returncode, out + err)
        demo = DemoOutput(out)
        # Command-line arguments first, then the configuration's "argument" line.
        self.assertEqual(["one two", "three", "from the configuration"], demo.args)
        self.assertEqual("Hello", demo.values["property demo.greeting"])
        self.assertEqual(os.path.realpath(os.path.join(SOURCE_ROOT, "build", "demo-app")),
                         os.path.realpath(demo.values["user.dir"]))


class ConfigClassPathTests(ConfiguredLauncherCase):
    """Class-path entries holding a blank are quoted, and the JVM finds the
    demo in them; the demo is nowhere else on the class path."""

    def test_folders_with_a_blank_a_tab_or_a_quote(self):
        cases = [
            ("addpath", "my classes", ["addpath my classes"], '"my classes"'),
            ("addpath and addjar", "my classes", ["addpath my classes", "addjar plain.jar"],
             '"my classes:plain.jar"'),
            # A POSIX name may hold a tab or a quote: quoted and escaped.
            ("a tab", "tab\tdir", ["addpath tab\tdir", "addjar plain.jar"], '"tab\tdir:plain.jar"'),
            ("a quote", 'say"hi', ['addpath say"hi'], r'"say\"hi"'),
        ]
        for name, folder, lines, class_path in cases:
            with self.subTest(name):
                self.place_classes(folder)
                run = self.launch_demo(config=["mainclass Demo"] + lines + ["argument x"])
                self.assertIn(" -classpath %s Demo " % class_path, run.command_line)
                self.assertEqual(["x"], run.demo.args)

    def test_expanded_folders_with_a_blank(self):
        """A folder named through a variable comes quoted; the class path
        still reaches the JVM as one whole argument."""
        self.place_classes("sp ace/classes")
        env = config_environment(TW_APP=os.path.join(self.app, "sp ace"))
        for lines in (["addpath $TW_APP/classes"], ["addpath $TW_APP/classes", "addjar other dir.jar"]):
            with self.subTest(lines=lines):
                run = self.launch_demo(env=env, config=["mainclass Demo"] + lines + ["argument x"])
                self.assertEqual(["x"], run.demo.args)
                self.assertEqual(1, run.command_line.count(' -classpath "'), run.command_line)

    def test_a_jar_in_a_folder_with_a_blank(self):
        jar = shutil.which("jar")
        if jar is None and real_java():
            jar = os.path.join(os.path.dirname(real_java()), "jar")
        if jar is None or not os.access(jar, os.X_OK):
            self.skipTest("no jar tool")
        os.makedirs(os.path.join(self.app, "lib dir"))
        subprocess.run([jar, "cf", os.path.join(self.app, "lib dir", "demo.jar"), "-C", DEMO_CLASSES, "Demo.class"],
                       check=True, stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT_SECONDS)
        cases = [
            ("addjars", "addjars lib dir", '"lib dir/*"'),
            ("addjar", "addjar lib dir/demo.jar", '"lib dir/demo.jar"'),
        ]
        for name, line, class_path in cases:
            with self.subTest(name):
                run = self.launch_demo(config=["mainclass Demo", line])
                self.assertTrue(run.command_line.endswith(" -classpath %s Demo" % class_path), run.text())
                self.assertEqual([], run.demo.args)


class ConfigExpansionTests(ConfiguredLauncherCase):
    """Environment variables and $pid in configuration values."""

    def setUp(self):
        super().setUp()
        self.place_classes("classes")

    def greeting(self, line, **env):
        """Runs the demo with one extra configuration line; returns the run
        and the greeting the JVM received."""
        run = self.launch_demo(env=config_environment(**env),
                               config=["mainclass Demo", "addpath classes", line])
        return run, run.demo.values["property demo.greeting"]

    def test_values_reach_the_jvm(self):
        cases = [
            # (line, environment, greeting the JVM sees, text on the command line)
            ("vmparam -Ddemo.greeting=$GREETING", {"GREETING": "plain"}, "plain", " -Ddemo.greeting=plain "),
            ("vmparam -Ddemo.greeting=$GREETING", {"GREETING": "hello big world"}, "hello big world",
             ' -Ddemo.greeting="hello big world" '),
            ('vmparam -Ddemo.greeting="$GREETING"', {"GREETING": "quoted"}, "quoted",
             ' -Ddemo.greeting="quoted" '),
            # Written quotes around a value with blanks are not doubled.
            ('vmparam -Ddemo.greeting="$GREETING"', {"GREETING": "big world"}, "big world",
             ' -Ddemo.greeting="big world" '),
            ("vmparam -Ddemo.greeting=$TW_TEST_UNSET/x", {}, "$TW_TEST_UNSET/x", " -Ddemo.greeting=$TW_TEST_UNSET/x "),
            ("vmparam -Ddemo.greeting=$TW_TEST_UNSET\\x", {}, "$TW_TEST_UNSET\\x", None),
            # An unresolved reference stops the expansion: later ones stay too.
            ("vmparam -Ddemo.greeting=$TW_TEST_UNSET/$GREETING", {"GREETING": "g"}, "$TW_TEST_UNSET/$GREETING", None),
            ("vmparam -Ddemo.greeting=$GREETING/$TW_TEST_UNSET", {"GREETING": "g"}, "g/$TW_TEST_UNSET", None),
            # Expanded values have slashes for backslashes, the variable's own included.
            ("vmparam -Ddemo.greeting=$GREETING\\tail", {"GREETING": "a\\b"}, "a/b/tail", None),
            # A value brought in by an expansion is expanded in turn.
            ("vmparam -Ddemo.greeting=$OUTER", {"OUTER": "$INNER/x", "INNER": "in"}, "in/x", None),
        ]
        for line, env, expected, on_command_line in cases:
            with self.subTest(line=line, env=env):
                run, greeting = self.greeting(line, **env)
                self.assertEqual(expected, greeting, run.text())
                if on_command_line is not None:
                    self.assertIn(on_command_line, run.command_line)

    def test_variables_in_paths_and_the_main_class(self):
        java = real_java()
        if java is None:
            self.skipTest("no java on PATH")
        os.makedirs(self.path("jdk home", "bin"))
        os.symlink(java, self.path("jdk home", "bin", "java"))
        env = config_environment(DEMO_DIR=self.app, DEMO_DIRT=self.app + "/", JH=self.path("jdk home"), MAIN="Demo")
        # Backslashes after an expansion become slashes, so a Windows-style
        # value works here too; a trailing separator is not doubled.
        cases = [
            ("addpath $DEMO_DIR/classes", "mainclass Demo", " -classpath %s/classes Demo" % self.app),
            ("addpath $DEMO_DIR\\classes", "mainclass Demo", " -classpath %s/classes Demo" % self.app),
            ("addpath $DEMO_DIRT/classes", "mainclass Demo", " -classpath %s/classes Demo" % self.app),
            ("addpath classes", "mainclass $MAIN", " -classpath classes Demo"),
        ]
        for path_line, main_line, expected in cases:
            with self.subTest(path_line=path_line, main_line=main_line):
                run = self.launch_demo(env=env, config=[main_line, path_line])
                self.assertTrue(run.command_line.endswith(expected), run.text())
        with self.subTest("javapath with a blank"):
            # Quoted once, and started through the symlink.
            run = self.launch_demo(env=env, config=["mainclass Demo", "addpath classes", "javapath $JH/bin/java"])
            self.assertTrue(run.command_line.startswith('"%s" ' % self.path("jdk home", "bin", "java")), run.text())

    def test_arguments_are_never_expanded(self):
        run = self.launch_demo(env=config_environment(GREETING="no"),
                               config=["mainclass Demo", "addpath classes", "argument $GREETING", "argument $pid"])
        self.assertEqual(["$GREETING", "$pid"], run.demo.args)

    def test_pid_is_the_launchers_process_id(self):
        for line in ('vmparam "-Ddemo.greeting=$pid"', "vmparam -Ddemo.greeting=$pid"):
            with self.subTest(line=line):
                run, greeting = self.greeting(line)
                self.assertEqual(str(run.pid), greeting, run.text())
                # A quote that ends the name stays in the value: one balanced pair.
                expected = '"-Ddemo.greeting=%d"' if line.startswith('vmparam "') else "-Ddemo.greeting=%d"
                self.assertIn(" %s " % (expected % run.pid), run.command_line)

    def test_a_pid_variable_of_the_environment_wins(self):
        run, greeting = self.greeting("vmparam -Ddemo.greeting=$pid", pid="from-env")
        self.assertEqual("from-env", greeting)
        run, greeting = self.greeting("vmparam -Ddemo.greeting=$PID", PID=None)
        self.assertEqual("$PID", greeting)


class ConfigFilesTests(ConfiguredLauncherCase):
    """Includes, setenv, workingDir, -c and configuration files that cannot
    be read."""

    def test_nested_includes_take_effect_where_they_stand(self):
        self.place_classes("classes")
        self.write("Demo.config", ["mainclass Demo", "addpath classes", "argument 1 main",
                                   "include parts/outer.config", "argument 5 main"])
        # Include paths are relative to the launcher's folder, not to the
        # including file: parts/parts/inner.config is a decoy.
        self.write("parts/outer.config", ["argument 2 outer", "include parts/inner.config", "argument 4 outer"])
        self.write("parts/inner.config", ["argument 3 inner", "vmparam -Ddemo.greeting=from-inner"])
        self.write("parts/parts/inner.config", ["argument decoy"])
        run = self.launch_demo()
        self.assertEqual(["1 main", "2 outer", "3 inner", "4 outer", "5 main"], run.demo.args)
        self.assertEqual("from-inner", run.demo.values["property demo.greeting"])

    def test_unreadable_includes_are_skipped_and_reading_goes_on(self):
        self.place_classes("classes")
        os.makedirs(os.path.join(self.app, "a folder"))
        # A FIFO without a writer would hold a reader for ever.
        os.mkfifo(os.path.join(self.app, "a fifo"))
        self.write("Demo.config", ["mainclass Demo", "addpath classes", "include missing.config",
                                   "include a folder", "include a fifo", "argument after"])
        messages = ["Can't open a folder Error " + os.strerror(errno.EISDIR),
                    "Can't open a fifo Error " + os.strerror(errno.ENOTSUP)]
        for args, box in (([], True), (["-q"], False)):
            with self.subTest(args=args):
                run = self.launch_demo(args)
                self.assertEqual(["after"], run.demo.args)
                self.assertNotIn("missing.config", run.err)
                lines = run.err.split("\n")
                for message in messages:
                    # Once: as the box's line, or alone when quiet.
                    told = "Error Reading Config File: " + message if box else message
                    self.assertEqual(1, sum(line.endswith(message) for line in lines), run.err)
                    self.assertIn(told, lines, run.err)

    def test_a_file_that_includes_itself_is_read_once(self):
        self.place_classes("classes")
        self.write("parts/a.config", ["argument a", "include parts/b.config"])
        self.write("parts/b.config", ["argument b", "include parts/a.config"])
        self.write("loop.config", ["mainclass Demo", "addpath classes", "include loop.config", "argument loop"])
        cases = [
            # (Demo.config, launcher arguments, arguments the demo gets, file named in the report)
            (["include parts/a.config"], [], ["a", "b"], "parts/a.config"),
            (None, ["-cloop.config"], ["loop"], "loop.config"),
            # The launcher reads its own file by its full path; the include
            # names the same file relative to the launcher's folder.
            (["include Demo.config", "argument main"], [], ["main"], "Demo.config"),
        ]
        for config, args, expected, named in cases:
            with self.subTest(config=config, args=args):
                run = self.launch_demo(args, config=None if config is None else
                                       ["mainclass Demo", "addpath classes"] + config)
                self.assertEqual(expected, run.demo.args, run.text())
                # Its lines took effect once: the class path is not doubled.
                self.assertIn(" -classpath classes Demo ", run.command_line)
                reports = [line for line in run.err.split("\n") if "Can't include " in line]
                self.assertEqual(1, len(reports), run.err)
                self.assertIn(named, reports[0])

    def test_utf16_configurations_are_decoded(self):
        """Saved as UTF-16 with a byte-order mark (Windows PowerShell 5.1, Notepad's
        "Unicode"), the same file starts the same application as on Windows."""
        self.place_classes("classes")
        with open(os.path.join(self.app, "Demo.config"), "wb") as out:
            out.write("mainclass Demo\r\naddpath classes\r\ninclude be.config\r\nargument Zoë\r\n"
                      .encode("utf-16"))
        with open(os.path.join(self.app, "be.config"), "wb") as out:
            out.write(b"\xfe\xff" + "argument 日本\n".encode("utf-16-be"))
        run = self.launch_demo(["-d"])
        self.assertEqual(["日本", "Zoë"], run.demo.args, run.text())
        self.assertIn("Reading config file %s as UTF-16 LE\n" % os.path.join(self.app, "Demo.config"), run.err)
        self.assertIn("Reading config file be.config as UTF-16 BE\n", run.err)

    def test_setenv_reaches_the_child_and_later_lines(self):
        self.place_classes("classes")
        base = ["mainclass Demo", "addpath classes"]
        with self.subTest("later lines"):
            run = self.launch_demo(config=base + ["setenv TW_GREETING=set here", "vmparam -Ddemo.greeting=$TW_GREETING"])
            self.assertEqual("set here", run.demo.values["property demo.greeting"])
        with self.subTest("the child's environment"):
            # The JVM reads JDK_JAVA_OPTIONS from its own environment.
            run = self.launch_demo(env=config_environment(TW_FROM_LAUNCHER="outside"),
                                   config=base + ["setenv TW_WORD=in=side", "setenv JDK_JAVA_OPTIONS=-Ddemo.greeting=$TW_FROM_LAUNCHER/$TW_WORD"])
            self.assertEqual("outside/in=side", run.demo.values["property demo.greeting"], run.text())
            self.assertNotIn("JDK_JAVA_OPTIONS", run.command_line)

    def test_working_directory(self):
        java = real_java()
        if java is None:
            self.skipTest("no java on PATH")
        os.makedirs(os.path.join(self.app, "jre", "bin"))
        os.symlink(java, os.path.join(self.app, "jre", "bin", "java"))
        self.place_classes("classes")
        os.makedirs(os.path.join(self.app, "data dir"))
        os.makedirs(self.path("work"))
        cases = [
            ([], self.app),
            (["workingDir data dir"], os.path.join(self.app, "data dir")),
            (["workingDir $TW_WORK"], self.path("work")),
            # Named through a variable, a folder with a blank comes quoted.
            (["workingDir $TW_DATA"], os.path.join(self.app, "data dir")),
            # A runtime shipped with the application, named from its folder.
            (["javapath jre/bin/java", "workingDir data dir"], os.path.join(self.app, "data dir")),
        ]
        for lines, expected in cases:
            with self.subTest(lines=lines):
                run = self.launch_demo(env=config_environment(TW_WORK=self.path("work"),
                                                              TW_DATA=os.path.join(self.app, "data dir")),
                                       config=["mainclass Demo", "addpath " + os.path.join(self.app, "classes")] + lines)
                self.assertEqual(expected, os.path.realpath(run.demo.values["user.dir"]))

    def test_the_configuration_beside_the_real_file(self):
        """However the launcher is started, its own file's folder and name
        decide; a configuration in the current folder is read only when -c
        names it."""
        self.place_classes("classes")
        self.write("Demo.config", ["mainclass Demo", "addpath classes", "argument from the app folder"])
        # What a stranger may leave where the user happens to be.
        decoy = ["mainclass Demo", "addpath %s/classes" % self.app, "argument from the current folder"]
        for name in ("Demo.config", "demo.config", "tarnwick.config"):
            with open(os.path.join(self.elsewhere, name), "w") as out:
                out.write("".join(line + "\n" for line in decoy))
        os.makedirs(self.path("bin"))
        os.symlink(self.launcher, self.path("bin", "demo"))
        os.makedirs(os.path.join(self.elsewhere, "sub"))
        os.symlink(self.launcher, os.path.join(self.elsewhere, "sub", "Demo"))
        on_path = config_environment(PATH=self.path("bin") + ":" + os.environ["PATH"])
        cases = [
            # (program, environment, launcher arguments, arguments the demo gets)
            ("demo", on_path, [], ["from the app folder"]),
            (self.path("bin", "demo"), None, [], ["from the app folder"]),
            ("sub/Demo", None, [], ["from the app folder"]),
            (os.path.relpath(self.launcher, self.elsewhere), None, [], ["from the app folder"]),
            ("demo", on_path, ["-c" + os.path.join(self.elsewhere, "demo.config")], ["from the current folder"]),
        ]
        for program, env, args, expected in cases:
            with self.subTest(program=program, args=args):
                run = self.launch(args, env=env, program=program)
                self.assertEqual(0, run.code, run.text())
                self.assertEqual(expected, run.demo.args, run.text())
                self.assertEqual(self.app, os.path.realpath(run.demo.values["user.dir"]))

    def test_the_c_option_names_the_file(self):
        self.place_classes("classes")
        self.write("Demo.config", ["mainclass Demo", "addpath classes", "argument from Demo.config"])
        self.write("alt.config", ["mainclass Demo", "addpath classes", "argument from alt.config"])
        other = self.path("other folder", "x.cfg")
        os.makedirs(os.path.dirname(other))
        with open(other, "w") as out:
            out.write("mainclass Demo\naddpath %s/classes\nargument from x.cfg\n" % self.app)
        cases = [
            ([], ["from Demo.config"]),
            # Relative to the launcher's folder, where it works when started by its full path.
            (["-calt.config"], ["from alt.config"]),
            (["-c" + other], ["from x.cfg"]),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                run = self.launch_demo(args)
                self.assertEqual(expected, run.demo.args)
        with self.subTest("-c alone"):
            # The empty path names no file, and the next argument goes to the
            # application: no main class and no class path at all.
            run = self.launch(["-c", "alt.config"])
            self.assertRegex(run.command_line, r'^\S+ {2}"?alt\.config"? $', run.text())

    def test_a_folder_or_a_fifo_as_the_configuration(self):
        os.makedirs(os.path.join(self.app, "Demo.config"))
        os.makedirs(os.path.join(self.app, "conf dir"))
        os.mkfifo(os.path.join(self.app, "conf fifo"))
        message = "Can't open %s Error %s\n"
        cases = [
            ([], os.path.join(self.app, "Demo.config"), errno.EISDIR, True),
            (["-cconf dir"], "conf dir", errno.EISDIR, True),
            (["-cconf dir", "-q"], "conf dir", errno.EISDIR, False),
            (["-cconf dir", "-passExitCode"], "conf dir", errno.EISDIR, True),
            (["-cconf fifo"], "conf fifo", errno.ENOTSUP, True),
        ]
        for args, path, error, box in cases:
            with self.subTest(args=args):
                run = self.launch(args)
                expected = message % (path, os.strerror(error))
                self.assertEqual(2, run.code, run.text())
                # Once: as the box's line, or alone when quiet.
                told = "Error Reading Config File: " + expected if box else expected
                self.assertTrue(run.err.startswith(told), run.text())
                self.assertEqual(1, run.err.count(expected), run.text())
                self.assertNotStarted(run)


class ConfigCapacityTests(ConfiguredLauncherCase):
    """The lists hold 100 JVM parameters, 200 class-path entries and 100
    arguments, the command line's included: one more ends the launcher with
    exit code 2 and a message, before anything is started."""

    CASES = [
        # (list, lines for `count` entries, command-line arguments, capacity)
        ("class path", lambda count: ["addpath classes"] + ["addjar lib/x%d.jar" % i for i in range(count - 1)], [], 200),
        ("JVM parameters", lambda count: ["vmparam -Dtw.p%d=%d" % (i, i) for i in range(count - 1)], ["-Dtw.cmd=1"], 100),
        ("arguments", lambda count: ["argument a%d" % i for i in range(count - 1)], ["from-command-line"], 100),
    ]

    def setUp(self):
        super().setUp()
        self.place_classes("classes")

    def test_at_capacity_the_demo_starts(self):
        for name, lines, args, capacity in self.CASES:
            with self.subTest(name):
                config = ["mainclass Demo"] + lines(capacity)
                if name != "class path":
                    config.append("addpath classes")
                run = self.launch_demo(args, config=config)
                if name == "arguments":
                    self.assertEqual(capacity, len(run.demo.args))
                    self.assertEqual("a%d" % (capacity - 2), run.demo.args[-1])

    def test_one_more_entry_ends_with_exit_code_2(self):
        for name, lines, args, capacity in self.CASES:
            for extra_args, box in (([], True), (["-q"], False)):
                with self.subTest(name, args=extra_args):
                    config = ["mainclass Demo", "addpath classes"] + lines(capacity + 1) + ["argument not reached"]
                    run = self.launch(args + extra_args + ["-passExitCode"], config=config)
                    self.assertEqual(2, run.code, run.text())
                    self.assertIn("at most %d" % capacity, run.err)
                    self.assertEqual(box, "Too Many Entries: " in run.err, run.err)
                    self.assertNotStarted(run)


class JavaVersionInstalledTests(ConfiguredLauncherCase):
    """javaVersion met by the runtimes installed under /usr/lib/jvm, found by
    the launcher's own scan."""

    def setUp(self):
        super().setUp()
        self.place_classes("classes")
        self.runtimes = {}  # real home -> JAVA_VERSION
        for name in sorted(os.listdir(JVM_ROOT)) if os.path.isdir(JVM_ROOT) else []:
            home = os.path.join(JVM_ROOT, name)
            version = self.release_version(home)
            if version and os.access(os.path.join(home, "bin", "java"), os.X_OK):
                self.runtimes[os.path.realpath(home)] = version
        if not self.runtimes:
            self.skipTest("no Java runtime under %s" % JVM_ROOT)

    @staticmethod
    def release_version(home):
        try:
            with open(os.path.join(home, "release")) as release:
                for line in release:
                    if line.startswith("JAVA_VERSION="):
                        return line.strip()[len("JAVA_VERSION="):].strip('"')
        except OSError:
            pass
        return None

    @staticmethod
    def family(version):
        parts = version.split("_")[0].split(".")
        return ".".join(parts[:2]) if parts[0] == "1" else parts[0]

    def run_with(self, requirement):
        return self.launch_demo(config=["mainclass Demo", "addpath classes", "javaVersion " + requirement])

    def test_each_family_and_full_version_picks_its_runtime(self):
        families = {}
        versions = {}
        for home, version in self.runtimes.items():
            families.setdefault(self.family(version), []).append(home)
            versions.setdefault(version, []).append(home)
        print("runtimes: %s" % self.runtimes, file=sys.stderr)
        # A name that several homes share says nothing about which one is meant.
        for home, version in sorted(self.runtimes.items()):
            requirements = [version] if len(versions[version]) == 1 else []
            if len(families[self.family(version)]) == 1 and self.family(version) != version:
                requirements.append(self.family(version))
            for requirement in requirements:
                with self.subTest(requirement=requirement, home=home):
                    run = self.run_with(requirement)
                    self.assertEqual(home, os.path.realpath(run.demo.values["java.home"]), run.text())
                    self.assertEqual(home + "/bin/java", os.path.realpath(run.program()))

    def test_the_trace_lists_every_runtime_once(self):
        version = sorted(self.runtimes.values())[0]
        family = self.family(version)
        run = self.run_with(family)
        trace = run.selection_trace()
        # A "1.x" family keeps the patch-level rule; a later one names a feature.
        old = family.startswith("1.")
        self.assertEqual("javaVersion=%s, javaVer=%s" % (family, family if old else "feature " + family),
                         trace[0], run.text())
        checked = [line for line in trace if line.startswith("checking (")]
        names = []
        for number, line in enumerate(checked, 1):
            prefix = "checking (%d) " % number
            self.assertTrue(line.startswith(prefix), run.text())
            names.append(line[len(prefix):])
        # Each runtime by its full version and by its family; a symlinked
        # alias of a home adds nothing.
        self.assertEqual(len(names), len(set(names)), run.text())
        for other in self.runtimes.values():
            self.assertIn(other, names)
            self.assertIn(self.family(other), names)
        self.assertIn("found correct java version %s. checking %s" % (family, "patch level" if old else "version"),
                      trace)

    @staticmethod
    def numbers(version):
        """A version's feature, interim, update and patch (1.8.0_392 -> 8, 0, 392, 0)."""
        parts = [int(p) for p in re.findall(r"\d+", version.split("+")[0].split("-")[0])]
        if parts[0] == 1 and len(parts) > 1:
            parts = parts[1:]
        return tuple((parts + [0, 0, 0, 0])[:4])

    def test_requirements_as_written_today(self):
        """17+, 21+ and 1.8+ choose the newest runtime of that feature or later,
        17 the newest of feature 17; one feature past the newest asks and ends
        with 11.  (With OpenJDK 17.0.15 and Temurin 25.0.3 installed: 25.0.3,
        25.0.3, 25.0.3, 17.0.15, and 26+.)"""
        by_version = sorted(self.runtimes.items(), key=lambda item: self.numbers(item[1]))
        past_newest = "%d+" % (self.numbers(by_version[-1][1])[0] + 1)

        def newest(meets):
            homes = [home for home, version in by_version if meets(self.numbers(version))]
            return homes[-1] if homes else None
        cases = [
            ("17+", newest(lambda v: v[0] >= 17)),
            ("21+", newest(lambda v: v[0] >= 21)),
            ("1.8+", newest(lambda v: v[0] >= 8)),
            ("17", newest(lambda v: v[0] == 17)),
            (past_newest, None),
        ]
        print("runtimes: %s" % self.runtimes, file=sys.stderr)
        for requirement, home in cases:
            with self.subTest(requirement=requirement, home=home):
                run = self.launch(["-passExitCode"], env=config_environment(),
                                  config=["mainclass Demo", "addpath classes", "javaVersion " + requirement])
                if home is None:
                    self.assertEqual(11, run.code, run.text())
                    self.assertIn("Incompatible JRE Version Found: Demo requires the Java Runtime "
                                  "Environment version %s\n" % requirement, run.err)
                    self.assertNotStarted(run)
                else:
                    self.assertEqual(0, run.code, run.text())
                    self.assertEqual(home, os.path.realpath(run.demo.values["java.home"]), run.text())


class JavaVersionMadeUpTests(ConfiguredLauncherCase):
    """javaVersion among made-up runtimes of a test folder (TARNWICK_JAVA_ROOTS),
    whose bin/java is a symlink to the real java."""

    def setUp(self):
        super().setUp()
        self.place_classes("classes")
        self.java = real_java()
        if self.java is None:
            self.skipTest("no java on PATH")
        self.roots = self.path("runtimes")
        os.makedirs(self.roots)

    def runtime(self, folder, version, root=None):
        home = os.path.join(root or self.roots, folder)
        os.makedirs(os.path.join(home, "bin"))
        os.symlink(self.java, os.path.join(home, "bin", "java"))
        with open(os.path.join(home, "release"), "w") as out:
            out.write('IMPLEMENTOR="Test"\nJAVA_VERSION="%s"\n' % version)
        return home

    def run_with(self, requirement, args=(), **env):
        return self.launch(list(args) + ["-passExitCode"], env=config_environment(**env),
                           config=["mainclass Demo", "addpath classes", "javaVersion " + requirement])

    def test_selection_among_patch_levels(self):
        old = self.runtime("jdk8u392", "1.8.0_392")
        new = self.runtime("jdk8u401", "1.8.0_401")
        # JAVA_HOME names one of them, so the current runtime adds no name.
        env = {"TARNWICK_JAVA_ROOTS": self.roots, "JAVA_HOME": old}
        cases = [
            # (requirement, home chosen, trace lines that must appear, in order)
            ("1.8", new, ["javaVersion=1.8, javaVer=1.8",
                          "checking (1) 1.8",
                          "found correct java version 1.8. checking patch level",
                          "No patch level found in 1.8",
                          "checking (2) 1.8.0_392",
                          "found correct java version 1.8.0_392. checking patch level",
                          "checking patch level 392 against 0",
                          "found latest java version 1.8.0_392",
                          "checking (3) 1.8.0_401",
                          "found correct java version 1.8.0_401. checking patch level",
                          "checking patch level 401 against 392",
                          "found latest java version 1.8.0_401"]),
            ("1.8.0_400+", new, ["javaVersion=1.8.0_400+, javaVer=1.8.0",
                                 "checking (1) 1.8",
                                 "checking (2) 1.8.0_392",
                                 "found correct java version 1.8.0_392. checking patch level",
                                 "checking patch level 392 against 400",
                                 "checking (3) 1.8.0_401",
                                 "found correct java version 1.8.0_401. checking patch level",
                                 "checking patch level 401 against 400",
                                 "found latest java version 1.8.0_401"]),
            ("1.8.0_300+", new, None),
            # 1.N+ without a patch level: feature N or later.
            ("1.8+", new, None),
            # An exact version runs no selection.
            ("1.8.0_392", old, []),
        ]
        for requirement, home, trace in cases:
            with self.subTest(requirement=requirement):
                run = self.run_with(requirement, **env)
                self.assertEqual(0, run.code, run.text())
                self.assertIsNotNone(run.demo, run.text())
                self.assertEqual(home + "/bin/java", run.program())
                if trace is not None:
                    self.assertEqual(trace, run.selection_trace())

    def test_the_later_of_equal_patch_levels_wins(self):
        self.runtime("a", "1.8.0_401")
        later = self.runtime("b", "1.8.1_401")
        run = self.run_with("1.8", TARNWICK_JAVA_ROOTS=self.roots, JAVA_HOME=later)
        self.assertEqual(0, run.code, run.text())
        self.assertEqual(later + "/bin/java", run.program())
        self.assertIn("found latest java version 1.8.1_401", run.selection_trace())

    def test_requirements_nothing_meets(self):
        old = self.runtime("jdk8u392", "1.8.0_392")
        self.runtime("jdk8u401", "1.8.0_401")
        with_runtimes = {"TARNWICK_JAVA_ROOTS": self.roots, "JAVA_HOME": old}
        # No runtime at all: nothing to scan, no JAVA_HOME, no java on PATH.
        none = {"TARNWICK_JAVA_ROOTS": self.path("empty"), "JAVA_HOME": None, "PATH": self.path("empty")}
        os.makedirs(self.path("empty"))
        question = "%s: Demo requires the Java Runtime Environment version %s\n"
        cases = [
            # (requirement, environment, exit code, question caption, what the
            #  selection trace says it looks for, or None when none is printed)
            # A patch level above every installed one.
            ("1.8.0_500+", with_runtimes, 11, "Incompatible JRE Version Found", "1.8.0"),
            # Feature releases that are not installed.
            ("99", with_runtimes, 11, "Incompatible JRE Version Found", "feature 99"),
            ("1.99+", with_runtimes, 11, "Incompatible JRE Version Found", "feature 99 or later"),
            # Nothing begins with 1.7: the level stays 0 and the key 1.7 is
            # missing; the runtimes there make the version incompatible.
            ("1.7", with_runtimes, 5, "Incompatible JRE Version Found", "1.7"),
            # An exact version that is not installed.
            ("1.8.0_391", with_runtimes, 5, "Incompatible JRE Version Found", None),
            # Without any runtime the selection fails at once; an exact version
            # fails at its key.
            ("1.8", none, 11, "Java Runtime Environment Not Found", None),
            ("1.8.0_392", none, 5, "Java Runtime Environment Not Found", None),
        ]
        for requirement, env, code, caption, looked_for in cases:
            for args in ([], ["-q"]):
                with self.subTest(requirement=requirement, env=sorted(env.items()), args=args):
                    run = self.run_with(requirement, args, **env)
                    self.assertEqual(code, run.code, run.text())
                    self.assertNotStarted(run)
                    asked = (question % (caption, requirement)) in run.err
                    self.assertEqual(args == [], asked, run.text())
                    if args == []:
                        self.assertIn("(answered No: standard input is not a terminal)", run.err)
                    trace = run.selection_trace()
                    if looked_for:
                        self.assertEqual("javaVersion=%s, javaVer=%s" % (requirement, looked_for),
                                         trace[0], run.text())
                        self.assertNotIn("found latest java version", "\n".join(trace))
                    else:
                        self.assertFalse(any(line.startswith("checking (") for line in trace), run.text())

    def test_the_later_of_javapath_and_javaversion_wins(self):
        old = self.runtime("jdk8u392", "1.8.0_392")
        new = self.runtime("jdk8u401", "1.8.0_401")
        env = config_environment(TARNWICK_JAVA_ROOTS=self.roots, JAVA_HOME=old)
        cases = [
            (["javaVersion 1.8.0_392", "javapath %s/bin/java" % new], new),
            (["javapath %s/bin/java" % new, "javaVersion 1.8.0_392"], old),
        ]
        for lines, home in cases:
            with self.subTest(lines=lines):
                run = self.launch_demo(env=env, config=["mainclass Demo", "addpath classes"] + lines)
                self.assertEqual(home + "/bin/java", run.program())


TEMURIN_25 = os.path.join(JVM_ROOT, "temurin-25-jdk-amd64")
OPENJDK_17 = os.path.join(JVM_ROOT, "java-17-openjdk-amd64")
# Nothing but these may be on standard output.
DEMO_LINES = ("demo args=", "arg[", "property ", "user.dir=", "java.home=")


def make_stand_in(home, version, script=""):
    """A runtime home whose release file says version and whose bin/java is
    a script that runs Java 25 after the script lines (so that the launcher
    reads this home's release file); its path."""
    java = os.path.join(home, "bin", "java")
    os.makedirs(os.path.dirname(java), exist_ok=True)
    with open(os.path.join(home, "release"), "w") as out:
        out.write('JAVA_VERSION="%s"\n' % version)
    with open(java, "w") as out:
        out.write('#!/bin/sh\n%sexec "%s/bin/java" "$@"\n' % (script, TEMURIN_25))
    os.chmod(java, 0o755)
    return java


class FastStartCase(ConfiguredLauncherCase):
    """fastStart on with the real runtimes: the demo in lib/demo.jar, the
    user's cache folder in the scratch folder (XDG_CACHE_HOME).  The cache of
    Java 25 is made by a process of the launcher's own after the launcher
    has ended: a start with -d keeps its output until that process ends too,
    so reading it to the end waits for the cache."""

    def setUp(self):
        super().setUp()
        self.cache = self.path("cache")
        self.archives = os.path.join(self.cache, "tarnwick", "cds")
        os.makedirs(os.path.join(self.app, "lib"))
        if not os.access(os.path.join(TEMURIN_25, "bin", "java"), os.X_OK):
            self.skipTest("no Java 25 at %s" % TEMURIN_25)

    def runtimes(self):
        """(label, java) of Java 25, and of a stand-in home whose release says
        21 (its java a script that runs Java 25), which gets the dynamic
        archive."""
        return [("25", TEMURIN_25 + "/bin/java"), ("21", make_stand_in(self.path("jdk-21"), "21.0.2"))]

    def make_jar(self, padding, name="demo.jar"):
        import zipfile
        with zipfile.ZipFile(os.path.join(self.app, "lib", name), "w") as jar:
            jar.write(os.path.join(DEMO_CLASSES, "Demo.class"), "Demo.class")
            jar.writestr("padding.txt", "x" * padding)

    def demo_config(self, java, *lines):
        return ["javapath " + java, "addjars lib", "mainclass Demo", "fastStart on"] + list(lines)

    def start(self, java, *lines, args=(), together=1):
        """Starts that end well; without -d with the demo's lines alone on
        standard output and the launcher's three alone on standard error.
        The last start's run; with together above 1, every start's, in
        the order they were started (which of them wins a race is the
        system's to say)."""
        self.write("Demo.config", self.demo_config(java, *lines))
        env = config_environment(XDG_CACHE_HOME=self.cache)
        starts = [subprocess.Popen([self.launcher] + list(args), cwd=self.elsewhere, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE) for _ in range(together)]
        runs = []
        for process in starts:
            out, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
            run = Run(process.returncode, out.decode(), err.decode(), process.pid)
            runs.append(run)
            self.assertEqual(0, run.code, run.text())
            self.assertIsNotNone(run.demo, run.text())
            if not args:
                self.assertEqual(3, len(run.err.splitlines()), run.text())
                self.assertTrue(all(line.startswith(DEMO_LINES) for line in out.decode().split("\n") if line),
                                run.text())
        return runs if together > 1 else run

    def trail(self, *args, env=None, program=None):
        """A start with -d, read to the end (the making of a cache included):
        (exit code, standard output, the launcher's lines)."""
        env = env or config_environment(XDG_CACHE_HOME=self.cache)
        done = subprocess.run([program or self.launcher, "-d", "-passExitCode"] + list(args), cwd=self.elsewhere,
                              env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT_SECONDS)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def wait_for_making(self):
        """Waits until no cache is being made (the job beside it is gone)."""
        self.assertTrue(wait_for(lambda: not [n for n in os.listdir(self.archives) if n.endswith(".making")]),
                        os.listdir(self.archives))

    def fast_start_lines(self, trail):
        """What the trail says of fast start, the start's decision first
        (after the application's files are tidied: "removing ...")."""
        said = [line[len("Fast start: "):] for line in trail.split("\n") if line.startswith("Fast start: ")]
        return [line for line in said if not line.startswith("removing ")] + \
            [line for line in said if line.startswith("removing ")]


class FastStartTests(FastStartCase):
    def test_training_then_use_and_a_changed_jar_gives_a_new_archive(self):
        log = self.path("class-load.log")
        for (label, java), training, use in zip(self.runtimes(), ["-XX:AOTMode=record", "-XX:ArchiveClassesAtExit="],
                                                ["-XX:AOTCache=", "-XX:SharedArchiveFile="]):
            for padding in (0, 1000):
                with self.subTest(java=label, padding=padding):
                    self.make_jar(padding)
                    # Two starts at once: each trains, unless the other's
                    # cache is already being made when it looks.
                    lines = [run.command_line for run in self.start(java, together=2)]
                    self.assertTrue(any(training in line for line in lines), lines)
                    self.wait_for_making()
                    run = self.start(java, "vmparam -Xlog:class+load=info:file=" + log)
                    self.assertIn(use + '"' + self.archives, run.command_line)
                    with open(log) as f:
                        self.assertIn("Demo source: shared objects file", f.read())
        # The application's three newest archives stay, each with what the
        # launcher knows of it; nothing half-made is left.
        kept = sorted(os.listdir(self.archives))
        self.assertEqual(6, len(kept), kept)
        for name in kept:
            self.assertRegex(name, r"^Demo-[0-9a-f]{8}-[0-9a-f]{16}\.(aot|jsa)(\.made)?$")

    def test_where_nothing_can_be_kept_the_start_goes_on_without(self):
        self.make_jar(0)
        self.place_classes("classes")
        os.makedirs(self.archives)
        if subprocess.run(["chattr", "+i", self.archives], stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("chattr cannot make the cache folder read-only here")
        self.addCleanup(subprocess.run, ["chattr", "-i", self.archives])
        for java, lines, why in [(OPENJDK_17 + "/bin/java", [], "Java 17"),
                                 (TEMURIN_25 + "/bin/java", [], "cannot write in"),
                                 (TEMURIN_25 + "/bin/java", ["addpath classes"], "on the class path")]:
            with self.subTest(java=java, why=why):
                self.assertNotIn("-XX:", self.start(java, *lines).command_line)
                self.assertIn(why, self.start(java, *lines, args=["-d"]).err)
        self.assertEqual([], os.listdir(self.archives))


# A class whose one line tells its version (all versions the same length),
# and a dependency of it.
VERSIONED_MAIN = """package app;
public class Main {
    public static void main(String[] args) {
        System.out.println("main %s, " + dep.Dep.version());
    }
}
"""
VERSIONED_DEP = """package dep;
public class Dep {
    public static String version() { return "dep %s"; }
}
"""


class FastStartContentTests(FastStartCase):
    """What the runtime reads changes, the size and the time of every file
    stay: the start runs the new code, never the old cache's."""

    def compile(self, name, sources, class_path=None):
        """Compiles {file: text} into a folder of its own; its path."""
        source, classes = self.path("src-" + name), self.path("classes-" + name)
        for file, text in sources.items():
            os.makedirs(os.path.dirname(os.path.join(source, file)), exist_ok=True)
            with open(os.path.join(source, file), "w") as out:
                out.write(text)
        subprocess.run([TEMURIN_25 + "/bin/javac", "--release", "17", "-d", classes]
                       + (["-cp", class_path] if class_path else []) + [os.path.join(source, f) for f in sources],
                       check=True, timeout=BUILD_TIMEOUT_SECONDS)
        return classes

    def stored_jar(self, path, classes, time_ns):
        """A jar of the classes, stored, every entry with one fixed time, and
        the file's own time time_ns."""
        import zipfile
        with zipfile.ZipFile(path, "w") as jar:
            for root, _dirs, files in os.walk(classes):
                for file in sorted(files):
                    with open(os.path.join(root, file), "rb") as f:
                        jar.writestr(zipfile.ZipInfo(os.path.relpath(os.path.join(root, file), classes),
                                                     (2020, 1, 1, 0, 0, 0)), f.read())
        os.utime(path, ns=(time_ns, time_ns))
        return os.path.getsize(path)

    def run_line(self):
        """A start that uses the cache made before, or trains: its line and
        what it says of fast start."""
        code, out, err = self.trail()
        self.assertEqual(0, code, err)
        return out.strip(), self.fast_start_lines(err)

    def test_a_jar_replaced_by_one_of_the_same_size_and_time(self):
        deps = [self.compile("dep-" + v, {"dep/Dep.java": VERSIONED_DEP % v}) for v in ("one", "two")]
        mains = [self.compile("main-" + v, {"app/Main.java": VERSIONED_MAIN % v}, deps[0]) for v in ("one", "two")]
        self.stored_jar(os.path.join(self.app, "lib", "dep.jar"), deps[0], 10 ** 18)
        jar = os.path.join(self.app, "lib", "app.jar")
        for label, java in self.runtimes():
            with self.subTest(java=label):
                self.write("Demo.config", ["javapath " + java, "addjars lib", "mainclass app.Main", "fastStart on"])
                sizes = [self.stored_jar(jar, main, 10 ** 18) for main in reversed(mains)]
                self.assertEqual(sizes[0], sizes[1])
                self.trail()
                line, said = self.run_line()
                self.assertEqual("main one, dep one", line)
                self.assertNotIn("training", said[0], said)
                self.stored_jar(jar, mains[1], 10 ** 18)
                line, said = self.run_line()
                self.assertEqual("main two, dep one", line)
                self.assertIn("training", said[0], said)

    def test_a_dependency_named_by_the_manifest_is_rebuilt(self):
        # The executable jar of docs/shipping.md: app.jar names lib/dep.jar.
        deps = [self.compile("dep-" + v, {"dep/Dep.java": VERSIONED_DEP % v}) for v in ("one", "two")]
        main = self.compile("main", {"app/Main.java": VERSIONED_MAIN % "one"}, deps[0])
        with open(self.path("manifest.txt"), "w") as out:
            out.write("Class-Path: lib/dep.jar\n")
        subprocess.run([TEMURIN_25 + "/bin/jar", "--create", "--file", os.path.join(self.app, "app.jar"),
                        "--main-class", "app.Main", "--manifest", self.path("manifest.txt"), "-C", main, "."],
                       check=True, timeout=BUILD_TIMEOUT_SECONDS)
        dep = os.path.join(self.app, "lib", "dep.jar")
        for label, java in self.runtimes():
            with self.subTest(java=label):
                self.write("Demo.config", ["javapath " + java] + shipping_recipes()["An executable jar"]
                           + ["fastStart on"])
                self.stored_jar(dep, deps[0], 10 ** 18)
                self.trail()
                line, said = self.run_line()
                self.assertEqual("main one, dep one", line)
                self.assertNotIn("training", said[0], said)
                self.stored_jar(dep, deps[1], 2 * 10 ** 18)
                line, said = self.run_line()
                self.assertEqual("main one, dep two", line)
                self.assertIn("training", said[0], said)


class FastStartModulesTests(FastStartCase):
    """The modular layout of docs/shipping.md, and archives that are not what
    the launcher made."""

    def test_the_modular_layout_gets_a_cache_and_uses_it(self):
        source = self.path("src")
        os.makedirs(os.path.join(source, "app"))
        with open(os.path.join(source, "app", "Main.java"), "w") as f:
            f.write(APP_MAIN)
        with open(os.path.join(source, "module-info.java"), "w") as f:
            f.write("module app { }\n")
        classes, mods = self.path("mod-classes"), os.path.join(self.app, "mods")
        subprocess.run([TEMURIN_25 + "/bin/javac", "--release", "17", "-d", classes,
                        os.path.join(source, "module-info.java"), os.path.join(source, "app", "Main.java")],
                       check=True, timeout=BUILD_TIMEOUT_SECONDS)
        os.makedirs(mods)
        subprocess.run([TEMURIN_25 + "/bin/jar", "--create", "--file", os.path.join(mods, "app.jar"), "-C",
                        classes, "."], check=True, timeout=BUILD_TIMEOUT_SECONDS)
        log = self.path("class-load.log")
        for label, java in self.runtimes():
            with self.subTest(java=label):
                self.write("Demo.config", ["javapath " + java] + shipping_recipes()["A modular application"]
                           + ["fastStart on", "vmparam -Xlog:class+load=info:file=" + log])
                code, out, err = self.trail()
                self.assertIn("module=app", out)
                self.assertFalse([n for n in os.listdir(self.archives) if n.endswith(".failed")], err)
                code, out, err = self.trail()
                self.assertIn("module=app", out)
                self.assertNotIn("training", self.fast_start_lines(err)[0], err)
                with open(log) as f:
                    self.assertIn("app.Main source: shared objects file", f.read())

    def test_an_archive_that_is_not_what_was_made_is_made_again(self):
        self.make_jar(0)
        for label, java in self.runtimes():
            kind = ".aot" if label == "25" else ".jsa"
            self.write("Demo.config", self.demo_config(java))
            self.trail()
            made = [n for n in os.listdir(self.archives) if n.endswith(kind)][0]
            archive = os.path.join(self.archives, made)
            with open(archive, "rb") as f:
                good = f.read()
            shutil.copy2(archive, self.path("good" + kind))

            def cut():
                with open(archive, "r+b") as f:
                    f.truncate(len(good) // 2)

            def other_bytes():
                stat = os.stat(archive)
                with open(archive, "r+b") as f:
                    f.write(bytes(4096))
                os.utime(archive, ns=(stat.st_atime_ns, stat.st_mtime_ns))

            def anothers():
                with open(self.path("another" + kind), "wb") as f:
                    f.write(good[:4096] + b"x" + good[4096:])
                os.replace(self.path("another" + kind), archive)

            for damage in (cut, other_bytes, anothers):
                with self.subTest(java=label, damage=damage.__name__):
                    damage()
                    said = self.fast_start_lines(self.trail()[2])
                    self.assertIn("is not what the launcher made: removed, training again", said[0], said)
                    self.assertIn("training", said[1], said)
                    said = self.fast_start_lines(self.trail()[2])
                    self.assertNotIn("training", said[0], said)


class FastStartFaultsTests(FastStartCase):
    """Nobody waits for the cache, and a passing fault leaves no lasting
    mark: a signal during the making, a training start that ends with an
    error, a file system nearly full; root with a user's HOME makes nothing
    there."""

    def test_nobody_waits_for_the_making_and_a_signal_during_it_leaves_no_mark(self):
        # A Java 25 whose making run waits for a file the test makes.
        waiting, go = self.path("making.pid"), self.path("go")
        java = make_stand_in(self.path("jdk-25"), "25.0.3",
                             'case " $* " in *AOTMode=create*) echo $$ $PPID > "%s"\n'
                             '  while [ ! -e "%s" ]; do sleep 0.05; done;; esac\n' % (waiting, go))
        self.make_jar(0)
        self.start(java)
        self.assertTrue(wait_for(lambda: os.path.exists(waiting)))
        self.assertTrue([n for n in os.listdir(self.archives) if n.endswith(".making")])
        said = self.fast_start_lines(self.trail()[2])
        self.assertIn(" is being made", said[0], said)
        with open(waiting) as f:
            maker = int(f.read().split()[1])
        os.kill(maker, signal.SIGTERM)
        self.wait_for_making()
        self.assertEqual([], os.listdir(self.archives))
        with open(go, "w"):
            pass
        said = self.fast_start_lines(self.trail()[2])
        self.assertIn("training", said[0], said)
        self.assertTrue([line for line in said if line.startswith("made ")], said)
        self.assertIn("-XX:AOTCache=", self.start(java).command_line)

    def test_a_training_start_that_ends_with_an_error_makes_nothing(self):
        self.make_jar(0)
        for label, java in self.runtimes():
            with self.subTest(java=label):
                self.write("Demo.config", self.demo_config(java))
                code, out, err = self.trail("--exit=3")
                self.assertEqual(3, code, err)
                self.assertIn("the training start ended with 3: nothing made; 1 such starts in a row",
                              self.fast_start_lines(err)[1], err)
                self.assertFalse([n for n in os.listdir(self.archives) if n.endswith((".aot", ".jsa"))])
                self.assertIn("training", self.fast_start_lines(self.trail()[2])[0])
                self.assertNotIn("training", self.fast_start_lines(self.trail()[2])[0])
                for name in os.listdir(self.archives):
                    os.remove(os.path.join(self.archives, name))

    def test_a_nearly_full_cache_keeps_the_applications_exit_code(self):
        small = self.path("small")
        os.makedirs(small)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", small],
                          stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("no tmpfs can be mounted here")
        self.addCleanup(subprocess.run, ["umount", small])
        self.make_jar(0)
        env = config_environment(XDG_CACHE_HOME=small)
        for label, java in self.runtimes() + [("17", OPENJDK_17 + "/bin/java")]:
            for exit_code in (0, 3):
                with self.subTest(java=label, exit_code=exit_code):
                    self.write("Demo.config", self.demo_config(java))
                    code, out, err = self.trail("--exit=%d" % exit_code, env=env)
                    self.assertEqual(exit_code, code, err)
                    self.assertIn("Java 17" if label == "17" else " MiB free in ",
                                  self.fast_start_lines(err)[0], err)
                    self.assertNotIn("-XX:", Run(code, out, err, 0).command_line)
        self.assertEqual([], os.listdir(os.path.join(small, "tarnwick", "cds")))

    def test_root_with_a_users_home_makes_nothing_there(self):
        if os.geteuid() != 0:
            self.skipTest("not root")
        self.make_jar(0)
        self.write("Demo.config", self.demo_config(TEMURIN_25 + "/bin/java"))
        home = self.path("home")
        os.makedirs(home)
        os.chown(home, 65534, 65534)
        env = config_environment(HOME=home, XDG_CACHE_HOME=None)
        for folder, why in [(None, "%s/.cache is missing, and the folder above it is not the user's to make it in"
                             % home),
                            (".cache", "%s/.cache belongs to another user" % home)]:
            with self.subTest(why=why):
                if folder:
                    os.makedirs(os.path.join(home, folder))
                    os.chown(os.path.join(home, folder), 65534, 65534)
                code, out, err = self.trail(env=env)
                self.assertEqual(0, code, err)
                self.assertEqual(["not used: " + why], self.fast_start_lines(err))
                self.assertEqual([folder] if folder else [], os.listdir(home))
                self.assertEqual([], os.listdir(os.path.join(home, folder)) if folder else [])


class FastStartNamesTests(FastStartCase):
    """Applications and installs keep their caches apart."""

    def test_two_names_in_other_letters_keep_two_caches(self):
        self.make_jar(0)
        shutil.copy2(TARNWICK, os.path.join(self.app, "Other"))
        for launcher, name in (("Demo", "Z\u00e4hler"), ("Other", "Z\u00f6hler")):
            self.write(launcher + ".config", self.demo_config(TEMURIN_25 + "/bin/java", "appname " + name))
        for round_ in ("training", "cache"):
            for launcher in ("Demo", "Other"):
                with self.subTest(launcher=launcher, round=round_):
                    said = self.fast_start_lines(self.trail(program=os.path.join(self.app, launcher))[2])
                    self.assertEqual(round_ == "training", "training" in said[0], said)
        self.assertEqual(2, len([n for n in os.listdir(self.archives) if n.endswith(".aot")]))

    def test_four_installs_used_in_turn_train_once_each(self):
        installs = [self.path("install-%d" % i) for i in range(4)]
        self.make_jar(0)
        for install in installs:
            shutil.copytree(self.app, install)
            with open(os.path.join(install, "Demo.config"), "w") as out:
                out.write("".join(line + "\n" for line in self.demo_config(TEMURIN_25 + "/bin/java",
                                                                           "appname Demo")))
        for round_ in ("training", "cache", "cache"):
            for install in installs:
                with self.subTest(install=install, round=round_):
                    said = self.fast_start_lines(self.trail(program=os.path.join(install, "Demo"))[2])
                    self.assertEqual(round_ == "training", "training" in said[0], said)


class FastStartToolTests(FastStartCase):
    """javac in tool mode: the run that makes the cache gets none of the
    tool's arguments, so the cache is the one a recording of the same
    command makes by hand."""

    def test_the_making_run_of_a_tool_gets_none_of_its_arguments(self):
        self.write("javac.config", ["toolMode on", "javapath %s/bin/java" % TEMURIN_25,
                                    "mainclass com.sun.tools.javac.Main", "addjars lib", "fastStart on"])
        javac = os.path.join(self.app, "javac")
        shutil.copy2(TARNWICK, javac)
        with open(os.path.join(self.elsewhere, "Hello.java"), "w") as out:
            out.write("public class Hello { public static void main(String[] a) { System.out.println(1); } }\n")
        tool = ["-d", "out", "Hello.java"]
        done = subprocess.run([javac] + tool, cwd=self.elsewhere, capture_output=True, timeout=RUN_TIMEOUT_SECONDS,
                              env=config_environment(XDG_CACHE_HOME=self.cache, TARNWICK_OPTIONS="-d"))
        self.assertEqual(0, done.returncode, done)
        self.assertTrue(os.path.isfile(os.path.join(self.elsewhere, "out", "Hello.class")))
        said = self.fast_start_lines(done.stderr.decode())
        making = [line for line in said if line.startswith("making the cache in process ")]
        self.assertEqual(1, len(making), said)
        for word in tool:
            self.assertNotIn(" " + word, making[0].split(" -classpath ")[1])
        hand = self.path("hand.aot")
        subprocess.run([TEMURIN_25 + "/bin/java", "-XX:AOTCacheOutput=" + hand, "-Xlog:aot*=off,cds*=off",
                        "-classpath", os.path.join(self.app, "lib") + "/*", "com.sun.tools.javac.Main", "-d",
                        "out-by-hand", "Hello.java"], cwd=self.elsewhere, capture_output=True, check=True,
                       timeout=RUN_TIMEOUT_SECONDS)
        made = [n for n in os.listdir(self.archives) if n.endswith(".aot")]
        self.assertEqual(1, len(made), os.listdir(self.archives))
        ratio = os.path.getsize(os.path.join(self.archives, made[0])) / os.path.getsize(hand)
        self.assertTrue(1 / 1.1 <= ratio <= 1.1, ratio)


class DownloadPageTests(ConfiguredLauncherCase):
    """downloadurl with no runtime anywhere: the question is put on the
    terminal, and a Yes hands the page to xdg-open (here a stand-in on PATH
    that logs its arguments); an address that is no web page is refused."""

    PAGE = "https://acme.example/get-java?app=Demo"

    def setUp(self):
        super().setUp()
        bin_dir = self.path("bin")
        os.makedirs(bin_dir)
        self.opened = self.path("opened.log")
        # The stand-in also tells how a writer to a pipe whose reader has
        # gone ends in it: killed by SIGPIPE (128 + 13), as the launcher was
        # started with it, or with an error of its own were SIGPIPE ignored.
        self.pipe_log = self.path("opener-pipe.log")
        for opener in ("xdg-open", "open"):
            with open(os.path.join(bin_dir, opener), "w") as out:
                out.write('#!/bin/sh\nprintf "<%%s>\\n" "$@" >> "%s"\n' % self.opened +
                          '(/usr/bin/yes; echo "writer ended $?" >> "%s") | /usr/bin/head -n 1 > /dev/null\n'
                          % self.pipe_log)
            os.chmod(os.path.join(bin_dir, opener), 0o755)
        self.env = config_environment(TARNWICK_JAVA_ROOTS=self.path("elsewhere"), JAVA_HOME=None,
                                      PATH=bin_dir)

    def on_terminal(self, answer):
        """Runs the launcher with -passExitCode on a terminal, answers the
        question; (exit code, what the terminal showed)."""
        pid, terminal = pty.fork()
        if pid == 0:
            try:
                os.chdir(self.elsewhere)
                signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # as a shell starts it
                os.execve(self.launcher, [self.launcher, "-passExitCode"], self.env)
            finally:
                os._exit(127)
        try:
            shown = read_until(terminal, r"\[y/N\] ")
            os.write(terminal, answer.encode() + b"\n")
            shown += read_to_end(terminal)
        finally:
            _, status = os.waitpid(pid, 0)
            os.close(terminal)
        return os.waitstatus_to_exitcode(status), shown.replace("\r\n", "\n")

    def pages(self):
        if not os.path.exists(self.opened):
            return []
        with open(self.opened) as log:
            return log.read().split("\n")[:-1]

    def test_the_question_opens_the_page_on_yes_and_only_web_addresses_are_taken(self):
        self.write("Demo.config", ["appname Demo", "downloadurl " + self.PAGE])
        code, shown = self.on_terminal("y")
        self.assertIn("Error!: Demo needs Java, and none was found on this computer. "
                      "Do you want to download it?", shown)
        self.assertEqual(2, code, shown)
        # The opener runs on its own, and may start well after the launcher
        # has ended: wait for the line it writes.
        wait_for(self.pages)
        self.assertEqual(["<%s>" % self.PAGE], self.pages(), shown)
        self.assertTrue(wait_for(lambda: os.path.exists(self.pipe_log)), shown)
        with open(self.pipe_log) as log:
            self.assertEqual("writer ended %d\n" % (128 + signal.SIGPIPE), log.read())

        os.remove(self.opened)
        run = self.launch(["-passExitCode"], env=self.env, config=["downloadurl file:///etc/passwd"])
        self.assertEqual(2, run.code, run.text())
        self.assertIn("downloadurl file:///etc/passwd is refused: only http:// and https:// "
                      "addresses are opened", run.err)
        self.assertIn("Error!: No Java Installation Found", run.err)
        self.assertEqual([], self.pages())


def jdks():
    """The JDKs of this machine that hold jlink, one per real home."""
    homes = {}
    if os.path.isdir(JVM_ROOT):
        for name in sorted(os.listdir(JVM_ROOT)):
            home = os.path.realpath(os.path.join(JVM_ROOT, name))
            if os.path.isfile(os.path.join(home, "bin", "jlink")):
                homes.setdefault(home, home)
    return sorted(homes)


def release_version(home):
    with open(os.path.join(home, "release")) as f:
        for line in f:
            if line.startswith("JAVA_VERSION="):
                return line.split("=", 1)[1].strip().strip('"')
    return None


def shipping_recipes():
    """{section title: its configuration lines} of docs/shipping.md, in the
    form for Linux and macOS the document gives (runtime/bin/java for
    runtime\\bin\\javaw.exe, slashes for backslashes)."""
    with open(os.path.join(SOURCE_ROOT, "docs", "shipping.md")) as f:
        text = f.read()
    recipes = {}
    for section in text.split("\n## ")[1:]:
        title, body = section.split("\n", 1)
        block = body.split("\n```config\n", 1)[1].split("\n```", 1)[0] if "```config\n" in body else ""
        lines = [line.replace("\\bin\\javaw.exe", "/bin/java").replace("\\", "/")
                 for line in block.split("\n") if line]
        recipes[title] = lines
    return recipes


# The application of the recipes: prints its module, its runtime and its
# arguments.
APP_MAIN = """package app;
public class Main {
    public static void main(String[] args) {
        System.out.println("module=" + Main.class.getModule().getName());
        System.out.println("java.home=" + System.getProperty("java.home"));
        System.out.println("java.version=" + System.getProperty("java.version"));
        System.out.println("args=" + String.join(",", args));
    }
}
"""


class ShippingTests(ConfiguredLauncherCase):
    """The configuration lines of docs/shipping.md, each with the layout the
    document describes, built with the real JDKs of this machine: a runtime
    made by jlink, an executable jar, a modular application."""

    @classmethod
    def setUpClass(cls):
        cls.jdks = jdks()
        if not cls.jdks:
            raise unittest.SkipTest("no JDK with jlink under " + JVM_ROOT)
        cls.recipes = shipping_recipes()
        cls.build = tempfile.mkdtemp(prefix="tarnwick-shipping-")
        source = os.path.join(cls.build, "src")
        os.makedirs(os.path.join(source, "app"))
        with open(os.path.join(source, "app", "Main.java"), "w") as f:
            f.write(APP_MAIN)
        with open(os.path.join(source, "module-info.java"), "w") as f:
            f.write("module app { }\n")
        classes = os.path.join(cls.build, "classes")
        bin_dir = os.path.join(cls.jdks[0], "bin")
        cls.jar = os.path.join(cls.build, "app.jar")
        for step in ([os.path.join(bin_dir, "javac"), "--release", "11", "-d", classes,
                      os.path.join(source, "module-info.java"), os.path.join(source, "app", "Main.java")],
                     [os.path.join(bin_dir, "jar"), "--create", "--file", cls.jar, "--main-class",
                      "app.Main", "-C", classes, "."]):
            subprocess.run(step, check=True, timeout=BUILD_TIMEOUT_SECONDS)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.build, ignore_errors=True)

    def jlink(self, jdk, output):
        subprocess.run([os.path.join(jdk, "bin", "jlink"), "--add-modules", "java.base", "--strip-debug",
                        "--no-header-files", "--no-man-pages", "--output", output],
                       check=True, timeout=BUILD_TIMEOUT_SECONDS)

    def run_recipe(self, title, jdk):
        """Starts the recipe's lines with JAVA_HOME naming jdk; returns
        {name: value} of the app's lines."""
        lines = self.recipes[title]
        self.assertTrue(lines, "docs/shipping.md has no configuration under " + title)
        run = self.launch(["one two"], env=config_environment(JAVA_HOME=jdk), config=lines)
        self.assertEqual(0, run.code, run.text())
        seen = dict(line.split("=", 1) for line in run.out.split("\n") if "=" in line
                    and line.split("=", 1)[0] in ("module", "java.home", "java.version", "args"))
        self.assertEqual("one two", seen.get("args"), run.text())
        return seen

    def test_your_own_runtime_is_started_whatever_java_is_installed(self):
        # JAVA_HOME names another JDK: the runtime beside the launcher wins,
        # and it is the version of the JDK whose jlink made it.
        for jdk in self.jdks:
            with self.subTest(jdk=jdk):
                runtime = os.path.join(self.app, "runtime")
                shutil.rmtree(runtime, ignore_errors=True)
                self.jlink(jdk, runtime)
                shutil.copy2(self.jar, self.app)
                other = [j for j in self.jdks if j != jdk] or [jdk]
                seen = self.run_recipe("Shipping your own Java runtime", other[0])
                self.assertEqual(os.path.realpath(runtime), os.path.realpath(seen["java.home"]))
                self.assertEqual(release_version(jdk), seen["java.version"])
                self.assertEqual(release_version(jdk), release_version(runtime))
                self.assertEqual("null", seen["module"])

    def test_an_executable_jar(self):
        shutil.copy2(self.jar, self.app)
        seen = self.run_recipe("An executable jar", self.jdks[0])
        self.assertEqual(os.path.realpath(self.jdks[0]), os.path.realpath(seen["java.home"]))
        self.assertEqual("null", seen["module"])

    def test_a_modular_application(self):
        os.makedirs(os.path.join(self.app, "mods"))
        shutil.copy2(self.jar, os.path.join(self.app, "mods", "app.jar"))
        self.assertEqual("app", self.run_recipe("A modular application", self.jdks[0])["module"])


def readme_tool_configuration():
    """The configuration lines of the README's "A command-line tool"."""
    with open(os.path.join(SOURCE_ROOT, "README.md")) as f:
        section = f.read().split("\n## A command-line tool\n", 1)[1].split("\n## ", 1)[0]
    return [line for line in section.split("\n```config\n", 1)[1].split("\n```", 1)[0].split("\n") if line]


ANT_HOME = "/usr/share/ant"

# Ant's build file for the comparison: reads and writes files relative to
# the folder it is started in.
ANT_BUILD = """<project name="tool" default="hello">
  <target name="hello">
    <loadfile srcfile="input.txt" property="input"/>
    <echo message="input: ${input}, x: ${x}"/>
    <echo file="written.txt" message="written"/>
  </target>
  <target name="fail"><fail message="failed on purpose"/></target>
</project>
"""


TEMURIN_25_HOME = "/usr/lib/jvm/temurin-25-jdk-amd64"


class ToolModeTests(ConfiguredLauncherCase):
    """toolMode on: the command line, the folder, the output and the exit code
    are the application's, with the demo on the real JVM; and Debian's Ant,
    configured as the README ships it, behaves as through its own start
    script, on Java 17 and on Java 25."""

    def tool(self, *lines):
        self.place_classes("classes")
        self.write("Demo.config", ["toolMode on", "mainclass Demo", "addpath classes"] + list(lines))

    def test_every_argument_reaches_the_application_in_the_callers_folder(self):
        self.tool("vmparam -Ddemo.greeting=$TARNWICK_START_DIR")
        # Options of the launcher and more arguments than it takes outside tool mode.
        args = ["-count", "-q", "-c", "x", "-Dy=1", "-sample", "-o", "-d", "-con", "-passExitCode", "", "a b",
                "--env=TARNWICK_APP_DIR", "--exit=3"] + ["n%d" % i for i in range(150)]
        run = self.launch(args, env=config_environment(TARNWICK_APP_DIR="stale"))
        self.assertEqual(3, run.code, run.text())
        self.assertEqual(args, run.demo.args)
        self.assertEqual(self.elsewhere, run.demo.values["user.dir"])
        self.assertEqual(self.app, run.demo.values["env TARNWICK_APP_DIR"])
        self.assertEqual(self.elsewhere, run.demo.values["property demo.greeting"])
        # Nothing else happens: no report, no line of the launcher's, no file written.
        self.assertEqual("", run.err)
        self.assertEqual([], os.listdir(self.elsewhere))
        self.assertEqual(["Demo", "Demo.config", "classes"], sorted(os.listdir(self.app)))

    def test_standard_output_holds_the_applications_lines_alone(self):
        self.tool()
        done = subprocess.run('"%s" one two | wc -l' % self.launcher, shell=True, cwd=self.elsewhere,
                              env=config_environment(), stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=RUN_TIMEOUT_SECONDS)
        # demo args=, two arguments, the property, user.dir, java.home.
        self.assertEqual(6, int(done.stdout), done)
        self.assertEqual(b"", done.stderr, done)

    def test_the_launchers_lines_on_standard_error_only_with_d(self):
        # Standard error to a file, as in "ant 2>errors.txt" or a build log.
        self.tool()
        errors = self.path("errors.txt")
        written = os.path.join(self.app, "tarnwick.out")
        for options, banner, output_file in (("", False, False), ("-q", False, False),
                                             ("-o", False, True), ("-d", True, False)):
            with self.subTest(options=options):
                if os.path.exists(written):
                    os.remove(written)
                with open(errors, "wb") as err:
                    done = subprocess.run([self.launcher, "secret"], cwd=self.elsewhere, stdin=subprocess.DEVNULL,
                                          stdout=subprocess.PIPE, stderr=err, timeout=RUN_TIMEOUT_SECONDS,
                                          env=config_environment(TARNWICK_OPTIONS=options))
                with open(errors) as err:
                    text = err.read()
                self.assertEqual(0, done.returncode, text)
                self.assertEqual(["secret"], DemoOutput(done.stdout.decode()).args)
                self.assertEqual(banner, "#Version " in text, text)
                self.assertEqual(banner, "secret" in text, text)
                if not banner:
                    self.assertEqual("", text)
                self.assertEqual(output_file, os.path.exists(written))
                if output_file:
                    with open(written) as out:
                        self.assertIn("#Command line=\n", out.read())

    def test_jvm_options_from_a_variable(self):
        self.tool("vmoptions $DEMO_OPTS")
        for value, greeting in ((None, None), ("", None), ('-Ddemo.greeting="two words" -Dx=1', "two words"),
                                ("-Ddemo.greeting=a -Dother=b", "a")):
            with self.subTest(value=value):
                run = self.launch(["x"], env=config_environment(DEMO_OPTS=value))
                self.assertEqual(0, run.code, run.text())
                self.assertEqual(["x"], run.demo.args)
                self.assertEqual(greeting, run.demo.values["property demo.greeting"], run.text())

    def test_a_start_folder_that_is_gone_is_reported_once(self):
        self.tool()
        gone = self.path("gone")
        os.makedirs(gone)

        def enter_and_remove():
            os.chdir(gone)
            os.rmdir(gone)
        done = subprocess.run([self.launcher, "x"], env=config_environment(), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=RUN_TIMEOUT_SECONDS, preexec_fn=enter_and_remove)
        self.assertEqual(2, done.returncode, done)
        self.assertEqual(b"", done.stdout, done)
        self.assertEqual(b"Error: The folder the launcher was started in cannot be read; in tool mode the "
                         b"application starts there.\n", done.stderr)

    def test_the_relaunch_code_is_passed_on(self):
        self.tool()
        marker = self.path("asked for a relaunch")
        run = self.launch(["--relaunch-once=" + marker])
        self.assertEqual(999 & 0xFF, run.code, run.text())
        self.assertTrue(os.path.exists(marker))
        self.assertEqual(1, run.out.count("demo args="), run.text())

    def test_options_from_the_environment_and_a_relative_javapath(self):
        os.symlink(os.path.dirname(os.path.dirname(real_java())), os.path.join(self.app, "jre"))
        self.tool("javapath jre/bin/java")
        env = config_environment(TARNWICK_OPTIONS='-d "-Ddemo.greeting=two words"')
        run = self.launch(["x"], env=env)
        self.assertEqual(0, run.code, run.text())
        self.assertEqual("two words", run.demo.values["property demo.greeting"])
        self.assertEqual(["x"], run.demo.args)
        self.assertIn("tool mode: 1 arguments passed on as given, options from TARNWICK_OPTIONS\n", run.err)

    def test_ctrl_c_stops_the_shell_loop_around_the_tool(self):
        # A shell waits for the launcher and goes on unless it ended by the
        # interrupt; the second round's demo does not wait.
        self.tool()
        script = 'for round in 1 2; do "$1" $([ $round = 1 ] && echo --wait); echo "went on after $?"; done'
        pid, terminal = pty.fork()
        if pid == 0:
            try:
                os.chdir(self.elsewhere)
                os.execve("/bin/bash", ["bash", "-c", script, "bash", self.launcher], config_environment())
            finally:
                os._exit(127)
        self.addCleanup(os.close, terminal)
        waiting = read_until(terminal, r"demo waiting pid=\d+")
        jvm = re.search(r"demo waiting pid=(\d+)", waiting)
        self.assertIsNotNone(jvm, waiting)
        self.addCleanup(kill_leftover, int(jvm.group(1)), "Demo")
        os.write(terminal, b"\x03")
        output = waiting + read_to_end(terminal)
        _, status = os.waitpid(pid, 0)
        self.assertNotIn("went on", output)
        self.assertEqual(-signal.SIGINT, os.waitstatus_to_exitcode(status), output)

    def test_ant_behaves_as_through_its_own_start_script(self):
        if not os.path.isfile(os.path.join(ANT_HOME, "lib", "ant-launcher.jar")):
            message = "Debian's ant is not installed (scripts/install-deps.sh installs it)"
            if os.environ.get("TARNWICK_ALLOW_SKIP"):
                self.skipTest(message)
            self.fail(message)
        java_17 = os.path.dirname(os.path.dirname(real_java()))
        homes = [java_17, TEMURIN_25_HOME]
        for home in homes:
            if not os.path.isfile(os.path.join(home, "bin", "java")):
                self.fail("%s is missing (scripts/install-deps.sh installs it)" % home)
        # The README's layout: ant/bin/ant is the launcher, ant/lib Ant's jars.
        ant = self.path("ant", "bin", "ant")
        os.makedirs(os.path.dirname(ant))
        shutil.copy2(TARNWICK, ant)
        os.symlink(os.path.join(ANT_HOME, "lib"), self.path("ant", "lib"))
        with open(ant + ".config", "w") as f:
            f.write("".join(line + "\n" for line in readme_tool_configuration()))
        project = self.path("project")
        os.makedirs(project)
        with open(os.path.join(project, "build.xml"), "w") as f:
            f.write(ANT_BUILD)
        with open(os.path.join(project, "input.txt"), "w") as f:
            f.write("from the caller's folder")

        def run(program, args, home, ant_opts=None):
            env = config_environment(JAVA_HOME=home, ANT_HOME=None, ANT_OPTS=ant_opts, ANT_ARGS=None)
            written = os.path.join(project, "written.txt")
            if os.path.exists(written):
                os.remove(written)
            done = subprocess.run([program] + args, cwd=project, env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=RUN_TIMEOUT_SECONDS)
            out, err = (re.sub(r"Total time: \d+ seconds?", "Total time: N", text.decode())
                        for text in (done.stdout, done.stderr))
            return done.returncode, out, err, os.path.exists(written)

        # Ant's own script passes -Djava.security.manager=allow, which Java
        # 25 refuses: it is the reference on Java 17 alone.
        for args in (["-version"], ["-q"], ["-f", "build.xml", "-Dx=two words", "hello"],
                     ["-quiet", "-Dfoo=bar", "fail"], ["-count", "-q"]):
            expected = run(os.path.join(ANT_HOME, "bin", "ant"), args, java_17)
            for home in homes:
                with self.subTest(args=args, home=home):
                    self.assertEqual(expected, run(ant, args, home))
        for home in homes:
            with self.subTest(home=home):
                self.assertIn("input: from the caller's folder, x: two words",
                              run(ant, ["-Dx=two words"], home)[1])
                # ANT_OPTS as Ant's scripts read it: one option a word, quotes grouping.
                self.assertIn("input: from the caller's folder, x: from ANT_OPTS",
                              run(ant, [], home, '-Xmx256m "-Dx=from ANT_OPTS"')[1])


if __name__ == "__main__":
    unittest.main()

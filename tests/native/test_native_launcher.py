#!/usr/bin/python3
"""End-to-end tests of the native launcher.

The built launcher (environment variable TARNWICK) starts the demo application
(compiled into DEMO_CLASSES, main class Demo) on the real JVM, or a stand-in
runtime made up in a scratch folder whose bin/java is a shell script that
records how it was started.  No configuration is read: the demo's classes
come from the CLASSPATH variable (the launcher leaves an empty class path
out of the command line, so the JVM uses its default), and its main class is
the first application argument.

Run one group:  TARNWICK=... DEMO_CLASSES=... python3 test_native_launcher.py -v ArgumentsTests
"""
import functools
import os
import pty
import re
import selectors
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

TARNWICK = os.environ.get("TARNWICK", "")
DEMO_CLASSES = os.environ.get("DEMO_CLASSES", "")

# A guard against a hung launcher, not a measurement.
RUN_TIMEOUT_SECONDS = 60

# How long a signal is given to show an effect it must not have.
QUIET_SPELL_SECONDS = 0.5

# bin/java of a stand-in runtime: writes its program path and its
# arguments to $FAKE_JAVA_LOG (one "<...>" line each), then ends as its
# arguments say: --exit=N or --signal=NAME, else with 0.
FAKE_JAVA = r"""#!/bin/sh
if [ -n "$FAKE_JAVA_LOG" ]; then
    {
        printf 'program=<%s>\n' "$0"
        for arg; do printf 'arg=<%s>\n' "$arg"; done
    } >> "$FAKE_JAVA_LOG"
fi
for arg; do
    case "$arg" in
        --exit=*) exit "${arg#--exit=}" ;;
        --signal=*) kill -s "${arg#--signal=}" $$ ;;
    esac
done
exit 0
"""

# bin/java of a stand-in runtime that logs each SIGINT it receives and then
# ends with 130, as a program ended by it does.  It first moves into a session of its own, out of the
# terminal's reach, so that a key typed at the launcher's terminal signals
# the launcher alone: whatever SIGINT the script gets, the launcher passed on.
SIGINT_LOGGING_JAVA = r"""#!/bin/sh
[ -z "$TW_OWN_SESSION" ] && TW_OWN_SESSION=1 exec setsid "$0" "$@"
trap 'echo INT >> "$FAKE_JAVA_LOG"; exit 130' INT
echo "ready $$" >> "$FAKE_JAVA_LOG"
while :; do sleep 0.05; done
"""


# bin/java of a stand-in runtime for the signal table.  It logs its starts
# and each signal of $STAND_IN_SIGNALS it receives; on its first start it
# answers one as $STAND_IN_ANSWER says (an exit code, or "die": ended by the
# signal itself), and otherwise waits until $FAKE_JAVA_LOG.release appears,
# then asks for a relaunch.  A later start ends at once with
# $STAND_IN_LATER_EXIT.
SIGNAL_LOGGING_JAVA = r"""#!/bin/sh
log=$FAKE_JAVA_LOG
if grep -q '^start' "$log" 2>/dev/null; then
    echo "start again $$" >> "$log"
    exit "$STAND_IN_LATER_EXIT"
fi
echo "start $$" >> "$log"
answer() {
    echo "got $1" >> "$log"
    if [ "$STAND_IN_ANSWER" = die ]; then trap - "$1"; kill -s "$1" $$; sleep 1; exit 99; fi
    exit "$STAND_IN_ANSWER"
}
for sig in $STAND_IN_SIGNALS; do trap "answer $sig" "$sig"; done
while [ ! -e "$log.release" ]; do sleep 0.02; done
exit 231
"""

# bin/java of a stand-in runtime that logs how a writer ends when the
# reader of its pipe has gone: killed by SIGPIPE (128 + its number) where
# the runtime was started with SIGPIPE at its default action, with an
# error of its own where SIGPIPE is ignored.
PIPE_WRITING_JAVA = r"""#!/bin/sh
(yes; echo "writer ended $?" >> "$FAKE_JAVA_LOG") | head -n 1 > /dev/null
"""

# The signals the launcher handles, by name; SIGPWR is Linux's own.
HANDLED_SIGNAL_NAMES = ["TERM", "INT", "HUP", "QUIT", "USR1", "USR2", "ALRM", "VTALRM", "CONT", "TSTP"] + \
    (["PWR"] if hasattr(signal, "SIGPWR") else [])


JVM_ROOT = "/usr/lib/jvm"


def installed_runtimes():
    """The real homes of the runtimes under JVM_ROOT, each once, sorted."""
    homes = set()
    for name in os.listdir(JVM_ROOT) if os.path.isdir(JVM_ROOT) else []:
        home = os.path.join(JVM_ROOT, name)
        if os.access(os.path.join(home, "bin", "java"), os.X_OK) and os.path.isfile(os.path.join(home, "release")):
            homes.add(os.path.realpath(home))
    return sorted(homes)


def default_signals():
    """Runs in the launcher's process before exec: the signals it handles get
    their default actions, whatever this test was started with (a background
    job has SIGINT and SIGQUIT ignored, and the launcher leaves an ignored
    signal alone)."""
    for name in HANDLED_SIGNAL_NAMES:
        signal.signal(getattr(signal, "SIG" + name), signal.SIG_DFL)


def wait_for(condition, seconds=RUN_TIMEOUT_SECONDS):
    """Polls condition until it holds or the time is up; returns whether it held."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def process_state(pid):
    """The state letter of /proc/<pid>/stat (R, S, T, Z...), or None once the
    process is gone."""
    try:
        with open("/proc/%d/stat" % pid) as stat_file:
            return stat_file.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def setUpModule():
    if not TARNWICK or not os.access(TARNWICK, os.X_OK):
        raise RuntimeError("TARNWICK must name the built launcher (got %r)" % TARNWICK)
    if not os.path.isfile(os.path.join(DEMO_CLASSES, "Demo.class")):
        raise RuntimeError("DEMO_CLASSES must hold Demo.class (got %r)" % DEMO_CLASSES)


def make_fake_runtime(home, version, java_text=FAKE_JAVA):
    """A runtime home with an executable bin/java and a release file."""
    os.makedirs(os.path.join(home, "bin"), exist_ok=True)
    java = os.path.join(home, "bin", "java")
    with open(java, "w") as out:
        out.write(java_text)
    os.chmod(java, stat.S_IRWXU)
    with open(os.path.join(home, "release"), "w") as out:
        out.write('IMPLEMENTOR="Test"\nJAVA_VERSION="%s"\n' % version)
    return os.path.realpath(home)


def clean_environment(**changes):
    """The test's environment without any runtime choice of the caller's."""
    env = dict(os.environ)
    for name in ("JAVA_HOME", "TARNWICK_JAVA_ROOTS", "FAKE_JAVA_LOG", "CLASSPATH"):
        env.pop(name, None)
    env["LC_ALL"] = "C.UTF-8"
    for name, value in changes.items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return env


def demo_environment(**changes):
    """A clean environment in which the JVM finds the demo's classes."""
    return clean_environment(CLASSPATH=DEMO_CLASSES, **changes)


def launcher_lines_only(err):
    """Whether standard error holds the launcher's own lines alone: the
    banner, "#Command line=" and the command line, once per start."""
    lines = err.splitlines()
    return len(lines) % 3 == 0 and all(lines[i].startswith("#Version ") and lines[i + 1] == "#Command line="
                                       for i in range(0, len(lines), 3))


def run_launcher(args, env, launcher=None, cwd=None):
    """Runs the launcher; returns (exit code, stdout text, stderr text)."""
    program = launcher or TARNWICK
    done = subprocess.run([program] + list(args), env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT_SECONDS)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


class DemoOutput:
    """What the demo printed, read back from its lines."""

    def __init__(self, stdout):
        self.lines = stdout.split("\n")
        starts = [i for i, line in enumerate(self.lines) if line.startswith("demo args=")]
        if len(starts) != 1:
            raise AssertionError("expected the demo's output once:\n" + stdout)
        self.start = starts[0]
        count = int(self.lines[self.start][len("demo args="):])
        self.args = []
        for i in range(count):
            line = self.lines[self.start + 1 + i]
            prefix = "arg[%d]=<" % i
            if not line.startswith(prefix) or not line.endswith(">"):
                raise AssertionError("unexpected demo line %r in:\n%s" % (line, stdout))
            self.args.append(line[len(prefix):-1])
        self.values = {}
        for line in self.lines[self.start + 1 + count:]:
            if "=<" in line and line.endswith(">"):
                name, value = line.split("=<", 1)
                self.values[name] = value[:-1]
            elif line.endswith(" unset"):
                self.values[line[:-len(" unset")]] = None


class LauncherTestCase(unittest.TestCase):
    def setUp(self):
        self.scratch = os.path.realpath(tempfile.mkdtemp(prefix="tarnwick-e2e-"))
        self.addCleanup(shutil.rmtree, self.scratch, True)
        # No runtime of this machine leaks into the made-up scenarios.
        self.empty_roots = os.path.join(self.scratch, "no-runtimes")
        os.makedirs(self.empty_roots)

    def path(self, *names):
        return os.path.join(self.scratch, *names)

    def run_demo(self, args, env=None, **kwargs):
        code, out, err = run_launcher(["Demo"] + list(args), env or demo_environment(), **kwargs)
        self.assertEqual(0, code, "launcher failed:\n" + out + err)
        return DemoOutput(out), out, err

    def fake_java_environment(self, home, **changes):
        """JAVA_HOME names a stand-in runtime that logs its starts."""
        self.log = self.path("java.log")
        return clean_environment(JAVA_HOME=home, TARNWICK_JAVA_ROOTS=self.empty_roots, FAKE_JAVA_LOG=self.log,
                                 **changes)

    def logged(self, key):
        """The values of one kind that the stand-in java logged, in order."""
        if not os.path.exists(self.log):
            return []
        with open(self.log) as log:
            lines = log.read().split("\n")
        prefix = key + "=<"
        return [line[len(prefix):-1] for line in lines if line.startswith(prefix)]


class ArgumentsTests(LauncherTestCase):
    """The Java application receives exactly the arguments the launcher got."""

    GROUPS = {
        "blanks and quotes": ["plain", "two words", 'say "hi"', '"', '""', "a\"b c\"d", "tab\there", "  lead"],
        "backslashes": ["C:\\", "trail\\", "trail\\\\", "mid\\dle", "\\\"", "\\\\\"x", "end \\"],
        "empty ones": ["", "between", "", ""],
        "shell characters": ["$HOME", "*", "'single'", "a;b", "`cmd`", "|&<>", "100%"],
    }

    def test_each_group_arrives_byte_exact(self):
        for name, args in self.GROUPS.items():
            with self.subTest(group=name):
                demo, _, _ = self.run_demo(args)
                self.assertEqual(args, demo.args)

    def test_the_launcher_lines_go_to_standard_error(self):
        demo, out, err = self.run_demo(["x"])
        self.assertEqual(0, demo.start, out)
        self.assertTrue(launcher_lines_only(err), err)

    def test_a_vm_parameter_reaches_the_jvm(self):
        for greeting in ("hello-from-tarnwick", "My App", 'say "hi"\tC:\\'):
            with self.subTest(greeting=greeting):
                demo, _, _ = self.run_demo(["-Ddemo.greeting=" + greeting, "x"])
                self.assertEqual(greeting, demo.values["property demo.greeting"])
                self.assertEqual(["x"], demo.args)

        demo, _, _ = self.run_demo(["x"])
        self.assertIsNone(demo.values["property demo.greeting"])


class WorkingDirectoryTests(LauncherTestCase):
    """The child starts in the launcher's own folder however the launcher was
    started: the system names the running file."""

    def setUp(self):
        super().setUp()
        os.makedirs(self.path("app"))
        os.makedirs(self.path("elsewhere"))
        self.copy = self.path("app", "tarnwick")
        shutil.copy2(TARNWICK, self.copy)

    def test_started_by_absolute_path(self):
        demo, _, _ = self.run_demo(["x"], launcher=self.copy, cwd=self.path("elsewhere"))
        self.assertEqual(os.path.realpath(self.path("app")), os.path.realpath(demo.values["user.dir"]))

    def test_started_by_relative_path(self):
        demo, _, _ = self.run_demo(["x"], launcher=os.path.join("app", "tarnwick"), cwd=self.scratch)
        self.assertEqual(os.path.realpath(self.path("app")), os.path.realpath(demo.values["user.dir"]))


class ExitCodesTests(LauncherTestCase):
    """Exit codes of the child as the launcher passes them on, with a stand-in
    runtime so that no JVM is needed."""

    def setUp(self):
        super().setUp()
        self.home = make_fake_runtime(self.path("fake jdk"), "1.8.0_392")

    def test_exit_codes_and_signals(self):
        cases = [
            (["-passExitCode", "--exit=3"], 3),
            (["--exit=3"], 0),
            (["-passExitCode", "--exit=0"], 0),
            (["-passExitCode", "--signal=TERM"], 128 + signal.SIGTERM),
            (["-passExitCode", "--signal=KILL"], 128 + signal.SIGKILL),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                code, out, err = run_launcher(["cp", "Main"] + args, self.fake_java_environment(self.home))
                self.assertEqual(expected, code, out + err)

    def test_an_early_failure_is_reported_on_standard_error(self):
        env = self.fake_java_environment(self.home)
        code, out, err = run_launcher(["cp", "Main", "-passExitCode", "--exit=3"], env)
        self.assertEqual(3, code)
        self.assertIn("Error: Error launching Class", err)

    def test_a_runtime_that_cannot_be_started_gives_the_system_error(self):
        broken = make_fake_runtime(self.path("broken jdk"), "17.0.1", "#!/nonexistent/interpreter\n")
        code, out, err = run_launcher(["cp", "Main", "-passExitCode"], self.fake_java_environment(broken))
        self.assertEqual(2, code, out + err)
        self.assertIn(os.strerror(2), err)


class CurrentRuntimeTests(LauncherTestCase):
    """The runtime the emulated registry names as current is the one started."""

    def test_java_home_names_the_runtime(self):
        home = make_fake_runtime(self.path("jdk with blank"), "17.0.15")
        make_fake_runtime(self.path("path-jdk"), "11.0.2")
        env = self.fake_java_environment(home, PATH=self.path("path-jdk", "bin") + os.pathsep + os.environ["PATH"])
        code, out, err = run_launcher(["cp", "Main", "a b"], env)
        self.assertEqual(0, code, out + err)
        self.assertEqual([home + "/bin/java"], self.logged("program"))
        self.assertEqual(["cp", "Main", "a b"], self.logged("arg"))

    def test_java_on_path_is_followed_through_its_symlinks(self):
        # JAVA_HOME unset, or naming a folder without bin/java: PATH decides.
        for java_home in (None, self.path("not-a-runtime")):
            with self.subTest(JAVA_HOME=java_home):
                folder = tempfile.mkdtemp(dir=self.scratch)
                home = make_fake_runtime(os.path.join(folder, "jvm", "jdk-21"), "21.0.4")
                os.makedirs(os.path.join(folder, "alternatives"))
                os.symlink(os.path.join(home, "bin", "java"), os.path.join(folder, "alternatives", "java"))
                os.makedirs(os.path.join(folder, "bin"))
                os.symlink(os.path.join(folder, "alternatives", "java"), os.path.join(folder, "bin", "java"))
                os.makedirs(self.path("not-a-runtime", "bin"), exist_ok=True)
                env = self.fake_java_environment(java_home, PATH=os.path.join(folder, "bin") + ":/usr/bin:/bin")
                if os.path.exists(self.log):
                    os.remove(self.log)
                code, out, err = run_launcher(["cp", "Main"], env)
                self.assertEqual(0, code, out + err)
                self.assertEqual([home + "/bin/java"], self.logged("program"))

    def test_a_runtime_without_a_version_is_started_from_java_home_or_path(self):
        # Without a release file it is no runtime of the emulated registry;
        # JAVA_HOME and PATH are looked at after it.
        home = make_fake_runtime(self.path("unversioned"), "x")
        os.remove(os.path.join(home, "release"))
        for java_home, path in ((home, self.path("no-runtimes")), (None, os.path.join(home, "bin"))):
            with self.subTest(JAVA_HOME=java_home):
                env = self.fake_java_environment(java_home, PATH=path)
                if os.path.exists(self.log):
                    os.remove(self.log)
                code, out, err = run_launcher(["cp", "Main", "-passExitCode"], env)
                self.assertEqual(0, code, out + err)
                self.assertEqual([home + "/bin/java"], self.logged("program"))

    def test_without_any_runtime_the_user_is_told(self):
        env = clean_environment(TARNWICK_JAVA_ROOTS=self.empty_roots, PATH=self.path("no-runtimes"))
        code, out, err = run_launcher(["cp", "Main", "-passExitCode"], env)
        self.assertEqual(2, code, out + err)
        self.assertIn("Error!: No Java Installation Found", err)
        self.assertNotIn("#Command line=", err)


class RealRuntimesTests(LauncherTestCase):
    """The demo on this machine's own runtimes: the one on PATH by default, and
    each runtime under /usr/lib/jvm when JAVA_HOME names it."""

    def test_the_runtime_on_path_by_default(self):
        java = shutil.which("java")
        if java is None:
            self.skipTest("no java on PATH")
        expected_home = os.path.dirname(os.path.dirname(os.path.realpath(java)))
        demo, out, _ = self.run_demo(["x"])
        self.assertEqual(expected_home, os.path.realpath(demo.values["java.home"]), out)

    def test_each_installed_runtime_through_java_home(self):
        homes = installed_runtimes()
        if not homes:
            self.skipTest("no Java runtime under " + JVM_ROOT)
        print("runtimes under %s: %s" % (JVM_ROOT, ", ".join(homes)), file=sys.stderr)
        for home in homes:
            with self.subTest(home=home):
                greeting = "on-" + os.path.basename(home)
                demo, out, _ = self.run_demo(["-Ddemo.greeting=" + greeting, "x y"],
                                             env=demo_environment(JAVA_HOME=home))
                self.assertEqual(home, os.path.realpath(demo.values["java.home"]), out)
                self.assertEqual(greeting, demo.values["property demo.greeting"])
                self.assertEqual(["x y"], demo.args)


def read_until(fd, pattern, seconds=RUN_TIMEOUT_SECONDS):
    """Reads fd until what was read matches the regular expression pattern,
    or to its end, or until the time is up; returns what was read."""
    received = b""
    deadline = time.monotonic() + seconds
    with selectors.DefaultSelector() as selector:
        selector.register(fd, selectors.EVENT_READ)
        while not re.search(pattern, received.decode("utf-8", "replace")):
            if not selector.select(max(0, deadline - time.monotonic())):
                break
            try:
                chunk = os.read(fd, 4096)
            except OSError:  # EIO: no process holds the pseudo-terminal any more
                chunk = b""
            if not chunk:
                break
            received += chunk
    return received.decode("utf-8", "replace")


def read_to_end(fd, seconds=RUN_TIMEOUT_SECONDS):
    return read_until(fd, r"(?!)", seconds)


def kill_leftover(pid, mark):
    """Ends a process that a failed run left behind, known by its id and by
    a text in its command line (the id may have been given out again)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
            if mark.encode() in cmdline.read():
                os.kill(pid, signal.SIGKILL)
    except OSError:  # ended already
        pass


class PosixBehaviourTests(LauncherTestCase):
    """What a POSIX program is expected to do: end with its application when
    signalled, relaunch on 999's low byte, and keep its own lines off the
    user's terminal."""

    def test_sigterm_ends_the_application_through_its_shutdown_hooks(self):
        marker = self.path("hook ran")
        process, jvm = self.start_waiting_demo(TARNWICK, None, marker)
        os.kill(process.pid, signal.SIGTERM)
        process.wait(timeout=RUN_TIMEOUT_SECONDS)
        with self.assertRaises(ProcessLookupError, msg="the JVM outlived the launcher"):
            os.kill(jvm, 0)
        _, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
        self.assertEqual(128 + signal.SIGTERM, process.returncode, err)
        with open(marker) as hook:
            self.assertEqual("hook ran\n", hook.read())
        # The end was asked for: no abnormal-end report.
        self.assertTrue(launcher_lines_only(err.decode()), err)

    def test_a_key_typed_at_the_terminal_is_not_passed_on(self):
        home = make_fake_runtime(self.path("fake jdk"), "17.0.1", SIGINT_LOGGING_JAVA)
        env = self.fake_java_environment(home)
        pid, terminal = pty.fork()
        if pid == 0:
            try:
                os.execve(TARNWICK, [TARNWICK, "cp", "Main", "-passExitCode"], env)
            finally:
                os._exit(127)
        self.addCleanup(os.close, terminal)

        def log_lines():
            if not os.path.exists(self.log):
                return [""]
            with open(self.log) as log:
                return log.read().split("\n")

        def stop_launcher():
            """Ends the launcher when a failed run leaves it behind."""
            try:
                if os.waitpid(pid, os.WNOHANG) == (0, 0):
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
            except ChildProcessError:  # already waited for
                pass

        deadline = time.monotonic() + RUN_TIMEOUT_SECONDS
        while not log_lines()[0].startswith("ready ") and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertTrue(log_lines()[0].startswith("ready "), "the stand-in java never started")
        script = int(log_lines()[0].split()[1])
        self.addCleanup(kill_leftover, script, home)
        self.addCleanup(stop_launcher)

        # Ctrl-C signals the terminal's foreground group: the launcher alone.
        os.write(terminal, b"\x03")
        time.sleep(QUIET_SPELL_SECONDS)
        self.assertNotIn("INT", log_lines(), "a signal from the terminal was passed on")
        self.assertEqual((0, 0), os.waitpid(pid, os.WNOHANG), "the launcher ended on Ctrl-C")

        # Sent by a process to the launcher: passed on, once.  The child ends
        # on it, and the user's Ctrl-C came while it ran: the launcher ends
        # by SIGINT as well, as the key would have ended it.
        os.kill(pid, signal.SIGINT)
        output = read_to_end(terminal)
        _, status = os.waitpid(pid, 0)
        self.assertEqual(["INT"], [line for line in log_lines() if line == "INT"])
        self.assertEqual(-signal.SIGINT, os.waitstatus_to_exitcode(status), output)
        # The child ended as asked: no abnormal-end report.
        self.assertNotIn("Error", output)

    # (signal, how the stand-in answers it, times it receives it, the exit
    # code of the second start or None when none follows, the end is
    # reported as abnormal, the launcher's code)
    SIGNAL_TABLE = [
        # A request to end that the child ends by was asked for: no report.
        ("TERM", "die", 1, None, False, 128 + signal.SIGTERM),
        ("INT", "die", 1, None, False, 128 + signal.SIGINT),
        ("HUP", "die", 1, None, False, 128 + signal.SIGHUP),
        ("ALRM", "die", 1, None, False, 128 + signal.SIGALRM),
        ("VTALRM", "%d" % (128 + signal.SIGVTALRM), 1, None, False, 128 + signal.SIGVTALRM),
        # Handled, then a relaunch request: as if no signal came.
        ("TERM", "231", 1, 0, False, 0),
        ("HUP", "231", 1, 0, False, 0),
        # The signal came to the first child alone: the second one's end
        # with 128 + its number is reported.
        ("HUP", "231", 1, 128 + signal.SIGHUP, True, 128 + signal.SIGHUP),
        # Never a request to end: an end by them is reported.
        ("QUIT", "%d" % (128 + signal.SIGQUIT), 1, None, True, 128 + signal.SIGQUIT),
        ("USR1", "die", 1, None, True, 128 + signal.SIGUSR1),
        ("CONT", "231", 1, 0, False, 0),
        # The JVM's own: never passed on (the stand-in is let go later).
        ("USR2", "231", 0, 0, False, 0),
    ] + ([("PWR", "die", 1, None, False, 128 + signal.SIGPWR)] if hasattr(signal, "SIGPWR") else [])

    def start_stand_in(self, answer, signals, later_exit=0, own_group=False):
        """Starts the launcher (with -passExitCode and a log file, so that an
        abnormal end is reported whatever its length) on the signal-logging
        stand-in, in a process group of its own when asked (one a shell's
        job would be: not orphaned, this test being its parent in another);
        returns the launcher's process and the stand-in's id."""
        home = make_fake_runtime(self.path("fake jdk"), "17.0.1", SIGNAL_LOGGING_JAVA)
        config = self.path("signals.config")
        with open(config, "w") as out:
            out.write("vmparam -DLOGFILE=app.log\n")
        env = self.fake_java_environment(home, STAND_IN_ANSWER=answer,
                                         STAND_IN_SIGNALS=" ".join(signals),
                                         STAND_IN_LATER_EXIT=str(later_exit))
        def prepare():
            default_signals()
            if own_group:
                os.setpgid(0, 0)
        process = subprocess.Popen([TARNWICK, "-c" + config, "-passExitCode"], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=prepare)
        self.addCleanup(process.kill)
        self.assertTrue(wait_for(lambda: self.log_lines("start ")), "the stand-in never started")
        stand_in = int(self.log_lines("start ")[0].split()[1])
        self.addCleanup(kill_leftover, stand_in, home)
        return process, stand_in

    def log_lines(self, prefix):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as log:
            return [line for line in log.read().split("\n") if line.startswith(prefix)]

    def test_each_handled_signal_reaches_the_child_once_and_relaunches_where_the_rules_say(self):
        all_signals = [name for name in HANDLED_SIGNAL_NAMES if name != "TSTP"]
        for name, answer, received, later_exit, reported, code in self.SIGNAL_TABLE:
            with self.subTest(signal=name, answer=answer, later_exit=later_exit):
                for left in ("java.log", "java.log.release"):
                    if os.path.exists(self.path(left)):
                        os.remove(self.path(left))
                process, _ = self.start_stand_in(answer, all_signals, later_exit or 0)
                os.kill(process.pid, getattr(signal, "SIG" + name))
                if received == 0:
                    time.sleep(QUIET_SPELL_SECONDS)
                    self.assertIsNone(process.poll(), "the launcher ended on SIG" + name)
                    open(self.log + ".release", "w").close()
                out, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
                text = (out + err).decode("utf-8", "replace")
                self.assertEqual(code, process.returncode, text)
                self.assertEqual(["got " + name] * received, self.log_lines("got "), text)
                self.assertEqual(later_exit is not None, bool(self.log_lines("start again")), text)
                self.assertEqual(reported, "Unexpected Close: " in text, text)

    def test_a_stop_sent_to_the_launcher_stops_both_and_cont_resumes_both(self):
        process, stand_in = self.start_stand_in("231", ["CONT"], own_group=True)
        os.kill(process.pid, signal.SIGTSTP)
        # Stopped as Ctrl-Z stops a program, by SIGTSTP: a shell says
        # "Stopped", not "Stopped (signal)".
        _, status = os.waitpid(process.pid, os.WUNTRACED)
        self.assertTrue(os.WIFSTOPPED(status), status)
        self.assertEqual(signal.SIGTSTP, os.WSTOPSIG(status))
        self.assertTrue(wait_for(lambda: process_state(process.pid) == "T" and process_state(stand_in) == "T"),
                        (process_state(process.pid), process_state(stand_in)))
        os.kill(process.pid, signal.SIGCONT)
        # The stand-in answers the CONT passed on with a relaunch request.
        out, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
        self.assertEqual(0, process.returncode, out + err)
        self.assertEqual(["got CONT"], self.log_lines("got "))
        self.assertTrue(self.log_lines("start again"))

    def test_a_hangup_the_application_handles_then_a_relaunch(self):
        for home in installed_runtimes() or [None]:
            with self.subTest(home=home):
                marker = self.path("hup once " + os.path.basename(home or "java"))
                process = subprocess.Popen([TARNWICK, "Demo", "-passExitCode", "--relaunch-on-hup=" + marker],
                                           env=demo_environment(JAVA_HOME=home), stdin=subprocess.DEVNULL,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=default_signals)
                self.addCleanup(process.kill)
                first = read_until(process.stdout.fileno(), r"demo waiting for HUP pid=\d+\n")
                self.assertIn("demo waiting for HUP", first)
                os.kill(process.pid, signal.SIGHUP)
                out, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
                out, err = first + out.decode("utf-8", "replace"), err.decode("utf-8", "replace")
                self.assertEqual(0, process.returncode, out + err)
                self.assertEqual(1, out.count("demo got HUP"), out)
                self.assertEqual(2, err.count("#Command line="), err)
                self.assertTrue(launcher_lines_only(err), err)

    def start_waiting_demo(self, launcher, home, marker):
        """Starts the demo, which waits with a shutdown hook writing marker;
        returns the launcher's process and the JVM's id."""
        process = subprocess.Popen([launcher, "Demo", "-passExitCode", "--hook=" + marker, "--wait"],
                                   env=demo_environment(JAVA_HOME=home), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=default_signals)
        self.addCleanup(process.kill)
        waiting = re.search(r"demo waiting pid=(\d+)\n", read_until(process.stdout.fileno(), r"pid=\d+\n"))
        self.assertIsNotNone(waiting, "the demo never got to wait")
        jvm = int(waiting.group(1))
        self.addCleanup(kill_leftover, jvm, marker)
        return process, jvm

    def test_the_jvm_never_receives_sigusr2(self):
        # HotSpot 17 crashed on it, leaving hs_err_pid*.log in its folder
        # (the launcher's, where this copy of it works).
        os.makedirs(self.path("app"))
        launcher = self.path("app", "tarnwick")
        shutil.copy2(TARNWICK, launcher)
        for home in installed_runtimes() or [None]:
            with self.subTest(home=home):
                marker = self.path("hook ran " + os.path.basename(home or "java"))
                process, jvm = self.start_waiting_demo(launcher, home, marker)
                os.kill(process.pid, signal.SIGUSR2)
                time.sleep(QUIET_SPELL_SECONDS)
                self.assertIsNone(process.poll())
                self.assertIn(process_state(jvm), ("R", "S"))
                os.kill(process.pid, signal.SIGTERM)
                _, err = process.communicate(timeout=RUN_TIMEOUT_SECONDS)
                self.assertEqual(128 + signal.SIGTERM, process.returncode, err)
                with open(marker) as hook:
                    self.assertEqual("hook ran\n", hook.read())
                self.assertEqual([], [name for name in os.listdir(self.path("app")) if name.startswith("hs_err")])

    @unittest.skipUnless(sys.platform.startswith("linux"), "PR_SET_PDEATHSIG is Linux's")
    def test_sigkill_of_the_launcher_leaves_no_jvm(self):
        for home in installed_runtimes() or [None]:
            with self.subTest(home=home):
                marker = self.path("hook ran " + os.path.basename(home or "java"))
                process, jvm = self.start_waiting_demo(TARNWICK, home, marker)
                process.kill()
                process.communicate(timeout=RUN_TIMEOUT_SECONDS)
                # Gone, or a zombie that no one reaps: either way it has ended.
                self.assertTrue(wait_for(lambda: process_state(jvm) in (None, "Z")), "the JVM outlived the launcher")
                # It was asked with SIGTERM, so its shutdown hooks ran.
                with open(marker) as hook:
                    self.assertEqual("hook ran\n", hook.read())

    def test_a_reader_that_has_gone_does_not_end_the_launcher(self):
        # demo 2>&1 | head -1, demo 2>&1 | true: the launcher's lines meet a
        # closed pipe, yet the application starts, is started again and
        # passes its exit code on.
        for reader in (["head", "-1"], ["true"]):
            with self.subTest(reader=reader):
                marker = self.path("started " + reader[0])
                launcher = subprocess.Popen([TARNWICK, "Demo", "-passExitCode", "--relaunch-once=" + marker,
                                             "--exit=3"], env=demo_environment(), stdin=subprocess.DEVNULL,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.addCleanup(launcher.kill)
                pipe_reader = subprocess.Popen(reader, stdin=launcher.stderr, stdout=subprocess.PIPE)
                launcher.stderr.close()
                read, _ = pipe_reader.communicate(timeout=RUN_TIMEOUT_SECONDS)
                out = launcher.stdout.read().decode("utf-8", "replace")
                launcher.wait(timeout=RUN_TIMEOUT_SECONDS)
                launcher.stdout.close()
                self.assertEqual(3, launcher.returncode, out)
                self.assertEqual(2, out.count("demo args="), out)
                self.assertTrue(os.path.exists(marker), out)
                if reader[0] == "head":
                    self.assertTrue(read.startswith(b"#Version "), read)

    def test_the_runtime_gets_sigpipe_as_the_launcher_was_started_with(self):
        # The launcher ignores SIGPIPE for its own lines; a JVM sets its own
        # handlers and would hide an ignored one, a stand-in shows it.
        home = make_fake_runtime(self.path("fake jdk"), "17.0.1", PIPE_WRITING_JAVA)
        for action, killed in ((signal.SIG_DFL, True), (signal.SIG_IGN, False)):
            with self.subTest(action=action):
                env = self.fake_java_environment(home)
                if os.path.exists(self.log):
                    os.remove(self.log)
                set_pipe_action = functools.partial(signal.signal, signal.SIGPIPE, action)
                done = subprocess.run([TARNWICK, "cp", "Main", "-passExitCode"], env=env,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=RUN_TIMEOUT_SECONDS,
                                      preexec_fn=set_pipe_action)
                text = (done.stdout + done.stderr).decode("utf-8", "replace")
                self.assertEqual(0, done.returncode, text)
                ended = [int(line.split()[2]) for line in self.log_lines("writer ended ")]
                self.assertEqual(1, len(ended), text)
                self.assertEqual(killed, ended[0] == 128 + signal.SIGPIPE, text)

    def test_999_asks_for_a_relaunch(self):
        marker = self.path("started once")
        code, out, err = run_launcher(["Demo", "-passExitCode", "--relaunch-once=" + marker],
                                      demo_environment())
        self.assertEqual(0, code, out + err)
        self.assertEqual(2, err.count("#Command line="), err)
        self.assertEqual(2, out.count("demo args="), out)
        self.assertTrue(launcher_lines_only(err), err)

    def test_the_launcher_lines_stay_off_a_terminal(self):
        # Standard error decides; standard output is the application's.
        for error, args, shown in (("pipe", [], True), ("terminal", [], False), ("terminal", ["-d"], True)):
            with self.subTest(error=error, args=args):
                command = [TARNWICK, "Demo"] + args + ["x"]
                if error == "pipe":
                    code, out, err = run_launcher(command[1:], demo_environment())
                else:
                    terminal, slave = pty.openpty()
                    process = subprocess.Popen(command, env=demo_environment(), stdin=subprocess.DEVNULL,
                                               stdout=subprocess.PIPE, stderr=slave)
                    os.close(slave)
                    err = read_to_end(terminal).replace("\r\n", "\n")
                    os.close(terminal)
                    out = process.communicate(timeout=RUN_TIMEOUT_SECONDS)[0].decode("utf-8", "replace")
                    code = process.returncode
                self.assertEqual(0, code, out + err)
                self.assertEqual(["x"], DemoOutput(out).args)
                self.assertNotIn("#Version ", out)
                self.assertEqual(shown, "#Version " in err, err)
                self.assertEqual(shown, "#Command line=" in err, err)


if __name__ == "__main__":
    unittest.main()

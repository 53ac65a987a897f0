"""End-to-end harness: runs the real tarnwick.exe under Wine and reports what
it did.

One session per test process:
  - a persistent Wine prefix under build/ (created once, then reused), held
    under a file lock so that two test processes never share it at once;
  - a persistent wineserver and one warm-up program run with its output
    thrown away, so that Wine's background processes are up before any run
    whose output is kept;
  - Wine's relay trace limited to MessageBoxA/W, which is how the texts,
    captions and types of the launcher's message boxes are read back, and
    to the few other calls whose arguments the tests read (RELAYED, the
    wide-character forms the launcher calls); every line carries the
    calling process's id;
  - fake runtime homes under C:\\tw whose bin\\javaw.exe and bin\\java.exe
    are copies of test_child.exe: the registry's default ones and one per
    installed version (VERSION_HOMES).

Each run lays out a scenario directory (app\\Demo.exe = a copy of
tarnwick.exe, start\\ as the directory it is started from, plus whatever
configuration files and stand-in programs the test writes into it), imports
the scenario's registry fixture and Windows version as one .reg file, starts
the launcher through run_exit.exe (which reports the full 32-bit exit code)
and collects: exit code, standard output and error, message boxes, relayed
calls, the records of every started copy of the test child and the files
the launcher wrote.

Nothing may open a web page: url.dll and winebrowser are disabled in every
run, and the prefix's http and https associations name a stand-in browser
(BROWSER), a copy of the test child that only records how it was started.

Boxes are answered "not Yes" at once, as there is no display.  A run that
must answer a box gets a private Xvfb display and a Wine desktop of its own,
and presses keys with xdotool.
"""
import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from collections import namedtuple

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.dirname(os.path.dirname(HERE))
SKIP_EXIT_CODE = 77

VERSION_BANNER = "@(#)tarnWick Version: 1.3.1 NVQ Compiled: Mar 14 2019 at 11:37:00"
JRE_BASE_KEY = r"SOFTWARE\JavaSoft\Java Runtime Environment"

MB_OK = 0x00
MB_ICONERROR = 0x10
MB_ICONERROR_YESNO = 0x14

# Everything runs below C:\tw in the prefix: short paths without blanks.
TW = "tw"
WIN_TW = "C:\\" + TW

# Runtime homes shared by all scenarios (created once per session).
HOME_PLAIN = WIN_TW + r"\jre"                 # javaw.exe and java.exe
HOME_SPACE = WIN_TW + r"\Java Home"           # the same, in a path with a blank
HOME_NO_JAVAW = WIN_TW + r"\jre-console"      # java.exe only
# One home per installed version of the version-matching fixtures; the
# newest 1.7 lives in a path with a blank.
VERSION_HOMES = {
    "1.6": WIN_TW + r"\jre-1.6",
    "1.6.0_17": WIN_TW + r"\jre-1.6.0_17",
    "1.6.0_45": WIN_TW + r"\jre-1.6.0_45",
    "1.7": WIN_TW + r"\jre-1.7",
    "1.7.0_80": WIN_TW + r"\jre 1.7.0_80",
}
# A second runtime, for the places other than the Java 8 registry key.
HOME_JDK = WIN_TW + r"\jdk"
RUNTIME_HOMES = {
    HOME_PLAIN: ("javaw.exe", "java.exe"),
    HOME_JDK: ("javaw.exe", "java.exe"),
    HOME_SPACE: ("javaw.exe", "java.exe"),
    HOME_NO_JAVAW: ("java.exe",),
}
RUNTIME_HOMES.update((home, ("javaw.exe", "java.exe")) for home in VERSION_HOMES.values())

# A stand-in web browser: a copy of the test child that the prefix's http
# and https associations name, so that a page the launcher hands to
# ShellExecuteW arrives here (its address as the only argument) and never
# at a real browser.
BROWSER = WIN_TW + r"\browser\browser.exe"

# Calls whose arguments the relay trace shows (besides the message boxes).
RELAYED = ("user32.MessageBoxA", "user32.MessageBoxW", "shell32.ShellExecuteW",
           "kernel32.CreateProcessW", "kernel32.AllocConsole", "kernel32.SetConsoleTitleW")

# Keeps every run away from a web browser (and so from the network).
NO_BROWSER = "url,ieframe,shdocvw=d;winebrowser.exe=d"

# The first line of a .reg file in the Unicode form.
REG_HEADER = "Windows Registry Editor Version 5.00"

# Debian's 64-bit Wine loader (the "wine" command picks a program's own).
WINE64 = "/usr/lib/wine/wine64"

DISPLAY_DESKTOP = "tarnwick-display"   # the desktop of runs that answer boxes
# How long a new Xvfb may take to open its display on a busy machine.
XVFB_PATIENCE_SECONDS = 60

WINDOWS_XP = "winxp64"   # GetVersionExA major version 5
WINDOWS_7 = "win7"       # Wine's default: major version 6

Box = namedtuple("Box", "text caption type")
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
CUT = "<cut by the relay trace>"


class RunnerCouldNotStart(AssertionError):
    """run_exit.exe could not start the launcher at all."""


class Unavailable(Exception):
    """Wine, a tool or a build product the tests need is missing."""


# --------------------------------------------------------------------------
# Text helpers


def windows_command_line(args):
    """Joins args into one command line that the Microsoft C runtime splits
    back into exactly these args."""
    parts = []
    for arg in args:
        if arg and not any(c in arg for c in ' \t"'):
            parts.append(arg)
            continue
        out, slashes = ['"'], 0
        for c in arg:
            if c == "\\":
                slashes += 1
                continue
            if c == '"':
                out.append("\\" * (2 * slashes + 1) + '"')
            else:
                out.append("\\" * slashes + c)
            slashes = 0
        out.append("\\" * (2 * slashes) + '"')
        parts.append("".join(out))
    return " ".join(parts)


_ESCAPE = re.compile(rb'\\(x[0-9a-fA-F]{2}|u[0-9a-fA-F]{4}|[0-7]{1,3}|.)', re.S)
# In a wide string Wine writes every character outside printable ASCII as a
# backslash and its UTF-16 code unit in four hex digits (\00e4, \65e5).
_WIDE_ESCAPE = re.compile(rb'\\([0-9a-fA-F]{4}|.)|([^\\]+)', re.S)
_SIMPLE = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b"a": b"\a", b"b": b"\b",
           b"f": b"\f", b"v": b"\v", b"0": b"\0"}


def decode_c_string(body, wide=False):
    """Undoes the C-style escaping of Wine's debug strings (\\n, \\", \\\\,
    \\xNN, \\uNNNN, octal; \\NNNN in wide strings).  Returns bytes (code
    page bytes for narrow strings, UTF-8 for wide ones)."""
    if wide:
        # UTF-16 code units first, so that a surrogate pair becomes one letter.
        units = []
        for m in _WIDE_ESCAPE.finditer(body):
            escape, plain = m.groups()
            if plain is not None:
                units += plain.decode("latin-1")
            elif len(escape) == 4:
                units.append(chr(int(escape, 16)))
            else:
                units += _SIMPLE.get(escape, escape).decode("latin-1")
        utf16 = "".join(units).encode("utf-16-le", "surrogatepass")
        return utf16.decode("utf-16-le", "replace").encode("utf-8")
    def repl(m):
        e = m.group(1)
        if e[:1] == b"x":
            return bytes([int(e[1:], 16)])
        if e[:1] == b"u":
            return chr(int(e[1:], 16)).encode("utf-8")
        if e in _SIMPLE:
            return _SIMPLE[e]
        if e[:1].isdigit():
            return bytes([int(e, 8) & 0xFF])
        return e
    return _ESCAPE.sub(repl, body)


_STR = rb'(?: (L?)"((?:[^"\\]|\\.)*)"(\.\.\.)?)?'
_BOX_CALL = re.compile(
    rb'([0-9a-f]+):Call user32\.MessageBox([AW])\(([0-9a-f]+),([0-9a-f]+)' + _STR +
    rb',([0-9a-f]+)' + _STR + rb',([0-9a-f]+)\)', re.S)


def parse_boxes(trace):
    """The message boxes in a relay trace, in call order.  Each is a Box of
    text, caption (str, decoded as Latin-1 so bytes map one to one) and
    type (int).  Wine cuts strings of about 290 characters and more; such a
    text ends with CUT here, so that it never equals an expected text."""
    boxes = []
    for m in _BOX_CALL.finditer(trace):
        (_thread, _api, _owner, text_ptr, text_w, text, text_cut,
         cap_ptr, cap_w, cap, cap_cut, flags) = m.groups()

        def value(ptr, wide, body, cut):
            if body is None:
                return None if int(ptr, 16) == 0 else "<unreadable>"
            raw = decode_c_string(body, wide == b"L")
            raw = raw.decode("utf-8") if wide == b"L" else raw.decode("latin-1")
            return raw + CUT if cut else raw
        boxes.append(Box(value(text_ptr, text_w, text, text_cut),
                         value(cap_ptr, cap_w, cap, cap_cut), int(flags, 16)))
    return boxes


RelayCall = namedtuple("RelayCall", "pid function args")

_CALL = re.compile(rb'(?:([0-9a-f]+):)?[0-9a-f]+:Call ([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\(')
_ARG = re.compile(rb'([0-9a-f]+)' + _STR + rb'(,|\))', re.S)


def relay_calls(trace, function):
    """The calls of function ("module.Name", module case-insensitive) in a
    relay trace, in call order.  Each is a RelayCall of the calling
    process's id (int, or None without +pid), the function's name and its
    arguments: a str for a string argument (decoded as in parse_boxes), else
    the number.  Numbers are cut to 32 bits, since Wine shows the whole
    64-bit register of an int argument."""
    module, name = function.split(".")
    calls = []
    for m in _CALL.finditer(trace):
        if m.group(2).decode().lower() != module.lower() or m.group(3).decode() != name:
            continue
        args, pos = [], m.end()
        if trace[pos:pos + 1] == b")":
            calls.append(RelayCall(int(m.group(1), 16) if m.group(1) else None, function, args))
            continue
        while True:
            a = _ARG.match(trace, pos)
            if not a:
                break
            ptr, wide, body, cut, end = a.groups()
            if body is None:
                args.append(int(ptr, 16) & 0xFFFFFFFF)
            else:
                raw = decode_c_string(body, wide == b"L")
                text = raw.decode("utf-8") if wide == b"L" else raw.decode("latin-1")
                args.append(text + CUT if cut else text)
            pos = a.end()
            if end == b")":
                break
        calls.append(RelayCall(int(m.group(1), 16) if m.group(1) else None, function, args))
    return calls


def reg_escape(s):
    return s.replace("\\", "\\\\").replace('"', '\\"')


def jre_registry(current="1.6", homes=None, home=HOME_PLAIN):
    """A registry fixture for the runtime base key: CurrentVersion = current
    (None: the value is absent) and one sub-key per entry of homes (version
    name -> JavaHome text, or None for a sub-key without JavaHome).  By
    default the current version's home is `home`."""
    if homes is None:
        homes = {current: home}
    base = {}
    if current is not None:
        base["CurrentVersion"] = current
    keys = {JRE_BASE_KEY: base}
    for version, home_text in homes.items():
        keys[JRE_BASE_KEY + "\\" + version] = {} if home_text is None else {"JavaHome": home_text}
    return keys


NO_JAVA = {}   # no JavaSoft key at all


class ExpandableText(str):
    """A registry text of type REG_EXPAND_SZ: %NAME% references in it are
    meant to be expanded by the reader."""


def reg_data(data):
    """A value of a .reg file: a str is a string (stored with its
    terminator), an ExpandableText a REG_EXPAND_SZ string, bytes are binary
    data stored exactly (no terminator unless given), an int is a DWORD."""
    if isinstance(data, ExpandableText):
        return "hex(2):" + ",".join("%02x" % b for b in (data + "\0").encode("utf-16-le"))
    if isinstance(data, bytes):
        return "hex:" + ",".join("%02x" % b for b in data)
    if isinstance(data, int):
        return "dword:%08x" % data
    return '"%s"' % reg_escape(data)


def registry_file(keys, windows):
    """A .reg file that wipes HKLM\\SOFTWARE\\JavaSoft in both registry views,
    creates keys (a dict of HKLM key path -> {value name: data, see
    reg_data}; a path under SOFTWARE\\WOW6432Node is in the 32-bit view) and
    sets Wine's Windows version.  The Unicode form (written as UTF-16 by
    import_registry), so that names and texts outside the ANSI code page
    are stored as they are."""
    lines = [REG_HEADER, "", r"[-HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft]",
             r"[-HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\JavaSoft]", ""]
    for key, values in keys.items():
        lines.append("[HKEY_LOCAL_MACHINE\\%s]" % key)
        for name, data in values.items():
            lines.append('"%s"=%s' % (reg_escape(name), reg_data(data)))
        lines.append("")
    lines.append(r"[HKEY_CURRENT_USER\Software\Wine]")
    lines.append('"Version"=-' if windows == WINDOWS_7 else '"Version"="%s"' % windows)
    lines.append("")
    return "\r\n".join(lines)


# --------------------------------------------------------------------------
# Results


class ChildRecord:
    """One start of the test child, as it recorded itself: each text is the
    UTF-8 bytes of what it received through the wide-character API."""

    def __init__(self, data):
        def b(s):
            return None if s is None else s.encode("latin-1")
        self.start = data["start"]
        self.pid = data["pid"]                  # the child's Windows process id
        self.grandchild = data["grandchild"]    # the grandchild's, or 0
        self.stdin = b(data["stdin"])           # what it read, or None
        self.exe = b(data["exe"])
        self.cmdline = b(data["cmdline"])
        self.argv = [b(a) for a in data["argv"]]
        self.cwd = b(data["cwd"])
        self.env = {k: b(v) for k, v in data["env"].items()}

    def __repr__(self):
        return "ChildRecord(cmdline=%r, cwd=%r)" % (self.cmdline, self.cwd)


class Result:
    def __init__(self, scenario, exit_code, stdout, stderr, wine_trace, boxes, children, files):
        self.scenario = scenario
        self.exit_code = exit_code          # signed 32-bit
        self.stdout = stdout                # bytes, as the launcher wrote them
        self.stderr = stderr                # bytes, the launcher's own standard error
        self.wine_trace = wine_trace        # Wine's relay trace and other noise
        self.boxes = boxes                  # [Box]
        self.children = children            # [ChildRecord], in start order
        self.files = files                  # {relative path: bytes} of written files

    command = None                          # the launcher's command line

    launcher_pid = None                     # the launcher's process id

    def calls(self, function):
        """The relayed calls of function (one of RELAYED), in order, by any
        process of the run."""
        return relay_calls(self.wine_trace, function)

    def launcher_calls(self, function):
        """The relayed calls of function made in the launcher's process (Wine's
        own programs, the runner and the test child make others)."""
        return [c for c in self.calls(function) if c.pid == self.launcher_pid]

    @property
    def exit_code_unsigned(self):
        return self.exit_code & 0xFFFFFFFF

    def __repr__(self):
        def clip(value, limit=600):
            text = repr(value)
            return text if len(text) <= limit else text[:limit] + "...(%d more)" % (len(text) - limit)
        return ("Result(exit=%d, boxes=[%s], children=%s, stdout=%s, stderr=%s, files=%r)"
                % (self.exit_code, ", ".join(clip(b, 300) for b in self.boxes),
                   clip(self.children), clip(self.stdout), clip(self.stderr), sorted(self.files)))


# --------------------------------------------------------------------------
# The session


def _windows_build_dir():
    return os.environ.get("TARNWICK_WINDOWS_BUILD_DIR") or os.path.join(SOURCE_ROOT, "build", "windows")


def x86_launcher(name="tarnwick.exe"):
    """The 32-bit build's tarnwick.exe (cmake --preset windows-x86), or its
    other launcher of that name."""
    build = os.environ.get("TARNWICK_WINDOWS_X86_BUILD_DIR") or os.path.join(
        SOURCE_ROOT, "build", "windows-x86")
    return os.path.join(build, name)


def console_launchers():
    """The console launchers, x64 and x86: {"x64": path, "x86": path}."""
    return {"x64": os.path.join(_windows_build_dir(), "tarnwick-console.exe"),
            "x86": x86_launcher("tarnwick-console.exe")}


def _prefix_dir():
    return os.environ.get("TARNWICK_WINE_PREFIX") or os.path.join(SOURCE_ROOT, "build", "wine-prefix")


class Session:
    def __init__(self):
        build = _windows_build_dir()
        self.launcher = os.path.join(build, "tarnwick.exe")
        self.child = os.path.join(build, "tests", "wine", "test_child.exe")
        self.runner = os.path.join(build, "tests", "wine", "run_exit.exe")
        self.prefix = os.path.abspath(_prefix_dir())
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.tw = os.path.join(self.drive_c, TW)
        self._lock = None
        self._xvfb = None
        self._display = None
        self._last_registry = None
        self.env = None

    # -- availability ------------------------------------------------------

    def problems(self):
        missing = []
        for tool in ("wine", "wineserver"):
            if not shutil.which(tool):
                missing.append("the program %s is not installed (Debian: wine, wine64)" % tool)
        for path in (self.launcher, self.child, self.runner):
            if not os.path.isfile(path):
                missing.append("%s is missing: build it with "
                               "'cmake --preset windows && cmake --build --preset windows'" % path)
        return missing

    # -- start-up ----------------------------------------------------------

    def start(self):
        problems = self.problems()
        if problems:
            raise Unavailable("; ".join(problems))
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self._lock = open(self.prefix + ".lock", "w")
        fcntl.flock(self._lock, fcntl.LOCK_EX)

        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        # Places where the launcher looks for Java: only a scenario sets them.
        env.pop("JAVA_HOME", None)
        env.pop("WINEPATH", None)
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=;" + NO_BROWSER, WINEARCH="win64")
        self.env = env

        if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            subprocess.run(["wine", "wineboot", "-u"], env=env, timeout=300, check=True, **QUIET)
        self._start_server()

        os.makedirs(self.tw, exist_ok=True)
        shutil.copyfile(self.runner, os.path.join(self.tw, "run_exit.exe"))
        for home, exes in RUNTIME_HOMES.items():
            bin_dir = os.path.join(self.linux_path(home), "bin")
            shutil.rmtree(self.linux_path(home), ignore_errors=True)
            os.makedirs(bin_dir)
            for exe in exes:
                shutil.copyfile(self.child, os.path.join(bin_dir, exe))
        os.makedirs(os.path.dirname(self.linux_path(BROWSER)), exist_ok=True)
        shutil.copyfile(self.child, self.linux_path(BROWSER))
        browser = reg_escape('"%s" "%%1"' % BROWSER)
        self.import_registry("\r\n".join([
            REG_HEADER, "",
            r"[HKEY_LOCAL_MACHINE\Software\Classes\http\shell\open\command]",
            '@="%s"' % browser, "",
            r"[HKEY_LOCAL_MACHINE\Software\Classes\https\shell\open\command]",
            '@="%s"' % browser, "",
            r"[HKEY_CURRENT_USER\Software\Wine\Debug]",
            '"RelayInclude"="%s"' % ";".join(RELAYED), "",
            r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
            '"Managed"="N"', ""]))
        return self

    def _running_server(self):
        """(pid, argv) of the wineserver serving this prefix, or None.  A
        wineserver works in a directory named after the device and inode
        of its prefix ("server-<dev>-<inode>", under a temporary directory
        whose place varies between builds of Wine)."""
        st = os.stat(self.prefix)
        server_dir = "server-%x-%x" % (st.st_dev, st.st_ino)
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                if os.path.basename(os.readlink("/proc/%s/cwd" % pid)) != server_dir:
                    continue
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    argv = f.read().split(b"\0")
            except OSError:
                continue
            if os.path.basename(argv[0]).startswith(b"wineserver"):
                return int(pid), argv
        return None

    def _start_server(self):
        """A wineserver that outlives each run and ends on its own a minute
        after the last test file, then one warm-up program: Wine's
        background processes start now, with their output going nowhere,
        before any run whose output is kept."""
        running = self._running_server()
        if running:
            persist = [a for a in running[1] if a.startswith(b"-p")]
            if persist and persist[-1] != b"-p0":
                return
            # A server that ends with its last client: let it end first.
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=120, **QUIET)
        # The server outlives this process: it must not hold our output open.
        subprocess.run(["wineserver", "-p60"], env=self.env, timeout=60, **QUIET)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, timeout=120, **QUIET)

    def short_path(self, windows_path):
        """The 8.3 form of an existing file's path, as Windows gives it
        (GetShortPathNameW, through a copy of the test child)."""
        shutil.copyfile(self.child, os.path.join(self.tw, "short_path.exe"))
        done = subprocess.run(["wine", WIN_TW + r"\short_path.exe", "--short-path", windows_path],
                              env=self.env, capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
        if done.returncode != 0:
            raise AssertionError("no short form of %s: %r" % (windows_path, done))
        return done.stdout.decode("utf-8").strip()

    def _start_xvfb(self):
        """Starts Xvfb on a free display; stop() ends it."""
        for number in range(90, 190):
            if os.path.exists("/tmp/.X%d-lock" % number) or \
               os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            proc = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp"], start_new_session=True, **QUIET)
            deadline = time.monotonic() + XVFB_PATIENCE_SECONDS
            while not os.path.exists("/tmp/.X11-unix/X%d" % number) and proc.poll() is None \
                    and time.monotonic() < deadline:
                time.sleep(0.05)
            if proc.poll() is None:
                self._xvfb = proc
                return ":%d" % number
        return None

    def stop(self):
        if self._xvfb:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
            self._xvfb = None
        if self._lock:
            self._lock.close()
            self._lock = None

    # -- paths ---------------------------------------------------------------

    def linux_path(self, win_path):
        if not win_path.upper().startswith("C:\\"):
            raise ValueError("not a C: path: %s" % win_path)
        return os.path.join(self.drive_c, *win_path[3:].split("\\"))

    # -- registry ------------------------------------------------------------

    def import_registry(self, text):
        if text == self._last_registry:
            return
        path = os.path.join(self.tw, "fixture.reg")
        with open(path, "wb") as f:
            f.write(text.encode("utf-16"))
        # The 64-bit loader: with 32-bit Wine installed, "wine regedit" runs
        # the 32-bit regedit, which writes every key into the 32-bit view.
        # Under load regedit now and then fails to start inside Wine (exit
        # 1, nothing imported); a second try then succeeds.
        for attempt in (1, 2):
            done = subprocess.run([WINE64, "regedit", "/S", WIN_TW + r"\fixture.reg"],
                                  env=self.env, timeout=60, **QUIET)
            if done.returncode == 0 or attempt == 2:
                done.check_returncode()
                break
            time.sleep(0.5)
        self._last_registry = text

    # -- display ---------------------------------------------------------------

    def display(self):
        """A private X display (Xvfb, started on first use) for runs that
        answer boxes.

        Such runs start the launcher on a desktop of their own
        (DISPLAY_DESKTOP): Wine starts a desktop process for it from the
        launcher, with the launcher's DISPLAY, and ends it with the
        launcher.  The default desktop stays without a display, so the boxes
        of every other run return at once."""
        if not self._display:
            missing = [t for t in ("Xvfb", "xdotool") if not shutil.which(t)]
            if missing:
                raise Unavailable("no X display for answering boxes: missing %s "
                                  "(Debian: xvfb, xdotool)" % ", ".join(missing))
            self._display = self._start_xvfb()
            if not self._display:
                raise Unavailable("Xvfb did not start on any display from :90 to :189")
        return self._display


_SESSION = None


def session():
    global _SESSION
    if _SESSION is None:
        s = Session()
        s.start()
        _SESSION = s
    return _SESSION


# --------------------------------------------------------------------------
# Scenarios


class Scenario:
    """One laid-out launch: app\\Demo.exe, a start directory, a registry
    fixture, a Windows version and scripted child exit codes."""

    def __init__(self, name, windows=WINDOWS_7, registry=None, child_exits=None,
                 exe_name="Demo.exe", env=None, launcher=None):
        self.session = session()
        self.name = re.sub(r"[^A-Za-z0-9_.-]", "_", name)
        self.win_dir = "%s\\%s" % (WIN_TW, self.name)
        self.dir = self.session.linux_path(self.win_dir)
        self.windows = windows
        self.registry = jre_registry() if registry is None else registry
        self.child_exits = child_exits
        self.exe_name = exe_name
        self.env = dict(env or {})
        self._program_dirs = []    # where stand-in programs of this scenario log
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.join(self.dir, "app"))
        os.makedirs(os.path.join(self.dir, "start"))
        shutil.copyfile(launcher or self.session.launcher, os.path.join(self.dir, "app", exe_name))

    @property
    def app_dir(self):
        return self.win_dir + "\\app"

    @property
    def start_dir(self):
        return self.win_dir + "\\start"

    @property
    def exe_path(self):
        return self.app_dir + "\\" + self.exe_name

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def win_path(self, relative):
        """The Windows path of relative (backslashes) in the scenario."""
        return self.win_dir + "\\" + relative

    def write(self, relative, text, newline="\r\n"):
        """Writes a text file at relative (a path with backslashes, under the
        scenario directory, e.g. r"app\Demo.config").  text is a str (its
        line feeds become newline, its characters Latin-1 bytes) or bytes
        (written as they are).  Returns the Windows path."""
        data = text if isinstance(text, bytes) else text.replace("\n", newline).encode("latin-1")
        path = self.path(*relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return self.win_path(relative)

    def config(self, *lines, name="Demo.config", newline="\r\n"):
        """A configuration file in the launcher's directory, one line each,
        every line ended."""
        return self.write("app\\" + name, "".join(line + "\n" for line in lines), newline)

    def mkdir(self, relative):
        os.makedirs(self.path(*relative.split("\\")), exist_ok=True)
        return self.win_path(relative)

    def watch_browser(self):
        """Collects the starts of the stand-in browser (BROWSER) with the
        children of the run."""
        self._program_dirs.append(os.path.dirname(self.session.linux_path(BROWSER)))

    def add_program(self, relative):
        """Puts a copy of the test child at relative (e.g. r"app\rundll32.exe");
        its starts are collected with the children of the run."""
        path = self.path(*relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(self.session.child, path)
        self._program_dirs.append(os.path.dirname(path))
        return self.win_path(relative)

    # What the launcher writes when Wine fails to create its child with
    # ERROR_INTERNAL_ERROR, which Wine has done now and then on a busy machine
    # (never a code of the launcher's own making).
    WINE_INTERNAL_START_ERROR = b": error 1359: "

    def run(self, *args, **kwargs):
        """Starts the launcher and waits for it (see _run_once).  When the
        runner could not even start the launcher, or Wine failed to create
        the launcher's child with its internal error, both seen under heavy
        load, the run is made once more: no child ran, so nothing of the
        scenario was used up."""
        try:
            result = self._run_once(*args, **kwargs)
        except RunnerCouldNotStart as first:
            sys.stderr.write("retrying once: %s\n" % first)
            return self._run_once(*args, **kwargs)
        if not result.children and self.WINE_INTERNAL_START_ERROR in result.stderr:
            sys.stderr.write("retrying once: Wine could not create the child: %r\n" % result.stderr)
            return self._run_once(*args, **kwargs)
        return result

    def _run_once(self, args=(), start="qualified", command=None, cwd=None, answers=None,
                  detached=0, new_console=False, application=None, inherited_file=None,
                  unelevated=False):
        """Starts the launcher and waits for it.

        start: "qualified" - by its full path C:\\tw\\<name>\\app\\Demo.exe,
                             from the start directory;
               "relative"  - as app\\Demo.exe from the scenario directory.
        command/cwd: a raw command line and start directory instead.
        answers: [(caption, key), ...]: run with a display and press key
                 (xdotool key name) on each box with that caption, in turn.
        detached: how many starts of the stand-in programs (add_program) the
                 launcher makes without waiting for them; the run waits until
                 they have all recorded themselves (or 30 s have passed)
                 before collecting.
        new_console: start the launcher in a console of its own, which a
                 console launcher's child shares (as in a cmd.exe window).
        application: the program's path handed to CreateProcessW on its own,
                 as a caller that writes the path without quotes does (the
                 command line is then handed over as written).
        inherited_file: a Windows path the runner opens as an inheritable
                 handle, whose value the test child writes to (see
                 test_child.c): the file shows whether the handle reached it.
        unelevated: start the launcher with the limited token, as a user
                 starts a program under user account control; otherwise it
                 runs elevated, as every program under Wine does.
        """
        s = self.session
        if command is None:
            tail = windows_command_line(list(args))
            if start == "qualified":
                command = self.exe_path + (" " + tail if tail else "")
                cwd = cwd or self.start_dir
            elif start == "relative":
                command = "app\\" + self.exe_name + (" " + tail if tail else "")
                cwd = cwd or self.win_dir
            else:
                raise ValueError(start)
        cwd = cwd or self.start_dir
        if any("\n" in (field or "") for field in (command, cwd, application, inherited_file)):
            raise ValueError("the runner takes one line per field")

        s.import_registry(registry_file(self.registry, self.windows))
        child_dirs = [os.path.join(s.linux_path(home), "bin") for home in RUNTIME_HOMES]
        for bin_dir in child_dirs:
            for leftover in ("child.log", "child_exits.txt"):
                if os.path.exists(os.path.join(bin_dir, leftover)):
                    os.remove(os.path.join(bin_dir, leftover))
            if self.child_exits is not None:
                with open(os.path.join(bin_dir, "child_exits.txt"), "w") as f:
                    f.write(" ".join(str(c) for c in self.child_exits) + "\n")

        for program_dir in self._program_dirs:
            if os.path.exists(os.path.join(program_dir, "child.log")):
                os.remove(os.path.join(program_dir, "child.log"))

        run_dir = self.path("run")
        shutil.rmtree(run_dir, ignore_errors=True)
        os.makedirs(run_dir)
        win_run = self.win_dir + "\\run"
        with open(os.path.join(run_dir, "job.txt"), "wb") as f:
            f.write("\n".join([cwd, command, win_run + "\\stdout", win_run + "\\stderr",
                               win_run + "\\result", DISPLAY_DESKTOP if answers else "",
                               "new console" if new_console else "", application or "",
                               inherited_file or "", "unelevated" if unelevated else "",
                               ""]).encode("utf-8"))
        before = self._snapshot()

        env = dict(s.env)
        env["WINEDEBUG"] = "-all,+relay,+pid"
        env.update(self.env)
        if answers:
            try:
                env["DISPLAY"] = s.display()
            except Unavailable as e:
                if os.environ.get("TARNWICK_ALLOW_SKIP"):
                    raise unittest.SkipTest(str(e))
                raise
        trace_path = os.path.join(run_dir, "wine-trace")
        with open(trace_path, "wb") as trace, open(os.devnull, "wb") as null:
            proc = subprocess.Popen(["wine", WIN_TW + r"\run_exit.exe", win_run + r"\job.txt"],
                                    env=env, stdin=subprocess.DEVNULL, stdout=null, stderr=trace)
            try:
                if answers:
                    _answer_boxes(proc, answers, env)
                proc.wait(timeout=60 if answers else 120)
            except subprocess.TimeoutExpired:
                # A launcher waiting for ever (on a box nobody answers, say):
                # end every program of this prefix; the next session starts
                # a fresh server.
                subprocess.run(["wineserver", "-k"], env=s.env, timeout=60, **QUIET)
                proc.wait()
                raise AssertionError("%r did not end; boxes so far: %r"
                                     % (command, parse_boxes(_read(trace_path))))

        def read(name):
            return _read(os.path.join(run_dir, name))
        if not os.path.exists(os.path.join(run_dir, "result")):
            raise AssertionError("run_exit.exe gave no result for %r; Wine said: %r"
                                 % (command, read("wine-trace")[-2000:]))
        result_line = read("result").decode("ascii").split()
        if result_line[0] != "exit":
            raise RunnerCouldNotStart("the runner could not start %r: error %s"
                                      % (command, result_line[1]))
        exit_code = int(result_line[2])
        launcher_pid = int(result_line[3])
        if detached:
            self._await_records(detached)
        trace = read("wine-trace")
        children = []
        for bin_dir in child_dirs + self._program_dirs:
            log = os.path.join(bin_dir, "child.log")
            if os.path.exists(log):
                with open(log, "rb") as f:
                    children += [ChildRecord(json.loads(line)) for line in f if line.strip()]
        children.sort(key=lambda c: c.start)
        result = Result(self, exit_code, read("stdout"), read("stderr"), trace,
                        parse_boxes(trace), children, self._written_since(before))
        result.command = command
        result.launcher_pid = launcher_pid
        return result

    def _await_records(self, count, patience=30):
        def recorded():
            n = 0
            for program_dir in self._program_dirs:
                try:
                    with open(os.path.join(program_dir, "child.log"), "rb") as f:
                        n += f.read().count(b"\n")
                except OSError:
                    pass
            return n
        deadline = time.monotonic() + patience
        while recorded() < count and time.monotonic() < deadline:
            time.sleep(0.02)

    WATCHED = ("tarnwick.out", "sample.config")

    def _snapshot(self):
        found = {}
        for root, _dirs, files in os.walk(self.dir):
            for name in files:
                if name in self.WATCHED:
                    p = os.path.join(root, name)
                    found[os.path.relpath(p, self.dir)] = os.stat(p).st_mtime_ns
        return found

    def _written_since(self, before):
        out = {}
        for rel, mtime in self._snapshot().items():
            if before.get(rel) != mtime:
                with open(os.path.join(self.dir, rel), "rb") as f:
                    out[rel.replace(os.sep, "\\")] = f.read()
        return out


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def _answer_boxes(proc, answers, env, patience=60):
    """For each (caption, key): wait for a visible window with exactly that
    title, then press key on it every 150 ms until it is gone (the first
    key is often lost).  Gives up after `patience` seconds; the caller then
    ends the run."""
    deadline = time.monotonic() + patience

    def waiting():
        return proc.poll() is None and time.monotonic() < deadline

    def windows(caption):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                "^%s$" % re.escape(caption)],
                               env=env, capture_output=True, timeout=30)
        return found.stdout.decode().split()

    try:
        for caption, key in answers:
            window = None
            while waiting() and window is None:
                found = windows(caption)
                window = found[0] if found else None
                if window is None:
                    time.sleep(0.1)
            while waiting() and window in windows(caption):
                subprocess.run(["xdotool", "key", "--window", window, key], env=env,
                               capture_output=True, timeout=30)
                time.sleep(0.15)
    finally:
        # xdotool presses a key through XTEST when the window has the focus,
        # and sends the release to the window; when the press closed the box
        # the release is lost and the X server holds the key down, and Wine
        # hands that key to the next box that gets the focus.  Release every
        # key used, wherever the focus is now.
        keys = sorted({key for _caption, key in answers})
        subprocess.run(["xdotool", "keyup"] + keys, env=env, capture_output=True, timeout=30)


# --------------------------------------------------------------------------
# Entry point for the test files


def main():
    """Runs the calling test module.  When Wine or the Windows build is
    missing the tests fail, unless TARNWICK_ALLOW_SKIP is set: then the
    reason is printed and the exit code is 77 (skipped)."""
    s = Session()
    problems = s.problems()
    if problems:
        for p in problems:
            print(("SKIPPED: " if os.environ.get("TARNWICK_ALLOW_SKIP") else "FAILED: ") + p,
                  file=sys.stderr)
        sys.exit(SKIP_EXIT_CODE if os.environ.get("TARNWICK_ALLOW_SKIP") else 1)
    try:
        program = unittest.main(module="__main__", exit=False, verbosity=2)
    finally:
        if _SESSION is not None:
            _SESSION.stop()
    sys.exit(0 if program.result.wasSuccessful() else 1)


# --------------------------------------------------------------------------
# Shared by the test files


def launch_output(command_line):
    """What every launch prints on standard output (and writes to
    tarnwick.out with -o): the banner line, a header line and the command
    line, each ended by CR LF (text mode), in UTF-8."""
    return ("#Version %s\r\n#Command line=\r\n%s\r\n" % (VERSION_BANNER, command_line)).encode("utf-8")


_SYSTEM_VERSION_LINE = re.compile(rb"Windows version \d+\.\d+ \(build \d+\)\r\n")


def after_system_version(stdout):
    """The standard output of a debug run after its first line, which names
    the Windows version the launcher sees; None when that line is missing."""
    m = _SYSTEM_VERSION_LINE.match(stdout)
    return stdout[m.end():] if m else None


def error_box(main_class, javapath, code):
    """The "Error" report of a child that failed within three seconds."""
    return Box("Error launching Class %s\n with Java %s.\nError=%d" % (main_class, javapath, code),
               "Error", MB_ICONERROR)


class WineTestCase(unittest.TestCase):
    maxDiff = None

    def scenario(self, suffix="", **kwargs):
        """A fresh scenario named after the test file, class and method."""
        module = sys.modules[type(self).__module__]
        stem = os.path.splitext(os.path.basename(getattr(module, "__file__", "wine")))[0]
        stem = stem[5:] if stem.startswith("test_") else stem
        method = self._testMethodName
        method = method[5:] if method.startswith("test_") else method
        name = "%s.%s.%s" % (stem, type(self).__name__, method)
        if suffix:
            name += "." + suffix
        return Scenario(name, **kwargs)

    def assertSingleLaunch(self, result, command_line, cwd):
        """Exactly one child, started with command_line in cwd."""
        self.assertEqual([c.cmdline for c in result.children], [command_line.encode("utf-8")],
                         result)
        self.assertEqual(result.children[0].cwd, cwd.encode("utf-8"), result)

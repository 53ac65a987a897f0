#!/usr/bin/python3
"""tarnwick.exe under Wine: the "javaVersion" line.

The installed runtimes are registry sub-keys 1.6, 1.6.0_17, 1.6.0_45, 1.7
and 1.7.0_80, each with a home of its own holding the test child, so the
child's path shows which one was chosen.  The selection trace on standard
output (of the old forms byte for byte, and of a "+" without "_"), the
runtime started, the missing-runtime question with its caption,
text and exit code (5 or 11, by the requirement's form), quiet mode, and the
download page handed to the browser (ShellExecuteW) when the question is
answered Yes: the application's own (downloadurl) or the version family's.
"""
import os
import re
import time

import harness as h
from harness import JRE_BASE_KEY, MB_ICONERROR, MB_ICONERROR_YESNO, VERSION_HOMES, WINDOWS_7, \
    WINDOWS_XP, launch_output

# CurrentVersion names 1.7, so a requirement that were ignored would start
# the 1.7 home instead of the one the selection must choose.
INSTALLED = h.jre_registry("1.7", homes=VERSION_HOMES)
JDK_21_ONLY = {r"SOFTWARE\JavaSoft\JDK": {"CurrentVersion": "21"},
               r"SOFTWARE\JavaSoft\JDK\21": {"JavaHome": h.HOME_JDK}}

NOT_FOUND = "Java Runtime Environment Not Found"
INCOMPATIBLE = "Incompatible JRE Version Found"

# The site of the download pages (the paths are fixed).
DOWNLOAD_SITE = "https://www.java.com"
PAGE_1_4_2 = DOWNLOAD_SITE + "/j2se/1.4.2/download.html"
PAGE_LATEST = DOWNLOAD_SITE + "/en/download/download_the_latest.jsp"


def javaw(home, windows=WINDOWS_XP, exe="javaw.exe"):
    """The runtime token of a home: quoted when the home holds a blank or
    from Vista on."""
    path = home + "\\bin\\" + exe
    return '"%s"' % path if " " in home or windows != WINDOWS_XP else path


def trace(*lines):
    """Selection trace lines as the launcher's text-mode output has them."""
    return "".join(line + "\r\n" for line in lines).encode("latin-1")


def question(name, requirement, caption):
    return h.Box("%s requires the Java Runtime Environment version %s\nDo you want to download it?"
                 % (name, requirement), caption, MB_ICONERROR_YESNO)


# The application's own download page.
ACME_PAGE = "https://acme.example/get-java?app=Demo"


CHECK_ALL = ["checking (%d) %s" % (i, v) for i, v in enumerate(VERSION_HOMES, 1)]

# Requirement 1.6.0_20+: base 1.6.0, at least patch level 20.
TRACE_20_PLUS = trace(
    "javaVersion=1.6.0_20+, javaVer=1.6.0",
    "checking (1) 1.6",
    "checking (2) 1.6.0_17",
    "found correct java version 1.6.0_17. checking patch level",
    "checking patch level 17 against 20",
    "checking (3) 1.6.0_45",
    "found correct java version 1.6.0_45. checking patch level",
    "checking patch level 45 against 20",
    "found latest java version 1.6.0_45",
    "checking (4) 1.7",
    "checking (5) 1.7.0_80",
)

# Requirement 1.6: base 1.6, the highest patch level above 0.
TRACE_1_6 = trace(
    "javaVersion=1.6, javaVer=1.6",
    "checking (1) 1.6",
    "found correct java version 1.6. checking patch level",
    "No patch level found in 1.6",
    "checking (2) 1.6.0_17",
    "found correct java version 1.6.0_17. checking patch level",
    "checking patch level 17 against 0",
    "found latest java version 1.6.0_17",
    "checking (3) 1.6.0_45",
    "found correct java version 1.6.0_45. checking patch level",
    "checking patch level 45 against 17",
    "found latest java version 1.6.0_45",
    "checking (4) 1.7",
    "checking (5) 1.7.0_80",
)

TRACE_1_7 = trace(
    "javaVersion=1.7, javaVer=1.7",
    "checking (1) 1.6",
    "checking (2) 1.6.0_17",
    "checking (3) 1.6.0_45",
    "checking (4) 1.7",
    "found correct java version 1.7. checking patch level",
    "No patch level found in 1.7",
    "checking (5) 1.7.0_80",
    "found correct java version 1.7.0_80. checking patch level",
    "checking patch level 80 against 0",
    "found latest java version 1.7.0_80",
)

# Requirement 1.6+: feature 6 or later, the newest by version numbers.
TRACE_6_OR_LATER = trace(
    "javaVersion=1.6+, javaVer=feature 6 or later",
    "checking (1) 1.6",
    "found correct java version 1.6. checking version",
    "checking version 1.6 against 1.6+",
    "found latest java version 1.6",
    "checking (2) 1.6.0_17",
    "found correct java version 1.6.0_17. checking version",
    "checking version 1.6.0_17 against 1.6",
    "found latest java version 1.6.0_17",
    "checking (3) 1.6.0_45",
    "found correct java version 1.6.0_45. checking version",
    "checking version 1.6.0_45 against 1.6.0_17",
    "found latest java version 1.6.0_45",
    "checking (4) 1.7",
    "found correct java version 1.7. checking version",
    "checking version 1.7 against 1.6.0_45",
    "found latest java version 1.7",
    "checking (5) 1.7.0_80",
    "found correct java version 1.7.0_80. checking version",
    "checking version 1.7.0_80 against 1.7",
    "found latest java version 1.7.0_80",
)

TRACE_50_PLUS = trace(
    "javaVersion=1.6.0_50+, javaVer=1.6.0",
    "checking (1) 1.6",
    "checking (2) 1.6.0_17",
    "found correct java version 1.6.0_17. checking patch level",
    "checking patch level 17 against 50",
    "checking (3) 1.6.0_45",
    "found correct java version 1.6.0_45. checking patch level",
    "checking patch level 45 against 50",
    "checking (4) 1.7",
    "checking (5) 1.7.0_80",
)


class VersionTestCase(h.WineTestCase):

    def assertStartedFrom(self, r, home, command_line, windows=WINDOWS_XP):
        """One child: the javaw.exe of home, with this command line (after
        the runtime token), printed after the trace."""
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        self.assertEqual(len(r.children), 1, r)
        self.assertEqual(r.children[0].exe, (home + r"\bin\javaw.exe").encode("latin-1"), r)
        self.assertEqual(r.children[0].cmdline,
                         (javaw(home, windows) + command_line).encode("latin-1"), r)

    def assertNothingStarted(self, r):
        self.assertEqual(r.children, [], r)


class Selection(VersionTestCase):

    def test_eleven_trace_lines_then_the_launch(self):
        sc = self.scenario(registry=INSTALLED, windows=WINDOWS_XP)
        sc.config("mainclass app.Main", "javaVersion 1.6.0_20+", "argument x")
        r = sc.run()
        home = VERSION_HOMES["1.6.0_45"]
        self.assertStartedFrom(r, home, " app.Main x ")
        self.assertEqual(r.stdout, TRACE_20_PLUS + launch_output(javaw(home) + " app.Main x "))
        self.assertEqual(r.stderr, b"", r)

    def test_requirements(self):
        # (requirement, Windows version, version whose home starts, trace)
        cases = [
            ("1.6", WINDOWS_XP, "1.6.0_45", TRACE_1_6),
            ("1.6", WINDOWS_7, "1.6.0_45", TRACE_1_6),
            # Exact: that key, no selection and so no trace.
            ("1.6.0_17", WINDOWS_XP, "1.6.0_17", b""),
            ("1.6.0_45", WINDOWS_7, "1.6.0_45", b""),
            # 1.7.0_80's home holds a blank: quoted on every version.
            ("1.7", WINDOWS_XP, "1.7.0_80", TRACE_1_7),
            # A "+" without "_": that feature or later, the newest.
            ("1.6+", WINDOWS_XP, "1.7.0_80", TRACE_6_OR_LATER),
        ]
        for i, (requirement, windows, chosen, lines) in enumerate(cases):
            with self.subTest(requirement=requirement, windows=windows):
                sc = self.scenario(str(i), registry=INSTALLED, windows=windows)
                sc.config("javaVersion " + requirement)
                r = sc.run()
                home = VERSION_HOMES[chosen]
                self.assertStartedFrom(r, home, " ", windows)
                self.assertEqual(r.stdout, lines + launch_output(javaw(home, windows) + " "))

    def test_other_installations(self):
        # (name, installed version -> home, requirement, version whose home
        #  starts, trace)
        h16, h17, h45 = (VERSION_HOMES[v] for v in ("1.6", "1.6.0_17", "1.6.0_45"))
        cases = [
            # Of two names with the highest level, the later one wins.
            ("tie", {"1.6.0_45": h45, "1.6.1_45": h17}, "1.6", "1.6.1_45", trace(
                "javaVersion=1.6, javaVer=1.6",
                "checking (1) 1.6.0_45",
                "found correct java version 1.6.0_45. checking patch level",
                "checking patch level 45 against 0",
                "found latest java version 1.6.0_45",
                "checking (2) 1.6.1_45",
                "found correct java version 1.6.1_45. checking patch level",
                "checking patch level 45 against 45",
                "found latest java version 1.6.1_45")),
            # Patch level 0 is accepted in the loop, but the requirement
            # stays 1.6 and its own key is read.
            ("patch_00", {"1.6": h16, "1.6.0_00": h17}, "1.6", "1.6", trace(
                "javaVersion=1.6, javaVer=1.6",
                "checking (1) 1.6",
                "found correct java version 1.6. checking patch level",
                "No patch level found in 1.6",
                "checking (2) 1.6.0_00",
                "found correct java version 1.6.0_00. checking patch level",
                "checking patch level 0 against 0",
                "found latest java version 1.6.0_00")),
            # A requirement of 21 characters: its base is cut to 19, so
            # a name beginning with those 19 matches.
            ("long_requirement", {"1.7.0.80.extra.long_5": h16}, "1.7.0.80.extra.longer",
             "1.7.0.80.extra.long_5", trace(
                 "javaVersion=1.7.0.80.extra.longer, javaVer=1.7.0.80.extra.long",
                 "checking (1) 1.7.0.80.extra.long_5",
                 "found correct java version 1.7.0.80.extra.long_5. checking patch level",
                 "checking patch level 5 against 0",
                 "found latest java version 1.7.0.80.extra.long_5")),
        ]
        for name, homes, requirement, chosen, lines in cases:
            with self.subTest(name):
                sc = self.scenario(name, registry=h.jre_registry(None, homes=homes),
                                   windows=WINDOWS_XP)
                sc.config("javaVersion " + requirement)
                r = sc.run()
                self.assertStartedFrom(r, homes[chosen], " ")
                self.assertEqual(r.stdout, lines + launch_output(javaw(homes[chosen]) + " "))

    def test_debug_reads_the_chosen_key_and_starts_java_exe(self):
        sc = self.scenario(registry=INSTALLED, windows=WINDOWS_XP)
        sc.config("javaVersion 1.6.0_20+")
        r = sc.run(["-d"])
        home = VERSION_HOMES["1.6.0_45"]
        self.assertIn(h.Box(JRE_BASE_KEY + r"\1.6.0_45", "JavaInstallRegPath", 0), r.boxes, r)
        self.assertEqual([c.cmdline for c in r.children],
                         [(home + r"\bin\java.exe ").encode()], r)
        # The trace is printed with or without -d, in the same place.
        self.assertTrue(h.after_system_version(r.stdout).startswith(b"reading app config "), r)
        self.assertIn(b"\r\n" + TRACE_20_PLUS + b"#Version ", r.stdout)

    def test_later_line_decides(self):
        plain = h.HOME_PLAIN + r"\bin\javaw.exe"
        # (lines, home started, trace)
        cases = [
            (["javaVersion 1.6", "javapath " + plain], h.HOME_PLAIN, TRACE_1_6),
            (["javapath " + plain, "javaVersion 1.6"], VERSION_HOMES["1.6.0_45"], TRACE_1_6),
            (["javaVersion 1.6", "javaVersion 1.6.0_17"], VERSION_HOMES["1.6.0_17"], TRACE_1_6),
            # The value is expanded first.
            (["setenv TW_JV=1.6.0_17", "javaVersion $TW_JV"], VERSION_HOMES["1.6.0_17"], b""),
        ]
        for i, (lines, home, lines_out) in enumerate(cases):
            with self.subTest(lines=lines):
                sc = self.scenario(str(i), registry=INSTALLED, windows=WINDOWS_XP)
                sc.config(*lines)
                r = sc.run()
                self.assertStartedFrom(r, home, " ")
                self.assertEqual(r.stdout, lines_out + launch_output(javaw(home) + " "))


class MissingRuntime(VersionTestCase):

    def test_question_and_exit_code(self):
        # (registry, requirement, exit code, caption, trace)
        cases = [
            # Exact form, key missing: question, then 5; the runtimes that
            # are installed make the version "incompatible".
            (INSTALLED, "1.6.0_18", 5, INCOMPATIBLE, b""),
            # No installed name reaches 50: question, then 11.
            (INSTALLED, "1.6.0_50+", 11, INCOMPATIBLE, TRACE_50_PLUS),
            # Nothing begins with 1.8: the key of that name is looked up,
            # and is missing.
            (INSTALLED, "1.8", 5, INCOMPATIBLE, trace("javaVersion=1.8, javaVer=1.8", *CHECK_ALL)),
            # The Java 8 key missing, the one runtime a JDK 21 under the
            # JDK key: the first key's exit code, and "incompatible".
            (JDK_21_ONLY, "26+", 11, INCOMPATIBLE,
             trace("javaVersion=26+, javaVer=feature 26 or later", "checking (1) 21")),
            # Nothing is of feature 8 or later: a selecting form, 11.
            (INSTALLED, "1.8+", 11, INCOMPATIBLE,
             trace("javaVersion=1.8+, javaVer=feature 8 or later", *CHECK_ALL)),
            # No runtime at all: a selecting form finds no base key (11),
            # the exact form no version key (5).
            (h.NO_JAVA, "1.6", 11, NOT_FOUND, b""),
            (h.NO_JAVA, "1.6.0_17", 5, NOT_FOUND, b""),
        ]
        for i, (registry, requirement, code, caption, lines) in enumerate(cases):
            for quiet in (False, True):
                with self.subTest(requirement=requirement, registry=bool(registry), quiet=quiet):
                    sc = self.scenario("%d%s" % (i, ".quiet" if quiet else ""), registry=registry,
                                       windows=WINDOWS_XP)
                    sc.config("mainclass app.Main", "javaVersion " + requirement, "argument x")
                    r = sc.run((["-q"] if quiet else []) + ["-passExitCode"])
                    self.assertEqual(r.exit_code_unsigned, code, r)
                    self.assertEqual(r.boxes, [] if quiet else
                                     [question("app.Main", requirement, caption)], r)
                    self.assertEqual(r.stdout, lines, r)
                    self.assertNothingStarted(r)

    def test_name_in_the_question(self):
        # (lines around "javaVersion 1.6.0_50+" (None marks its place), name)
        long_name = "N" * 300
        cases = [
            ([None], "Application"),
            (["mainclass app.Main", None], "app.Main"),
            (["appname Demo", "mainclass app.Main", None], "Demo"),
            (["appname ", "mainclass app.Main", None], "app.Main"),
            # Lines after it are never read.
            ([None, "appname Demo"], "Application"),
        ]
        for i, (lines, name) in enumerate(cases):
            with self.subTest(lines=lines):
                sc = self.scenario(str(i), registry=INSTALLED, windows=WINDOWS_XP)
                sc.config(*["javaVersion 1.6.0_50+" if line is None else line for line in lines])
                r = sc.run()
                self.assertEqual(r.boxes, [question(name, "1.6.0_50+", INCOMPATIBLE)], r)
                self.assertEqual(r.exit_code, 11, r)
        # The second name's 254th byte is the first of a two-byte letter.
        for name in (long_name, "N" * 253 + "é" * 10):
            with self.subTest("too long", letter=name[-1]):
                # The text is cut to 254 bytes of UTF-8, between two letters.
                sc = self.scenario("long.%d" % len(name.encode()), registry=INSTALLED,
                                   windows=WINDOWS_XP)
                sc.write(r"app\Demo.config",
                         ("appname %s\r\njavaVersion 1.6.0_50+\r\n" % name).encode("utf-8"))
                r = sc.run()
                full = question(name, "1.6.0_50+", INCOMPATIBLE)
                cut = full.text.encode("utf-8")[:254].decode("utf-8", "ignore")
                self.assertEqual(r.boxes, [full._replace(text=cut)], r)
                self.assertEqual(r.exit_code, 11, r)

    def test_version_key_without_java_home(self):
        homes = dict(VERSION_HOMES)
        homes["1.6.0_17"] = None
        homes["1.6.0_45"] = None
        # (requirement, key whose JavaHome is missing)
        for requirement, version in (("1.6.0_17", "1.6.0_17"), ("1.6", "1.6.0_45")):
            for quiet in (False, True):
                with self.subTest(requirement=requirement, quiet=quiet):
                    sc = self.scenario(requirement + (".quiet" if quiet else ""),
                                       registry=h.jre_registry("1.7", homes=homes),
                                       windows=WINDOWS_XP)
                    sc.config("javaVersion " + requirement)
                    r = sc.run(["-q"] if quiet else [])
                    box = h.Box("No Java Home Directory Found for %s\\%s " % (JRE_BASE_KEY, version),
                                "Error!", MB_ICONERROR)
                    self.assertEqual(r.boxes, [] if quiet else [box], r)
                    self.assertEqual(r.exit_code, 5, r)
                    self.assertNothingStarted(r)


def opened(result):
    """The addresses the launcher handed to ShellExecuteW, and the arguments
    the stand-in browser received."""
    shell = [c.args[2] for c in result.launcher_calls("shell32.ShellExecuteW")]
    return shell, [c.argv[1:] for c in result.children]


class Download(VersionTestCase):
    """The question answered on a display.  The page goes to ShellExecuteW
    (seen in the relay trace), and on to the stand-in browser that the
    prefix's https association names."""

    def test_answers(self):
        # (requirement, downloadurl, key, page opened or None, exit code); no
        # runtime installed, so the question comes under NOT_FOUND.
        cases = [
            ("1.5.0_06+", None, "y", PAGE_LATEST, 11),
            # Exact form: the question from the key lookup, then 5.
            ("1.4.2_08", None, "y", PAGE_1_4_2, 5),
            # No page for 1.6 of its own; the application's page for any.
            ("1.6.0_20+", None, "y", None, 11),
            ("1.6.0_20+", ACME_PAGE, "y", ACME_PAGE, 11),
            ("1.5.0_06+", None, "n", None, 11),
        ]
        for i, (requirement, url, key, page, code) in enumerate(cases):
            with self.subTest(requirement=requirement, url=url, key=key):
                sc = self.scenario(str(i), registry=h.NO_JAVA, windows=WINDOWS_XP)
                sc.watch_browser()
                # A javaVersion line is resolved when it is read, so the
                # downloadurl line stands before it.
                sc.config("appname Demo", *(["downloadurl " + url] if url else []),
                          "javaVersion " + requirement)
                r = sc.run(answers=[(NOT_FOUND, key)], detached=1 if page else 0)
                self.assertEqual(r.boxes, [question("Demo", requirement, NOT_FOUND)], r)
                self.assertIn(b"Ret  user32.MessageBoxW() retval=%08x" % (6 if key == "y" else 7),
                              r.wine_trace)
                self.assertEqual(r.exit_code, code, r)
                expected = [page] if page else []
                self.assertEqual(opened(r), (expected, [[p.encode()] for p in expected]), r)


class NoRuntimeAnywhere(VersionTestCase):
    """With downloadurl, no runtime anywhere asks whether to download Java
    (under the first key's caption) instead of the bare error box; the exit
    code stays.  An address that is no web page is refused when the line is
    read, and the launcher goes on as without it."""

    NEEDS_JAVA = ("Demo needs Java, and none was found on this computer. "
                  "Do you want to download it?")

    def test_the_question_opens_the_page_on_yes(self):
        for key, launcher in (("y", None), ("n", None), ("y", h.x86_launcher())):
            with self.subTest(key=key, x86=bool(launcher)):
                sc = self.scenario(key + (".x86" if launcher else ""), registry=h.NO_JAVA,
                                   windows=WINDOWS_XP, launcher=launcher)
                sc.watch_browser()
                sc.config("appname Demo", "downloadurl " + ACME_PAGE)
                r = sc.run(["-passExitCode"], answers=[("Error!", key)],
                           detached=1 if key == "y" else 0)
                self.assertEqual(r.boxes, [h.Box(self.NEEDS_JAVA, "Error!", MB_ICONERROR_YESNO)], r)
                self.assertEqual(r.exit_code, 2, r)
                expected = [ACME_PAGE] if key == "y" else []
                self.assertEqual(opened(r), (expected, [[p.encode()] for p in expected]), r)

    def test_only_web_addresses_are_opened(self):
        sc = self.scenario(registry=h.NO_JAVA, windows=WINDOWS_XP)
        url = r"file:///C:/windows/system32/calc.exe"
        sc.config("downloadurl " + url)
        r = sc.run(["-passExitCode"])
        refusal = ("downloadurl %s is refused: only http:// and https:// addresses are opened\n"
                   % url)
        self.assertEqual(r.boxes, [h.Box(refusal, "Error Reading Config File", h.MB_OK),
                                   h.Box("No Java Installation Found", "Error!", MB_ICONERROR)], r)
        self.assertEqual(r.stderr, refusal.replace("\n", "\r\n").encode(), r)
        self.assertEqual(r.exit_code, 2, r)
        self.assertEqual(r.launcher_calls("shell32.ShellExecuteW"), [], r)


class FastStart(h.WineTestCase):
    """"fastStart on": the parameters follow the version in the runtime's
    release file, with the archive in the user's %LOCALAPPDATA%\tarnwick\cds,
    for a launcher started as a user starts it under user account control;
    elevated (as Wine starts every program), the launcher uses no archive."""

    def test_the_release_file_decides(self):
        archive = r'="{local}\\tarnwick\\cds\\app\.Main-[0-9a-f]{8}-[0-9a-f]{16}\.'
        cases = [
            # (JAVA_VERSION, elevated, what follows the runtime path, up to -classpath)
            ("21.0.2", False, r" -Xlog:cds\*=off -XX:ArchiveClassesAtExit" + archive + r'jsa\.\d+\.tmp" '),
            ("25.0.3", False, r" -Xlog:aot\*=off,cds\*=off -XX:\+UnlockDiagnosticVMOptions -XX:-DisplayVMOutput"
                              r" -XX:AOTMode=record -XX:AOTConfiguration" + archive + r'aot\.\d+\.config" '),
            ("17.0.15", False, " "),
            ("25.0.3", True, " "),
        ]
        for version, elevated, parameters in cases:
            with self.subTest(version=version, elevated=elevated):
                sc = self.scenario(version + ("-elevated" if elevated else ""),
                                   env={"TARNWICK_CHILD_ENV": "LOCALAPPDATA"})
                java = sc.add_program(r"jdk\bin\javaw.exe")
                sc.write(r"jdk\release", 'IMPLEMENTOR="Test"\nJAVA_VERSION="%s"\n' % version)
                sc.config("javapath " + java, "addjars lib", "mainclass app.Main", "fastStart on")
                r = sc.run(unelevated=not elevated)
                self.assertEqual((r.exit_code, len(r.children)), (0, 1), r)
                local = r.children[0].env["LOCALAPPDATA"].decode("utf-8")
                self.assertRegex(r.children[0].cmdline.decode("utf-8"), re.escape(java) + parameters.replace(
                    "{local}", re.escape(local)) + r"-classpath lib/\* app\.Main$")
                # The training start's empty file is gone with it.
                cds = sc.session.linux_path(local + r"\tarnwick\cds")
                self.assertEqual([n for n in os.listdir(cds) if n.endswith(("tmp", "config"))], [], r)
                if elevated:
                    self.assertIn(b"Fast start: not used: the launcher runs elevated",
                                  sc.run(["-d"]).stdout, r)

    def test_a_process_of_its_own_makes_the_cache_after_the_launcher_has_ended(self):
        # Both launchers, started as a user starts them; the stand-in runtime
        # writes what Java 25 writes.
        for name, launcher in (("windowed", None), ("console", h.console_launchers()["x64"])):
            with self.subTest(launcher=name):
                sc = self.scenario(name, launcher=launcher, env={
                    "TARNWICK_CHILD_ENV": "LOCALAPPDATA;TARNWICK_FAST_START_JOB", "TARNWICK_CHILD_ARCHIVE": "1"})
                java = sc.add_program(r"jdk\bin\javaw.exe")
                sc.write(r"jdk\release", 'JAVA_VERSION="25.0.3"\n')
                sc.config("javapath " + java, "addjars lib", "mainclass app.Main", "argument --the-app's",
                          "fastStart on")
                r = sc.run(unelevated=True, detached=2)
                self.assertEqual((r.exit_code, len(r.children)), (0, 2), r)
                training, making = (child.cmdline.decode("utf-8") for child in r.children)
                self.assertIn(" -XX:AOTMode=record ", training, r)
                self.assertIn(" -XX:AOTMode=create ", making, r)
                for word in (" app.Main", "--the-app's"):
                    self.assertNotIn(word, making, r)
                self.assertIsNone(r.children[1].env["TARNWICK_FAST_START_JOB"], r)
                cds = sc.session.linux_path(r.children[0].env["LOCALAPPDATA"].decode("utf-8") + r"\tarnwick\cds")
                archive = re.search(r'-XX:AOTCache="[^"]*\\([^"\\]+)\.\d+\.tmp"', making).group(1)
                deadline = time.monotonic() + 60
                while os.path.exists(os.path.join(cds, archive + ".making")) and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertTrue(os.path.exists(os.path.join(cds, archive)), sorted(os.listdir(cds)))
                r = sc.run(unelevated=True)
                self.assertIn('-XX:AOTCache="', r.children[0].cmdline.decode("utf-8"), r)


if __name__ == "__main__":
    h.main()

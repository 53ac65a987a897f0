#!/usr/bin/python3
"""tarnwick.exe under Wine: the runtime the registry names as current.

The four ways the lookup can fail, each with its error box (shown in quiet
mode too) and, with -d, its debug box; no child, no output; exit code 2 only
with -passExitCode.  And the shapes of a found runtime's path.
"""
import harness as h
from harness import HOME_NO_JAVAW, HOME_PLAIN, HOME_SPACE, JRE_BASE_KEY, MB_ICONERROR, WINDOWS_7, WINDOWS_XP

NOT_FOUND = h.Box("No Java Installation Found", "Error!", MB_ICONERROR)
NO_CURRENT = h.Box("No Java Installation (No Current Version) Found", "Error!", MB_ICONERROR)
NO_HOME = h.Box("No Java Installation Home Directory Found", "Error!", MB_ICONERROR)

F1_DEBUG = h.Box(JRE_BASE_KEY, "Error Accessing Registry!", MB_ICONERROR)
F2_DEBUG = h.Box("Java Current Version Key", "Error Reading Registry", MB_ICONERROR)
F3_DEBUG = h.Box("Java Current Version", "Error Accessing Registry!", MB_ICONERROR)
F4_DEBUG = h.Box("Java Home Directory", "Error Reading Registry!", MB_ICONERROR)

# With -d, the Java 8 key's line when its CurrentVersion is set but names no
# runtime there, and none registered beside it takes its place.
def unusable(why):
    return (b"Java runtime source %s (64-bit registry view): CurrentVersion 1.6 %s; no registered "
            b"version has javaw.exe\r\n" % (JRE_BASE_KEY.encode(), why))


TOO_LONG_HOME = "C:\\" + "h" * 2032

# (name, registry fixture, debug box, error box, the Java 8 key's line with -d)
FAILURES = [
    ("F1_no_base_key", h.NO_JAVA, F1_DEBUG, NOT_FOUND, b""),
    ("F2_no_current_version", {JRE_BASE_KEY: {}}, F2_DEBUG, NOT_FOUND, b""),
    ("F2_current_version_too_long", h.jre_registry("9" * 255), F2_DEBUG, NOT_FOUND, b""),
    # The runtimes registered beside it have no javaw.exe.
    ("F3_no_such_version_key", h.jre_registry("1.6", homes={"1.5": HOME_NO_JAVAW, "1.7": HOME_NO_JAVAW}),
     F3_DEBUG, NO_CURRENT, unusable(b"is not registered")),
    ("F4_no_java_home", h.jre_registry("1.6", homes={"1.6": None}), F4_DEBUG, NO_HOME,
     unusable(b"has no JavaHome that can be read")),
    # 2048 characters and the terminator do not fit the 2048-byte buffer.
    ("F4_java_home_too_long", h.jre_registry("1.6", homes={"1.6": "C:\\" + "h" * 2045}),
     F4_DEBUG, NO_HOME, unusable(b"has no JavaHome that can be read")),
    # Fits the buffer, but "\bin\javaw.exe" (or, with -d, "\bin\java.exe")
    # and the terminator would need 2050 (2049) bytes; RuntimePath.
    # test_longest_home has the case that just fits.
    ("F4_no_room_for_the_executable", h.jre_registry("1.6", homes={"1.6": TOO_LONG_HOME}),
     F4_DEBUG, NO_HOME,
     unusable(b"has no javaw.exe (%s\\bin\\javaw.exe is missing)" % TOO_LONG_HOME.encode())),
]


# With -d, what each place after the Java 8 key in the 64-bit view says.
FURTHER_PLACES_MISSING = b"".join(
    b"Java runtime source %s: missing\r\n" % place for place in [
        b"SOFTWARE\\JavaSoft\\Java Runtime Environment (32-bit registry view)",
        b"SOFTWARE\\JavaSoft\\JDK (64-bit registry view)",
        b"SOFTWARE\\JavaSoft\\JDK (32-bit registry view)",
        b"SOFTWARE\\JavaSoft\\Java Development Kit (64-bit registry view)",
        b"SOFTWARE\\JavaSoft\\Java Development Kit (32-bit registry view)",
        b"JAVA_HOME",
        b"PATH",
    ])


def start_trail(sc, pass_exit_code):
    """The debug boxes before the launch, on a system older than Vista."""
    return [
        h.Box("1.3.1", "Version", 0),
        h.Box("[%s]" % sc.exe_path, "LpCmdLine", 0),
        h.Box("true" if pass_exit_code else "false", "passExitCode", 0),
        h.Box(sc.app_dir, "CWD", 0),
        h.Box("[%s\\Demo.config]" % sc.app_dir, "Reading App Config file", 0),
        h.Box("", "MainClass is", 0),
    ]


class RegistryFailures(h.WineTestCase):

    def assertNothingLaunched(self, r):
        self.assertEqual(r.children, [], r)
        self.assertEqual(r.files, {}, r)

    def test_error_box_only(self):
        for name, registry, _debug, error, _line in FAILURES:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP, registry=registry)
                r = sc.run(["-o", "app-arg"])
                self.assertEqual(r.boxes, [error], r)
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.stdout, b"", r)
                self.assertNothingLaunched(r)

    def test_quiet_shows_the_error_box_and_no_debug_box(self):
        for name, registry, _debug, error, _line in FAILURES:
            with self.subTest(name):
                sc = self.scenario(name, registry=registry)
                r = sc.run(["-d", "-q", "-o", "-passExitCode"])
                self.assertEqual(r.boxes, [error], r)
                self.assertEqual(r.exit_code, 2, r)
                self.assertEqual(r.stdout, b"", r)
                self.assertNothingLaunched(r)

    def test_debug_box_before_the_error_box(self):
        for name, registry, debug, error, line in FAILURES:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP, registry=registry)
                r = sc.run(["-d", "-passExitCode"])
                self.assertEqual(
                    r.boxes,
                    start_trail(sc, True) + [debug, error,
                                             h.Box("2", "Calling Post Quit Message With Code", 0)],
                    r)
                self.assertEqual(r.exit_code, 2, r)
                self.assertEqual(h.after_system_version(r.stdout),
                                 b"reading app config %s\\Demo.config\r\n" % sc.app_dir.encode()
                                 + line + FURTHER_PLACES_MISSING, r)
                self.assertNothingLaunched(r)


class RuntimePath(h.WineTestCase):
    """The executable path built from the home: quoting and java/javaw."""

    def test_shapes(self):
        # (Windows version, home, debug, expected "Javapath is" / first token,
        #  the home shown by "Adding double quotes around" when quoted)
        cases = [
            (WINDOWS_XP, HOME_PLAIN, False, HOME_PLAIN + r"\bin\javaw.exe", None),
            (WINDOWS_XP, HOME_PLAIN, True, HOME_PLAIN + r"\bin\java.exe", None),
            (WINDOWS_XP, HOME_SPACE, True, '"%s\\bin\\java.exe"' % HOME_SPACE, HOME_SPACE),
            (WINDOWS_XP, HOME_SPACE, False, '"%s\\bin\\javaw.exe"' % HOME_SPACE, None),
            (WINDOWS_7, HOME_PLAIN, True, '"%s\\bin\\java.exe"' % HOME_PLAIN, HOME_PLAIN),
            (WINDOWS_7, HOME_PLAIN, False, '"%s\\bin\\javaw.exe"' % HOME_PLAIN, None),
        ]
        for i, (windows, home, debug, javapath, quoted_home) in enumerate(cases):
            with self.subTest(windows=windows, home=home, debug=debug):
                sc = self.scenario(str(i), windows=windows, registry=h.jre_registry("1.6", home=home))
                r = sc.run(["-d"] if debug else [])
                self.assertEqual(r.exit_code, 0, r)
                self.assertSingleLaunch(r, javapath + " ", sc.app_dir)
                if not debug:
                    self.assertEqual(r.boxes, [], r)
                    continue
                self.assertEqual([b.text for b in r.boxes if b.caption == "Javapath is"], [javapath])
                self.assertEqual([b.text for b in r.boxes if b.caption == "Adding double quotes around"],
                                 [quoted_home] if quoted_home else [], r)

    def test_longest_home(self):
        # Home, "\bin\javaw.exe" and the terminator fill the 2048 bytes
        # exactly: the path is formed and a launch attempted (it fails, the
        # path being far beyond what the system accepts).
        home = "C:\\" + "h" * 2030
        sc = self.scenario(windows=WINDOWS_XP, registry=h.jre_registry("1.6", home=home))
        r = sc.run([])
        javapath = home + r"\bin\javaw.exe"
        self.assertEqual(len(javapath), 2047)
        self.assertEqual(r.stdout, h.launch_output(javapath + " "), r)
        self.assertEqual(r.children, [], r)
        self.assertEqual([(b.caption, b.type) for b in r.boxes], [("Error", MB_ICONERROR)], r)

    def test_versions_other_than_the_current_one_are_ignored(self):
        registry = h.jre_registry("1.6", homes={"1.5": HOME_SPACE, "1.6": HOME_PLAIN, "1.7": HOME_SPACE})
        sc = self.scenario(windows=WINDOWS_XP, registry=registry)
        r = sc.run([])
        self.assertSingleLaunch(r, HOME_PLAIN + r"\bin\javaw.exe ", sc.app_dir)


if __name__ == "__main__":
    h.main()

#!/usr/bin/python3
"""tarnwick.exe under Wine: runtimes recorded elsewhere than the Java 8 key.

Each place alone (the JDK key, the 32-bit registry view, JAVA_HOME, a
javaw.exe on PATH) starts its runtime without a box; the Java 8 key wins
where it is present, unless its runtime was uninstalled; a javaVersion met
only under the JDK key or by JAVA_HOME is found, on the x64 and x86 builds;
PATH and JAVA_HOME are read as cmd.exe reads them, and a REG_EXPAND_SZ home
is expanded.
"""
import os
import shutil

import harness as h
from harness import HOME_JDK, HOME_PLAIN, JRE_BASE_KEY, WINDOWS_XP

JDK_KEY = r"SOFTWARE\JavaSoft\JDK"
JRE_32_BIT_KEY = r"SOFTWARE\WOW6432Node\JavaSoft\Java Runtime Environment"
# A home whose runtime was uninstalled: its folder is gone.
HOME_GONE = h.WIN_TW + r"\jre-uninstalled"
LAUNCHERS = (("x64", None), ("x86", h.x86_launcher()))


def registered(base_key, version, home):
    """One runtime under base_key, current."""
    return {base_key: {"CurrentVersion": version}, base_key + "\\" + version: {"JavaHome": home}}


def launched_from(home):
    return home + r"\bin\javaw.exe "


class FurtherPlaces(h.WineTestCase):

    def test_each_place_alone_starts_its_runtime(self):
        cases = [
            ("jdk_key", registered(JDK_KEY, "21", HOME_JDK), {}),
            ("32_bit_view", registered(JRE_32_BIT_KEY, "1.8", HOME_JDK), {}),
            ("java_home", h.NO_JAVA, {"JAVA_HOME": HOME_JDK}),
            # Wine puts the folders of WINEPATH in front of its PATH.
            ("path", h.NO_JAVA, {"WINEPATH": HOME_JDK + r"\bin"}),
            # As cmd.exe reads them: quotes removed, a folder named javaw.exe
            # passed over.
            ("quoted_java_home", h.NO_JAVA, {"JAVA_HOME": '"%s"' % HOME_JDK}),
            ("quoted_path", h.NO_JAVA, {"WINEPATH": '"%s\\bin"' % HOME_JDK}),
            ("folder_named_javaw", h.NO_JAVA, {"WINEPATH": r"%s\javaw-folder;%s\bin" % (h.WIN_TW, HOME_JDK)}),
        ]
        os.makedirs(os.path.join(h.session().linux_path(h.WIN_TW), "javaw-folder", "javaw.exe"),
                    exist_ok=True)
        for name, registry, env in cases:
            for bits, launcher in LAUNCHERS:
                with self.subTest(name, bits=bits):
                    sc = self.scenario(name + "." + bits, windows=WINDOWS_XP, registry=registry,
                                       env=env, launcher=launcher)
                    r = sc.run(["-passExitCode"])
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertEqual(r.boxes, [], r)
                    self.assertSingleLaunch(r, launched_from(HOME_JDK), sc.app_dir)

    def test_the_java_8_key_wins(self):
        registry = registered(JDK_KEY, "21", HOME_JDK)
        registry.update(registered(JRE_BASE_KEY, "1.8", HOME_PLAIN))
        sc = self.scenario(windows=WINDOWS_XP, registry=registry,
                           env={"JAVA_HOME": HOME_JDK, "WINEPATH": HOME_JDK + r"\bin"})
        r = sc.run([])
        self.assertEqual(r.boxes, [], r)
        self.assertSingleLaunch(r, launched_from(HOME_PLAIN), sc.app_dir)

    def test_a_place_without_javaw_is_passed_over(self):
        # JAVA_HOME names a folder without bin\javaw.exe; PATH has one.
        sc = self.scenario(windows=WINDOWS_XP, registry=h.NO_JAVA,
                           env={"JAVA_HOME": h.WIN_TW, "WINEPATH": HOME_JDK + r"\bin"})
        r = sc.run(["-d"])
        self.assertSingleLaunch(r, HOME_JDK + r"\bin\java.exe ", sc.app_dir)
        lines = [l for l in r.stdout.split(b"\r\n") if l.startswith(b"Java runtime source")]
        self.assertEqual(lines[-2:], [b"Java runtime source JAVA_HOME: missing",
                                      b"Java runtime source PATH: found " + HOME_JDK.encode()], r)
        self.assertEqual(len(lines), 7, r)

    def test_version_met_only_under_the_jdk_key(self):
        registry = registered(JRE_BASE_KEY, "1.6", HOME_PLAIN)
        registry.update(registered(JDK_KEY, "17.0.9", HOME_JDK))
        sc = self.scenario(windows=WINDOWS_XP, registry=registry)
        sc.config("javaVersion 17.0.9", "mainclass demo.Main")
        r = sc.run([])
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        self.assertSingleLaunch(r, HOME_JDK + r"\bin\javaw.exe demo.Main", sc.app_dir)
        # The selection's trace, over the Java 8 key, then over the JDK key.
        self.assertIn(b"checking (1) 1.6\r\n", r.stdout, r)
        self.assertIn(b"checking (1) 17.0.9\r\n", r.stdout, r)

    def test_versions_as_written_today(self):
        # The JDK key holds one sub-key per install, its full version; a
        # JAVA_HOME runtime is known by its release file.  The Java 8 key
        # (1.6 here) is asked first and has no match.
        jdk_21 = registered(JRE_BASE_KEY, "1.6", HOME_PLAIN)
        jdk_21.update({JDK_KEY: {}, JDK_KEY + r"\21.0.5": {"JavaHome": HOME_JDK}})
        # (name, registry, javaVersion, home started: None for the scenario's own jdk17)
        cases = [
            ("feature_or_later_under_jdk_key", jdk_21, "17+", HOME_JDK),
            ("feature_by_java_home", registered(JRE_BASE_KEY, "1.6", HOME_PLAIN), "17", None),
        ]
        for name, registry, requirement, home in cases:
            for bits, launcher in LAUNCHERS:
                with self.subTest(name, bits=bits):
                    sc = self.scenario(name + "." + bits, windows=WINDOWS_XP, registry=registry,
                                       launcher=launcher)
                    javaw = sc.add_program(r"jdk17\bin\javaw.exe")
                    sc.write(r"jdk17\release", 'IMPLEMENTOR="Test"\nJAVA_VERSION="17.0.9"\n')
                    sc.env["JAVA_HOME"] = sc.win_path("jdk17")
                    sc.config("javaVersion " + requirement, "mainclass demo.Main")
                    r = sc.run([])
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertEqual(r.boxes, [], r)
                    started = javaw if home is None else home + r"\bin\javaw.exe"
                    self.assertSingleLaunch(r, started + " demo.Main", sc.app_dir)
                    self.assertIn(b"javaVersion=%s, javaVer=feature 17%s\r\n"
                                  % (requirement.encode(), b" or later" if "+" in requirement else b""),
                                  r.stdout, r)

    def test_an_uninstalled_first_runtime_does_not_block(self):
        # The Java 8 key names a home whose folder an uninstaller removed; a
        # JDK 21 is registered under the JDK key.
        for bits, launcher in LAUNCHERS:
            with self.subTest(bits=bits):
                # The launcher's own view: the 32-bit one for the x86 build.
                registry = registered(JRE_BASE_KEY if launcher is None else JRE_32_BIT_KEY, "1.8", HOME_GONE)
                registry.update(registered(JDK_KEY, "21", HOME_JDK))
                sc = self.scenario(bits, windows=WINDOWS_XP, registry=registry, launcher=launcher)
                r = sc.run(["-d"])
                self.assertEqual(r.exit_code, 0, r)
                self.assertSingleLaunch(r, HOME_JDK + r"\bin\java.exe ", sc.app_dir)
                self.assertIn(b"Java runtime source %s (%d-bit registry view): CurrentVersion 1.8 has no "
                              b"javaw.exe (%s\\bin\\javaw.exe is missing); no registered version has "
                              b"javaw.exe\r\n"
                              % (JRE_BASE_KEY.encode(), 64 if launcher is None else 32, HOME_GONE.encode()),
                              r.stdout, r)
                self.assertNotIn("Error", [b.caption for b in r.boxes], r)
        with self.subTest("alone, started as before"):
            sc = self.scenario("alone", windows=WINDOWS_XP, registry=registered(JRE_BASE_KEY, "1.8", HOME_GONE))
            r = sc.run(["-passExitCode"])
            # The system's reason: the runtime's folder is gone (named whole
            # to the system, the path is not found rather than the file).
            self.assertEqual(r.exit_code, 3, r)
            self.assertIn(b"error 3: Path not found", r.stderr, r)
            self.assertEqual([c.args[1] for c in r.launcher_calls("kernel32.CreateProcessW")],
                             [HOME_GONE + r"\bin\javaw.exe "], r)
            self.assertEqual([b.caption for b in r.boxes], ["Error"], r)

    def test_a_stale_current_version_gives_way_to_the_newest_registered(self):
        # An uninstaller left CurrentVersion behind: it names no sub-key, or
        # a home without javaw.exe.  Without a javaVersion line the newest
        # runtime registered under the same key starts, with no box.
        jdk_17 = {JDK_KEY + r"\17.0.12": {"JavaHome": HOME_JDK}, JDK_KEY + r"\11.0.2": {"JavaHome": HOME_PLAIN}}
        cases = [
            ("jdk_21_not_registered", dict(jdk_17, **{JDK_KEY: {"CurrentVersion": "21"}}), JDK_KEY,
             "CurrentVersion 21 is not registered", "17.0.12"),
            ("jdk_21_without_javaw", dict(jdk_17, **{JDK_KEY: {"CurrentVersion": "21"},
                                                     JDK_KEY + r"\21": {"JavaHome": h.HOME_NO_JAVAW}}),
             JDK_KEY, "CurrentVersion 21 has no javaw.exe (%s\\bin\\javaw.exe is missing)" % h.HOME_NO_JAVAW,
             "17.0.12"),
            ("jre_1.8_not_registered", {JRE_BASE_KEY: {"CurrentVersion": "1.8"},
                                        JRE_BASE_KEY + r"\1.8.0_411": {"JavaHome": HOME_JDK}},
             JRE_BASE_KEY, "CurrentVersion 1.8 is not registered", "1.8.0_411"),
        ]
        for name, registry, key, why, newest in cases:
            for bits, launcher in LAUNCHERS:
                with self.subTest(name, bits=bits):
                    sc = self.scenario(name + "." + bits, windows=WINDOWS_XP, registry=registry,
                                       launcher=launcher)
                    r = sc.run(["-passExitCode"])
                    self.assertEqual((r.exit_code, r.boxes), (0, []), r)
                    self.assertSingleLaunch(r, launched_from(HOME_JDK), sc.app_dir)
                    r = sc.run(["-d"])
                    self.assertIn(("Java runtime source %s (64-bit registry view): %s; the newest registered "
                                   "version with javaw.exe is %s\r\n" % (key, why, newest)).encode(), r.stdout, r)

    def test_expandable_home_is_the_builds_program_files(self):
        # %ProgramFiles% is "C:\Program Files" for the x64 build and
        # "C:\Program Files (x86)" for the x86 build, as Windows gives it.
        registry = registered(JDK_KEY, "21", h.ExpandableText(r"%ProgramFiles%\tw-jdk"))
        for bits, launcher, folder in (("x64", None, "Program Files"),
                                       ("x86", h.x86_launcher(), "Program Files (x86)")):
            with self.subTest(bits=bits):
                sc = self.scenario(bits, windows=WINDOWS_XP, registry=registry, launcher=launcher)
                home = "C:\\%s\\tw-jdk" % folder
                bin_dir = sc.session.linux_path(home + r"\bin")
                os.makedirs(bin_dir, exist_ok=True)
                shutil.copyfile(sc.session.child, os.path.join(bin_dir, "javaw.exe"))
                r = sc.run([])
                self.assertEqual(r.boxes, [], r)
                self.assertEqual([c.args[1] for c in r.launcher_calls("kernel32.CreateProcessW")],
                                 ['"%s\\bin\\javaw.exe" ' % home], r)


if __name__ == "__main__":
    h.main()

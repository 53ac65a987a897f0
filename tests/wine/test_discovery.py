#!/usr/bin/python3
"""tarnwick.exe under Wine: runtimes recorded elsewhere than the Java 8 key.

Each place alone (the JDK key, the 32-bit registry view, JAVA_HOME, a
javaw.exe on PATH) starts its runtime without a box; the Java 8 key wins
where it is present; a javaVersion met only under the JDK key is found.
"""
import harness as h
from harness import HOME_JDK, HOME_PLAIN, JRE_BASE_KEY, WINDOWS_XP

JDK_KEY = r"SOFTWARE\JavaSoft\JDK"
JRE_32_BIT_KEY = r"SOFTWARE\WOW6432Node\JavaSoft\Java Runtime Environment"


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
        ]
        for name, registry, env in cases:
            with self.subTest(name):
                sc = self.scenario(name, windows=WINDOWS_XP, registry=registry, env=env)
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


if __name__ == "__main__":
    h.main()

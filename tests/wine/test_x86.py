#!/usr/bin/python3
"""The 32-bit tarnwick.exe under Wine: the worked example, a relaunch on 999,
and the registry views seen from a 32-bit program (its own view is the
32-bit one; the 64-bit view is a further place)."""
import os
import unittest

import harness as h
from harness import HOME_JDK, HOME_PLAIN, JRE_BASE_KEY, WINDOWS_XP

JRE_32_BIT_KEY = r"SOFTWARE\WOW6432Node\JavaSoft\Java Runtime Environment"


def registered(base_key, version, home):
    return {base_key: {"CurrentVersion": version}, base_key + "\\" + version: {"JavaHome": home}}


class X86Launcher(h.WineTestCase):

    def setUp(self):
        if not os.path.isfile(h.x86_launcher()):
            message = ("%s is missing: build it with 'cmake --preset windows-x86 && "
                       "cmake --build --preset windows-x86'" % h.x86_launcher())
            if os.environ.get("TARNWICK_ALLOW_SKIP"):
                raise unittest.SkipTest(message)
            self.fail(message)

    def scenario(self, suffix="", registry=None, **kwargs):
        if registry is None:
            registry = registered(JRE_32_BIT_KEY, "1.6", HOME_PLAIN)
        return super().scenario(suffix, launcher=h.x86_launcher(), windows=WINDOWS_XP,
                                registry=registry, **kwargs)

    def test_worked_example(self):
        sc = self.scenario()
        sc.config("mainclass com.acme.Main", "addjars lib", "vmparam -Xmx256m", "argument hello")
        r = sc.run([])
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        command_line = HOME_PLAIN + r"\bin\javaw.exe -Xmx256m -classpath lib/* com.acme.Main hello "
        self.assertSingleLaunch(r, command_line, sc.app_dir)
        self.assertEqual(r.stdout, h.launch_output(command_line), r)

    def test_999_starts_the_child_again(self):
        sc = self.scenario(child_exits=[999, 0])
        r = sc.run(["-passExitCode"])
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(len(r.children), 2, r)

    def test_registry_views(self):
        both = registered(JRE_32_BIT_KEY, "1.6", HOME_PLAIN)
        both.update(registered(JRE_BASE_KEY, "1.8", HOME_JDK))
        cases = [
            ("own_32_bit_view_first", both, HOME_PLAIN),
            ("64_bit_view_through_the_fallback", registered(JRE_BASE_KEY, "1.8", HOME_JDK), HOME_JDK),
        ]
        for name, registry, home in cases:
            with self.subTest(name):
                sc = self.scenario(name, registry=registry)
                r = sc.run([])
                self.assertEqual(r.boxes, [], r)
                self.assertSingleLaunch(r, home + r"\bin\javaw.exe ", sc.app_dir)


if __name__ == "__main__":
    h.main()

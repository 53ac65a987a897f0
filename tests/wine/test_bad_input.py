#!/usr/bin/python3
"""tarnwick.exe under Wine fed bad input: command lines at and past the
system's limit, registry values of the wrong type or without a terminator,
and binary garbage as the configuration.  Whatever comes in, the launcher
ends on its own, with a documented exit code, and says why.
"""
import random
import re

import harness as h
from harness import HOME_PLAIN, JRE_BASE_KEY, WINDOWS_XP

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"
# What the launcher puts before the arguments without configuration.
LINE_HEAD = JAVAW + "  "
# CreateProcessW takes at most this many characters, the terminator included.
COMMAND_LINE_LIMIT = 32767
DOCUMENTED_EXIT_CODES = {0, 1, 2, 5, 11}


def arguments_for_length(total):
    """Argument texts whose command line is exactly total characters long."""
    need = total - len(LINE_HEAD)
    args = []
    while need > 0:
        n = max(1, min(1000, need - 1))
        args.append("a" * n)
        need -= n + 1
    return args


class CommandLineLength(h.WineTestCase):

    def test_longest_command_line_passes_whole(self):
        args = arguments_for_length(COMMAND_LINE_LIMIT - 1)
        sc = self.scenario(windows=WINDOWS_XP)
        sc.config(*["argument " + a for a in args])
        r = sc.run(["-passExitCode"])
        expected = (LINE_HEAD + "".join(a + " " for a in args)).encode()
        self.assertEqual(len(expected), COMMAND_LINE_LIMIT - 1)
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual([c.cmdline for c in r.children], [expected], r)

    def test_longer_command_lines_are_refused_with_the_systems_reason(self):
        for extra in (0, 1, 10000):
            with self.subTest(length=COMMAND_LINE_LIMIT + extra):
                sc = self.scenario(str(extra), windows=WINDOWS_XP)
                sc.config(*["argument " + a for a in arguments_for_length(COMMAND_LINE_LIMIT + extra)])
                r = sc.run(["-passExitCode"])
                self.assertEqual(r.children, [], r)
                self.assertEqual(len(r.boxes), 1, r)
                box = r.boxes[0]
                self.assertEqual(box.caption, "Error", r)
                code = int(re.search(r"Error=(-?\d+)$", box.text).group(1))
                # The system's error code is the exit code, and never one that
                # means success or asks for another start.
                self.assertEqual(r.exit_code, code, r)
                self.assertNotIn(code, (0, 999), r)
                self.assertRegex(r.stderr.decode("latin-1"),
                                 r"^Cannot start %s: error %d: \S" % (re.escape(JAVAW), code))


class RegistryValues(h.WineTestCase):

    def run_with(self, name, values_by_key):
        keys = {JRE_BASE_KEY: values_by_key.get("base", {})}
        for version, values in values_by_key.items():
            if version != "base":
                keys[JRE_BASE_KEY + "\\" + version] = values
        sc = self.scenario(name, windows=WINDOWS_XP, registry=keys)
        return sc.run(["-passExitCode"])

    def test_values_without_terminator_are_read_within_their_bytes(self):
        r = self.run_with("unterminated", {
            "base": {"CurrentVersion": b"1.6"},
            "1.6": {"JavaHome": HOME_PLAIN.encode()},
        })
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        self.assertEqual([c.cmdline for c in r.children], [(JAVAW + " ").encode()], r)

    def test_values_that_cannot_be_text_are_refused(self):
        # (case, registry, the one error box)
        cases = [
            # The number names no key; the one registered runtime, without
            # javaw.exe, cannot take its place.
            ("number as version", {"base": {"CurrentVersion": 0x16}, "1.6": {"JavaHome": h.HOME_NO_JAVAW}},
             "No Java Installation (No Current Version) Found"),
            ("version filling its buffer", {"base": {"CurrentVersion": b"9" * 255}},
             "No Java Installation Found"),
            ("home filling its buffer", {"base": {"CurrentVersion": "1.6"},
                                         "1.6": {"JavaHome": b"C:\\" + b"h" * 2045}},
             "No Java Installation Home Directory Found"),
        ]
        for name, registry, text in cases:
            with self.subTest(name):
                r = self.run_with(name.replace(" ", "_"), registry)
                self.assertEqual(r.boxes, [h.Box(text, "Error!", h.MB_ICONERROR)], r)
                self.assertEqual(r.exit_code, 2, r)
                self.assertEqual(r.children, [], r)


class GarbageConfiguration(h.WineTestCase):

    def test_binary_garbage_ends_with_a_documented_code(self):
        rng = random.Random(20261207)
        blobs = [
            bytes(rng.randrange(256) for _ in range(4096)),
            bytes(rng.choice(b"\x00\x1a\r\n $\"\\=/#ab") for _ in range(4096)),
            b"\xef\xbb\xbf" + b"\x00" * 100 + b"vmparam -Dok=1\r\n" + bytes(range(256)),
        ]
        for i, blob in enumerate(blobs):
            with self.subTest(blob=i):
                sc = self.scenario(str(i), windows=WINDOWS_XP)
                with open(sc.path("app", "Demo.config"), "wb") as f:
                    f.write(blob)
                r = sc.run(["-q", "-passExitCode"])
                # The child runs, or the launcher ends on a documented code; an
                # exception code (0xC0000005 and such) would be negative.
                self.assertTrue(r.exit_code in DOCUMENTED_EXIT_CODES or len(r.children) == 1, r)
                self.assertGreaterEqual(r.exit_code, 0, r)


if __name__ == "__main__":
    h.main()

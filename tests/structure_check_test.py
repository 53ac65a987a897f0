#!/usr/bin/env python3
"""The heuristics of structure_check.py on small pieces of code: what counts
as a function and how long it is, and what writes the settings record."""
import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import structure_check  # noqa: E402


def body(lines):
    """lines statement lines, as a function body would hold them."""
    return "".join(f"    x += {i};\n" for i in range(lines))


# A function of exactly the bound: signature, body and closing brace.
AT_BOUND = body(structure_check.MAX_FUNCTION_LINES - 2)
PAST_BOUND = body(structure_check.MAX_FUNCTION_LINES - 1)
PAST_LINES = structure_check.MAX_FUNCTION_LINES + 1


class LongFunctions(unittest.TestCase):
    CASES = [
        ("at the bound", "static int f() {\n" + AT_BOUND + "}\n", []),
        ("past the bound", "\nstatic int f() {\n" + PAST_BOUND + "}\n", [(2, "f", PAST_LINES)]),
        ("a signature on two lines, counted from its first",
         "/* f */\nbool Reader::read(int a,\n                  int b) {\n" + body(structure_check.MAX_FUNCTION_LINES - 2) + "}\n",
         [(2, "Reader::read", PAST_LINES)]),
        ("in a namespace", "namespace io {\nnamespace {\nvoid g() {\n" + PAST_BOUND + "}\n}\n}\n", [(3, "g", PAST_LINES)]),
        ("braces in literals and comments",
         "void h() {\n    s = \"{\"; c = '}'; /* { */ // {\n" + body(structure_check.MAX_FUNCTION_LINES - 3) + "}\n", []),
        ("a member of a struct", "struct S {\n    void m() {\n" + PAST_BOUND + "    }\n};\n", []),
        ("a table", "static const int TABLE[] = {\n" + "    1,\n" * PAST_LINES + "};\n", []),
        ("an enum", "enum Kind {\n" + "    K,\n" * PAST_LINES + "};\n", []),
        ("after a table and a preprocessor line",
         "static const S s = {1, {2}};\n#if X {\n#endif\nint f() {\n" + PAST_BOUND + "}\n", [(4, "f", PAST_LINES)]),
    ]

    def test_cases(self):
        for what, code, expected in self.CASES:
            with self.subTest(what):
                self.assertEqual(structure_check.long_functions(structure_check.blank_out(code)), expected)


class SettingsWrites(unittest.TestCase):
    CASES = [
        ("settings.mainClass = name;", ["settings.mainClass ="]),
        ("settings.vmpaths[i] = path;", ["settings.vmpaths[i] ="]),
        ("settings.argsCnt += 2;", ["settings.argsCnt +="]),
        ("++settings.argsCnt;", ["++settings.argsCnt"]),
        ("settings.argsCnt--;", ["settings.argsCnt--"]),
        ("settings = saved;", ["settings ="]),
        ("if (ok) appendToList(LIST_ARGS, p);", ["appendToList()"]),
        ("resetSettings();", ["resetSettings()"]),
        ("if (settings.argsCnt == 0 || settings.argsCnt <= n || settings.argsCnt != m) return;", []),
        ("LauncherSettings saved = settings;", []),
        ("const LauncherSettings &settings = other;", []),
        ("void appendToList(SettingsList list, char *entry);", []),
        ("copy.settings.argsCnt = 0;", []),
        ("log(\"settings.argsCnt = 0\"); /* settings = x */", []),
    ]

    def test_cases(self):
        for code, expected in self.CASES:
            with self.subTest(code):
                found = structure_check.settings_writes(structure_check.blank_out(code + "\n"))
                self.assertEqual([what for _, what in found], expected)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/python3
"""Checks the built Windows executable: what it is linked against, what it
carries and how it runs.

  - GUI subsystem (2), or the console subsystem (3) for tarnwick-console.exe,
    so that cmd.exe and PowerShell wait for it; x86-64 (or x86 for the
    32-bit build);
  - its resources: one RT_ICON image (32x32, 8 bits per pixel), one
    RT_GROUP_ICON naming it, and the application manifest (RT_MANIFEST 1,
    res/tarnwick.manifest: asInvoker, Windows 7 to 11, per-monitor DPI
    awareness with the older dpiAware, Common Controls 6, long paths);
    nothing else (no version record);
  - imports only from KERNEL32, ADVAPI32 and msvcrt, also among
    delay-loaded imports: USER32 and SHELL32 are loaded when a box, a
    question, a page or the wait for a child's window needs them, so a
    start that shows nothing never loads them;
  - stripped (no COFF symbol table) and at most 128 KiB; its size is
    printed.

Usage: exe_check.py [PATH]   (default: $TARNWICK_WINDOWS_BUILD_DIR/tarnwick.exe,
else build/windows/tarnwick.exe under the source tree).  An exe in a build
folder whose name ends in "-x86" must be a 32-bit one.

A missing executable or a missing pefile module is a failure, unless the
environment variable TARNWICK_ALLOW_SKIP is set: then the reason is printed
and the exit code is 77 (CTest's "skipped").
"""
import os
import struct
import sys
import unittest
from xml.etree import ElementTree

SKIP_EXIT_CODE = 77
ALLOWED_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}
RT_ICON = 3
RT_GROUP_ICON = 14
RT_MANIFEST = 24
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_MACHINE_I386 = 0x14C
SIZE_LIMIT = 128 * 1024

EXE_PATH = None
PE = None


def default_exe_path():
    build = os.environ.get("TARNWICK_WINDOWS_BUILD_DIR")
    if not build:
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        build = os.path.join(root, "build", "windows")
    return os.path.join(build, "tarnwick.exe")


def resource_leaves(pe):
    """{type id: [(name id, language, data bytes), ...]} of the resource tree."""
    tree = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return tree
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_id = type_entry.id if type_entry.id is not None else str(type_entry.name)
        leaves = tree.setdefault(type_id, [])
        for name_entry in getattr(type_entry, "directory", None).entries:
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                raw = pe.get_data(data.OffsetToData, data.Size)
                leaves.append((name_entry.id, lang_entry.id, raw))
    return tree


class ExeCheck(unittest.TestCase):
    def test_subsystem_and_machine(self):
        if os.path.basename(EXE_PATH) == "tarnwick-console.exe":
            self.assertEqual(PE.OPTIONAL_HEADER.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI,
                             "the console launcher must be a console program")
        else:
            self.assertEqual(PE.OPTIONAL_HEADER.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI,
                             "the launcher must be a windowed (GUI) program")
        x86 = os.path.basename(os.path.dirname(EXE_PATH)).endswith("-x86")
        self.assertEqual(PE.FILE_HEADER.Machine,
                         IMAGE_FILE_MACHINE_I386 if x86 else IMAGE_FILE_MACHINE_AMD64)

    def test_manifest(self):
        # The file of the source, under the id a program's start reads; its
        # effect on the version Windows reports is seen under Wine.
        tree = resource_leaves(PE)
        self.assertEqual([name for name, _, _ in tree.get(RT_MANIFEST, [])], [1])
        with open(os.path.join(SOURCE_ROOT, "res", "tarnwick.manifest"), "rb") as f:
            self.assertEqual(tree[RT_MANIFEST][0][2], f.read())
        levels = ElementTree.fromstring(tree[RT_MANIFEST][0][2]).iter(
            "{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
        self.assertEqual([e.get("level") for e in levels], ["asInvoker"])

    def test_icon_and_manifest_are_the_only_resources(self):
        tree = resource_leaves(PE)
        self.assertEqual(set(tree), {RT_ICON, RT_GROUP_ICON, RT_MANIFEST},
                         "resource types present: %r" % sorted(tree, key=str))
        self.assertEqual(len(tree[RT_ICON]), 1, "exactly one icon image")
        self.assertEqual(len(tree[RT_GROUP_ICON]), 1, "exactly one icon group")

        icon_id, _, icon = tree[RT_ICON][0]
        (bi_size, width, height, planes, bits) = struct.unpack_from("<IiiHH", icon, 0)
        self.assertEqual(bi_size, 40, "the icon image starts with a BITMAPINFOHEADER")
        self.assertEqual((width, height, planes, bits), (32, 64, 1, 8),
                         "32x32 pixels (height counts the mask), 8 bits per pixel")
        self.assertEqual(len(icon), 40 + 1024 + 1024 + 128,
                         "header, 256-colour palette, pixels and mask")

        _, _, group = tree[RT_GROUP_ICON][0]
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 1), "one image in the group")
        (w, h, colours, _, planes, bits, size, member) = struct.unpack_from("<BBBBHHIH", group, 6)
        self.assertEqual((w, h, colours, planes, bits), (32, 32, 0, 1, 8))
        self.assertEqual(size, len(icon))
        self.assertEqual(member, icon_id, "the group names the icon image")

    def test_imports_only_system_dlls(self):
        imported = set()
        for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
            for entry in getattr(PE, attr, []):
                imported.add(entry.dll.decode("ascii", "replace").lower())
        self.assertTrue(imported, "no imports found at all")
        self.assertLessEqual(imported, ALLOWED_DLLS,
                             "unexpected DLLs: %s" % ", ".join(sorted(imported - ALLOWED_DLLS)))
        self.assertIn("kernel32.dll", imported)

    def test_stripped(self):
        self.assertEqual((PE.FILE_HEADER.PointerToSymbolTable, PE.FILE_HEADER.NumberOfSymbols),
                         (0, 0), "the executable still carries a symbol table")
        size = os.path.getsize(EXE_PATH)
        print("\nstripped size of %s: %d bytes" % (EXE_PATH, size))
        self.assertLessEqual(size, SIZE_LIMIT, "the launcher has grown past 128 KiB")


def main():
    global EXE_PATH, PE
    args = sys.argv[1:]
    EXE_PATH = os.path.abspath(args.pop(0)) if args and not args[0].startswith("-") else default_exe_path()
    problem = None
    try:
        import pefile
    except ImportError:
        problem = "the Python module pefile is missing (Debian: python3-pefile; run with /usr/bin/python3)"
    if problem is None and not os.path.isfile(EXE_PATH):
        problem = "%s does not exist: build it with 'cmake --preset windows && cmake --build --preset windows'" % EXE_PATH
    if problem:
        if os.environ.get("TARNWICK_ALLOW_SKIP"):
            print("SKIPPED: " + problem)
            return SKIP_EXIT_CODE
        print("FAILED: " + problem, file=sys.stderr)
        return 1
    PE = pefile.PE(EXE_PATH)
    result = unittest.main(argv=[sys.argv[0]] + args, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

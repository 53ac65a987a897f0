#!/usr/bin/python3
"""tarnwick-brand as its users run it, read back by readers of its own:
Python's pefile and icoutils' wrestool.

  - the Windows build's tarnwick.exe (PE32+) and the 32-bit one (PE32), and
    both builds' tarnwick-console.exe, branded
    with a three-image icon and every text option: the icons and the group
    byte for byte (wrestool rebuilds the very icon file), the version
    record's strings and numbers, the checksum, the base relocations and
    every section before the resources unchanged, the input untouched;
  - the refusals: a text file, a truncated executable, a signed one, a
    folder, a file past the size limit, an icon file that is none, the input
    or the icon as output, an output folder that does not exist, a bad
    version, a file size limit, too little memory; each exits with 2, says
    why, and leaves the folder as it was (an existing output file included,
    no temporary file left);
  - a tool ended by SIGTERM while it writes leaves no temporary file;
  - an output name of 252 characters; mode bits kept or taken from the
    input; "--name -h" names the product "-h";
  - `--help` says what the README says.

Environment: TARNWICK_BRAND (the tool), TARNWICK_WINDOWS_BUILD_DIR,
TARNWICK_BRAND_PE32, TARNWICK_BRAND_ICON.  A missing input, pefile or
wrestool is a failure, unless TARNWICK_ALLOW_SKIP is set (then exit 77).
"""
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

SKIP_EXIT_CODE = 77
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
SECURITY_DIRECTORY = 4

TOOL = os.environ.get("TARNWICK_BRAND", "")
X64 = os.path.join(os.environ.get("TARNWICK_WINDOWS_BUILD_DIR", ""), "tarnwick.exe")
PE32 = os.environ.get("TARNWICK_BRAND_PE32", "")
X64_CONSOLE = os.path.join(os.path.dirname(X64), "tarnwick-console.exe")
PE32_CONSOLE = os.path.join(os.path.dirname(PE32), "tarnwick-console.exe")
ICON = os.environ.get("TARNWICK_BRAND_ICON", "")

COMPANY = "Acme M\u00fcller GmbH"
TEXTS = ["--name", "My App", "--version", "1.2.3", "--company", COMPANY,
         "--description", "My application \u2013 the tool", "--copyright", "\u00a9 2026 Acme"]
EXPECTED_STRINGS = {"CompanyName": COMPANY, "FileDescription": "My application \u2013 the tool",
                    "FileVersion": "1.2.3", "LegalCopyright": "\u00a9 2026 Acme",
                    "ProductName": "My App", "ProductVersion": "1.2.3"}

pefile = None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def brand(*args, limits=()):
    """Runs the tool; limits: (resource, bytes) pairs set in the child alone."""
    def set_limits():
        for which, value in limits:
            resource.setrlimit(which, (value, value))
    return subprocess.run([TOOL] + list(args), capture_output=True, timeout=60, preexec_fn=set_limits)


def sanitized(path):
    """Whether the tool is an AddressSanitizer build, which cannot run
    under an address-space limit."""
    return b"__asan_init" in read(path)


def icon_images(ico):
    """[(directory entry without its offset, image bytes)] of an icon file."""
    count = struct.unpack_from("<H", ico, 4)[0]
    out = []
    for i in range(count):
        entry = ico[6 + 16 * i:6 + 16 * i + 16]
        size, offset = struct.unpack_from("<II", entry, 8)
        out.append((entry[:12], ico[offset:offset + size]))
    return out


def resources(pe):
    """{type: [(name, language, bytes)]} as pefile reads the tree."""
    tree = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name_entry in type_entry.directory.entries:
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                tree.setdefault(type_entry.id, []).append(
                    (name_entry.id, lang_entry.id, pe.get_data(data.OffsetToData, data.Size)))
    return tree


def relocations(pe):
    return [(entry.rva, entry.type) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
            for entry in block.entries]


class Branded(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="brand_check.")
        self.addCleanup(shutil.rmtree, self.dir)

    def test_independent_readers_agree(self):
        ico = read(ICON)
        for exe in (X64, PE32, X64_CONSOLE, PE32_CONSOLE):
            with self.subTest(exe=exe):
                original = read(exe)
                out = os.path.join(self.dir, "M\u00ff App %d.exe" % len(original))
                # The 32-bit copy asks for an administrator's rights.
                elevate = ("--execution-level", "requireAdministrator") if exe == PE32 else ()
                r = brand("--icon", ICON, *TEXTS, *elevate, exe, out)
                self.assertEqual((r.returncode, r.stderr), (0, b""))
                self.assertEqual(read(exe), original, "the input changed")
                before, after = pefile.PE(data=original), pefile.PE(out)
                print("\n%s: %d bytes, branded %d bytes" % (exe, len(original), os.path.getsize(out)))

                self.assertEqual(after.get_warnings(), before.get_warnings())
                self.assertEqual(after.OPTIONAL_HEADER.Subsystem, before.OPTIONAL_HEADER.Subsystem)
                self.assertEqual(after.OPTIONAL_HEADER.CheckSum, after.generate_checksum())
                self.assertEqual(relocations(after), relocations(before))
                self.assertTrue(relocations(after))
                names = [s.Name.rstrip(b"\0") for s in after.sections]
                for old, new in zip(before.sections[:names.index(b".rsrc")], after.sections):
                    self.assertEqual(new.get_data(), old.get_data(), new.Name)

                tree = resources(after)
                self.assertEqual(sorted(tree), [RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST])
                manifest = [(n, l, d.replace(b'level="asInvoker"', b'level="requireAdministrator"') if elevate else d)
                            for n, l, d in resources(before)[RT_MANIFEST]]
                self.assertNotEqual(manifest == resources(before)[RT_MANIFEST], bool(elevate))
                self.assertEqual(tree[RT_MANIFEST], manifest, "the manifest is kept, but for the level asked")
                language = resources(before)[RT_GROUP_ICON][0][1]
                images = icon_images(ico)
                self.assertEqual(tree[RT_ICON], [(i + 1, language, data) for i, (_, data) in enumerate(images)])
                group = struct.pack("<HHH", 0, 1, len(images)) + b"".join(
                    entry + struct.pack("<H", i + 1) for i, (entry, _) in enumerate(images))
                self.assertEqual(tree[RT_GROUP_ICON], [(1, language, group)])
                self.assertEqual([(n, l) for n, l, _ in tree[RT_VERSION]], [(1, 0)])

                tables = {}
                translation = None
                for info in after.FileInfo[0]:
                    if info.Key == b"StringFileInfo":
                        for table in info.StringTable:
                            tables[table.LangID] = {k.decode(): v.decode("utf-8") for k, v in table.entries.items()}
                    elif info.Key == b"VarFileInfo":
                        translation = info.Var[0].entry
                self.assertEqual(tables, {b"000004b0": EXPECTED_STRINGS})
                self.assertEqual(translation, {b"Translation": "0x0000 0x04b0"})
                fixed = after.VS_FIXEDFILEINFO[0]
                self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                                  fixed.ProductVersionLS), (0x10002, 0x30000, 0x10002, 0x30000))

                # wrestool puts the icon group and its images back together
                # into the icon file they came from.  (It writes as many
                # bytes again as the group record has after the last image,
                # from the unbranded launcher too: those are left out.)
                extracted = os.path.join(self.dir, "extracted.ico")
                subprocess.run(["wrestool", "-x", "--type=14", "-o", extracted, out], check=True, timeout=60)
                self.assertEqual(len(read(extracted)), len(ico) + len(group))
                self.assertEqual(read(extracted)[:len(ico)], ico)

    def test_refusals_leave_the_folder_as_it_was(self):
        exe = os.path.join(self.dir, "tarnwick.exe")
        shutil.copyfile(X64, exe)
        launcher = read(X64)
        security = pefile.PE(data=launcher).OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY].get_file_offset()
        signed = bytearray(launcher)
        signed[security:security + 8] = struct.pack("<II", len(launcher), 8)
        inputs = {"text.exe": b"This is a text file.\n", "truncated.exe": launcher[:len(launcher) // 2],
                  "signed.exe": bytes(signed) + b"\0" * 8, "text.ico": read(os.path.join(SOURCE_ROOT, "README.md")),
                  "app.ico": read(ICON)}
        for name, data in inputs.items():
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(data)
        os.mkdir(os.path.join(self.dir, "folder.exe"))
        with open(os.path.join(self.dir, "huge.exe"), "wb") as f:
            f.truncate(65 * 1024 * 1024)   # sparse: past the limit without filling the disk
        with open(os.path.join(self.dir, "large.exe"), "wb") as f:
            f.truncate(40 * 1024 * 1024)

        def p(name):
            return os.path.join(self.dir, name)
        cases = [
            ("a text file", ["--icon", p("app.ico"), p("text.exe"), p("out.exe")], "no MZ header"),
            ("a truncated executable", ["--icon", p("app.ico"), p("truncated.exe"), p("out.exe")], "truncated"),
            ("a signed executable", ["--icon", p("app.ico"), p("signed.exe"), p("out.exe")],
             "would break the signature"),
            ("a folder", ["--icon", p("app.ico"), p("folder.exe"), p("out.exe")], "it is not a file"),
            ("a file past the limit", ["--icon", p("app.ico"), p("huge.exe"), p("out.exe")],
             "it is larger than 64 MiB"),
            ("a text file as icon", ["--icon", p("text.ico"), exe, p("out.exe")], "not an icon file"),
            ("the input as output", ["--icon", p("app.ico"), exe, os.path.join(self.dir, ".", "tarnwick.exe")],
             "is the input itself"),
            ("an output folder that does not exist", ["--icon", p("app.ico"), exe, p("missing/out.exe")],
             "cannot write"),
            ("a bad version", ["--icon", p("app.ico"), "--version", "1.2.65536", exe, p("out.exe")],
             "is not one to four numbers"),
            ("a file size limit below the output's size", ["--icon", p("app.ico"), exe, p("out.exe")],
             "cannot write", [(resource.RLIMIT_FSIZE, 64 * 1024)]),
        ]
        if not sanitized(TOOL):
            cases.append(("too little memory for a 40 MiB input", ["--icon", p("app.ico"), p("large.exe"), p("out.exe")],
                          "not enough memory", [(resource.RLIMIT_AS, 24 * 1024 * 1024)]))
        cases.append(("the icon as output", ["--icon", p("app.ico"), exe, os.path.join(self.dir, ".", "app.ico")],
                      "is the icon file itself"))
        with open(p("out.exe"), "wb") as f:
            f.write(b"an older output")
        listing = sorted(os.listdir(self.dir))
        files = [name for name in listing if os.path.isfile(p(name))]
        contents = {name: read(p(name)) for name in files}
        for what, args, reason, *limits in cases:
            with self.subTest(what):
                r = brand(*args, limits=limits[0] if limits else ())
                self.assertEqual(r.returncode, 2, r)
                message = r.stderr.decode("utf-8")
                self.assertTrue(message.startswith("tarnwick-brand: "), message)
                self.assertIn(reason, message)
                self.assertIn("nothing was written", message)
                self.assertEqual(r.stdout, b"")
                self.assertEqual(sorted(os.listdir(self.dir)), listing)
                self.assertEqual({name: read(p(name)) for name in files}, contents)

    def test_an_existing_output_is_replaced(self):
        out = os.path.join(self.dir, "App.exe")
        with open(out, "wb") as f:
            f.write(b"an older output")
        r = brand("--icon", ICON, X64, out)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(sorted(os.listdir(self.dir)), ["App.exe"])
        self.assertEqual(resources(pefile.PE(out))[RT_ICON][0][2], icon_images(read(ICON))[0][1])

    def test_a_tool_ended_while_writing_leaves_no_temporary_file(self):
        # A 16 MiB icon makes the write long enough to be caught: the tool is
        # stopped as soon as its temporary file appears, sent SIGTERM, and
        # let go on.  A run that finishes first does not count.
        image = b"\x89PNG\r\n\x1a\n" + bytes.fromhex("0000000d49484452000000100000001008060000001ff3ff61")
        image += b"\0" * (16 * 1024 * 1024 - 22 - len(image))
        icon = os.path.join(self.dir, "big.ico")
        with open(icon, "wb") as f:
            f.write(struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 32, len(image), 22) + image)
        out_dir = os.path.join(self.dir, "out")
        caught = 0
        for attempt in range(10):
            os.mkdir(out_dir)
            tool = subprocess.Popen([TOOL, "--icon", icon, X64, os.path.join(out_dir, "App.exe")],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while tool.poll() is None and not os.listdir(out_dir):
                pass
            if tool.poll() is None:
                tool.send_signal(signal.SIGSTOP)
                if os.listdir(out_dir) != ["App.exe"]:
                    tool.send_signal(signal.SIGTERM)
                    caught += 1
                tool.send_signal(signal.SIGCONT)
            code = tool.wait(timeout=60)
            remaining = os.listdir(out_dir)
            self.assertIn((code, remaining), [(0, ["App.exe"]), (-signal.SIGTERM, [])], attempt)
            shutil.rmtree(out_dir)
            if caught >= 2:
                break
        self.assertGreaterEqual(caught, 2, "the tool was never caught while writing")

    def test_long_names_mode_bits_and_values_that_look_like_options(self):
        exe = os.path.join(self.dir, "tarnwick.exe")
        shutil.copyfile(X64, exe)
        os.chmod(exe, 0o750)
        kept = os.path.join(self.dir, "Kept.exe")
        with open(kept, "wb") as f:
            f.write(b"an older output")
        os.chmod(kept, 0o751)
        new = os.path.join(self.dir, "A" * 248 + ".exe")   # 252 characters
        mask = os.umask(0)
        os.umask(mask)
        for out, mode in ((kept, 0o751), (new, 0o750 & ~mask)):
            with self.subTest(out=os.path.basename(out)):
                r = brand("--icon", ICON, "--name", "-h", exe, out)
                self.assertEqual((r.returncode, r.stdout, r.stderr), (0, b"", b""))
                self.assertEqual(os.stat(out).st_mode & 0o7777, mode)
                strings = {k.decode(): v.decode() for info in pefile.PE(out).FileInfo[0] if info.Key == b"StringFileInfo"
                           for table in info.StringTable for k, v in table.entries.items()}
                self.assertEqual(strings["ProductName"], "-h")
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(["tarnwick.exe", "Kept.exe", os.path.basename(new)]))

    def test_help_is_what_the_readme_says(self):
        r = brand("--help")
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        help_text = r.stdout.decode("utf-8")
        self.assertIn("Usage: tarnwick-brand", help_text)
        self.assertIn(help_text, read(os.path.join(SOURCE_ROOT, "README.md")).decode("utf-8"))


def main():
    global pefile
    problems = []
    for path, what in ((TOOL, "the tool (TARNWICK_BRAND)"), (X64, "the Windows build's tarnwick.exe"),
                       (PE32, "the 32-bit launcher (TARNWICK_BRAND_PE32)"), (ICON, "the test icon (TARNWICK_BRAND_ICON)"),
                       (X64_CONSOLE, "the Windows build's tarnwick-console.exe"),
                       (PE32_CONSOLE, "the 32-bit tarnwick-console.exe")):
        if not path or not os.path.isfile(path):
            problems.append("%s is missing: %r; build the windows preset, then the native one" % (what, path))
    try:
        import pefile as module
        pefile = module
    except ImportError:
        problems.append("the Python module pefile is missing (Debian: python3-pefile; run with /usr/bin/python3)")
    if not shutil.which("wrestool"):
        problems.append("wrestool is missing (Debian: icoutils)")
    if problems:
        skip = bool(os.environ.get("TARNWICK_ALLOW_SKIP"))
        for problem in problems:
            print(("SKIPPED: " if skip else "FAILED: ") + problem, file=sys.stderr)
        return SKIP_EXIT_CODE if skip else 1
    result = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

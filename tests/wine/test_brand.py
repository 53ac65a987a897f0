#!/usr/bin/python3
"""tarnwick.exe branded by tarnwick-brand, under Wine.

A branded copy named Demo.exe starts the child of the worked example exactly
as the unbranded copy does.  The Windows build of the tool writes the same
bytes as the native one, with a file name and texts outside ASCII, and
refuses a text file, the malformed executables and icon files of the fuzz
seeds and the icon as output with the native one's messages.  The branded
copy, signed with osslsigncode and a throwaway certificate, verifies, still
starts, and is not branded again.

(Wine loads a program at its preferred address, and fails to start one it
would have to move, so the base relocations the tool moves are not applied
here; the brand tests check them byte for byte and through pefile.)

Needs the native tool (TARNWICK_BRAND) besides the Windows build.
"""
import os
import shutil
import struct
import subprocess
import sys

import harness as h
from harness import HOME_PLAIN, WINDOWS_7, WINDOWS_XP, launch_output

sys.path.insert(0, os.path.join(h.SOURCE_ROOT, "tests", "brand"))
import make_test_icon  # noqa: E402

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
CONFIG = ("mainclass com.acme.Main", "addjars lib", "vmparam -Xmx256m", "argument hello")
EXPECTED = {
    WINDOWS_XP: JAVAW + " -Xmx256m -classpath lib/* com.acme.Main hello ",
    WINDOWS_7: '"%s" -Xmx256m -classpath lib/* com.acme.Main "hello" ' % JAVAW,
}
TEXTS = ["--name", "Demo", "--version", "2.0.1", "--company", "Acme M\u00fcller GmbH",
         "--copyright", "\u00a9 2026 Acme"]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def native_tool():
    tool = os.environ.get("TARNWICK_BRAND", "")
    if not os.path.isfile(tool):
        raise AssertionError("the native tarnwick-brand is missing (TARNWICK_BRAND=%r): "
                             "build the native preset" % tool)
    return tool


def normalised(result, scenario):
    """What a run did, with the scenario's own folder named alike."""
    def same(value):
        return value.replace(scenario.win_dir.encode(), b"<scenario>")
    return (result.exit_code, result.boxes, [(same(c.cmdline), [same(a) for a in c.argv], same(c.cwd))
                                             for c in result.children],
            result.stdout, result.stderr, {k: same(v) for k, v in result.files.items()})


class BrandedLauncher(h.WineTestCase):

    @classmethod
    def setUpClass(cls):
        cls.tool = native_tool()
        cls.work = os.path.join(h.session().tw, "brand")
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)
        cls.icon = os.path.join(cls.work, "app.ico")
        with open(cls.icon, "wb") as f:
            f.write(make_test_icon.build())
        cls.branded = os.path.join(cls.work, "Demo.exe")
        subprocess.run([cls.tool, "--icon", cls.icon] + TEXTS + [h.session().launcher, cls.branded],
                       check=True, timeout=60)

    def test_branded_copy_starts_the_child_as_the_unbranded_one(self):
        variants = {"unbranded": read(h.session().launcher), "branded": read(self.branded)}
        self.assertNotEqual(variants["branded"], variants["unbranded"])
        for windows, command_line in EXPECTED.items():
            seen = {}
            for name, exe in variants.items():
                with self.subTest(windows=windows, exe=name):
                    sc = self.scenario("%s.%s" % (windows, name), windows=windows)
                    with open(sc.path("app", "Demo.exe"), "wb") as f:
                        f.write(exe)
                    sc.config(*CONFIG)
                    r = sc.run(["-o"])
                    self.assertEqual(r.exit_code, 0, r)
                    self.assertSingleLaunch(r, command_line, sc.app_dir)
                    self.assertEqual(r.files, {r"app\tarnwick.out": launch_output(command_line)})
                    seen[name] = normalised(r, sc)
            self.assertEqual(seen["branded"], seen["unbranded"])

    def run_windows_tool(self, args):
        """Runs the Windows build of the tool under Wine in the work folder:
        (exit code, standard output, standard error)."""
        s = h.session()
        tool = os.path.join(self.work, "tarnwick-brand.exe")
        shutil.copyfile(os.path.join(os.path.dirname(s.launcher), "tools", "brand", "tarnwick-brand.exe"), tool)
        env = dict(s.env, LC_ALL="C.UTF-8")
        out, err = os.path.join(self.work, "stdout"), os.path.join(self.work, "stderr")
        with open(out, "wb") as o, open(err, "wb") as e:
            code = subprocess.run(["wine", h.WIN_TW + r"\brand\tarnwick-brand.exe"] + args, env=env,
                                  cwd=self.work, stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                  timeout=120).returncode
        return code, read(out), read(err)

    def test_windows_build_of_the_tool_writes_what_the_native_one_writes(self):
        # A console program (subsystem 3), so that a command prompt waits for
        # it and shows its messages; it runs here without any MinGW DLL.
        tool = read(os.path.join(os.path.dirname(h.session().launcher), "tools", "brand", "tarnwick-brand.exe"))
        optional = struct.unpack_from("<I", tool, 0x3C)[0] + 24
        self.assertEqual(struct.unpack_from("<H", tool, optional + 68)[0], IMAGE_SUBSYSTEM_WINDOWS_CUI)
        shutil.copyfile(h.session().launcher, os.path.join(self.work, "tarnwick.exe"))
        name = "M\u00ff App \u00e9t\u00e9.exe"
        code, out, err = self.run_windows_tool(["--icon", "app.ico"] + TEXTS + ["tarnwick.exe", name])
        self.assertEqual((code, out, err), (0, b"", b""))
        self.assertEqual(read(os.path.join(self.work, name)), read(self.branded))

        with open(os.path.join(self.work, "notes.txt"), "wb") as f:
            f.write(b"not an executable\r\n")
        before = sorted(os.listdir(self.work))
        code, out, err = self.run_windows_tool(["--icon", "app.ico", "notes.txt", "out.exe"])
        self.assertEqual(code, 2)
        self.assertEqual(err, b"tarnwick-brand: refused notes.txt: it is not a Windows executable "
                              b"(no MZ header); nothing was written\r\n")
        self.assertEqual(sorted(os.listdir(self.work)), before)

    def test_windows_build_of_the_tool_refuses_what_the_native_one_refuses(self):
        # The reproducers kept as fuzz seeds: executables (items 1-5) and
        # icon files (item 6) the tool once took.
        corpus = os.path.join(h.SOURCE_ROOT, "fuzz", "corpus")
        shutil.copyfile(h.session().launcher, os.path.join(self.work, "tarnwick.exe"))
        rows = []
        for kind, args in (("fuzz_brand", lambda f: ["--icon", "app.ico", f, "out.exe"]),
                           ("fuzz_icon_file", lambda f: ["--icon", f, "tarnwick.exe", "out.exe"])):
            for name in sorted(os.listdir(os.path.join(corpus, kind))):
                if name.startswith("item"):
                    shutil.copyfile(os.path.join(corpus, kind, name), os.path.join(self.work, name))
                    rows.append(args(name))
        rows.append(["--icon", "app.ico", "tarnwick.exe", "app.ico"])
        self.assertGreaterEqual(len(rows), 9)
        own = {"stdout", "stderr", "tarnwick-brand.exe"}
        before = sorted(set(os.listdir(self.work)) - own)
        for args in rows:
            with self.subTest(args=args):
                native = subprocess.run([self.tool] + args, cwd=self.work, capture_output=True, timeout=60)
                code, out, err = self.run_windows_tool(args)
                self.assertEqual((native.returncode, code, out), (2, 2, b""))
                self.assertIn(b"nothing was written", native.stderr)
                self.assertEqual(err.replace(b"\r\n", b"\n"), native.stderr)
                self.assertEqual(sorted(set(os.listdir(self.work)) - own), before)

    def test_signed_copy_verifies_starts_and_is_not_branded_again(self):
        # Signed as the docs show (osslsigncode, here with a throwaway
        # self-signed certificate made by openssl): the signature verifies,
        # the signed copy starts the child as before, and tarnwick-brand
        # refuses it, since branding would break the signature.
        for tool in ("openssl", "osslsigncode"):
            self.assertTrue(shutil.which(tool), "%s is missing (Debian: %s)" % (tool, tool))
        key, cert = os.path.join(self.work, "key.pem"), os.path.join(self.work, "cert.pem")
        signed = os.path.join(self.work, "Demo-signed.exe")
        for step in (["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                      "-subj", "/CN=tarnwick test signing", "-addext", "extendedKeyUsage=codeSigning",
                      "-keyout", key, "-out", cert],
                     ["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Demo", "-h", "sha256",
                      "-in", self.branded, "-out", signed]):
            done = subprocess.run(step, capture_output=True, timeout=120)
            self.assertEqual(done.returncode, 0, done)
        verified = subprocess.run(["osslsigncode", "verify", "-in", signed, "-CAfile", cert],
                                  capture_output=True, timeout=120)
        self.assertEqual(verified.returncode, 0, verified)
        self.assertIn(b"Signature verification: ok", verified.stdout)

        sc = self.scenario(windows=WINDOWS_7, launcher=signed)
        sc.config(*CONFIG)
        r = sc.run([])
        self.assertEqual((r.exit_code, r.boxes), (0, []), r)
        self.assertSingleLaunch(r, EXPECTED[WINDOWS_7], sc.app_dir)

        refused = subprocess.run([self.tool, "--icon", self.icon, signed,
                                  os.path.join(self.work, "again.exe")], capture_output=True, timeout=60)
        self.assertEqual(refused.returncode, 2, refused)
        self.assertIn(b"it is signed", refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.work, "again.exe")))


if __name__ == "__main__":
    h.main()

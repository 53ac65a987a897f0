#!/usr/bin/python3
"""tarnwick.exe under Wine with text outside the ANSI code page (Windows-1252
in the test prefix): a launcher folder, an argument, configuration lines
saved as UTF-8, as Windows-1252 or as UTF-16, a message box text and a
runtime home.
Everything arrives as written, through the wide-character API: the test
child and the runner record and start through it, and the relay trace shows
the launcher's MessageBoxW strings as L"...".
"""
import os
import shutil

import harness as h
from harness import HOME_PLAIN, WINDOWS_XP, launch_output

JAVAW = HOME_PLAIN + r"\bin\javaw.exe"

# A folder in the prefix's own C:\users, written as its folder is named:
# Wine names the launcher's own file, which decides its folder, so.
USER = "张伟"
APP_DIR = "C:\\users\\%s\\App" % USER


def crlf_lines(*lines, encoding):
    return "".join(line + "\r\n" for line in lines).encode(encoding)


class UnicodeText(h.WineTestCase):

    def test_folder_argument_and_utf8_configuration(self):
        # Started by its full path with an argument outside the code page;
        # its UTF-8 configuration adds another and a class-path folder.  The
        # 32-bit build behaves the same (it finds the runtime in the 64-bit
        # registry view, the other one for it).
        for bits, launcher in (("64", None), ("32", h.x86_launcher())):
            with self.subTest(bits=bits):
                sc = self.scenario(bits, windows=WINDOWS_XP)
                user_dir = os.path.join(sc.session.drive_c, "users", USER)
                shutil.rmtree(user_dir, ignore_errors=True)
                app = os.path.join(user_dir, "App")
                os.makedirs(app)
                shutil.copyfile(launcher or sc.session.launcher, os.path.join(app, "Demo.exe"))
                with open(os.path.join(app, "Demo.config"), "wb") as f:
                    f.write(crlf_lines("mainclass com.acme.Main", "argument 日本",
                                       "addpath C:\\Users\\%s\\lib" % USER, encoding="utf-8"))
                r = sc.run(command=APP_DIR + "\\Demo.exe -o Ωmega", cwd=sc.start_dir)
                command_line = JAVAW + " -classpath C:\\Users\\%s\\lib com.acme.Main Ωmega 日本 " % USER
                self.assertEqual(r.exit_code, 0, r)
                self.assertEqual(r.boxes, [], r)
                self.assertSingleLaunch(r, command_line, APP_DIR)
                self.assertEqual(r.children[0].argv[1:],
                                 [a.encode() for a in ("-classpath", "C:\\Users\\%s\\lib" % USER,
                                                       "com.acme.Main", "Ωmega", "日本")], r)
                # Standard output and the output file are UTF-8.
                self.assertEqual(r.stdout, launch_output(command_line), r)
                with open(os.path.join(app, "tarnwick.out"), "rb") as f:
                    self.assertEqual(f.read(), launch_output(command_line))

    def test_each_file_decoded_on_its_own_and_the_box_text(self):
        # Demo.config is Windows-1252 (not valid UTF-8) and includes a UTF-8
        # file; the child exits at once with 3, so the "Error" box names the
        # main class with its letter outside ASCII.
        sc = self.scenario(windows=WINDOWS_XP, child_exits=[3])
        sc.write(r"app\Demo.config", crlf_lines("mainclass com.acme.Zoë", "include utf8.config",
                                                "argument Zoë", encoding="cp1252"))
        sc.write(r"app\utf8.config", crlf_lines("argument 日本", encoding="utf-8"))
        r = sc.run()
        command_line = JAVAW + ' com.acme.Zoë 日本 Zoë '
        self.assertEqual(r.exit_code, 0, r)
        self.assertSingleLaunch(r, command_line, sc.app_dir)
        box = h.error_box("com.acme.Zoë", JAVAW, 3)
        self.assertEqual(r.boxes, [box], r)
        self.assertEqual([c.args[1:3] for c in r.launcher_calls("user32.MessageBoxW")],
                         [[box.text, box.caption]], r)

    def test_utf16_configuration(self):
        # Saved as UTF-16 LE with its byte-order mark, as Windows PowerShell
        # 5.1's ">" and Out-File and Notepad's "Unicode" save it; it includes
        # a Windows-1252 file whose second line makes it ANSI.  With -d one
        # line per file says how it was read.
        for bits, launcher in (("64", None), ("32", h.x86_launcher())):
            with self.subTest(bits=bits):
                sc = self.scenario(bits, windows=WINDOWS_XP, launcher=launcher)
                config = sc.write(r"app\Demo.config", b"\xff\xfe" + crlf_lines(
                    "mainclass com.acme.Main", "argument 日本", "include ansi.config",
                    encoding="utf-16-le"))
                sc.write(r"app\ansi.config", crlf_lines("argument plain", "argument Zoë",
                                                        encoding="cp1252"))
                r = sc.run(["-d"])
                self.assertEqual(r.exit_code, 0, r)
                self.assertSingleLaunch(r, HOME_PLAIN + r"\bin\java.exe com.acme.Main "
                                        "日本 plain Zoë ", sc.app_dir)
                self.assertIn(("Reading config file %s as UTF-16 LE\r\n" % config).encode(), r.stdout)
                self.assertIn(b"Reading config file ansi.config as the ANSI code page "
                              b"(line 2 is not UTF-8)\r\n", r.stdout)

    def test_runtime_home_outside_the_code_page(self):
        # The registry's JavaHome names a folder with letters outside the
        # code page (and a blank, so the path is quoted).
        sc = self.scenario(windows=WINDOWS_XP)
        javaw = sc.add_program(r"Jävä 日本\bin\javaw.exe")
        sc.registry = h.jre_registry(home=sc.win_path("Jävä 日本"))
        r = sc.run()
        self.assertEqual(r.exit_code, 0, r)
        self.assertEqual(r.boxes, [], r)
        self.assertSingleLaunch(r, '"%s" ' % javaw, sc.app_dir)
        self.assertEqual(r.children[0].exe, javaw.encode(), r)


if __name__ == "__main__":
    h.main()

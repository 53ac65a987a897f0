"""Builds the release packages with CPack and checks what they hold.

Usage: package_check.py NATIVE_BUILD_DIR WINDOWS_BUILD_DIR WINDOWS_X86_BUILD_DIR
Each Windows zip (x64 and x86) must hold tarnwick.exe (the very exe that was
built), the example configuration, the README and the configuration
reference; the native tar.gz the same with the native launcher.
"""
import os
import shutil
import subprocess
import sys
import tarfile
import zipfile

DOCUMENTS = ["example.config", "README.md", "configuration.md"]
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def make_package(build_dir, suffix):
    packages = os.path.join(build_dir, "packages")
    shutil.rmtree(packages, ignore_errors=True)
    subprocess.run(["cpack"], cwd=build_dir, check=True, stdout=subprocess.DEVNULL)
    made = [n for n in os.listdir(packages) if n.endswith(suffix)]
    if len(made) != 1:
        sys.exit(f"expected one {suffix} package in {packages}, found {made}")
    return os.path.join(packages, made[0])


def members(names):
    """Maps each file's name inside the package's one top folder to its path."""
    tops = {n.split("/", 1)[0] for n in names}
    if len(tops) != 1:
        sys.exit(f"package is not one folder: {sorted(tops)}")
    return {n.split("/", 1)[1]: n for n in names if "/" in n and not n.endswith("/")}


def check(kind, files, read, launcher, built_launcher):
    expected = sorted(DOCUMENTS + [launcher])
    if sorted(files) != expected:
        sys.exit(f"{kind}: holds {sorted(files)}, expected {expected}")
    for document, source in [("README.md", "README.md"),
                             ("configuration.md", "docs/configuration.md"),
                             ("example.config", "examples/example.config")]:
        with open(os.path.join(SOURCE_ROOT, source), "rb") as f:
            if read(files[document]) != f.read():
                sys.exit(f"{kind}: {document} differs from {source}")
    data = read(files[launcher])
    if launcher.endswith(".exe"):
        with open(built_launcher, "rb") as f:
            if data != f.read():
                sys.exit(f"{kind}: {launcher} is not the exe that was built")
    elif not data.startswith(b"\x7fELF") and not data[:4] in (b"\xcf\xfa\xed\xfe", b"\xca\xfe\xba\xbe"):
        sys.exit(f"{kind}: {launcher} is no executable")
    print(f"{kind}: {', '.join(expected)} ({len(data)} bytes launcher)")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    native_dir, windows_dirs = sys.argv[1], sys.argv[2:4]
    for windows_dir, suffix in zip(windows_dirs, ("-windows-x64.zip", "-windows-x86.zip")):
        zip_path = make_package(windows_dir, suffix)
        with zipfile.ZipFile(zip_path) as z:
            check(os.path.basename(zip_path), members(z.namelist()), z.read, "tarnwick.exe",
                  os.path.join(windows_dir, "tarnwick.exe"))
    tgz_path = make_package(native_dir, ".tar.gz")
    with tarfile.open(tgz_path) as t:
        names = [m.name for m in t.getmembers() if m.isfile()]
        check(os.path.basename(tgz_path), members(names), lambda n: t.extractfile(n).read(),
              "tarnwick", None)
        mode = t.getmember(members(names)["tarnwick"]).mode
        if not mode & 0o100:
            sys.exit("the native launcher in the tar.gz is not executable")
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()

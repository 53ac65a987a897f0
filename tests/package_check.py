"""Builds the release packages with CPack and checks what they hold.

Usage: package_check.py NATIVE_BUILD_DIR WINDOWS_BUILD_DIR WINDOWS_X86_BUILD_DIR
Each Windows zip (x64 and x86) must hold tarnwick.exe and tarnwick-brand.exe
(the very executables that were built), the example configuration, the
README, the configuration reference and the guide to a faster start; the
native tar.gz the same with the native launcher and tool (stripped by CPack,
so checked to be executables).
"""
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

DOCUMENTS = ["example.config", "README.md", "configuration.md", "fast-start.md"]
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


def is_native_executable(data):
    return data.startswith(b"\x7fELF") or data[:4] in (b"\xcf\xfa\xed\xfe", b"\xca\xfe\xba\xbe")


def check(kind, files, read, programs):
    """programs: {name in the package: the built file it must equal, or None
    for a native program, which CPack strips}."""
    expected = sorted(DOCUMENTS + list(programs))
    if sorted(files) != expected:
        sys.exit(f"{kind}: holds {sorted(files)}, expected {expected}")
    for document, source in [("README.md", "README.md"),
                             ("configuration.md", "docs/configuration.md"),
                             ("fast-start.md", "docs/fast-start.md"),
                             ("example.config", "examples/example.config")]:
        with open(os.path.join(SOURCE_ROOT, source), "rb") as f:
            if read(files[document]) != f.read():
                sys.exit(f"{kind}: {document} differs from {source}")
    sizes = []
    for program, built in programs.items():
        data = read(files[program])
        if built is not None:
            with open(built, "rb") as f:
                if data != f.read():
                    sys.exit(f"{kind}: {program} is not the executable that was built ({built})")
        elif not is_native_executable(data):
            sys.exit(f"{kind}: {program} is no executable")
        sizes.append(f"{program} {len(data)} bytes")
    print(f"{kind}: {', '.join(expected)} ({', '.join(sizes)})")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    native_dir, windows_dirs = sys.argv[1], sys.argv[2:4]
    for windows_dir, suffix in zip(windows_dirs, ("-windows-x64.zip", "-windows-x86.zip")):
        zip_path = make_package(windows_dir, suffix)
        with zipfile.ZipFile(zip_path) as z:
            check(os.path.basename(zip_path), members(z.namelist()), z.read,
                  {"tarnwick.exe": os.path.join(windows_dir, "tarnwick.exe"),
                   "tarnwick-brand.exe": os.path.join(windows_dir, "tools", "brand",
                                                      "tarnwick-brand.exe")})
    tgz_path = make_package(native_dir, ".tar.gz")
    with tarfile.open(tgz_path) as t:
        names = [m.name for m in t.getmembers() if m.isfile()]
        files = members(names)
        check(os.path.basename(tgz_path), files, lambda n: t.extractfile(n).read(),
              {"tarnwick": None, "tarnwick-brand": None})
        for program in ("tarnwick", "tarnwick-brand"):
            if not t.getmember(files[program]).mode & 0o100:
                sys.exit(f"the native {program} in the tar.gz is not executable")
        # The packaged tool, stripped, still runs.
        with tempfile.TemporaryDirectory() as scratch:
            tool = os.path.join(scratch, "tarnwick-brand")
            with open(tool, "wb") as f:
                f.write(t.extractfile(files["tarnwick-brand"]).read())
            os.chmod(tool, 0o755)
            ran = subprocess.run([tool, "--help"], capture_output=True, timeout=60)
            if ran.returncode != 0 or not ran.stdout.startswith(b"Usage: tarnwick-brand"):
                sys.exit(f"the packaged tarnwick-brand --help failed: {ran}")
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()

"""Builds the release packages with CPack and checks what they hold, and that
a second build of the same source in another folder gives the same programs.

Usage: package_check.py NATIVE_BUILD_DIR WINDOWS_BUILD_DIR WINDOWS_X86_BUILD_DIR

Each Windows zip (x64 and x86) must hold tarnwick.exe, tarnwick-console.exe
and tarnwick-brand.exe (the very executables that were built), the example
configuration, the
README, every document of docs/ in a docs/ folder, and SHA256SUMS; the
native tar.gz the same with the native launcher and tool (stripped by CPack,
so checked to be executables).  In each:
  - SHA256SUMS names every other file once, with its right checksum;
  - every link of every document leads to a file of the package, and an
    anchor to a heading of it;
  - the README opens by saying how to use the package (not with the source
    tree's scripts/demo.sh), and is the source README after that.
Then the source is copied to another folder and built there with the same
presets: the launcher and the tool of every build must be byte-identical.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOCS = sorted(n for n in os.listdir(os.path.join(SOURCE_ROOT, "docs")) if n.endswith(".md"))
DOCUMENTS = ["example.config", "README.md", "SHA256SUMS"] + ["docs/" + n for n in DOCS]
BUILD_TIMEOUT_SECONDS = 1800

# [text](target) outside code; the target up to a blank or ")".
LINK = re.compile(r"(?<!!)\[[^\]]*\]\(([^)\s]+)\)")


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


def source_file(relative):
    with open(os.path.join(SOURCE_ROOT, relative), "rb") as f:
        return f.read()


def without_code(text):
    """The lines of a Markdown text outside its fenced code blocks."""
    lines, fenced = [], False
    for line in text.split("\n"):
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced:
            lines.append(line)
    return lines


def anchors(text):
    """The anchors of a Markdown text's headings, as GitHub makes them."""
    found = set()
    for line in without_code(text):
        heading = re.match(r"#+ (.*)", line)
        if heading:
            title = re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower())
            found.add(title.replace(" ", "-"))
    return found


def check_links(kind, files, read):
    """Every relative link of every document resolves inside the package."""
    documents = {name: read(path).decode("utf-8") for name, path in files.items()
                 if name.endswith(".md")}
    count = 0
    for name, text in documents.items():
        for line in without_code(text):
            for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
                if re.match(r"[a-z]+:", target):
                    continue
                count += 1
                path, _, anchor = target.partition("#")
                resolved = os.path.normpath(os.path.join(os.path.dirname(name), path)) if path else name
                if resolved not in files:
                    sys.exit(f"{kind}: {name} links to {target}, which the package does not hold")
                if anchor and anchor not in anchors(documents.get(resolved, "")):
                    sys.exit(f"{kind}: {name} links to {target}, a heading {resolved} does not have")
    return count


def check_sums(kind, files, read):
    listed = {}
    for line in read(files["SHA256SUMS"]).decode("utf-8").splitlines():
        digest, name = line.split("  ", 1)
        if name in listed:
            sys.exit(f"{kind}: SHA256SUMS names {name} twice")
        listed[name] = digest
    expected = sorted(set(files) - {"SHA256SUMS"})
    if sorted(listed) != expected:
        sys.exit(f"{kind}: SHA256SUMS names {sorted(listed)}, the package holds {expected}")
    for name, digest in listed.items():
        if hashlib.sha256(read(files[name])).hexdigest() != digest:
            sys.exit(f"{kind}: the checksum of {name} in SHA256SUMS is wrong")


def check_readme(kind, readme, launchers):
    """The package's README: opening lines for the package (naming each
    launcher), then the source README from its first paragraph after the
    commands block on."""
    source = source_file("README.md").decode("utf-8")
    opening = readme.split("\n\ntarnwick is ")[0]
    if "scripts/" in opening:
        sys.exit(f"{kind}: the README still opens with the source tree's scripts: {opening}")
    for needed in [f"`{launcher}`" for launcher in launchers] + ["`SHA256SUMS`", "`docs/`", "example.config"]:
        if needed not in opening:
            sys.exit(f"{kind}: the README's opening lines do not mention {needed}: {opening}")
    rest = "\n\ntarnwick is " + source.split("\n\ntarnwick is ", 1)[1]
    if not readme.endswith(rest) or not readme.startswith("# tarnwick\n"):
        sys.exit(f"{kind}: the README is not the source README after its opening lines")


def check(kind, files, read, programs):
    """programs: {name in the package: the built file it must equal, or None
    for a native program, which CPack strips}."""
    expected = sorted(DOCUMENTS + list(programs))
    if sorted(files) != expected:
        sys.exit(f"{kind}: holds {sorted(files)}, expected {expected}")
    for document in DOCUMENTS:
        source = {"example.config": "examples/example.config"}.get(document, document)
        if document not in ("README.md", "SHA256SUMS") and read(files[document]) != source_file(source):
            sys.exit(f"{kind}: {document} differs from {source}")
    launchers = [p for p in programs if "brand" not in p]
    check_readme(kind, read(files["README.md"]).decode("utf-8"), launchers)
    check_sums(kind, files, read)
    links = check_links(kind, files, read)
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
    print(f"{kind}: {len(files)} files, {links} links resolved, SHA256SUMS right ({', '.join(sizes)})")


def check_second_build(builds):
    """builds: {preset: build dir}.  The source, copied to a folder of
    another name and depth, built with the same presets, gives the same
    launcher and tool."""
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "another place", "tarnwick-copy")
        shutil.copytree(SOURCE_ROOT, copy, symlinks=True,
                        ignore=shutil.ignore_patterns(".git", "build", "__pycache__"))
        for preset, build_dir in builds.items():
            targets = ["tarnwick", "tarnwick-brand"] + (["tarnwick-console"] if preset.startswith("windows") else [])
            for step in (["cmake", "--preset", preset], ["cmake", "--build", "--preset", preset,
                                                         "-j2", "--target"] + targets):
                done = subprocess.run(step, cwd=copy, capture_output=True, timeout=BUILD_TIMEOUT_SECONDS)
                if done.returncode != 0:
                    sys.exit(f"the second build failed: {step}: {done.stdout[-2000:]} {done.stderr[-2000:]}")
            suffix = ".exe" if preset.startswith("windows") else ""
            programs = ["tarnwick" + suffix, os.path.join("tools", "brand", "tarnwick-brand" + suffix)]
            if suffix:
                programs.append("tarnwick-console.exe")
            for program in programs:
                first, second = os.path.join(build_dir, program), os.path.join(copy, "build", preset, program)
                with open(first, "rb") as a, open(second, "rb") as b:
                    if a.read() != b.read():
                        sys.exit(f"{program} of the {preset} build differs when built in another folder")
            print(f"{preset}: {', '.join(targets)} are the same bytes when built in another folder")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    native_dir, windows_dirs = sys.argv[1], sys.argv[2:4]
    for windows_dir, suffix in zip(windows_dirs, ("-windows-x64.zip", "-windows-x86.zip")):
        zip_path = make_package(windows_dir, suffix)
        with zipfile.ZipFile(zip_path) as z:
            check(os.path.basename(zip_path), members(z.namelist()), z.read,
                  {"tarnwick.exe": os.path.join(windows_dir, "tarnwick.exe"),
                   "tarnwick-console.exe": os.path.join(windows_dir, "tarnwick-console.exe"),
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
    check_second_build({"windows": windows_dirs[0], "windows-x86": windows_dirs[1], "native": native_dir})
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()

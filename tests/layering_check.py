#!/usr/bin/env python3
"""The product code's includes point only downward.

From the bottom: platform/ (the only code that touches the system), core/
(the settings and the text helpers), jre/ and config/ (the configuration
reads through the runtime discovery, never the other way), launcher/ (start-up,
command line, launch and the entry points).  tools/brand/ stands apart and
may use platform/ only.  Exits 1, naming each include that points elsewhere.
"""
import pathlib
import re
import sys

ALLOWED = {
    "platform": {"platform"},
    "core": {"core", "platform"},
    "jre": {"jre", "core", "platform"},
    "config": {"config", "jre", "core", "platform"},
    "launcher": {"launcher", "config", "jre", "core", "platform"},
    "tools/brand": {"tools/brand", "platform"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def folder_of(path):
    """The layer a file or an include path belongs to, or None."""
    text = str(path)
    for folder in sorted(ALLOWED, key=len, reverse=True):
        if text.startswith(folder + "/"):
            return folder
    return None


def product_sources(root):
    """(folder, path) of each C and C++ file of the product code under root,
    folder by folder from the bottom."""
    for folder in ALLOWED:
        for source in sorted((root / folder).glob("*")):
            if source.suffix in (".c", ".cpp", ".h"):
                yield folder, source


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    wrong = []
    for folder, source in product_sources(root):
        for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = folder_of(match.group(1))
            if target not in ALLOWED[folder]:
                wrong.append(f"{source.relative_to(root)}:{number}: {folder}/ includes {match.group(1)}")
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())

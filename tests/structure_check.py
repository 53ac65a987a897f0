#!/usr/bin/env python3
"""The product code keeps its shape.

Three rules over the product code (platform/, core/, jre/, config/,
launcher/, tools/brand/; never tests/ or fuzz/):
 - a platform file has at most 600 lines;
 - a function has at most 80 lines, from the first line of its signature to
   its closing brace (a function: a definition at the top level or in a
   namespace whose body is a brace block; the members of a struct or class,
   and the initialisers of tables, do not count);
 - the global configuration record `settings` is written only by config/,
   launcher/startup.cpp and core/settings.cpp: elsewhere no assignment to it
   or to one of its fields, no ++ or --, and no call of appendToList or
   resetSettings, which write it.
Exits 1, naming each offence as path:line: what.
"""
import pathlib
import re
import sys

from layering_check import product_sources

MAX_PLATFORM_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
SETTINGS_WRITERS = ("config/", "launcher/startup.cpp", "core/settings.cpp")

# `settings.field`, `settings.field[i]` or `settings` itself, then an
# assignment of any kind or ++/--; or ++/-- before a field.
SETTINGS_TARGET = r"(?<![\w.>])settings(?:\s*\.\s*\w+(?:\s*\[[^\]\n]*\])*)*"
SETTINGS_WRITE = re.compile(
    SETTINGS_TARGET + r"\s*(?:(?:[-+*/%&|^]|<<|>>)?=(?!=)|\+\+|--)"
    r"|(?:\+\+|--)\s*" + SETTINGS_TARGET)
SETTINGS_CALL = re.compile(r"(?<![\w.>:])(appendToList|resetSettings)\s*\(")
# What makes a name a declaration rather than a use: a type just before it
# on its line (a local `LauncherSettings &settings = ...`, the declaration
# `void resetSettings();`).
DECLARATION_BEFORE = re.compile(r"(?:\b(?!(?:return|else|do)\b)[A-Za-z_]\w*|[*&>])\s*$")

NAMESPACE_HEAD = re.compile(r'^(?:inline\s+)?namespace\b[\w\s:]*$|^extern\s+"\s*"$')
TYPE_HEAD = re.compile(r"^(?:typedef\s+)?(?:struct|class|union|enum)\b")


def blank_out(text):
    """text with comments, string and character literals and preprocessor
    lines turned to spaces (quotes and line breaks kept), so that braces and
    names are only those of the code."""
    out = []
    i = 0
    length = len(text)
    line_start = True
    while i < length:
        char = text[i]
        if line_start and char == "#":
            while i < length and text[i] != "\n":
                if text[i] == "\\" and i + 1 < length and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        if char == "\n":
            line_start = True
            out.append(char)
            i += 1
            continue
        if not char.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < length and text[i] != "\n":
                out.append(" ")
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = length if end < 0 else end + 2
            out.append("".join(c if c == "\n" else " " for c in text[i:end]))
            i = end
        elif char == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            opening = text.find("(", i + 2)
            delimiter = text[i + 2:opening]
            end = text.find(")" + delimiter + '"', opening)
            end = length if end < 0 else end + len(delimiter) + 2
            out.append('R"' + "".join(c if c == "\n" else " " for c in text[i + 2:end - 1]) + '"')
            i = end
        elif char == "'" and i > 0 and text[i - 1].isdigit() and text[i + 1:i + 2].isalnum():
            out.append(char)   # a digit separator, 1'000
            i += 1
        elif char in "\"'":
            j = i + 1
            while j < length and text[j] != char and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            closed = j < length and text[j] == char
            end = j + 1 if closed else min(j, length)
            out.append(char + " " * (end - i - 1 - closed) + (char if closed else ""))
            i = end
        else:
            out.append(char)
            i += 1
    return "".join(out)


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def without_template_prefix(head):
    """head without a leading template <...> clause."""
    if not head.startswith("template"):
        return head
    depth = 0
    for index, char in enumerate(head):
        if char == "<":
            depth += 1
        elif char == ">":
            depth -= 1
            if depth == 0:
                return head[index + 1:].lstrip()
    return head


def is_function_head(head):
    """Whether the text before a top-level "{" is the signature of a
    function: parentheses, no "=" outside them (but in an operator=), and,
    for a head that starts as a type's, parentheses at its end (a function
    returning a struct)."""
    head = without_template_prefix(head)
    if "(" not in head:
        return False
    depth = 0
    for index, char in enumerate(head):
        if char == "(":
            depth += 1
        elif char == ")":
            depth -= 1
        elif char == "=" and depth == 0 and not re.search(r"operator\s*\S?$", head[:index]):
            return False
    if TYPE_HEAD.match(head):
        return bool(re.search(r"\)[\s\w]*$", head))
    return True


def function_name(head):
    match = re.search(r"((?:[\w~]+\s*::\s*)*(?:operator\s*\S+|[\w~]+))\s*\(", head)
    return match.group(1) if match else "?"


def long_functions(code):
    """(line, name, lines) of each function of code (blanked) over the bound."""
    found = []
    scopes = []          # per open brace: "namespace", "function" or "other"
    head_start = 0       # where the text before the next top-level brace begins
    function_start = None
    for index, char in enumerate(code):
        at_top = all(kind == "namespace" for kind in scopes)
        if char == "{":
            if at_top:
                head = " ".join(code[head_start:index].split())
                if NAMESPACE_HEAD.match(head):
                    scopes.append("namespace")
                    head_start = index + 1
                elif is_function_head(head):
                    scopes.append("function")
                    offset = head_start + len(code[head_start:index]) - len(code[head_start:index].lstrip())
                    function_start = (line_of(code, offset), function_name(head))
                else:
                    scopes.append("other")
            else:
                scopes.append("other")
        elif char == "}":
            kind = scopes.pop() if scopes else "namespace"
            if kind == "function":
                first, name = function_start
                lines = line_of(code, index) - first + 1
                if lines > MAX_FUNCTION_LINES:
                    found.append((first, name, lines))
            if all(kind == "namespace" for kind in scopes):
                head_start = index + 1
        elif char == ";" and at_top:
            head_start = index + 1
    return found


def settings_writes(code):
    """(line, text) of each write of the settings record in code (blanked)."""
    found = []
    writes = [(match, " ".join(match.group(0).split())) for match in SETTINGS_WRITE.finditer(code)]
    writes += [(match, match.group(1) + "()") for match in SETTINGS_CALL.finditer(code)]
    for match, what in writes:
        line_start = code.rfind("\n", 0, match.start()) + 1
        if not DECLARATION_BEFORE.search(code[line_start:match.start()]):
            found.append((line_of(code, match.start()), what))
    return sorted(found)


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    wrong = []
    for folder, source in product_sources(root):
        path = source.relative_to(root).as_posix()
        text = source.read_text(encoding="utf-8")
        code = blank_out(text)
        line_count = len(text.splitlines())
        if folder == "platform" and line_count > MAX_PLATFORM_FILE_LINES:
            wrong.append(f"{path}:1: {line_count} lines, more than the {MAX_PLATFORM_FILE_LINES} of a platform file")
        if source.suffix == ".cpp":
            for line, name, lines in long_functions(code):
                wrong.append(f"{path}:{line}: function {name} has {lines} lines, more than {MAX_FUNCTION_LINES}")
        if not path.startswith(SETTINGS_WRITERS):
            for line, what in settings_writes(code):
                wrong.append(f"{path}:{line}: writes the settings record ({what}) outside "
                             "config/, launcher/startup.cpp and core/settings.cpp")
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())

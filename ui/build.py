#!/usr/bin/env python3
"""Builds the interface movie: one HTML file with every style, string table
and script of ui/src inlined, as the desktop host loads it (inline scripts and
styles only, nothing fetched).

Usage: python3 ui/build.py OUTPUT

The template ui/src/movie.html names its parts with marker lines:
    <!-- @style css/base.css -->     the file inlined in a <style> element
    <!-- @script js/core.js -->      the file inlined in a <script> element
    <!-- @strings -->                every ui/src/lang/*.json as one table
"{{version}}" in the template becomes the program's version. Every language
table must hold exactly the keys of the English one."""
import json
import os
import re
import sys
import tempfile

UI = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(UI, "src")
MARKER = re.compile(r"^(\s*)<!-- @(style|script|strings)\s*(\S*)\s*-->\s*$")


class BuildError(Exception):
    pass


def read(relative):
    with open(os.path.join(SOURCE, relative), encoding="utf-8") as f:
        return f.read()


def program_version():
    """The version in the project's CMakeLists.txt, or "dev"."""
    try:
        with open(os.path.join(UI, "..", "CMakeLists.txt"), encoding="utf-8") as f:
            found = re.search(r"project\(\s*lumireel\s+VERSION\s+([0-9.]+)", f.read())
    except OSError:
        found = None
    return found.group(1) if found else "dev"


def script_block(relative):
    text = read(relative)
    # An inline script ends at the first "</script"; sources must not hold one.
    if re.search(r"</script", text, re.IGNORECASE):
        raise BuildError(f"{relative}: holds '</script', which would end the inline script")
    return f"<script>\n// ---- {relative}\n{text.rstrip()}\n</script>"


def style_block(relative):
    text = read(relative)
    if re.search(r"</style", text, re.IGNORECASE):
        raise BuildError(f"{relative}: holds '</style'")
    return f"<style>\n/* ---- {relative} */\n{text.rstrip()}\n</style>"


def string_tables():
    folder = os.path.join(SOURCE, "lang")
    tables = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith(".json"):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                tables[name[:-5]] = json.load(f)
    if "en" not in tables:
        raise BuildError("ui/src/lang/en.json is missing")
    english = set(tables["en"])
    for code, table in tables.items():
        missing, extra = english - set(table), set(table) - english
        if missing or extra:
            raise BuildError(f"lang/{code}.json: missing {sorted(missing)}, extra {sorted(extra)}")
        for key, value in table.items():
            if not isinstance(value, str):
                raise BuildError(f"lang/{code}.json: {key} is not a text")
    # "<" written as \u003c: no table text can end the script element.
    data = json.dumps(tables, ensure_ascii=False, sort_keys=True).replace("<", "\\u003c")
    return f"<script>\nwindow.LUMIREEL_STRINGS = {data};\n</script>"


def build():
    out = []
    for line in read("movie.html").splitlines():
        marker = MARKER.match(line)
        if not marker:
            out.append(line.replace("{{version}}", program_version()))
            continue
        kind, relative = marker.group(2), marker.group(3)
        if kind == "strings":
            out.append(string_tables())
        elif kind == "style":
            out.append(style_block(relative))
        else:
            out.append(script_block(relative))
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    output = os.path.abspath(sys.argv[1])
    try:
        text = build()
    except (BuildError, OSError, ValueError) as error:
        sys.exit(f"ui/build.py: {error}")
    folder = os.path.dirname(output)
    os.makedirs(folder, exist_ok=True)
    # Written beside the target and renamed, so a reader never sees half a movie.
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".movie-")
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(temporary, 0o644)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()

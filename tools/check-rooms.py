#!/usr/bin/env python3
"""Fails when the include graph breaks the layers of the tree.

- A room of Apps/oxrender includes only its own headers and those of rooms below it; two rooms
  that include each other both ways are named as such. The rooms and their order are those of
  OX_RENDER_ROOMS in Apps/oxrender/CMakeLists.txt. A room's tests/, fuzz/ and bench/ may include
  any room: they drive the whole renderer.
- Libs/ never includes a header of Apps/ nor names Apps/ in its CMake files.
- Outside Apps/oxrender, no CMake file names a room's folder: the rest of Apps/ sees the renderer
  only through its public headers (OX_RENDER_PUBLIC_HEADERS).

Includes are written by basename, so a header is found by its name wherever it lives.
Usage: check-rooms.py [source root]   (default: the checkout this script is in)
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
ROOMS = re.compile(r"^\s*set\(\s*OX_RENDER_ROOMS\s+([^)]*)\)", re.MULTILINE)
SOURCE_EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".cxx", ".inl")
DRIVERS = {"tests", "fuzz", "bench"}


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def includes(path):
    """(line number, included name) of every #include of a file."""
    for number, line in enumerate(read_text(path).splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def sources_under(folder):
    for directory, subfolders, names in os.walk(folder):
        subfolders[:] = sorted(d for d in subfolders if not d.startswith("."))
        for name in sorted(names):
            if name.endswith(SOURCE_EXTENSIONS):
                yield os.path.join(directory, name)


def cmake_files(folder):
    for directory, subfolders, names in os.walk(folder):
        subfolders[:] = sorted(d for d in subfolders if not d.startswith("."))
        for name in sorted(names):
            if name == "CMakeLists.txt" or name.endswith(".cmake"):
                yield os.path.join(directory, name)


def room_order(render):
    cmake = os.path.join(render, "CMakeLists.txt")
    match = ROOMS.search(read_text(cmake))
    if not match:
        raise SystemExit(f"{cmake}: no set(OX_RENDER_ROOMS ...) naming the rooms, lowest first")
    return match.group(1).split()


def room_sources(render, room):
    """The product sources of a room: everything under it but its test, fuzz and bench folders."""
    base = os.path.join(render, room)
    for path in sources_under(base):
        parts = os.path.relpath(path, base).split(os.sep)
        if not DRIVERS.intersection(parts[:-1]):
            yield path


def check_rooms(root):
    render = os.path.join(root, "Apps", "oxrender")
    rooms = room_order(render)
    problems = []
    home = {}  # header name -> room
    for room in rooms:
        for path in room_sources(render, room):
            name = os.path.basename(path)
            if not name.endswith(".h"):
                continue
            if home.setdefault(name, room) != room:
                problems.append(f"{os.path.relpath(path, root)}: header {name} is also in room {home[name]}")

    edges = {}  # (from room, to room) -> first place it happens
    for level, room in enumerate(rooms):
        for path in room_sources(render, room):
            for number, included in includes(path):
                target = home.get(os.path.basename(included))
                if target is None or target == room:
                    continue
                where = f"{os.path.relpath(path, root)}:{number}"
                edges.setdefault((room, target), where)
                if rooms.index(target) > level:
                    problems.append(f"{where}: room {room} includes {included} of room {target}, which is above it")
    for (lower, upper), where in sorted(edges.items()):
        if rooms.index(lower) < rooms.index(upper) and (upper, lower) in edges:
            problems.append(f"rooms {lower} and {upper} include each other: {where} and {edges[(upper, lower)]}")
    return problems


def check_libs(root):
    libs = os.path.join(root, "Libs")
    apps = os.path.join(root, "Apps")
    app_headers = {os.path.basename(p) for p in sources_under(apps) if p.endswith((".h", ".hpp"))}
    lib_headers = {os.path.basename(p) for p in sources_under(libs) if p.endswith((".h", ".hpp"))}
    problems = []
    for path in sources_under(libs):
        for number, included in includes(path):
            name = os.path.basename(included)
            if "Apps/" in included or (name in app_headers and name not in lib_headers):
                problems.append(f"{os.path.relpath(path, root)}:{number}: Libs/ includes {included} of Apps/")
    for path in cmake_files(libs):
        for number, line in enumerate(read_text(path).splitlines(), 1):
            if "Apps/" in line.split("#", 1)[0]:
                problems.append(f"{os.path.relpath(path, root)}:{number}: Libs/ names a path in Apps/")
    return problems


def check_public(root):
    apps = os.path.join(root, "Apps")
    render = os.path.join(apps, "oxrender")
    room_path = re.compile(r"Apps/oxrender/(" + "|".join(map(re.escape, room_order(render))) + r")\b")
    problems = []
    for path in cmake_files(apps):
        if os.path.commonpath([path, render]) == render:
            continue
        for number, line in enumerate(read_text(path).splitlines(), 1):
            match = room_path.search(line.split("#", 1)[0])
            if match:
                problems.append(f"{os.path.relpath(path, root)}:{number}: names the room {match.group(1)} of "
                                "Apps/oxrender; outside it only the public headers (OX_RENDER_PUBLIC_HEADERS) are seen")
    return problems


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = check_rooms(root) + check_libs(root) + check_public(root)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"{len(problems)} include(s) break the layers of {root}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Checks that every file under src/ includes only headers of its own room and of the
rooms below it.

usage: check_includes.py ROOMS_FILE SRC_DIR

ROOMS_FILE has one line per room, "name=below1,below2", written by CMake from the
libraries each room links. A room may include itself and, transitively, every room it
links. Exits 1 naming each include that reaches up or sideways.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def read_rooms(path):
    rooms = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            name, _, below = line.partition("=")
            rooms[name] = {b for b in below.split(",") if b}
    return rooms


def reachable(rooms, name):
    seen, todo = {name}, [name]
    while todo:
        for below in rooms.get(todo.pop(), ()):
            if below not in seen:
                seen.add(below)
                todo.append(below)
    return seen


def main():
    rooms_file, src = sys.argv[1], sys.argv[2]
    rooms = read_rooms(rooms_file)
    faults = []
    for room in sorted(rooms):
        allowed = reachable(rooms, room)
        top = os.path.join(src, room)
        for root, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for m in INCLUDE.finditer(text):
                    target = m.group(1)
                    if target in rooms and target not in allowed:
                        line = text.count("\n", 0, m.start()) + 1
                        faults.append(f"{os.path.relpath(path, os.path.dirname(src))}:{line}: includes {target}/, "
                                      f"but {room} may include only {', '.join(sorted(allowed))}")
    if faults:
        print("\n".join(faults))
        print("A room includes only the rooms its library links (cmake/KvarnHelpers.cmake, kvarn_module DEPS).")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

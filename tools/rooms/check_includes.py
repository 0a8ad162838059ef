#!/usr/bin/env python3
"""Checks that every file under src/ includes only headers of its own room and of the
rooms below it, and that the files of a layered room (ACYCLIC_ROOMS) include one
another without a circle.

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


# Rooms whose files stack in layers: a file never reaches, through the files it
# includes, back to itself (the transport: exchange, connect, worker commands, worker,
# issue, local commands).
ACYCLIC_ROOMS = ("transport",)


def file_cycle(top, room):
    """One circle of includes between the files of a room (["a", "b", "a"]), or None."""
    own = re.compile(r'^\s*#\s*include\s+"' + room + r'/([a-z_0-9]+)\.h"', re.M)
    edges = {}
    for name in sorted(os.listdir(top)):
        stem, ext = os.path.splitext(name)
        if ext not in (".h", ".cpp"):
            continue
        with open(os.path.join(top, name), encoding="utf-8", errors="replace") as f:
            targets = {m.group(1) for m in own.finditer(f.read())} - {stem}
        edges.setdefault(stem, set()).update(targets)
    state = {}

    def visit(node, path):
        state[node] = 1
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt] if nxt in path else path + [nxt]
            if nxt not in state:
                found = visit(nxt, path + [nxt])
                if found:
                    return found
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


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
    for room in ACYCLIC_ROOMS:
        top = os.path.join(src, room)
        circle = file_cycle(top, room) if os.path.isdir(top) else None
        if circle:
            faults.append(f"src/{room}: files include one another in a circle: {' -> '.join(circle)}")
    if faults:
        print("\n".join(faults))
        print("A room includes only the rooms its library links (cmake/KvarnHelpers.cmake, kvarn_module DEPS).")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

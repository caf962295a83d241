#!/usr/bin/env python3
"""Fails when a library include points up a layer or the includes form a cycle.

Layers, lowest first: platform -> xml -> http -> discovery -> onvif -> app.
A file may include its own folder and the folders below it. No header may
include itself through others (an include cycle). In onvif/, where the
request engine, the operation table and the entry functions sit side by
side, a header and its .cpp count as one unit and the units must not depend
on each other in a circle either (the engine never includes the entries).
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = ["platform", "xml", "http", "discovery", "onvif", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources():
    for layer in LAYERS:
        for base, _, files in os.walk(os.path.join(ROOT, layer)):
            for f in files:
                if f.endswith((".c", ".cpp", ".h", ".hpp", ".def")):
                    yield os.path.relpath(os.path.join(base, f), ROOT)


def unit(path):
    # A header and its .cpp are one unit; a .def table is a unit of its own.
    return path if path.endswith(".def") else os.path.splitext(path)[0]


def main():
    problems = []
    files = {}
    units = {}
    for path in sources():
        layer = LAYERS.index(path.split(os.sep)[0])
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as fh:
            text = fh.read()
        for inc in INCLUDE.findall(text):
            top = inc.split("/")[0]
            if top not in LAYERS:
                continue
            if LAYERS.index(top) > layer:
                problems.append("%s includes %s (a layer above)" % (path, inc))
            files.setdefault(path, set()).add(inc)
            if path.startswith("onvif" + os.sep) and unit(inc) != unit(path):
                units.setdefault(unit(path), set()).add(unit(inc))

    def cycles(graph, what):
        state = {}
        stack = []

        def visit(node):
            state[node] = 1
            stack.append(node)
            for nxt in sorted(graph.get(node, ())):
                if state.get(nxt) == 1:
                    cycle = stack[stack.index(nxt):] + [nxt]
                    problems.append(what + ": " + " -> ".join(cycle))
                elif nxt not in state:
                    visit(nxt)
            stack.pop()
            state[node] = 2

        for node in sorted(graph):
            if node not in state:
                visit(node)

    cycles(files, "include cycle")
    cycles(units, "circular dependency")

    for p in problems:
        print(p)
    if problems:
        print("layer check: %d problem(s)" % len(problems))
        return 1
    print("layer check: no upward include, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())

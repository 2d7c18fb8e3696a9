#!/usr/bin/env python3
"""Fails when the tree's own sources include each other in a cycle.

Reads every C and C++ source and header of the tree (build folders and .git
left out) and follows their quoted includes that name a file of the tree
(from the top folder, or beside the including file). Two graphs are checked:

  files  a file that includes, directly or through others, itself;
  units  for the folders named with --units: a header and the source of the
         same name are one unit (Gallery.h + Gallery.cpp); a unit whose code
         includes a second unit whose code includes the first, directly or
         through others, is a cycle, though no single file includes itself.
         Each folder given is taken with its subfolders; a cycle is one whose
         units all lie below the folders given.

Prints every cycle found, one line each, and exits 1; 0 when there is none.

  check-include-cycles.py ROOT [--units FOLDER ...]
  check-include-cycles.py --self-test   (finds the cycles of a small tree
                                         it writes, and none without them)
"""
import argparse
import os
import re
import sys

SOURCE_ENDINGS = (".h", ".hpp", ".hh", ".inc", ".c", ".cc", ".cpp", ".cxx")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*"([^"]+)"', re.M)


def tree_files(root):
    files = []
    for folder, subfolders, names in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders if d != ".git" and not d.startswith("build"))
        for name in sorted(names):
            if name.endswith(SOURCE_ENDINGS):
                files.append(os.path.relpath(os.path.join(folder, name), root))
    return files


def include_edges(root, files):
    known = set(files)
    edges = {}
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as stream:
            text = stream.read()
        targets = []
        for name in INCLUDE.findall(text):
            for candidate in (os.path.normpath(name), os.path.normpath(os.path.join(os.path.dirname(f), name))):
                if candidate in known:
                    targets.append(candidate)
                    break
        edges[f] = targets
    return edges


def cycles(graph):
    """The strongly connected parts of more than one node (or a node with an
    edge to itself), each as one cycle through its nodes."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(start):
        # Tarjan's algorithm without recursion.
        work = [(start, iter(sorted(graph.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for nxt in successors:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter[0]
                    counter[0] += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    part.append(member)
                    if member == node:
                        break
                if len(part) > 1 or node in graph.get(node, ()):
                    found.append(cycle_through(graph, set(part)))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def cycle_through(graph, part):
    """One closed path inside the part, from its first node back to it."""
    start = min(part)
    previous = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for nxt in sorted(graph.get(node, ())):
            if nxt not in part:
                continue
            if nxt == start:
                path = [node]
                while previous[path[-1]] is not None:
                    path.append(previous[path[-1]])
                return list(reversed(path)) + [start]
            if nxt not in previous:
                previous[nxt] = node
                queue.append(nxt)
    return sorted(part)


def unit_of(path):
    return os.path.splitext(path)[0]


def check(root, units_folders, out=print):
    """Reports every cycle through out(); true when there is none."""
    files = tree_files(root)
    edges = include_edges(root, files)
    failed = False

    for cycle in cycles(edges):
        out("include cycle between files: " + " -> ".join(cycle))
        failed = True

    folders = [os.path.normpath(f) for f in units_folders]
    for folder in folders:
        if not os.path.isdir(os.path.join(root, folder)):
            out("no such folder: " + folder)
            failed = True

    def inside(path):
        return any(path == f or path.startswith(f + os.sep) for f in folders)

    units = {}
    for f, targets in edges.items():
        if not inside(f):
            continue
        here = units.setdefault(unit_of(f), set())
        for t in targets:
            if inside(t) and unit_of(t) != unit_of(f):
                here.add(unit_of(t))
    for cycle in cycles(units):
        out("include cycle between units (header and source): " + " -> ".join(cycle))
        failed = True

    if not failed:
        out("no include cycle among %d files%s" % (
            len(files), (" and the units of " + ", ".join(folders)) if folders else ""))
    return not failed


def self_test():
    """The checks find what a small tree holds: a unit cycle (the shape the
    gallery had: each source includes the other's header, one header the
    other), a file cycle through three headers, and nothing once the cycles
    are gone. True when every case comes out as expected."""
    import tempfile

    cases = [
        # (files, unit folders, the cycles expected)
        ({"a/Gallery.h": "", "a/Gallery.cpp": '#include "a/Gallery.h"\n#include "a/Thumbs.h"\n',
          "a/Thumbs.h": '#include "a/Gallery.h"\n', "a/Thumbs.cpp": '#include "a/Thumbs.h"\n'},
         ["a"], ["include cycle between units (header and source): a/Gallery -> a/Thumbs -> a/Gallery"]),
        ({"a/Gallery.h": "", "a/Gallery.cpp": '#include "a/Gallery.h"\n#include "a/Thumbs.h"\n',
          "a/Thumbs.h": '#include "a/Gallery.h"\n', "a/Thumbs.cpp": '#include "a/Thumbs.h"\n'},
         [], []),
        ({"a/Gallery.h": '#include "a/Host.h"\n', "a/Gallery.cpp": '#include "a/Gallery.h"\n#include "a/Thumbs.h"\n',
          "a/Host.h": "", "a/Thumbs.h": '#include "a/Host.h"\n', "a/Thumbs.cpp": '#include "a/Thumbs.h"\n'},
         ["a"], []),
        ({"x/One.h": '#include "Two.h"\n', "x/Two.h": '  #  include "x/Three.h"\n', "x/Three.h": '#include "One.h"\n',
          "build/Gen.h": '#include "build/Gen.h"\n'},
         [], ["include cycle between files: x/One.h -> x/Two.h -> x/Three.h -> x/One.h"]),
    ]
    ok = True
    for files, folders, expected in cases:
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
                with open(os.path.join(root, name), "w") as stream:
                    stream.write(text)
            lines = []
            clean = check(root, folders, lines.append)
            found = [line for line in lines if line.startswith("include cycle")]
            if found != expected or clean != (not expected):
                print("self-test: %s with units %s gave %s, expected %s" % (sorted(files), folders, found, expected))
                ok = False
    print("self-test " + ("passed" if ok else "failed"))
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root", nargs="?")
    parser.add_argument("--units", nargs="*", default=[], metavar="FOLDER")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return 0 if self_test() else 1
    if not args.root:
        parser.error("the tree's top folder is needed")
    return 0 if check(args.root, args.units) else 1


if __name__ == "__main__":
    sys.exit(main())

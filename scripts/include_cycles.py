#!/usr/bin/env python3
"""Finds circles of mutual dependence among the program's source files.

A header and the source file of the same name form one component; component A
depends on component B when a file of A includes a file of B ("..." includes
of the tree only). Components that depend on each other, directly or around a
circle, form a strongly connected group. The check fails when a group holds
more than MAX_FILES source files (default 3) and prints each such group with
the includes that close it.

It also checks the layers: folders must not depend on each other around a
circle, and a folder may include only its own files and those of the layers
it builds on (LAYERS below).

Usage: scripts/include_cycles.py [ROOT] [--max-files N] [--list]
Exit status 0 when the tree is clean, 1 otherwise.
"""
import os
import re
import sys
from collections import defaultdict

SOURCE_FOLDERS = ["util", "core", "files", "interfaces", "logic", "framework", "valuearea", "review", "charts",
                  "row", "shell", "tools"]
EXTENSIONS = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)

# What each layer (folder, by its first path part; interfaces/devices by two)
# may include besides itself. Windows never include each other: what one
# window needs of another goes through the framework or the session store.
STANDARD = ["util", "core", "files"]
LAYERS = {
    "util": [],
    "core": ["util"],
    "files": ["util", "core"],
    "interfaces/devices": ["util", "core"],
    "interfaces": ["util", "core", "files", "interfaces/devices"],
    "logic": STANDARD + ["interfaces", "interfaces/devices"],
    "framework": STANDARD + ["logic"],
    "valuearea": STANDARD + ["logic", "framework"],
    "review": STANDARD + ["logic", "framework"],
    "charts": STANDARD + ["logic", "framework"],
    "row": STANDARD + ["interfaces", "interfaces/devices", "logic", "framework", "valuearea"],
    "shell": STANDARD + ["logic", "framework"],
    "tools": STANDARD + ["interfaces", "interfaces/devices", "logic"],
}
# The program's start and its window factory are where the windows meet.
MEETING_POINTS = {"shell/app/main.cpp": ["review", "charts", "row"], "shell/window_factory.cpp": ["review", "charts", "row"]}


def layer_of(path):
    parts = path.split("/")
    if len(parts) > 2 and parts[0] == "interfaces" and parts[1] == "devices":
        return "interfaces/devices"
    if parts[0] == "tools" and len(parts) > 1 and parts[1] == "demogen":
        return "tools"
    return parts[0]


def collect(root):
    files = []
    for folder in SOURCE_FOLDERS:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, names in os.walk(base):
            for n in names:
                if n.endswith(EXTENSIONS):
                    files.append(os.path.relpath(os.path.join(dirpath, n), root))
    return sorted(files)


def includes_of(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        text = f.read()
    return INCLUDE.findall(text)


def strongly_connected(nodes, edges):
    """Tarjan's algorithm, iterative."""
    index = {}
    low = {}
    on_stack = set()
    stack = []
    groups = []
    counter = 0
    for start in nodes:
        if start in index:
            continue
        work = [(start, iter(sorted(edges[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, it = work[-1]
            advanced = False
            for nxt in it:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(edges[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    n = stack.pop()
                    on_stack.discard(n)
                    group.append(n)
                    if n == node:
                        break
                groups.append(sorted(group))
    return groups


def main(argv):
    root = "."
    max_files = 3
    listing = False
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--max-files":
            max_files = int(args.pop(0))
        elif a == "--list":
            listing = True
        else:
            root = a
    files = collect(root)
    known = set(files)
    component = {f: os.path.splitext(f)[0] for f in files}
    members = defaultdict(list)
    for f in files:
        members[component[f]].append(f)
    edges = defaultdict(set)
    why = defaultdict(list)
    folder_edges = defaultdict(set)
    folder_why = defaultdict(list)
    layer_faults = []
    for f in files:
        for inc in includes_of(root, f):
            if inc not in known:
                continue
            a, b = component[f], component[inc]
            if a != b:
                edges[a].add(b)
                why[(a, b)].append(f"{f} -> {inc}")
            src, dst = layer_of(f), layer_of(inc)
            if src != dst:
                folder_edges[src].add(dst)
                folder_why[(src, dst)].append(f"{f} -> {inc}")
            if src != dst and dst not in LAYERS.get(src, []) and dst not in MEETING_POINTS.get(f, []):
                layer_faults.append(f"{f} includes {inc} ({src} may not include {dst})")
    nodes = sorted(members)
    for n in nodes:
        edges.setdefault(n, set())
    faults = 0
    for group in strongly_connected(nodes, edges):
        count = sum(len(members[c]) for c in group)
        if len(group) < 2:
            continue
        if listing or count > max_files:
            print(f"circle of {count} files ({len(group)} components):")
            for a in group:
                for b in sorted(edges[a]):
                    if b in group:
                        for w in why[(a, b)]:
                            print(f"  {w}")
        if count > max_files:
            faults += 1
    folders = sorted(set(folder_edges) | {d for ds in folder_edges.values() for d in ds})
    for n in folders:
        folder_edges.setdefault(n, set())
    for group in strongly_connected(folders, folder_edges):
        if len(group) < 2:
            continue
        faults += 1
        print(f"circle of folders {', '.join(group)}:")
        for a in group:
            for b in sorted(folder_edges[a]):
                if b in group:
                    for w in folder_why[(a, b)]:
                        print(f"  {w}")
    for fault in layer_faults:
        print(fault)
    if faults or layer_faults:
        print(f"{faults} circle(s), {len(layer_faults)} include(s) against the layers")
        return 1
    print(f"no circle of more than {max_files} files; every include follows the layers ({len(files)} files)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

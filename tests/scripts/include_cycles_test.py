#!/usr/bin/env python3
"""Checks scripts/include_cycles.py on small made-up trees: a circle of more
than three files and an include against the layers fail, a circle of three
files and includes down the layers pass."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "include_cycles.py")


def make_tree(root, files):
    for path, includes in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write("#pragma once\n")
            for inc in includes:
                f.write(f'#include "{inc}"\n')
            f.write("#include <vector>\n")  # system includes are not followed


def run(files):
    with tempfile.TemporaryDirectory() as root:
        make_tree(root, files)
        r = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return r.returncode, r.stdout


failures = []


def check(name, condition, output):
    if not condition:
        failures.append(f"{name}:\n{output}")


# Four headers around a circle: one group of four files.
code, out = run({"core/a.h": ["core/b.h"], "core/b.h": ["core/c.h"], "core/c.h": ["core/d.h"],
                 "core/d.h": ["core/a.h"]})
check("circle of four files fails", code == 1 and "circle of 4 files" in out and "core/d.h -> core/a.h" in out, out)

# A header and its source count as one component: a.h/a.cpp with b.h is a circle of three files.
code, out = run({"core/a.h": ["core/b.h"], "core/a.cpp": ["core/a.h"], "core/b.h": ["core/a.h"]})
check("circle of three files passes", code == 0, out)

# The same component's pair plus two more headers is four files.
code, out = run({"core/a.h": [], "core/a.cpp": ["core/a.h", "core/b.h"], "core/b.h": ["core/c.h"],
                 "core/c.h": ["core/a.h"]})
check("circle through a source file counts its header", code == 1 and "circle of 4 files" in out, out)

# A window including another window's header breaks the layers.
code, out = run({"row/r.h": ["review/t.h"], "review/t.h": ["framework/f.h"], "framework/f.h": []})
check("window including another window fails", code == 1 and "row may not include review" in out, out)

# The window factory is the one place where the shell meets the windows.
code, out = run({"shell/window_factory.cpp": ["row/r.h", "review/t.h"], "row/r.h": ["framework/f.h"],
                 "review/t.h": ["framework/f.h"], "framework/f.h": ["logic/l.h"], "logic/l.h": ["core/c.h"],
                 "core/c.h": ["util/u.h"], "util/u.h": []})
check("includes down the layers pass", code == 0, out)

# The standard-C++ core includes nothing above it.
code, out = run({"core/c.h": ["logic/l.h"], "logic/l.h": []})
check("core including logic fails", code == 1 and "core may not include logic" in out, out)

# Two folders including each other form a circle of folders even when each include is allowed one way.
code, out = run({"logic/l.h": ["framework/f.h"], "framework/f.h": ["logic/m.h"], "logic/m.h": []})
check("folder circle fails", code == 1 and "circle of folders" in out, out)

# Includes of files outside the tree are ignored.
code, out = run({"core/a.h": ["gtest/gtest.h", "core/missing.h"]})
check("unknown includes are ignored", code == 0, out)

for f in failures:
    print("FAILED", f)
print(f"{8 - len(failures)} of 8 checks passed")
sys.exit(1 if failures else 0)

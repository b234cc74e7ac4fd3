#!/usr/bin/env python3
"""Prints the lines of C++ source per folder and the ratio of test lines to code lines
(code: src, include, tools, host). With --max R, exits 1 when the ratio exceeds R."""
import pathlib
import sys

root = pathlib.Path(__file__).resolve().parent.parent
SUFFIXES = {".cpp", ".h", ".c"}


def lines(folder):
    return sum(len(p.read_text(errors="replace").splitlines())
               for p in (root / folder).rglob("*") if p.suffix in SUFFIXES and p.is_file())


code = {f: lines(f) for f in ("src", "include", "tools", "host")}
tests = lines("tests")
total = sum(code.values())
ratio = tests / total if total else 0.0
print("lines: " + ", ".join(f"{k} {v}" for k, v in code.items()) + f"; code {total}; tests {tests}")
print(f"test ratio: {ratio:.3f} (tests/ lines per line of src, include, tools and host)")
if len(sys.argv) == 3 and sys.argv[1] == "--max" and ratio > float(sys.argv[2]):
    print(f"test ratio above {sys.argv[2]}")
    sys.exit(1)

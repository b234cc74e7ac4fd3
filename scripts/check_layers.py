#!/usr/bin/env python3
"""Checks the library's layering: src/api -> src/job -> src/tool -> {src/ff, src/media}
-> src/core -> src/platform. A file may include headers of its own folder and of the
folders below it, never of one above; system headers of one platform appear only under
src/platform/<platform>/; no two files include each other, directly or in a circle; the
host program includes only the public header.

Usage: check_layers.py [ROOT]   (ROOT defaults to the checkout). Exit 1 on a violation."""
import pathlib
import re
import sys

ALLOWED = {
    "api": {"job", "tool", "ff", "media", "core", "platform"},
    "job": {"tool", "ff", "media", "core", "platform"},
    "tool": {"ff", "media", "core", "platform"},
    "ff": {"media", "core", "platform"},
    "media": {"core"},
    "core": {"platform"},
    "platform": set(),
}
# Headers that exist on one platform only.
PLATFORM_HEADERS = re.compile(
    r"^(unistd|fcntl|poll|spawn|signal|dlfcn|pthread|iconv|dirent|termios|windows|winsock2|"
    r"tlhelp32|io|direct|process|shellapi)\.h$|^(sys|linux|netinet|arpa)/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main(root):
    src = root / "src"
    problems = []
    graph = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        rel = path.relative_to(src)
        layer = rel.parts[0]
        node = str(rel.with_suffix(""))
        graph.setdefault(node, set())
        for kind, name in INCLUDE.findall(path.read_text(errors="replace")):
            if kind == "<":
                if PLATFORM_HEADERS.search(name) and not (layer == "platform" and len(rel.parts) > 2):
                    problems.append(f"{rel}: platform header <{name}> outside src/platform/<platform>/")
                continue
            if name == "tarsasdk.h":
                continue
            target = pathlib.Path(name)
            if not (src / target).exists():
                problems.append(f'{rel}: "{name}" is not a header of src/')
                continue
            other = target.parts[0]
            if other != layer and other not in ALLOWED.get(layer, set()):
                problems.append(f'{rel}: includes "{name}" of a layer above or beside it')
            # One platform's own files may share headers among themselves.
            if other == "platform" and len(target.parts) > 2 and target.parent != rel.parent:
                problems.append(f'{rel}: includes the platform-specific "{name}"')
            dep = str(target.with_suffix(""))
            if dep != node:
                graph[node].add(dep)
    problems += find_circles(graph)
    for path in sorted((root / "host").rglob("*")):
        if path.suffix in (".cpp", ".h"):
            for kind, name in INCLUDE.findall(path.read_text(errors="replace")):
                if kind == '"' and "/" in name:
                    problems.append(f"host/{path.name}: includes library internals \"{name}\"")
    for p in problems:
        print("layering:", p)
    print(f"layering: {len(graph)} modules checked, {len(problems)} problem(s)")
    return 1 if problems else 0


def find_circles(graph):
    """One message per include circle among modules (a .h and its .cpp are one module)."""
    found, state, stack = [], {}, []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for d in sorted(graph.get(n, ())):
            if state.get(d) == 1:
                found.append("include circle: " + " -> ".join(stack[stack.index(d):] + [d]))
            elif d not in state:
                visit(d)
        stack.pop()
        state[n] = 2

    for n in sorted(graph):
        if n not in state:
            visit(n)
    return found


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)))

#!/usr/bin/env python3
"""Fails when a module uses a module listed after it.

The top CMakeLists.txt lists the modules in dependency order
(`set(ORVANE_MODULES ...)`). A module may include headers of, and link the
targets of, itself and the modules before it only. This reads every source
file of every module for `#include "<module>/..."` lines, and every module's
CMakeLists.txt for the project's own targets it links, and reports each use
that points up the list with its file and line.

Usage: check-layers.py [--root DIR]   (exit 0: clean, 1: upward uses, 2: bad tree)
"""

import argparse
import pathlib
import re
import sys

SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".def", ".inc"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
TARGET_DEFINITION = re.compile(r"^\s*(?:orvane_library|add_library|add_executable)\s*\(\s*([A-Za-z0-9_\-]+)", re.M)
PROJECT_TARGET = re.compile(r"\b(orvane_[A-Za-z0-9_]+)\b")


def read_modules(root):
    text = (root / "CMakeLists.txt").read_text()
    match = re.search(r"set\(\s*ORVANE_MODULES\s+([^)]*)\)", text)
    if not match:
        print("check-layers: no set(ORVANE_MODULES ...) in the top CMakeLists.txt", file=sys.stderr)
        sys.exit(2)
    return match.group(1).split()


def owner(path, modules):
    """The module a repository path belongs to: the longest listed prefix."""
    best = None
    for module in modules:
        if path == module or path.startswith(module + "/"):
            if best is None or len(module) > len(best):
                best = module
    return best


def module_files(root, module, modules):
    folder = root / module
    if not folder.is_dir():
        return []
    files = []
    for path in sorted(folder.rglob("*")):
        if not path.is_file():
            continue
        relative = path.relative_to(root).as_posix()
        if owner(relative, modules) != module:
            continue  # a nested module of its own
        files.append((relative, path))
    return files


def strip_cmake_comments(text):
    return "\n".join(line.split("#", 1)[0] for line in text.splitlines())


def check(root):
    modules = read_modules(root)
    rank = {module: index for index, module in enumerate(modules)}
    problems = []

    # Which module defines each of the project's targets.
    target_module = {}
    for module in modules:
        for relative, path in module_files(root, module, modules):
            if path.name == "CMakeLists.txt":
                for name in TARGET_DEFINITION.findall(strip_cmake_comments(path.read_text())):
                    target_module[name] = module

    for module in modules:
        for relative, path in module_files(root, module, modules):
            if path.suffix in SOURCE_SUFFIXES:
                for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    used = owner(match.group(1), modules)
                    if used is not None and rank[used] > rank[module]:
                        problems.append(
                            f"{relative}:{number}: includes \"{match.group(1)}\": "
                            f"{module} may not use {used}, which is listed after it")
            elif path.name == "CMakeLists.txt":
                text = strip_cmake_comments(path.read_text())
                for number, line in enumerate(text.splitlines(), 1):
                    for target in PROJECT_TARGET.findall(line):
                        used = target_module.get(target)
                        if used is not None and rank[used] > rank[module]:
                            problems.append(
                                f"{relative}:{number}: links {target}: "
                                f"{module} may not use {used}, which is listed after it")
    return modules, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent,
                        type=pathlib.Path)
    root = parser.parse_args().root
    if not (root / "CMakeLists.txt").is_file():
        print(f"check-layers: {root} has no CMakeLists.txt", file=sys.stderr)
        return 2
    modules, problems = check(root)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} use(s) pointing up the module list "
              f"({' < '.join(modules)})", file=sys.stderr)
        return 1
    print(f"check-layers: {len(modules)} modules, every include and link points down the list")
    return 0


if __name__ == "__main__":
    sys.exit(main())

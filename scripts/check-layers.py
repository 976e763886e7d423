#!/usr/bin/env python3
"""Fails when a module uses a module or a library that the layer table does not allow it.

The top CMakeLists.txt lists the modules in dependency order
(`set(ORVANE_MODULES ...)`); cmake/layers.txt says, for each of them, which
of the project's modules and which outside libraries it may use. A module may
use only modules listed before it, and only those its row names. This reads
every source file of every module for `#include "<module>/..."` and
`#include <library/...>` lines, and every module's CMakeLists.txt for the
targets it links, and reports each use that its row does not allow with its
file and line.

Usage: check-layers.py [--root DIR] [--qt-include DIR]
(exit 0: clean, 1: uses the table does not allow, 2: bad tree or table)
"""

import argparse
import pathlib
import re
import sys

SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".def", ".inc"}
PROJECT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
LIBRARY_INCLUDE = re.compile(r"^\s*#\s*include\s+<([^>]+)>")
TARGET_DEFINITION = re.compile(r"^\s*(?:orvane_library|add_library|add_executable)\s*\(\s*([A-Za-z0-9_\-]+)", re.M)
PROJECT_TARGET = re.compile(r"\b(orvane_[A-Za-z0-9_]+)\b")
OUTSIDE_TARGET = re.compile(r"(\$\{OPENSCENEGRAPH_LIBRARIES\}|\$\{CMAKE_DL_LIBS\}|\b[A-Za-z0-9_]+::[A-Za-z0-9_]+)")
OSG_COMPONENTS = re.compile(r"find_package\s*\(\s*OpenSceneGraph\b([^)]*)\)")
TABLE = "cmake/layers.txt"

# The outside libraries by the first folder of their headers.
LIBRARY_FOLDERS = {
    "sys": "posix", "netinet": "posix", "arpa": "posix", "linux": "posix",
    "osg": "osg", "osgUtil": "osg", "osgDB": "osg", "OpenThreads": "osg",
    "osgGA": "osg-ga", "osgText": "osg-text", "osgViewer": "osg-viewer",
    "osgShadow": "osg-shadow", "osgParticle": "osg-particle",
    "QtCore": "qt-core", "QtGui": "qt-gui", "QtWidgets": "qt-widgets",
    "QtOpenGL": "qt-opengl", "QtOpenGLWidgets": "qt-opengl",
    "libavcodec": "ffmpeg", "libavformat": "ffmpeg", "libavutil": "ffmpeg",
    "libswscale": "ffmpeg", "libswresample": "ffmpeg",
    "X11": "x11", "EGL": "egl", "GL": "gl", "CL": "opencl",
}
# Compression libraries' headers, which have no folder.
COMPRESSION_HEADERS = {"zstd.h": "zstd", "lz4frame.h": "lz4"}
# Headers without a folder that are not C++ standard headers.
POSIX_HEADERS = {"unistd.h", "fcntl.h", "pthread.h", "poll.h", "netdb.h", "dlfcn.h", "dirent.h",
                 "malloc.h"}
COMPILER_HEADERS = {"emmintrin.h", "immintrin.h", "xmmintrin.h", "assert.h", "stdint.h",
                    "stddef.h", "string.h", "stdlib.h", "stdio.h", "math.h", "errno.h"}
QT_FOLDERS = [folder for folder, library in LIBRARY_FOLDERS.items() if library.startswith("qt-")]
# The libraries a CMake link brings, by target.
LINKED_LIBRARIES = {
    "Threads::Threads": "posix", "${CMAKE_DL_LIBS}": "posix",
    "Qt6::Core": "qt-core", "Qt6::Gui": "qt-gui", "Qt6::Widgets": "qt-widgets",
    "Qt6::OpenGL": "qt-opengl", "Qt6::OpenGLWidgets": "qt-opengl",
    "X11::X11": "x11", "OpenGL::EGL": "egl", "OpenGL::GL": "gl", "OpenCL::OpenCL": "opencl",
    "PkgConfig::ZSTD": "zstd", "PkgConfig::LZ4": "lz4",
}
# Tools the build runs, which nothing links.
BUILD_TOOLS = {"Python3::Interpreter"}
QT_INCLUDE_CANDIDATES = ["/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6",
                         "/usr/include/qt6", "/usr/local/include/qt6"]


class BadTree(Exception):
    pass


def read_modules(root):
    text = (root / "CMakeLists.txt").read_text()
    match = re.search(r"set\(\s*ORVANE_MODULES\s+([^)]*)\)", text)
    if not match:
        raise BadTree("no set(ORVANE_MODULES ...) in the top CMakeLists.txt")
    return match.group(1).split()


def read_table(root, modules):
    """{module: (allowed modules, allowed libraries)} from the layer table.

    A row is `module: modules it may use | libraries it may use`; a row may
    name a module not (yet) in ORVANE_MODULES."""
    path = root / TABLE
    if not path.is_file():
        raise BadTree(f"no layer table {TABLE}")
    libraries = set(LIBRARY_FOLDERS.values()) | set(COMPRESSION_HEADERS.values()) | {"std", "posix"}
    table = {}
    for number, line in enumerate(path.read_text().splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        match = re.fullmatch(r"([\w/]+)\s*:([^|]*)\|(.*)", line)
        if not match:
            raise BadTree(f"{TABLE}:{number}: not `module: modules | libraries`")
        module, used, outside = match.group(1), set(match.group(2).split()), set(match.group(3).split())
        unknown = outside - libraries
        if unknown:
            raise BadTree(f"{TABLE}:{number}: unknown libraries {' '.join(sorted(unknown))}")
        table[module] = (used, outside)
    rank = {module: index for index, module in enumerate(modules)}
    for module in modules:
        if module not in table:
            raise BadTree(f"{TABLE} has no row for the module {module}")
    for module, (used, _) in table.items():
        for other in sorted(used):
            if other not in table:
                raise BadTree(f"{TABLE}: {module} may use {other}, which has no row")
            if module in rank and other in rank and rank[other] >= rank[module]:
                raise BadTree(f"{TABLE}: {module} may use {other}, which is not listed before it")
    return table


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


def find_qt_include(given):
    if given:
        return pathlib.Path(given)
    for candidate in QT_INCLUDE_CANDIDATES:
        if pathlib.Path(candidate, "QtCore").is_dir():
            return pathlib.Path(candidate)
    return None


def header_library(header, qt_include):
    """The outside library of an `#include <header>`, or None when unknown."""
    folder, _, rest = header.partition("/")
    if rest:
        return LIBRARY_FOLDERS.get(folder)
    if header in POSIX_HEADERS:
        return "posix"
    if header in COMPRESSION_HEADERS:
        return COMPRESSION_HEADERS[header]
    if header in COMPILER_HEADERS:
        return "std"
    if header.startswith("Q") and "." not in header:
        if qt_include is not None:
            for qt_folder in QT_FOLDERS:
                if (qt_include / qt_folder / header).is_file():
                    return LIBRARY_FOLDERS[qt_folder]
        return None
    if re.fullmatch(r"[a-z_]+", header):
        return "std"
    return None


def osg_libraries(root, relative, module):
    """The OSG libraries that ${OPENSCENEGRAPH_LIBRARIES} stands for in a
    CMakeLists.txt: those its find_package asks for, or failing that, those of
    the nearest folder above it within the module."""
    folder = pathlib.PurePosixPath(relative).parent
    while True:
        path = root / folder / "CMakeLists.txt"
        if path.is_file():
            found = OSG_COMPONENTS.findall(strip_cmake_comments(path.read_text()))
            if found:
                names = {"osg"}
                for arguments in found:
                    for word in arguments.split():
                        if word in LIBRARY_FOLDERS:
                            names.add(LIBRARY_FOLDERS[word])
                return names
        if folder.as_posix() == module or folder.as_posix() in ("", "."):
            return {"osg"}
        folder = folder.parent


def check(root, qt_include=None):
    modules = read_modules(root)
    table = read_table(root, modules)
    rank = {module: index for index, module in enumerate(modules)}
    qt_include = find_qt_include(qt_include)
    problems = []

    def refuse(where, what, module, used):
        allowed_modules, allowed_libraries = table[module]
        if used in rank:
            if used == module or used in allowed_modules:
                return
            why = ("which is listed after it" if rank[used] > rank[module]
                   else "which its row in the layer table does not name")
        else:
            if used in allowed_libraries:
                return
            why = "which its row in the layer table does not name"
        problems.append(f"{where}: {what}: {module} may not use {used}, {why}")

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
                    where = f"{relative}:{number}"
                    match = PROJECT_INCLUDE.match(line)
                    if match:
                        used = owner(match.group(1), modules)
                        if used is not None:
                            refuse(where, f'includes "{match.group(1)}"', module, used)
                        continue
                    match = LIBRARY_INCLUDE.match(line)
                    if match:
                        library = header_library(match.group(1), qt_include)
                        if library is None:
                            problems.append(f"{where}: includes <{match.group(1)}>, which belongs "
                                            "to no library the layer checker knows")
                        else:
                            refuse(where, f"includes <{match.group(1)}>", module, library)
            elif path.name == "CMakeLists.txt":
                text = strip_cmake_comments(path.read_text())
                for number, line in enumerate(text.splitlines(), 1):
                    where = f"{relative}:{number}"
                    for target in PROJECT_TARGET.findall(line):
                        used = target_module.get(target)
                        if used is not None:
                            refuse(where, f"links {target}", module, used)
                    for target in OUTSIDE_TARGET.findall(line):
                        if target in BUILD_TOOLS:
                            continue
                        if target == "${OPENSCENEGRAPH_LIBRARIES}":
                            libraries = osg_libraries(root, relative, module)
                        elif target.startswith("PkgConfig::FFMPEG"):
                            libraries = {"ffmpeg"}
                        elif target in LINKED_LIBRARIES:
                            libraries = {LINKED_LIBRARIES[target]}
                        else:
                            problems.append(f"{where}: links {target}, which belongs to no "
                                            "library the layer checker knows")
                            continue
                        for library in sorted(libraries):
                            refuse(where, f"links {target}", module, library)
    return modules, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent,
                        type=pathlib.Path)
    parser.add_argument("--qt-include", help="the folder holding QtCore/, QtWidgets/, ...")
    arguments = parser.parse_args()
    root = arguments.root
    if not (root / "CMakeLists.txt").is_file():
        print(f"check-layers: {root} has no CMakeLists.txt", file=sys.stderr)
        return 2
    try:
        modules, problems = check(root, arguments.qt_include)
    except BadTree as error:
        print(f"check-layers: {error}", file=sys.stderr)
        return 2
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} use(s) that the layer table ({TABLE}) does not "
              f"allow; module order {' < '.join(modules)}", file=sys.stderr)
        return 1
    print(f"check-layers: {len(modules)} modules, every include and link is one the layer "
          "table allows")
    return 0


if __name__ == "__main__":
    sys.exit(main())

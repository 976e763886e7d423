#!/usr/bin/env python3
"""Runs the layer checker on small made-up trees and checks what it reports."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else None


def make_tree(root, files):
    for name, text in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


TABLE = """# made-up modules
low:                   | std
mid/inner: low         | std
mid:       mid/inner   | std qt-core
top:       mid/inner mid low | std qt-core qt-widgets osg osg-viewer ffmpeg
"""

BASE = {
    "CMakeLists.txt": "set(ORVANE_MODULES\n  low mid/inner mid top)\n",
    "cmake/layers.txt": TABLE,
    "qt/QtCore/QString": "",
    "qt/QtWidgets/QWidget": "",
    "low/CMakeLists.txt": "orvane_library(orvane_low SOURCES Low.cpp)\n",
    "low/Low.h": "#pragma once\n",
    "low/Low.cpp": '#include "low/Low.h"\n#include <vector>\n',
    "mid/inner/CMakeLists.txt": "orvane_library(orvane_inner SOURCES Inner.cpp PUBLIC_DEPS orvane_low)\n",
    "mid/inner/Inner.h": '#pragma once\n#include "low/Low.h"\n',
    "mid/inner/Inner.cpp": '#include "mid/inner/Inner.h"\n',
    "mid/CMakeLists.txt": "orvane_library(orvane_mid SOURCES Mid.cpp DEPS orvane_inner Qt6::Core)\n",
    "mid/Mid.cpp": '#include "mid/inner/Inner.h"\n#include <QString>\n',
    "top/CMakeLists.txt": "find_package(OpenSceneGraph REQUIRED COMPONENTS osgDB osgViewer)\n"
                          "orvane_library(orvane_top SOURCES Top.cpp\n"
                          "  DEPS orvane_mid orvane_low Qt6::Widgets ${OPENSCENEGRAPH_LIBRARIES})\n",
    "top/Top.cpp": '#include "mid/inner/Inner.h"\n#include "low/Low.h"\n#include <QWidget>\n'
                   "#include <osgViewer/View>\n#include <libavcodec/avcodec.h>\n",
}


class LayerCheck(unittest.TestCase):
    def run_checker(self, changes):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            make_tree(root, {**BASE, **changes})
            done = subprocess.run([sys.executable, CHECKER, "--root", str(root),
                                   "--qt-include", str(root / "qt")],
                                  capture_output=True, text=True)
            return done.returncode, done.stderr

    def test_clean_tree_passes(self):
        status, errors = self.run_checker({})
        self.assertEqual(status, 0, errors)

    def test_uses_the_table_does_not_allow_fail_with_file_and_line(self):
        cases = [
            ("upward include", {"low/Low.cpp": '#include "low/Low.h"\n#include "top/Top.h"\n'},
             ["low/Low.cpp:2", "low may not use top, which is listed after it"]),
            ("nested module using its parent", {"mid/inner/Inner.cpp": '#include "mid/Mid.h"\n'},
             ["mid/inner may not use mid, which is listed after it"]),
            ("module below but not in the row", {"mid/Mid.cpp": '#include "low/Low.h"\n'},
             ["mid/Mid.cpp:1", "mid may not use low, which its row"]),
            ("upward link", {"low/CMakeLists.txt": "orvane_library(orvane_low SOURCES Low.cpp\n"
                                                   "  DEPS orvane_top)\n"},
             ["low/CMakeLists.txt:2: links orvane_top"]),
            ("Qt Widgets by class name", {"mid/Mid.cpp": "#include <QWidget>\n"},
             ["mid/Mid.cpp:1: includes <QWidget>: mid may not use qt-widgets"]),
            ("Qt Widgets by folder", {"mid/Mid.cpp": "#include <QtWidgets/QWidget>\n"},
             ["mid may not use qt-widgets"]),
            ("OSG viewer header", {"mid/Mid.cpp": "#include <osgViewer/Viewer>\n"},
             ["mid may not use osg-viewer"]),
            ("FFmpeg header", {"low/Low.cpp": "#include <libavformat/avformat.h>\n"},
             ["low may not use ffmpeg"]),
            ("Qt Widgets linked", {"mid/CMakeLists.txt": "orvane_library(orvane_mid SOURCES Mid.cpp "
                                                         "DEPS orvane_inner Qt6::Widgets)\n"},
             ["mid/CMakeLists.txt:1: links Qt6::Widgets: mid may not use qt-widgets"]),
            ("OSG viewer linked through the component list",
             {"mid/CMakeLists.txt": "find_package(OpenSceneGraph REQUIRED COMPONENTS osgViewer)\n"
                                    "orvane_library(orvane_mid SOURCES Mid.cpp DEPS orvane_inner\n"
                                    "  ${OPENSCENEGRAPH_LIBRARIES})\n"},
             ["mid/CMakeLists.txt:3", "mid may not use osg, ", "mid may not use osg-viewer"]),
            ("header of no known library", {"low/Low.cpp": "#include <top/Top.h>\n"},
             ["low/Low.cpp:1: includes <top/Top.h>, which belongs to no library"]),
            ("target of no known library", {"low/CMakeLists.txt": "orvane_library(orvane_low "
                                                                  "SOURCES Low.cpp DEPS Foo::Bar)\n"},
             ["links Foo::Bar, which belongs to no library"]),
        ]
        for name, changes, expected in cases:
            with self.subTest(name):
                status, errors = self.run_checker(changes)
                self.assertEqual(status, 1, errors)
                for text in expected:
                    self.assertIn(text, errors)

    def test_commented_link_is_ignored(self):
        status, errors = self.run_checker({
            "low/CMakeLists.txt": "# orvane_top and Qt6::Widgets are not linked here\n"
                                  "orvane_library(orvane_low SOURCES Low.cpp)\n"})
        self.assertEqual(status, 0, errors)

    def test_bad_tree_or_table_is_an_error(self):
        cases = [
            ("no module list", {"CMakeLists.txt": "project(x)\n"}, "ORVANE_MODULES"),
            ("no table row", {"cmake/layers.txt": TABLE.replace("mid:", "# mid:")},
             "no row for the module mid"),
            ("row names a later module", {"cmake/layers.txt": TABLE.replace("low:  ", "low: top")},
             "low may use top, which is not listed before it"),
            ("unknown library", {"cmake/layers.txt": TABLE.replace("| std\n", "| std qt-quick\n", 1)},
             "unknown libraries qt-quick"),
        ]
        for name, changes, expected in cases:
            with self.subTest(name):
                status, errors = self.run_checker(changes)
                self.assertEqual(status, 2, errors)
                self.assertIn(expected, errors)


if __name__ == "__main__":
    unittest.main()

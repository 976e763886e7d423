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


BASE = {
    "CMakeLists.txt": "set(ORVANE_MODULES\n  low mid/inner mid top)\n",
    "low/CMakeLists.txt": "orvane_library(orvane_low SOURCES Low.cpp)\n",
    "low/Low.h": "#pragma once\n",
    "low/Low.cpp": '#include "low/Low.h"\n#include <vector>\n',
    "mid/inner/CMakeLists.txt": "orvane_library(orvane_inner SOURCES Inner.cpp PUBLIC_DEPS orvane_low)\n",
    "mid/inner/Inner.h": '#pragma once\n#include "low/Low.h"\n',
    "mid/inner/Inner.cpp": '#include "mid/inner/Inner.h"\n',
    "mid/CMakeLists.txt": "orvane_library(orvane_mid SOURCES Mid.cpp DEPS orvane_inner)\n",
    "mid/Mid.cpp": '#include "mid/inner/Inner.h"\n',
    "top/CMakeLists.txt": "orvane_library(orvane_top SOURCES Top.cpp DEPS orvane_mid orvane_low)\n",
    "top/Top.cpp": '#include "mid/inner/Inner.h"\n#include "low/Low.h"\n',
}


class LayerCheck(unittest.TestCase):
    def run_checker(self, changes):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            make_tree(root, {**BASE, **changes})
            done = subprocess.run([sys.executable, CHECKER, "--root", str(root)],
                                  capture_output=True, text=True)
            return done.returncode, done.stderr

    def test_clean_tree_passes(self):
        status, errors = self.run_checker({})
        self.assertEqual(status, 0, errors)

    def test_upward_include_fails_with_file_and_line(self):
        status, errors = self.run_checker(
            {"low/Low.cpp": '#include "low/Low.h"\n#include "top/Top.h"\n'})
        self.assertEqual(status, 1)
        self.assertIn("low/Low.cpp:2", errors)
        self.assertIn("low may not use top", errors)

    def test_nested_module_may_not_use_its_parent(self):
        # mid/inner is listed before mid: a header of mid is above it.
        status, errors = self.run_checker({"mid/inner/Inner.cpp": '#include "mid/Mid.h"\n'})
        self.assertEqual(status, 1)
        self.assertIn("mid/inner may not use mid", errors)

    def test_upward_link_fails(self):
        status, errors = self.run_checker(
            {"low/CMakeLists.txt": "orvane_library(orvane_low SOURCES Low.cpp\n  DEPS orvane_top)\n"})
        self.assertEqual(status, 1)
        self.assertIn("low/CMakeLists.txt:2: links orvane_top", errors)

    def test_commented_link_and_system_include_are_ignored(self):
        status, errors = self.run_checker({
            "low/CMakeLists.txt": "# orvane_top is not linked here\norvane_library(orvane_low SOURCES Low.cpp)\n",
            "low/Low.cpp": "#include <top/Top.h>\n",
        })
        self.assertEqual(status, 0, errors)

    def test_missing_module_list_is_an_error(self):
        status, errors = self.run_checker({"CMakeLists.txt": "project(x)\n"})
        self.assertNotEqual(status, 0)
        self.assertNotEqual(status, 1)


if __name__ == "__main__":
    unittest.main()

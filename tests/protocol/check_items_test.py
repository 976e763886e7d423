"""The item checker against small trees: each case is one object file and
whether the checker must object to it."""

import pathlib
import runpy
import types
import shutil
import sys
import tempfile
import unittest

CHECKER = pathlib.Path(sys.argv.pop(1)).resolve()
LIST = CHECKER.parent.parent / "protocol" / "kinds.json"
# The checker's functions, loaded from its file (it is a script, not a package).
check_items = types.SimpleNamespace(**runpy.run_path(str(CHECKER)))

CASES = [
    # (file, source, objected to)
    ("objects/VisTextObject.cpp", "intItem(packet, item::text::Colour, 3);", False),
    ("objects/VisTextObject.cpp", "intItem(packet, item::appearance::Colour, 3);", True),
    ("objects/VisTextObject.cpp", "floatItem(packet, item::line::Width);", True),
    ("objects/VisHUDObject.cpp", "packet->setIntVector(item::reply::button_event::Event, {1});", False),
    ("objects/VisLightObject.cpp", "packet->setIntVector(item::reply::button_event::Event, {1});", True),
    ("objects/VisLightObject.cpp", "applyScale(item::placement::Scale);", False),
    ("objects/LightHelpers.cpp", "a(item::light::Diffuse); b(item::weather::Wind);", True),
    ("objects/LightHelpers.cpp", "a(item::light::Diffuse); b(item::placement::Position);", False),
    ("objects/LightHelpers.cpp", "a(item::light::Diffuse); b(item::reply::camera_pose::Pose);", True),
    ("objects/Shared.cpp", "a(item::appearance::Colour); b(item::every::Time);", False),
    ("objects/Shared.cpp", "a(item::nothing::Colour);", True),
    ("objects/Shared.cpp", "if (packet.hasItem(44)) {}", True),
    ("objects/Shared.cpp", "const int* c = ints(arrived, 63, 3);", True),
    ("objects/Shared.cpp", "const auto n = state->getIntVector(7);", True),
    ("objects/Shared.cpp", "static constexpr int ITEM_SIZE = 46;", True),
    ("objects/Shared.cpp", "int n = 4; // in a comment: packet.hasItem(44)", False),
    ("client/Sim.cpp", "packet.setIntVector(44, {1, 2, 3});", False),
]


class Checker(unittest.TestCase):
    def test_cases(self):
        for path, source, objected in CASES:
            with self.subTest(path=path, source=source), tempfile.TemporaryDirectory() as folder:
                root = pathlib.Path(folder)
                (root / "protocol").mkdir()
                shutil.copy(LIST, root / "protocol" / "kinds.json")
                (root / "CMakeLists.txt").write_text("set(ORVANE_MODULES\n  protocol objects client)\n")
                (root / path).parent.mkdir(parents=True)
                (root / path).write_text(source + "\n")
                problems = check_items.check(root)
                self.assertEqual(bool(problems), objected, problems)


if __name__ == "__main__":
    unittest.main()

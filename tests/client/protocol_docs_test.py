"""The help page's packet reference and docs/protocol.md carry the tables the
generator makes from the one list (protocol/kinds.json), and what is written
by hand around them still fits the list."""

import html.parser
import json
import pathlib
import re
import subprocess
import sys
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
LIST = json.loads((ROOT / "protocol" / "kinds.json").read_text())


class Page(html.parser.HTMLParser):
    """Reads the help page: the ids it defines, the links inside it, the
    section headings "... (type code N)" with their ids, and whether every
    table, row and cell it opens is closed again in order."""

    def __init__(self):
        super().__init__()
        self.ids, self.links, self.sections, self.unbalanced = set(), set(), {}, []
        self._open, self._heading, self._text = [], None, ""

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and attrs.get("href", "").startswith("#"):
            self.links.add(attrs["href"][1:])
        if tag == "h3":
            self._heading, self._text = attrs.get("id"), ""
        if tag in ("table", "tr", "td", "th"):
            self._open.append(tag)

    def handle_endtag(self, tag):
        if tag == "h3":
            match = re.search(r"\(type code (\d+)\)", self._text)
            if match:
                self.sections[int(match.group(1))] = self._heading
            self._heading = None
        if tag in ("table", "tr", "td", "th"):
            if not self._open or self._open.pop() != tag:
                self.unbalanced.append(tag)

    def handle_data(self, data):
        if self._heading is not None:
            self._text += data


class HelpPage(unittest.TestCase):
    def setUp(self):
        self.text = (ROOT / "Help" / "help.html").read_text()
        self.page = Page()
        self.page.feed(self.text)

    def test_tables_are_what_the_generator_writes_and_stay_well_formed(self):
        check = subprocess.run([sys.executable, str(ROOT / "protocol" / "generate.py"),
                                "--check-help-page", str(ROOT / "Help" / "help.html")],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stderr)
        # Texts from the list go into the page as HTML: a stray tag in one
        # of them would break the page's tables.
        self.assertEqual(self.page.unbalanced + self.page._open, [])

    def test_each_documented_kind_links_to_its_own_section(self):
        anchors = {kind["code"]: kind["anchor"] for kind in LIST["kinds"] if "anchor" in kind}
        self.assertGreaterEqual(len(anchors), 10)
        self.assertEqual(self.page.sections, anchors)
        self.assertLessEqual(self.page.links, self.page.ids)

    def test_names_the_reply_items_of_the_kinds_it_documents(self):
        documented = {kind["name"] for kind in LIST["kinds"] if "anchor" in kind}
        for reply in (r for r in LIST["replies"] if r["from"] in documented):
            for index in (row["index"] for row in reply["items"]):
                self.assertTrue(re.search(rf"item {index}\b", self.text), f"{reply['name']}: item {index}")


class ProtocolDocument(unittest.TestCase):
    def test_tables_and_the_python_copy_are_what_the_generator_writes(self):
        check = subprocess.run([sys.executable, str(ROOT / "protocol" / "generate.py"),
                                "--check-docs", str(ROOT / "docs" / "protocol.md"),
                                "--check-python", str(ROOT / "client" / "python" / "orvane" / "kinds.json")],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stderr)

    def test_the_worked_example_is_the_shared_vector(self):
        text = (ROOT / "docs" / "protocol.md").read_text()
        block = re.search(r"### A worked example.*?```\n(.*?)```", text, re.S).group(1)
        example = "".join(re.findall(r"\b[0-9a-f]{2}\b", " ".join(
            line.split("  ")[0] if not line.startswith("   ") else line.strip().split("  ")[0]
            for line in block.splitlines())))
        vectors = (ROOT / "protocol" / "vectors.txt").read_text()
        red_box = next(line for line in vectors.splitlines() if line.startswith("red_box"))
        self.assertEqual(example, red_box.rsplit("|", 1)[1].strip())


if __name__ == "__main__":
    unittest.main()

"""The help page's packet reference and docs/protocol.md name the same kinds
and items as the one list (protocol/kinds.json)."""

import html.parser
import json
import pathlib
import re
import subprocess
import sys
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
LIST = json.loads((ROOT / "protocol" / "kinds.json").read_text())


def listed_items():
    """Type code -> set of item numbers, as the list has them."""
    kinds = {}
    for kind in LIST["kinds"]:
        rows = kind["items"] + [row for group in kind.get("groups", []) for row in LIST["groups"][group]]
        kinds[kind["code"]] = {row["index"] for row in rows}
    return kinds


class PacketReference(html.parser.HTMLParser):
    """Reads the help page: the type codes of the objects table, and for each
    section "... (type code N)" the item numbers of its item tables (tables
    whose first heading is "Item"; a cell may name several: "44, 10")."""

    def __init__(self):
        super().__init__()
        self.text = ""
        self.codes, self.items = set(), {}
        self._heading = self._cell = None
        self._section = None
        self._table = None  # "objects", "items" or None
        self._row, self._text = [], ""

    def handle_starttag(self, tag, attrs):
        if tag in ("h2", "h3"):
            self._heading, self._text = tag, ""
        elif tag == "table":
            self._table = "pending"
        elif tag == "tr":
            self._row = []
        elif tag in ("td", "th"):
            self._cell, self._text = tag, ""

    def handle_endtag(self, tag):
        if tag == self._heading:
            match = re.search(r"\(type code (\d+)\)", self._text)
            self._section = int(match.group(1)) if match else ("objects" if self._text == "Objects" else None)
            if tag == "h2":
                self._section = None
            self._heading = None
        elif tag in ("td", "th"):
            self._row.append((self._cell, self._text.strip()))
            self._cell = None
        elif tag == "tr" and self._row:
            first_kind, first = self._row[0]
            if self._table == "pending" and first_kind == "th":
                if first == "Item" and isinstance(self._section, int):
                    self._table = "items"
                elif first == "Type code" and self._section == "objects":
                    self._table = "objects"
                else:
                    self._table = None
            elif self._table == "items" and first_kind == "td":
                self.items.setdefault(self._section, set()).update(int(n) for n in re.findall(r"\d+", first))
            elif self._table == "objects" and first_kind == "td":
                self.codes.add(int(first))
        elif tag == "table":
            self._table = None

    def feed(self, data):
        self.text += data
        super().feed(data)

    def handle_data(self, data):
        if self._heading or self._cell:
            self._text += data


class HelpPage(unittest.TestCase):
    def test_names_every_kind_and_the_items_of_each(self):
        page = PacketReference()
        page.feed((ROOT / "Help" / "help.html").read_text())
        listed = listed_items()
        self.assertEqual(page.codes, set(listed))
        # The objects table links the kinds this build creates to their
        # sections (the time packet is described in the table itself); each
        # linked kind has a section, and only those have one.
        linked = {int(code) for code in re.findall(r'<tr><td>(\d+)</td><td><a href="#', page.text)}
        self.assertGreaterEqual(len(linked), 10)
        self.assertEqual(set(page.items), linked)
        for code, items in page.items.items():
            with self.subTest(type_code=code):
                self.assertEqual(items, listed[code])

    def test_names_the_reply_items_of_the_kinds_it_documents(self):
        page = PacketReference()
        page.feed((ROOT / "Help" / "help.html").read_text())
        text = page.text
        code = {kind["name"]: kind["code"] for kind in LIST["kinds"]}
        for reply in (r for r in LIST["replies"] if code[r["from"]] in page.items):
            for index in (row["index"] for row in reply["items"]):
                self.assertTrue(re.search(rf"item {index}\b", text), f"{reply['name']}: item {index}")


class ProtocolDocument(unittest.TestCase):
    def test_names_every_kind_and_its_items(self):
        text = (ROOT / "docs" / "protocol.md").read_text()
        sections = re.split(r"^### ", text, flags=re.M)
        found = {}
        for section in sections[1:]:
            match = re.match(r".*\(type code (\d+)\)", section)
            if match:
                found[int(match.group(1))] = {int(n) for n in re.findall(r"^\| (\d+) \|", section, re.M)}
        self.assertEqual(found, listed_items())
        replies = re.search(r"^### Replies\n(.*?)(?:^#|\Z)", text, re.M | re.S).group(1)
        self.assertEqual({int(n) for n in re.findall(r"^\| [^|]+ \| (\d+) \|", replies, re.M)},
                         {row["index"] for reply in LIST["replies"] for row in reply["items"]})

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

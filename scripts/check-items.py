#!/usr/bin/env python3
"""Fails when viewer code reads an item its object kind does not have.

The viewer names items through the constants generated from
protocol/kinds.json: item::<kind>::<Item> for each kind (with the items of
its groups), item::<group>::<Item> for code that several kinds share,
item::every::<Item> and item::reply::<reply>::<Item>. This reads every
source file of the viewer's modules and reports, with file and line:

  - a file of a kind's class (ClassName.h/.cpp, the class as the list names
    it) that names another kind's items, a group its kind does not have, or
    a reply another kind sends;
  - any other file that names the items of more than one kind (its items
    belong to one kind, or it is shared code that names groups only);
  - an item given as a bare number to a packet accessor (packet.hasItem(44),
    intItem(packet, 44), ints(packet, 44, 3)) or a hand-written ITEM_
    constant, which would bypass the list.

Usage: check-items.py [--root DIR]   (exit 0: clean, 1: problems found)
"""

import argparse
import json
import pathlib
import re
import sys

# The modules that simulations program against, or that implement the
# packet itself, are not object code.
NOT_VIEWER = {"protocol", "client", "gnp2"}
SUFFIXES = {".cpp", ".h"}
NAMED = re.compile(r"\bitem::(reply::\w+|\w+)::\w+")
ACCESSOR = (r"(?:\.|->)(?:getFloatVector|getIntVector|getString|getFloatArray|getIntArray|hasItem|"
            r"isChanged|count|item|setFloatVector|setIntVector|setString|setRaw|removeItem)\(\s*\d+\s*[,)]")
PACKET_ARGUMENT = r"\(\s*[*&]?\w*(?:packet|arrived|state)\w*\s*,\s*\d+\s*[,)]"
BARE = re.compile(f"{ACCESSOR}|{PACKET_ARGUMENT}", re.I)
HAND_WRITTEN = re.compile(r"\bconstexpr\s+int\s+ITEM_\w+\s*=")


def load(root):
    data = json.loads((root / "protocol" / "kinds.json").read_text())
    kinds = {}
    for kind in data["kinds"]:
        allowed = {kind["name"], "every", *kind.get("groups", [])}
        allowed |= {f"reply::{r['name']}" for r in data["replies"] if r["from"] == kind["name"]}
        kinds[kind["name"]] = {"class": kind["class"], "allowed": allowed}
    owner = {"every": None, **{group: None for group in data["groups"]}}
    owner.update({name: name for name in kinds})
    owner.update({f"reply::{r['name']}": r["from"] for r in data["replies"]})
    return kinds, owner


def viewer_files(root):
    text = (root / "CMakeLists.txt").read_text()
    modules = re.search(r"set\(\s*ORVANE_MODULES\s+([^)]*)\)", text).group(1).split()
    for module in modules:
        if module.split("/")[0] in NOT_VIEWER:
            continue
        for path in sorted((root / module).rglob("*")):
            if path.suffix in SUFFIXES and path.is_file():
                yield path


def strip_comments(line):
    return line.split("//", 1)[0]


def check(root):
    kinds, owner = load(root)
    kind_of_class = {info["class"]: name for name, info in kinds.items()}
    problems = []
    for path in viewer_files(root):
        relative = path.relative_to(root).as_posix()
        lines = path.read_text(errors="replace").splitlines()
        uses = []  # (line number, namespace)
        for number, line in enumerate(lines, 1):
            code = strip_comments(line)
            uses += [(number, m.group(1)) for m in NAMED.finditer(code)]
            if BARE.search(code):
                problems.append(f"{relative}:{number}: an item as a bare number: {line.strip()}")
            if HAND_WRITTEN.search(code):
                problems.append(f"{relative}:{number}: a hand-written item constant: {line.strip()}")
        for number, namespace in uses:
            if namespace not in owner:
                problems.append(f"{relative}:{number}: item::{namespace} is no kind, group or reply")
        uses = [(number, namespace) for number, namespace in uses if namespace in owner]
        kind = kind_of_class.get(path.stem)
        if kind is None:
            used = {owner[namespace] for _, namespace in uses} - {None}
            if len(used) > 1:
                problems.append(f"{relative}: names the items of several kinds: {', '.join(sorted(used))}")
                continue
            kind = used.pop() if used else None
        if kind is None:
            continue  # shared code: groups and every packet's items only
        for number, namespace in uses:
            if namespace not in kinds[kind]["allowed"]:
                problems.append(f"{relative}:{number}: kind {kind} ({kinds[kind]['class']}) "
                                f"has no items item::{namespace}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent)
    args = parser.parse_args()
    problems = check(args.root)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

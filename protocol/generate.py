#!/usr/bin/env python3
"""Makes what depends on the one list of object kinds and items.

The list is protocol/kinds.json. From it this writes:

  --header FILE   the C++ constants for simulation authors (orvane/Protocol.h):
                  orvane::kind::Shape, orvane::item::shape::Colour, ...
  --viewer-items FILE  the viewer's item constants (protocol/Items.h):
                  item::every::Time, item::placement::Position,
                  item::shape::Colour, item::reply::button_event::Event, ...
  --viewer-kinds FILE  the viewer's table of kinds (protocol/ObjectKinds.def),
                  rows OBJECT_KIND(code, className, parent)
  --table FILE    the same list as a constant table for programs that name
                  items at run time (orvane/ProtocolTable.h)
  --docs FILE     rewrites the item tables of docs/protocol.md between the
                  lines "<!-- items begin -->" and "<!-- items end -->"
  --check-docs FILE  exit 1 when those tables are not what --docs would write
  --help-page FILE  rewrites the packet reference tables of the help page
                  (Help/help.html) between its "<!-- ... begin -->" and
                  "<!-- ... end -->" comments: the objects table, the items
                  every packet may carry and one item table per kind
  --check-help-page FILE  exit 1 when those tables are not what --help-page
                  would write
  --python FILE   the copy of the list inside the Python package
                  (client/python/orvane/kinds.json), which reads it at import
  --check-python FILE  exit 1 when that copy is not the list
"""

import argparse
import html
import json
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
LIST = HERE / "kinds.json"
SOURCE = "protocol/kinds.json by protocol/generate.py"
PARENTS = ("None", "SceneRoot", "HudRoot")
BEGIN = "<!-- items begin -->"
END = "<!-- items end -->"


def fields(row):
    """The fields of an item row in the order the tables show them."""
    return row["index"], row["name"], row["type"], row["count"], row["meaning"]


def load(path=LIST):
    data = json.loads(pathlib.Path(path).read_text())
    # The viewer's table is indexed by type code, from 1 up without gaps.
    codes = [kind["code"] for kind in data["kinds"]]
    if codes != list(range(1, len(codes) + 1)):
        raise SystemExit(f"generate.py: type codes must run 1, 2, 3, ... in order, not {codes}")
    for kind in data["kinds"]:
        if kind["parent"] not in PARENTS:
            raise SystemExit(f"generate.py: kind {kind['name']}: parent must be one of {PARENTS}")
        items = list(kind["items"])
        for group in kind.get("groups", []):
            items += data["groups"][group]
        kind["all_items"] = items
    return data


def camel(name):
    return "".join(part.capitalize() for part in name.split("_"))


def constants(rows):
    """One named constant per item row."""
    return [f"constexpr int {camel(name)} = {index}; // {_type}[{count}] {' '.join(meaning.split())}"
            for index, name, _type, count, meaning in map(fields, rows)]


def values(rows):
    """An enumeration of the named values of each item row that has them:
    enum ShapeKindValue : int { KIND_BOX = 1, ... } for item shape_kind."""
    out = []
    for row in rows:
        if "values" in row:
            out += [f"// Values of item {row['index']} ({camel(row['name'])}).",
                    f"enum {camel(row['name'])}Value : int", "{",
                    *(f"    {name} = {value}," for name, value in row["values"].items()), "};"]
    return out


def namespace(name, rows):
    return [f"namespace {name} {{", *constants(rows), *values(rows), f"}} // namespace {name}"]


def header(data):
    out = ["#pragma once",
           f"// Generated from {SOURCE};",
           "// edit the list, not this file.",
           "//",
           "// The type codes of the object kinds and the item numbers of every kind and",
           "// of the viewer's replies, so that a simulation names what it sends:",
           "//     packet.setHeader(GNP2::makeHeader(1, orvane::kind::Shape));",
           "//     packet.setIntVector(orvane::item::shape::Colour, {255, 0, 0});",
           "", "#include <cstdint>", "", "namespace orvane {", "", "namespace kind {"]
    for kind in data["kinds"]:
        out.append(f"// {kind['title']}: {kind['about']}")
        out.append(f"constexpr std::uint32_t {camel(kind['name'])} = {kind['code']};")
    out += ["} // namespace kind", "", "namespace item {", "// Items of every packet."]
    out += constants(data["every_packet"])
    for kind in data["kinds"]:
        out += ["", *namespace(kind["name"], kind["all_items"])]
    out += ["", "// Items of the packets the viewer sends back.", "namespace reply {"]
    for reply in data["replies"]:
        out += namespace(reply["name"], reply["items"])
    out += ["} // namespace reply", "} // namespace item", "", "} // namespace orvane", ""]
    return "\n".join(out)


def viewer_items(data):
    out = ["#pragma once",
           f"// Generated from {SOURCE}; edit the list, not this file.",
           "//",
           "// The viewer's names of the items. An object class reads its items through",
           "// the namespace of its own kind (item::shape::Colour), of a group its kind",
           "// has (item::placement::Position, for the code every such kind shares) and",
           "// item::every; a check in the tests holds each class to that. Replies are",
           "// item::reply::<reply>::<item>.",
           "", "namespace item {", "", "// Items of every packet."]
    out += namespace("every", data["every_packet"])
    out += ["", "// Groups of items that several kinds share."]
    for group, rows in data["groups"].items():
        out += namespace(group, rows)
    for kind in data["kinds"]:
        out += ["", f"// {kind['class']}: {kind['title']}", *namespace(kind["name"], kind["all_items"])]
    out += ["", "// Items of the packets the viewer sends back.", "namespace reply {"]
    for reply in data["replies"]:
        out += [f"// Sent by the {reply['from']} kind: {reply['title']}", *namespace(reply["name"], reply["items"])]
    out += ["} // namespace reply", "", "} // namespace item", ""]
    return "\n".join(out)


def viewer_kinds(data):
    out = [f"// Generated from {SOURCE}; edit the list, not this file.",
           "// The object kinds in type-code order, from 1 up without gaps:",
           "// OBJECT_KIND(code, className, parent)",
           "//   parent: None (no group: time packets, views) / SceneRoot / HudRoot"]
    out += [f"OBJECT_KIND({kind['code']}, {kind['class']}, {kind['parent']})" for kind in data["kinds"]]
    return "\n".join(out) + "\n"


def cstr(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def table(data):
    out = ["#pragma once",
           f"// Generated from {SOURCE}.",
           "// The list of kinds and items as data, for programs that name items at run time.",
           "", "#include <cstdint>", "", "namespace orvane::protocol {", "",
           "struct ItemInfo", "{", "    int index;", "    const char* name;",
           "    const char* type;  // int, float, char or any",
           "    const char* count; // a number, alternatives '2|3', 'kN' or 'n'", "};", "",
           "struct KindInfo", "{", "    std::uint32_t code;", "    const char* name;",
           "    const char* className;", "    const ItemInfo* items;", "    int itemCount;", "};", ""]

    def items(var, rows):
        out.append(f"inline constexpr ItemInfo {var}[] = {{")
        for index, name, _type, count, _meaning in map(fields, rows):
            out.append(f"    {{{index}, {cstr(name)}, {cstr(_type)}, {cstr(count)}}},")
        out.append("};")

    items("EVERY_PACKET", data["every_packet"])
    for kind in data["kinds"]:
        items(f"ITEMS_{kind['name'].upper()}", kind["all_items"])
    out.append("")
    out.append("inline constexpr KindInfo KINDS[] = {")
    for kind in data["kinds"]:
        var = f"ITEMS_{kind['name'].upper()}"
        out.append(f"    {{{kind['code']}, {cstr(kind['name'])}, {cstr(kind['class'])}, {var}, "
                   f"int(sizeof({var}) / sizeof(ItemInfo))}},")
    out += ["};", "", "} // namespace orvane::protocol", ""]
    return "\n".join(out)


def docs_tables(data):
    out = []
    for kind in data["kinds"]:
        out += [f"### {kind['title'][0].upper() + kind['title'][1:]} (type code {kind['code']})", "",
                f"{kind['about'][0].upper() + kind['about'][1:]}. Constants: `orvane::kind::{camel(kind['name'])}`, "
                f"`orvane::item::{kind['name']}::...`; Python: `orvane.{camel(kind['name'])}`.", "",
                "| Item | Type | Field | Meaning | Needed | Default |", "| --- | --- | --- | --- | --- | --- |"]
        worded = kind_rows(kind)
        for row in kind["all_items"]:
            index, name, _type, count, meaning = fields(row)
            own = worded[index]
            out.append(f"| {index} | {_type}[{count}] | `{name}` | {meaning} | {own.get('needed', '')} | "
                       f"{own.get('default', '')} |")
        out.append("")
    out += ["### Replies", "", "| From | Item | Type | Field | Meaning |", "| --- | --- | --- | --- | --- |"]
    for reply in data["replies"]:
        for index, name, _type, count, meaning in map(fields, reply["items"]):
            out.append(f"| {reply['from']} ({reply['title']}) | {index} | {_type}[{count}] | `{name}` | {meaning} |")
    out.append("")
    return "\n".join(out)


def docs(text, data):
    start, stop = text.find(BEGIN), text.find(END)
    if start < 0 or stop < start:
        raise SystemExit(f"generate.py: the document has no '{BEGIN}' ... '{END}' lines")
    return text[: start + len(BEGIN)] + "\n\n" + docs_tables(data) + "\n" + text[stop:]


def between(text, name, content):
    """Text with what lies between the comments "<!-- NAME begin -->" and
    "<!-- NAME end -->" replaced by content."""
    begin, end = f"<!-- {name} begin -->", f"<!-- {name} end -->"
    start, stop = text.find(begin), text.find(end)
    if start < 0 or stop < start:
        raise SystemExit(f"generate.py: the page has no '{begin}' ... '{end}' comments")
    return text[: start + len(begin)] + "\n" + content + text[stop:]


def help_text(row):
    """The help page's words for an item: its own HTML text, else its meaning."""
    return row.get("help", html.escape(row["meaning"], quote=False))


def help_type(row):
    return row.get("help_type", f"{row['type']}[{row['count'].replace('|', ' or ')}]")


def kind_rows(kind):
    """Item number -> the kind's row: a group item with the kind's own wording
    from "overrides"; an item sharing a help page row with others ("together")
    is needed when that row says, unless it says otherwise itself."""
    rows = {row["index"]: {**row, **kind.get("overrides", {}).get(str(row["index"]), {})}
            for row in kind["all_items"]}
    for row in list(rows.values()):
        for other in row.get("together", []):
            if "needed" in row and str(other) not in kind.get("overrides", {}) and other not in \
                    {own["index"] for own in kind["items"] if "needed" in own}:
                rows[other]["needed"] = row["needed"]
    return rows


def help_rows(kind):
    """The rows of a kind's item table: the kind's own wording of a group item
    replaces the group's, and an item may share a row with the ones it names
    in "together"."""
    rows = kind_rows(kind)
    out, shown = [], set()
    for index in kind.get("help_order", [row["index"] for row in kind["all_items"]]):
        row = rows[index]
        members = [row] + [rows[other] for other in row.get("together", [])]
        shown.update(member["index"] for member in members)
        types = row.get("help_type", ", ".join(dict.fromkeys(help_type(m) for m in members)))
        if "help_type" in row or len(members) == 1:
            types = help_type(row)
        number = ", ".join(str(member["index"]) for member in members)
        out.append(f"  <tr><td>{number}</td><td>{types}</td><td>{help_text(row)}</td>"
                   f"<td>{row.get('needed', '')}</td></tr>")
    missing = set(rows) - shown
    if missing:
        raise SystemExit(f"generate.py: {kind['name']}: items {sorted(missing)} have no row on the help page")
    return out


def help_page(text, data):
    objects = ["<table>", "  <tr><th>Type code</th><th>Object</th></tr>"]
    for kind in data["kinds"]:
        if "anchor" in kind:
            what = f'<a href="#{kind["anchor"]}">{kind["title"]}</a>'
        else:
            what = kind["title"] + ": " + "; ".join(
                f"item {row['index']} ({row['type']})" for row in kind["items"]) + " " + kind["about"]
        objects.append(f"  <tr><td>{kind['code']}</td><td>{what}</td></tr>")
    text = between(text, "objects", "\n".join(objects + ["</table>", ""]))
    every = "; ".join(f"{row['index']} ({help_type(row)}) {help_text(row)}" for row in data["every_packet"])
    text = between(text, "every packet", f"<p>Items every packet may carry: {every}.\n")
    for kind in data["kinds"]:
        if "anchor" not in kind:
            continue
        rows = ["<table>", "  <tr><th>Item</th><th>Type</th><th>Meaning</th><th>Needed</th></tr>"]
        text = between(text, f"items {kind['name']}", "\n".join(rows + help_rows(kind) + ["</table>", ""]))
    return text


def write_if_changed(path, content):
    path = pathlib.Path(path)
    if not path.exists() or path.read_text() != content:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(content)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=LIST)
    parser.add_argument("--header")
    parser.add_argument("--viewer-items")
    parser.add_argument("--viewer-kinds")
    parser.add_argument("--table")
    parser.add_argument("--docs")
    parser.add_argument("--check-docs")
    parser.add_argument("--help-page")
    parser.add_argument("--check-help-page")
    parser.add_argument("--python")
    parser.add_argument("--check-python")
    args = parser.parse_args()
    data = load(args.list)
    if args.header:
        write_if_changed(args.header, header(data))
    if args.viewer_items:
        write_if_changed(args.viewer_items, viewer_items(data))
    if args.viewer_kinds:
        write_if_changed(args.viewer_kinds, viewer_kinds(data))
    if args.table:
        write_if_changed(args.table, table(data))
    # Documents whose tables are rewritten in place: (option, rewrite, what the tables are).
    for option, rewrite, tables in (("docs", docs, "item tables"),
                                    ("help_page", help_page, "packet reference tables")):
        if getattr(args, option):
            path = pathlib.Path(getattr(args, option))
            write_if_changed(path, rewrite(path.read_text(), data))
        checked = getattr(args, "check_" + option)
        if checked:
            text = pathlib.Path(checked).read_text()
            if rewrite(text, data) != text:
                print(f"{checked}: the {tables} differ from the list; run "
                      f"protocol/generate.py --{option.replace('_', '-')} {checked}", file=sys.stderr)
                return 1
    # The Python package ships the list itself: pip builds it from its own
    # folder, which cannot reach this one.
    listed = pathlib.Path(args.list).read_text()
    if args.python:
        write_if_changed(args.python, listed)
    if args.check_python:
        copy = pathlib.Path(args.check_python)
        if not copy.exists() or copy.read_text() != listed:
            print(f"{args.check_python}: not a copy of the list; run "
                  f"protocol/generate.py --python {args.check_python}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

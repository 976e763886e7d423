"""Packets: the builders of every object kind, their wire form, the replies.

Everything here is made from kinds.json, a copy of the one list of object
kinds and items (protocol/kinds.json) that the C++ constants and the protocol
document are made from too.

A builder is a packet for one object: its object number and the named fields
to send. Only what is given is sent; an item needs to be sent only when it
changes.

    box = Shape(1, shape_kind=1, colour=(220, 40, 40))
    frame = box.encode()          # bytes, as the viewer reads them
    Shape(1, position=(0, 0, 2))  # later: move it

Wrong input raises ItemError at once, naming the item and what is wrong:
"item 44 needs 3 integers, got 2".
"""

import json
import math
import pathlib
import struct

_LIST = json.loads((pathlib.Path(__file__).resolve().parent / "kinds.json").read_text())

TYPE_CHAR, TYPE_INT, TYPE_FLOAT = 1, 3, 5
_ELEMENT_SIZE = {0: 0, 1: 1, 2: 2, 3: 4, 4: 8, 5: 4, 6: 8}
ITEM_COUNT = 98
MAX_OBJECT_NUMBER = 4095


class ItemError(ValueError):
    """A field or item value that the viewer would not read as meant."""


class ProtocolError(ValueError):
    """Bytes from the viewer that are not a well-formed packet."""


def _camel(name):
    return "".join(part.capitalize() for part in name.split("_"))


class Item:
    """One item of a kind: its index, field name, element type and count rule."""

    def __init__(self, row):
        self.index, self.name, self.type = row["index"], row["name"], row["type"]
        self.count, self.meaning = row["count"], row["meaning"]

    def _count_ok(self, n):
        if self.count == "n":
            return True
        if self.count.endswith("N"):
            step = int(self.count[:-1])
            return n >= step and n % step == 0
        return n in (int(c) for c in self.count.split("|"))

    def _count_text(self):
        if self.count == "n":
            return "any number of"
        if self.count.endswith("N"):
            return f"a multiple of {self.count[:-1]}"
        return " or ".join(self.count.split("|"))

    def encode(self, value):
        """The item record (index, count, type, elements) for a field value."""
        kind = self.type
        if kind == "any":  # a flag item: its presence is what counts
            kind = "char" if isinstance(value, (str, bytes)) else "int"
            if isinstance(value, (bool, int)):
                value = [int(value)]
        if kind == "char":
            if isinstance(value, str):
                value = value.encode("utf-8")
            if not isinstance(value, (bytes, bytearray)):
                raise ItemError(f"item {self.index} needs text, got {type(value).__name__}")
            return self._record(TYPE_CHAR, len(value), bytes(value))
        if isinstance(value, (int, float)):
            value = [value]
        try:
            values = list(value)
        except TypeError:
            raise ItemError(f"item {self.index} needs numbers, got {type(value).__name__}") from None
        noun = "integers" if kind == "int" else "numbers"
        if not values or not self._count_ok(len(values)):
            raise ItemError(f"item {self.index} needs {self._count_text()} {noun}, got {len(values)}")
        if kind == "int":
            for v in values:
                if not isinstance(v, (int, float)) or isinstance(v, float) and not v.is_integer():
                    raise ItemError(f"item {self.index} needs integers, got {v!r}")
                if not -2**31 <= int(v) < 2**31:
                    raise ItemError(f"item {self.index} needs 32-bit integers, got {v!r}")
            return self._record(TYPE_INT, len(values), struct.pack(f"<{len(values)}i", *map(int, values)))
        for v in values:
            if not isinstance(v, (int, float)) or isinstance(v, bool):
                raise ItemError(f"item {self.index} needs numbers, got {v!r}")
            if math.isfinite(v) and abs(v) > 3.4028234663852886e38:
                raise ItemError(f"item {self.index} needs 32-bit floats, got {v!r}")
        return self._record(TYPE_FLOAT, len(values), struct.pack(f"<{len(values)}f", *values))

    def _record(self, type_code, count, data):
        return struct.pack("<BiB", self.index, count, type_code) + data


class Packet:
    """A packet for one object: header (object number, type code) and items.

    `items` maps an item index to its record bytes; builders fill it from
    named fields, `raw` from (type code, values) for anything else.
    """

    code = 0
    kind = None
    fields = {}

    def __init__(self, object_number, **fields):
        if not isinstance(object_number, int) or not 0 <= object_number <= MAX_OBJECT_NUMBER:
            raise ItemError(f"object number must be 0 to {MAX_OBJECT_NUMBER}, got {object_number!r}")
        self.object = object_number
        self.items = {}
        self.values = {}
        for name, value in fields.items():
            self.set(name, value)

    def set(self, name, value):
        """Sets a named field (checked now); returns the packet."""
        item = self.fields.get(name)
        if item is None:
            raise ItemError(f"{self.kind or 'a packet'} has no field '{name}'; its fields: "
                            f"{', '.join(sorted(self.fields))}")
        try:
            self.items[item.index] = item.encode(value)
        except ItemError as error:
            raise ItemError(f"{self.kind}.{name}: {error}") from None
        self.values[name] = value
        return self

    def raw(self, index, type_code, values):
        """Sets item `index` to elements of type 1 (text), 3 (int) or 5 (float)."""
        if not 0 <= index < ITEM_COUNT:
            raise ItemError(f"item {index} is not an item: items are 0 to {ITEM_COUNT - 1}")
        names = {TYPE_CHAR: "char", TYPE_INT: "int", TYPE_FLOAT: "float"}
        if type_code not in names:
            raise ItemError(f"item {index}: element type {type_code} is not 1, 3 or 5")
        self.items[index] = Item({"index": index, "name": f"item{index}", "type": names[type_code],
                                   "count": "n", "meaning": ""}).encode(values)
        return self

    @property
    def header(self):
        return (self.object & 0xFFF) | (self.code << 24)

    def encode(self):
        """The wire frame: length word, header word, item records by ascending index."""
        body = struct.pack("<I", self.header) + b"".join(self.items[i] for i in sorted(self.items))
        return struct.pack("<I", 4 + len(body)) + body

    def __repr__(self):
        shown = ", ".join(f"{k}={v!r}" for k, v in self.values.items())
        return f"{type(self).__name__}({self.object}{', ' if shown else ''}{shown})"


def _builder(kind):
    items = list(kind["items"])
    for group in kind.get("groups", []):
        items += _LIST["groups"][group]
    fields = {row["name"]: Item(row) for row in items}
    doc = f"{kind['title'].capitalize()} (type code {kind['code']}): {kind['about']}.\n\nFields:\n" + \
        "\n".join(f"  {r['name']} (item {r['index']}, {r['type']}[{r['count']}]): {r['meaning']}" for r in items)
    # The named values of its items as class attributes: Shape.KIND_SPRING.
    named = {name: value for row in items for name, value in row.get("values", {}).items()}
    return type(_camel(kind["name"]), (Packet,),
                {**named, "code": kind["code"], "kind": kind["name"], "fields": fields, "__doc__": doc})


KINDS = {kind["code"]: _builder(kind) for kind in _LIST["kinds"]}
BUILDERS = {cls.__name__: cls for cls in KINDS.values()}
globals().update(BUILDERS)


def builder(code):
    """The builder class of a type code."""
    try:
        return KINDS[code]
    except KeyError:
        raise ItemError(f"type code {code} is no object kind; kinds are "
                        f"{', '.join(str(c) for c in sorted(KINDS))}") from None


# ---- what the viewer sends back ------------------------------------------

def decode(body):
    """Decodes a frame body (header word and item records) into
    (header, {index: (type code, values)}); raises ProtocolError."""
    if len(body) < 4:
        raise ProtocolError(f"a packet body needs at least 4 bytes, got {len(body)}")
    header, = struct.unpack_from("<I", body)
    items, at = {}, 4
    while at < len(body):
        if len(body) - at < 6:
            raise ProtocolError(f"item record at byte {at} is cut short")
        index, count, type_code = struct.unpack_from("<BiB", body, at)
        at += 6
        if index >= ITEM_COUNT or type_code not in _ELEMENT_SIZE or count < 0:
            raise ProtocolError(f"bad item record at byte {at - 6}: index {index}, "
                                f"type {type_code}, count {count}")
        size = count * _ELEMENT_SIZE[type_code]
        if at + size > len(body):
            raise ProtocolError(f"item {index} runs past the end of the packet")
        data = body[at:at + size]
        at += size
        if type_code == TYPE_CHAR:
            values = data.decode("utf-8", "replace")
        elif type_code == TYPE_INT:
            values = list(struct.unpack(f"<{count}i", data))
        elif type_code == TYPE_FLOAT:
            values = list(struct.unpack(f"<{count}f", data))
        else:
            values = data
        items[index] = (type_code, values)
    return header, items


class Reply:
    """A packet from the viewer that is none of the known replies."""

    name = "reply"

    def __init__(self, object_number, items):
        self.object = object_number
        self.items = items

    def __repr__(self):
        return f"{type(self).__name__}(object={self.object}, items={self.items!r})"


def _reply_class(reply):
    rows = reply["items"]

    def __init__(self, object_number, items):
        Reply.__init__(self, object_number, items)
        for row in rows:
            index, name, count = row["index"], row["name"], row["count"]
            values = items.get(index, (None, None))[1]
            if values is not None and count == "1":
                values = values[0] if values else None
            elif values is not None:
                values = tuple(values)
            setattr(self, name, values)

    def __repr__(self):
        shown = ", ".join(f"{r['name']}={getattr(self, r['name'])!r}" for r in rows)
        return f"{type(self).__name__}(object={self.object}, {shown})"

    doc = f"{reply['title'].capitalize()} from a {reply['from']} object.\n\nFields:\n" + \
        "\n".join(f"  {r['name']} (item {r['index']}): {r['meaning']}" for r in rows)
    return type(_camel(reply["name"]), (Reply,),
                {"__init__": __init__, "__repr__": __repr__, "__doc__": doc,
                 "name": reply["name"], "source": reply["from"],
                 "item_indices": frozenset(r["index"] for r in rows)})


REPLIES = {reply["from"]: _reply_class(reply) for reply in _LIST["replies"]}
globals().update({cls.__name__: cls for cls in REPLIES.values()})

ButtonEvent.PRESSED, ButtonEvent.CLICKED, ButtonEvent.ENTERED = 1, 2, 3  # noqa: F821
ButtonEvent.DRAGGED, ButtonEvent.LEFT = 4, 6  # noqa: F821


def reply_from(header, items, kind=None):
    """The named record of a reply; `kind` is the kind of the object it came
    from when known (the client remembers what it created), else the items
    decide."""
    number = header & 0xFFF
    cls = REPLIES.get(kind)
    if cls is None:
        if 30 in items:
            cls = REPLIES["hud"]
        elif 92 in items:
            cls = REPLIES["intersector"]
        elif 1 in items and len(items[1][1]) == 16:
            cls = REPLIES["view"]
        else:
            return Reply(number, items)
    return cls(number, items)

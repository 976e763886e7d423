"""orvane-replay export-mcap against a small MCAP reader of its own: replays
with one object of every kind are written here, exported, and the files read
back record by record (CRCs, chunk and message indexes, summary) and their
messages compared with the replay's state.

Usage: mcap_export_test.py ORVANE_REPLAY WORKDIR [ORVANE]. The files it
exports stay in WORKDIR for the independent reader's test (mcap_validate.js).
With ORVANE, the program's own export (which draws the procedural shapes) is
checked too."""

import json
import resource
import pathlib
import struct
import subprocess
import sys
import unittest
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "client" / "python"))
import orvane  # noqa: E402
from orvane import protocol  # noqa: E402

TOOL = WORKDIR = PROGRAM = None
TIME_ITEM, CONNECTION_ITEM = 0, 13
MAGIC = b"\x89MCAP0\r\n"


# ---- replays ----------------------------------------------------------------

def record(time, packet, connection=1):
    packet.raw(TIME_ITEM, protocol.TYPE_FLOAT, [time]).raw(CONNECTION_ITEM, protocol.TYPE_INT, [connection])
    return struct.pack("<f", time) + packet.encode()


def turn(step):
    """Orientation item rows u, v: a turn of 0.3 * step rad about z then tilt."""
    import math
    a = 0.3 * step
    return [math.cos(a), math.sin(a), 0.0, -math.sin(a) * 0.8, math.cos(a) * 0.8, 0.6]


LABEL = "Grüße \"quoted\" back\\slash \x01 tab\t ☃"


def every_kind(steps=10):
    """A run at 0.1 s steps: one object of every kind; the box moves and turns
    at every step and turns red at step 5; the text changes at step 3."""
    out = []
    for step in range(steps):
        t = 0.1 * step
        if step == 0:
            out += [
                record(t, orvane.Time(4000, time=t)),
                record(t, orvane.FlowPipe(2, pipe_kind=3, start=[1, 0, 0], orientation=[1, 0, 0, 0, 1, 0],
                                          end=[3, 1, 0], end_direction=[0, 1, 0], inlet_radius=0.2,
                                          outlet_radius=0.1, tube_colour=[0, 0, 255], tube_opacity=1)),
                record(t, orvane.ModelFile(3, file_name="models/cow.osgt\0", position=[0, 2, 0],
                                           scale=[2, 2, 2])),
                record(t, orvane.Light(4, directional=0, diffuse=[255, 255, 200], position=[0, 0, 10])),
                record(t, orvane.Hud(7, element=2, position=[10, 20], text="speed", colour=[255, 0, 0])),
                record(t, orvane.Weather(8, weather_kind=2, fog_start=10.0, fog_end=100.0, fog_on=1)),
                record(t, orvane.View(9, camera_control=1, eye=[5, 5, 5], centre=[0, 0, 0], up=[0, 0, 1])),
                record(t, orvane.FlexBody(10, file_name="beam.obj", node_count=1, nodes=[0, 0, 0],
                                          displacements=[0, 0, 0.1])),
                record(t, orvane.FlexSurface(11, rows=2, columns=3, x=[0, 1, 2, 0, 1, 2], y=[0, 0, 0, 1, 1, 1],
                                             z=[0, 0.5, 0, 0, 0.5, 0], colour=[0, 255, 0])),
                record(t, orvane.Line(12, line_kind=1, point_count=3, points=[0, 0, 0, 1, 0, 0, 1, 1, 0],
                                      colour=[255, 255, 0], width=2.0)),
                record(t, orvane.ParticleEffect(13, effect=1, intensity=0.5, position=[0, 0, 1])),
                record(t, orvane.Intersector(14, start=[0, 0, 5], end=[0, 0, -5], marker_size=0.2,
                                             display_mode=1)),
                record(t, orvane.Shape(15, shape_kind=6, scale=[1, 1, 1])),
                record(t, orvane.Shape(16, shape_kind=7, position=[0, -2, 0], orientation=[1, 0, 0, 0, 0, 1],
                                       scale=[1, 0.2, 1], parameters=[5, 0.02])),
            ]
        box = orvane.Shape(1, shape_kind=1, position=[step * 0.5, 1.0, -step * 0.25], orientation=turn(step),
                           scale=[2, 1, 0.5], colour=[255, 0, 0] if step >= 5 else [200, 200, 200])
        out.append(record(t, box))
        out.append(record(t, orvane.Text(6, text=LABEL if step >= 3 else "start", height=0.5,
                                         position=[0, 0, step * 0.1], colour=[255, 255, 255])))
    return out


def ns(seconds):
    """A replay time (a 32-bit float) in nanoseconds."""
    return round(struct.unpack("<f", struct.pack("<f", seconds))[0] * 1e9)


def write(path, records):
    path.write_bytes(b"".join(records))
    return path


def export(*args, memory=None):
    """Runs the export; `memory`: a limit on its address space in bytes."""
    limit = (lambda: resource.setrlimit(resource.RLIMIT_AS, (memory, memory))) if memory else None
    return subprocess.run([TOOL, "export-mcap", *map(str, args)], capture_output=True, text=True,
                          preexec_fn=limit)


# ---- a reader of MCAP files ---------------------------------------------------

def refuse(constant):
    raise ValueError(f"{constant} is no JSON number")


class Reader:
    """Reads a whole file, checking its structure as it goes."""

    def __init__(self, data):
        self.data = data
        assert data[:8] == MAGIC and data[-8:] == MAGIC, "magic missing"
        self.schemas, self.channels, self.messages, self.chunks = {}, {}, [], []
        self.records = list(self.walk(8, len(data) - 8))
        opcodes = [op for op, _, _ in self.records]
        assert opcodes[0] == 0x01 and opcodes[-1] == 0x02, f"header/footer order {opcodes[:1]} {opcodes[-1:]}"
        data_end = opcodes.index(0x0F)
        start, length = self.records[data_end][1], None
        crc, = struct.unpack_from("<I", self.records[data_end][2])
        assert crc == zlib.crc32(data[:start]), "data section CRC"
        footer = self.records[-1][2]
        self.summary_start, self.summary_offset_start, summary_crc = struct.unpack("<QQI", footer)
        assert summary_crc == zlib.crc32(data[self.summary_start:len(data) - 8 - 4]), "summary CRC"
        for op, at, body in self.records[:data_end]:
            self.data_record(op, at, body)
        self.summary = [(op, at, body) for op, at, body in self.records[data_end + 1:-1]]
        self.check_summary()

    def walk(self, at, end):
        while at < end:
            op, length = struct.unpack_from("<BQ", self.data, at)
            assert at + 9 + length <= end, f"record at {at} runs past its section"
            yield op, at, self.data[at + 9:at + 9 + length]
            at += 9 + length

    @staticmethod
    def string(body, at):
        n, = struct.unpack_from("<I", body, at)
        return body[at + 4:at + 4 + n].decode(), at + 4 + n

    def data_record(self, op, at, body):
        if op == 0x03:
            sid, = struct.unpack_from("<H", body)
            name, p = self.string(body, 2)
            encoding, p = self.string(body, p)
            self.schemas[sid] = (name, encoding, json.loads(self.string(body, p)[0]))
        elif op == 0x04:
            cid, sid = struct.unpack_from("<HH", body)
            topic, p = self.string(body, 4)
            self.channels[cid] = (topic, sid, self.string(body, p)[0])
        elif op == 0x06:
            start, end, size, crc = struct.unpack_from("<QQQI", body)
            compression, p = self.string(body, 28)
            n, = struct.unpack_from("<Q", body, p)
            records = body[p + 8:p + 8 + n]
            chunk = {"at": at, "start": start, "end": end, "messages": {}, "indexed": {},
                     "compression": compression}
            self.chunks.append(chunk)
            if compression:  # read by the format's own reader (mcap_validate.js)
                assert len(records) < size, "a compressed chunk larger than its records"
                return
            assert len(records) == size and zlib.crc32(records) == crc, "chunk CRC"
            for op2, at2, message in self.walk_bytes(records):
                assert op2 == 0x05, f"record {op2} inside a chunk"
                cid, seq, log, pub = struct.unpack_from("<HIQQ", message)
                assert start <= log <= end, "message outside its chunk's times"
                chunk["messages"][(cid, at2)] = log
                self.messages.append((log, self.channels[cid][0], json.loads(message[22:].decode("utf-8"),
                                                                              parse_constant=refuse)))
        elif op == 0x07:
            cid, n = struct.unpack_from("<HI", body)
            for k in range(n // 16):
                log, offset = struct.unpack_from("<QQ", body, 6 + 16 * k)
                self.chunks[-1]["indexed"][(cid, offset)] = log
            self.chunks[-1].setdefault("index_at", {})[cid] = at

    def walk_bytes(self, records):
        at = 0
        while at < len(records):
            op, length = struct.unpack_from("<BQ", records, at)
            yield op, at, records[at + 9:at + 9 + length]
            at += 9 + length

    def check_summary(self):
        for chunk in self.chunks:
            if not chunk["compression"]:
                assert chunk["indexed"] == chunk["messages"], "message index differs from the chunk"
        indexes = [body for op, _, body in self.summary if op == 0x08]
        assert len(indexes) == len(self.chunks), "a chunk index per chunk"
        for body, chunk in zip(indexes, self.chunks):
            start, end, offset, length, n = struct.unpack_from("<QQQQI", body)
            offsets = dict(struct.unpack_from("<HQ", body, 36 + 10 * k) for k in range(n // 10))
            assert (start, end, offset) == (chunk["start"], chunk["end"], chunk["at"]), "chunk index"
            p = 36 + n + 8
            assert self.string(body, p)[0] == chunk["compression"], "chunk index compression"
            assert self.data[offset] == 0x06 and offsets == chunk["index_at"], "chunk index offsets"
        stats = [body for op, _, body in self.summary if op == 0x0B]
        indexed = sum(len(chunk["indexed"]) for chunk in self.chunks)
        assert len(stats) == 1 and struct.unpack_from("<Q", stats[0])[0] == indexed, "statistics"
        groups = {struct.unpack_from("<BQQ", body)[0]: struct.unpack_from("<BQQ", body)[1:]
                  for op, at, body in self.summary if op == 0x0E}
        for op, at, body in self.summary:
            if op != 0x0E:
                begin, length = groups[op]
                assert begin <= at < begin + length, f"summary offset of group {op}"

    def topic(self, name):
        return [(t, m) for t, topic, m in self.messages if topic == name]


# ---- the checks ---------------------------------------------------------------

def rotation(q):
    x, y, z, w = q["x"], q["y"], q["z"], q["w"]
    return [[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
            [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
            [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]]


def pose_at(reader, frame, ns):
    found = [m for t, m in reader.topic("/tf") if m["child_frame_id"] == frame and t <= ns]
    return found[-1] if found else None


class ExportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.replay = write(WORKDIR / "every_kind.dat", every_kind())
        cls.result = export(cls.replay, WORKDIR / "every_kind.mcap")
        cls.reader = Reader((WORKDIR / "every_kind.mcap").read_bytes())

    def test_every_kind_is_exported(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        entities = {e["id"]: e for _, m in self.reader.topic("/scene") for e in m["entities"]}
        kinds = {next(d["value"] for d in e["metadata"] if d["key"] == "kind") for e in entities.values()}
        expected = {k["name"] for k in protocol._LIST["kinds"]} - {"time", "hud", "view"}
        self.assertEqual(kinds, expected)
        self.assertTrue(self.reader.topic("/hud") and self.reader.topic("/views"))
        shown = {"1:1": "cubes", "1:2": "triangles", "1:3": "models", "1:6": "texts", "1:11": "triangles",
                 "1:12": "lines", "1:14": "arrows", "1:15": "arrows"}
        for entity_id, array in shown.items():
            self.assertTrue(entities[entity_id][array], f"{entity_id} has no {array}")

    def test_pose_at_three_times_is_the_replays(self):
        for step in (0, 4, 9):
            pose = pose_at(self.reader, "obj/1", ns(0.1 * step))
            want = struct.unpack("<3f", struct.pack("<3f", step * 0.5, 1.0, -step * 0.25))
            got = pose["translation"]
            for axis, value in zip("xyz", want):
                self.assertAlmostEqual(got[axis], value, places=5)
            u, v = turn(step)[:3], turn(step)[3:]
            w = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
            matrix = rotation(pose["rotation"])
            for row, expected in zip(matrix, (u, v, w)):
                for a, b in zip(row, expected):
                    self.assertAlmostEqual(a, b, places=5)

    def test_moves_are_transforms_and_changes_are_new_versions(self):
        box = [(t, e) for t, m in self.reader.topic("/scene") for e in m["entities"] if e["id"] == "1:1"]
        self.assertEqual([round(t / 1e8) for t, _ in box], [0, 5])
        self.assertEqual(box[1][1]["cubes"][0]["color"]["g"], 0)
        self.assertEqual(len([m for _, m in self.reader.topic("/tf") if m["child_frame_id"] == "obj/1"]), 10)

    def test_text_keeps_its_characters(self):
        texts = [e["texts"][0]["text"] for _, m in self.reader.topic("/scene") for e in m["entities"]
                 if e["id"] == "1:6"]
        self.assertEqual(texts, ["start", LABEL])
        raw = (WORKDIR / "every_kind.mcap").read_bytes()
        self.assertIn("Grüße".encode(), raw)
        self.assertIn(b"\\u0001", raw)

    def test_a_new_run_deletes_the_previous_runs_entities(self):
        runs = every_kind(2) + [record(5.0, orvane.Shape(1, shape_kind=2, scale=[1, 1, 1]), connection=2)]
        out = WORKDIR / "two_runs.mcap"
        self.assertEqual(export(write(WORKDIR / "two_runs.dat", runs), out).returncode, 0)
        reader = Reader(out.read_bytes())
        deleted = [d["id"] for _, m in reader.topic("/scene") for d in m["deletions"]]
        first = {e["id"] for t, m in reader.topic("/scene") for e in m["entities"] if t < 5e9}
        self.assertEqual(sorted(deleted), sorted(first))
        self.assertEqual([e["id"] for t, m in reader.topic("/scene") for e in m["entities"] if t >= 5e9], ["2:1"])

    def test_a_damaged_replay_exports_what_precedes_the_damage(self):
        data = self.replay.read_bytes()
        records = every_kind()
        cut_at = sum(map(len, records[:20]))
        damaged = WORKDIR / "damaged.dat"
        damaged.write_bytes(data[:cut_at + 10])
        result = export(damaged, WORKDIR / "damaged.mcap")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"offset {cut_at}", result.stderr)
        prefix = WORKDIR / "prefix.mcap"
        self.assertEqual(export(write(WORKDIR / "prefix.dat", records[:20]), prefix).returncode, 0)
        self.assertEqual(Reader((WORKDIR / "damaged.mcap").read_bytes()).messages,
                         Reader(prefix.read_bytes()).messages)

    def test_a_range_starts_with_the_state_at_its_start(self):
        out = WORKDIR / "range.mcap"
        result = export(self.replay, out, "--from", "0.35", "--to", "0.65")
        self.assertEqual(result.returncode, 0, result.stderr)
        reader = Reader(out.read_bytes())
        times = sorted({t for t, _, _ in reader.messages})
        self.assertEqual(times[0], ns(0.35))
        self.assertLessEqual(times[-1], ns(0.65))
        pose = pose_at(reader, "obj/1", ns(0.35))["translation"]
        self.assertAlmostEqual(pose["x"], 1.5, places=5)
        self.assertIn("1:6", {e["id"] for _, m in reader.topic("/scene") for e in m["entities"]})

    def test_compressed_chunks_are_named_and_smaller(self):
        replay = write(WORKDIR / "long.dat", every_kind(300))
        sizes = {}
        for compression in ("none", "zstd", "lz4"):
            out = WORKDIR / f"long.{compression}.mcap"
            result = export(replay, out, "--compression", compression)
            self.assertEqual(result.returncode, 0, result.stderr)
            reader = Reader(out.read_bytes())
            self.assertEqual({c["compression"] for c in reader.chunks},
                             {"" if compression == "none" else compression})
            sizes[compression] = out.stat().st_size
        self.assertLess(sizes["zstd"], sizes["none"] / 3)
        self.assertLess(sizes["lz4"], sizes["none"] / 2)

    def test_the_program_draws_a_spring_in_its_own_frame(self):
        spring = [e for _, e in self.program_export("program", every_kind()) if e["id"] == "1:16"]
        points = spring[0]["triangles"][0]["points"]
        # Length 1 along its own z, coil radius 0.2 and wire radius 0.02
        # around it: the turn of the orientation (z to world -y) undone.
        extent = [(min(p[a] for p in points), max(p[a] for p in points)) for a in "xyz"]
        for (low, high), want in zip(extent, [(-0.22, 0.22), (-0.22, 0.22), (-0.02, 1.02)]):
            self.assertAlmostEqual(low, want[0], delta=0.005)
            self.assertAlmostEqual(high, want[1], delta=0.005)
        tool = [e for _, m in self.reader.topic("/scene") for e in m["entities"] if e["id"] == "1:16"]
        self.assertEqual(tool[0]["triangles"], [])

    def program_export(self, name, records):
        """The entities the program's own export gives for the records."""
        if not PROGRAM:
            self.skipTest("no orvane program given")
        replay, out = write(WORKDIR / f"{name}.dat", records), WORKDIR / f"{name}.mcap"
        result = subprocess.run([PROGRAM, "--export-mcap", replay, out], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [(t, e) for t, m in Reader(out.read_bytes()).topic("/scene") for e in m["entities"]]

    def quad(self):
        model = WORKDIR / "quad.obj"
        model.write_text("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n")
        return str(model)

    def test_the_program_exports_a_model_the_viewers_cannot_read_as_triangles(self):
        entities = self.program_export("model", [record(0.0, orvane.ModelFile(
            1, file_name=self.quad(), position=[5, 0, 0], scale=[2, 3, 1]))])
        entity = entities[0][1]
        self.assertEqual(entity["models"], [])
        points = {(p["x"], p["y"], p["z"]) for t in entity["triangles"] for p in t["points"]}
        self.assertEqual(points, {(0, 0, 0), (2, 0, 0), (2, 3, 0), (0, 3, 0)})
        self.assertEqual(sum(len(t["indices"]) for t in entity["triangles"]), 6)

    def test_the_program_exports_a_flexible_body_bent(self):
        # Two nodes at opposite corners; the far one lifted by 0.5 at 1 s.
        bodies = [record(float(t), orvane.FlexBody(
            1, file_name=self.quad(), node_count=2, nodes=[0, 1, 0, 1, 0, 0], displacements=[0, 0, 0, 0, 0, lift],
            position=[0, 0, 3], orientation=[1, 0, 0, 0, 1, 0], scale=[1, 1, 1])) for t, lift in ((0, 0.0), (1, 0.5))]
        heights = [{(p["x"], p["y"]): p["z"] for tri in e["triangles"] for p in tri["points"]}
                   for _, e in self.program_export("flex", bodies)]
        self.assertEqual(len(heights), 2)
        self.assertEqual(set(heights[0].values()), {0})
        self.assertAlmostEqual(heights[1][(1, 1)], 0.5, places=5)
        self.assertAlmostEqual(heights[1][(0, 0)], 0.0, places=5)

    def test_a_turned_bezier_pipe_ends_where_its_end_item_says(self):
        pipe = orvane.FlowPipe(1, pipe_kind=3, start=[1, 0, 0], orientation=[0, -1, 0, 1, 0, 0], end=[2, 3, 1],
                               end_direction=[0, 0, 1], inlet_radius=0.2, outlet_radius=0.1)
        out = WORKDIR / "pipe.mcap"
        self.assertEqual(export(write(WORKDIR / "pipe.dat", [record(0.0, pipe)]), out).returncode, 0)
        reader = Reader(out.read_bytes())
        points = reader.topic("/scene")[0][1]["entities"][0]["triangles"][0]["points"]
        last_ring = points[-12:]  # the tube's last ring of 12 sides, around its end
        local = [sum(p[a] for p in last_ring) / 12 for a in "xyz"]
        pose = pose_at(reader, "obj/1", 0)
        world = [sum(r * c for r, c in zip(row, local)) for row in rotation(pose["rotation"])]
        for a, value, want in zip("xyz", world, (2, 3, 1)):
            self.assertAlmostEqual(value + pose["translation"][a], want, places=4)

    def test_inconsistent_objects_still_give_valid_messages(self):
        nan = float("nan")
        cases = [  # (what is wrong, packet)
            ("fewer points than counted", orvane.Line(1, line_kind=1, point_count=5, points=[0, 0, 0, 1, 1, 1])),
            ("a Bezier curve of one point", orvane.Line(2, line_kind=2, point_count=1, points=[1, 2, 3])),
            ("a grid larger than its data", orvane.FlexSurface(3, rows=3, columns=3, x=[0, 1, 2, 3], y=[0] * 9,
                                                               z=[0] * 9)),
            ("a segment of no length", orvane.Intersector(4, start=[1, 1, 1], end=[1, 1, 1], display_mode=1)),
            ("a position that is not a number", orvane.Shape(5, shape_kind=1, position=[nan, 0, 0],
                                                             scale=[nan, 1, 1])),
            ("an unknown shape", orvane.Shape(6, shape_kind=99)),
            ("a bend of no radius", orvane.FlowPipe(7, pipe_kind=2, bend_radius=0.0, bend_angle=1.0,
                                                    inlet_radius=0.1, outlet_radius=0.1)),
            ("text that is not UTF-8", orvane.Text(8, text=b"caf\xe9 \xff\xc3", height=1.0)),
        ]
        out = WORKDIR / "inconsistent.mcap"
        result = export(write(WORKDIR / "inconsistent.dat", [record(0.0, p) for _, p in cases]), out)
        self.assertEqual(result.returncode, 0, result.stderr)
        reader = Reader(out.read_bytes())
        entities = {e["id"]: e for _, m in reader.topic("/scene") for e in m["entities"]}
        self.assertEqual(len(entities), len(cases))
        self.assertEqual(len(entities["1:1"]["lines"][0]["points"]), 2)
        self.assertEqual(entities["1:5"]["cubes"][0]["size"]["x"], 0)
        self.assertEqual(pose_at(reader, "obj/5", 0)["translation"]["x"], 0)
        self.assertEqual(entities["1:8"]["texts"][0]["text"], "café ÿÃ")

    def test_a_million_records_export_in_bounded_memory(self):
        template = bytearray(record(0.0, orvane.Shape(0, shape_kind=1, position=[0, 0, 0])))
        at = template.index(struct.pack("<BiB", 1, 3, protocol.TYPE_FLOAT)) + 6
        replay = bytearray(len(template) * 1_000_000)
        for k in range(1_000_000):
            struct.pack_into("<f", template, 0, k // 100 * 0.01)
            struct.pack_into("<I", template, 8, k % 100 | 2 << 24)
            struct.pack_into("<f", template, at, k * 0.001)
            replay[k * len(template):(k + 1) * len(template)] = template
        big = WORKDIR / "million.dat"
        big.write_bytes(replay)
        del replay
        out = WORKDIR / "million.out"
        try:
            result = export(big, out, memory=32 << 20)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("1000100 messages", result.stdout)
            self.assertGreater(out.stat().st_size, 4 * (32 << 20))
        finally:
            big.unlink()
            out.unlink(missing_ok=True)


if __name__ == "__main__":
    TOOL, WORKDIR = sys.argv[1], pathlib.Path(sys.argv[2])
    PROGRAM = sys.argv[3] if len(sys.argv) > 3 else None
    WORKDIR.mkdir(parents=True, exist_ok=True)
    unittest.main(argv=sys.argv[:1])

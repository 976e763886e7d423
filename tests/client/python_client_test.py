"""The Python client: its frames against the shared test vectors (the C++
client's test reads the same file), its checks of what a simulation sends,
and its receipt of replies from a stand-in viewer on a loopback socket."""

import json
import pathlib
import socket
import struct
import sys
import threading
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "client" / "python"))
import orvane  # noqa: E402
from orvane import protocol  # noqa: E402


def read_vectors():
    for line in (ROOT / "protocol" / "vectors.txt").read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        name, address, items, frame = (part.strip() for part in line.split("|"))
        object_number, code = map(int, address.split())
        parsed = []
        for item in filter(None, (i.strip() for i in items.split(";"))):
            index, kind, rest = (item.split(" ", 2) + [""])[:3]
            value = rest if kind == "c" else [int(v) if kind == "i" else float(v) for v in rest.split()]
            parsed.append((int(index), kind, value))
        yield name, object_number, code, parsed, frame


class SharedVectors(unittest.TestCase):
    def test_builders_write_the_shared_frames_byte_for_byte(self):
        count = 0
        for name, object_number, code, items, frame in read_vectors():
            with self.subTest(name):
                builder = orvane.builder(code)
                by_index = {item.index: field for field, item in builder.fields.items()}
                fields = {by_index[index]: value for index, _kind, value in items}
                self.assertEqual(builder(object_number, **fields).encode().hex(), frame)
                # The decoder reads the frame back to the same values.
                header, decoded = orvane.decode(bytes.fromhex(frame)[4:])
                self.assertEqual(header, object_number | code << 24)
                for index, kind, value in items:
                    got = decoded[index][1]
                    self.assertEqual(got, value if kind == "c" else [type(v)(g) for v, g in zip(value, got)])
                count += 1
        self.assertGreaterEqual(count, 5)

    def test_every_kind_has_a_builder_with_its_type_code(self):
        listed = json.loads((ROOT / "protocol" / "kinds.json").read_text())["kinds"]
        self.assertEqual(sorted(orvane.KINDS), [kind["code"] for kind in listed])
        self.assertEqual(orvane.Intersector.code, 14)
        self.assertEqual(orvane.FlowPipe(3, flow_position=1.5).header, 3 | 3 << 24)
        self.assertEqual(orvane.Shape.fields["colour"].index, 44)


class WhatASimulationSends(unittest.TestCase):
    def error(self, build):
        with self.assertRaises(orvane.ItemError) as caught:
            build()
        return str(caught.exception)

    def test_errors_name_the_item_and_what_is_wrong(self):
        cases = [
            (lambda: orvane.Shape(1, colour=(255, 0)), "shape.colour: item 44 needs 3 integers, got 2"),
            (lambda: orvane.Shape(1, colour=(255, 0, 0.5)), "shape.colour: item 44 needs integers, got 0.5"),
            (lambda: orvane.Shape(1, position="up"), "shape.position: item 1 needs 3 numbers, got 2"),
            (lambda: orvane.Shape(1, position=(1, None, 2)), "shape.position: item 1 needs numbers, got None"),
            (lambda: orvane.Line(1, points=(0, 0, 0, 1)), "line.points: item 1 needs a multiple of 3 numbers, got 4"),
            (lambda: orvane.Hud(1, position=(1,)), "hud.position: item 1 needs 2 or 3 numbers, got 1"),
            (lambda: orvane.Text(1, text=5), "text.text: item 39 needs text, got int"),
            (lambda: orvane.View(1, background=(0, 0, 2**31)), "view.background: item 63 needs 32-bit integers"),
            (lambda: orvane.Shape(4096), "object number must be 0 to 4095, got 4096"),
        ]
        for build, message in cases:
            with self.subTest(message):
                self.assertIn(message, self.error(build))

    def test_an_unknown_field_lists_the_kinds_fields(self):
        message = self.error(lambda: orvane.Intersector(1, begin=(0, 0, 0)))
        self.assertIn("intersector has no field 'begin'", message)
        self.assertIn("display_mode, end, marker_size, start", message)

    def test_values_that_fit_are_taken_as_the_viewer_reads_them(self):
        # A whole float is an integer; a single number is one element; text is UTF-8.
        self.assertEqual(orvane.Shape(1, shape_kind=2.0).encode(), orvane.Shape(1, shape_kind=[2]).encode())
        frame = orvane.Text(1, text="Grüße").encode()
        self.assertEqual(frame[8:14], struct.pack("<BiB", 39, 7, 1))
        self.assertEqual(frame[14:], "Grüße".encode())
        # A flag item is sent as one integer.
        self.assertEqual(orvane.FlexBody(1, recompute_normals=True).encode()[8:], struct.pack("<BiBi", 85, 1, 3, 1))
        # Raw items, for what the list does not name.
        self.assertEqual(orvane.Shape(1).raw(60, 5, [1.0]).encode()[8:], struct.pack("<BiBf", 60, 1, 5, 1.0))
        with self.assertRaises(orvane.ItemError):
            orvane.Shape(1).raw(98, 3, [1])


class StandInViewer:
    """A listening socket that accepts one client, records what it receives
    and sends what a test gives it."""

    def __init__(self):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.received = bytearray()
        self.accepted = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        self.peer, _ = self.server.accept()
        self.accepted.set()
        while chunk := self.peer.recv(65536):
            self.received += chunk

    def send(self, data):
        self.accepted.wait(5)
        self.peer.sendall(data)

    def close(self):
        self.accepted.wait(5)
        if self.peer.fileno() < 0:
            return
        self.peer.shutdown(socket.SHUT_RDWR)
        self.peer.close()
        self.server.close()


def reply_frame(object_number, *items):
    body = struct.pack("<I", object_number)
    for index, type_code, values in items:
        fmt = "i" if type_code == 3 else "f"
        body += struct.pack(f"<BiB{len(values)}{fmt}", index, len(values), type_code, *values)
    return struct.pack("<I", len(body) + 4) + body


class SendCounter:
    """Wraps the client's socket to count the calls that send."""

    def __init__(self, sock):
        self.sock, self.sends = sock, []

    def sendall(self, data):
        self.sends.append(bytes(data))
        return self.sock.sendall(data)

    def __getattr__(self, name):
        return getattr(self.sock, name)


class TheLink(unittest.TestCase):
    def setUp(self):
        self.viewer = StandInViewer()
        self.sim = orvane.Client().connect("127.0.0.1", self.viewer.port)
        self.addCleanup(self.viewer.close)
        self.addCleanup(self.sim.close)

    def test_one_step_leaves_in_one_send_behind_its_time_packet(self):
        counter = SendCounter(self.sim._socket)
        self.sim._socket = counter
        box = orvane.Shape(1, shape_kind=1)
        self.sim.step(0.0)
        self.sim.send(box, orvane.Shape(1, position=(0, 0, 1)))
        self.assertEqual(counter.sends, [])  # nothing before the step is over
        self.sim.step(0.02)
        self.sim.send(orvane.Shape(1, position=(0, 0, 2)))
        self.sim.flush()
        self.assertEqual(len(counter.sends), 2)
        time0 = orvane.Time(orvane.TIME_OBJECT, time=0.0).encode()
        self.assertEqual(counter.sends[0],
                         time0 + box.encode() + orvane.Shape(1, position=(0, 0, 1)).encode())
        self.assertTrue(counter.sends[1].startswith(orvane.Time(orvane.TIME_OBJECT, time=0.02).encode()))

    def test_replies_come_as_named_records_without_blocking(self):
        self.assertEqual(self.sim.poll(), [])
        # The client knows object 5 is a button and 6 an intersector from what it sent.
        self.sim.send(orvane.Hud(5, element=8), orvane.Intersector(6, start=(0, 0, 1), end=(0, 0, -1)),
                      orvane.View(7, camera_control=1))
        self.sim.flush()
        button = reply_frame(5, (1, 5, [110.0, 590.0]), (30, 3, [2]))
        result = reply_frame(6, (0, 5, [0.5]), (92, 3, [1]), (93, 5, [0.75]), (94, 5, [0.0, 0.0, 1.0]))
        miss = reply_frame(6, (0, 5, [0.5]), (92, 3, [0]))
        pose = reply_frame(7, (1, 5, [float(i) for i in range(16)]))
        stream = button + result + miss + pose
        self.viewer.send(stream[:7])  # a frame cut in the middle waits for its rest
        replies = self.sim.wait(0.5)
        self.assertEqual(replies, [])
        self.viewer.send(stream[7:])
        replies = []
        while len(replies) < 4:
            got = self.sim.wait(5)
            self.assertTrue(got, "the replies did not arrive")
            replies += got
        self.assertIsInstance(replies[0], orvane.ButtonEvent)
        self.assertEqual((replies[0].object, replies[0].pointer, replies[0].event), (5, (110.0, 590.0), 2))
        self.assertEqual(replies[0].event, orvane.ButtonEvent.CLICKED)
        self.assertIsInstance(replies[1], orvane.IntersectorResult)
        self.assertEqual((replies[1].hit, replies[1].distance, replies[1].normal), (1, 0.75, (0.0, 0.0, 1.0)))
        self.assertEqual((replies[2].hit, replies[2].distance, replies[2].normal), (0, None, None))
        self.assertIsInstance(replies[3], orvane.CameraPose)
        self.assertEqual(replies[3].pose, tuple(float(i) for i in range(16)))

    def test_a_lost_link_says_so_and_a_second_connect_is_refused(self):
        with self.assertRaises(orvane.ClientError) as caught:
            self.sim.connect("127.0.0.1", self.viewer.port)
        self.assertIn("already connected", str(caught.exception))
        self.viewer.close()
        with self.assertRaises(orvane.ClientError) as caught:
            for _ in range(10):
                self.sim.wait(5)
        self.assertIn(f"Connection to 127.0.0.1:{self.viewer.port} lost", str(caught.exception))
        self.assertFalse(self.sim.connected)

    def test_connecting_to_nothing_names_the_viewer_and_the_cause(self):
        free = socket.create_server(("127.0.0.1", 0))
        port = free.getsockname()[1]
        free.close()
        with self.assertRaises(orvane.ClientError) as caught:
            orvane.Client().connect("127.0.0.1", port)
        self.assertEqual(str(caught.exception), f"Cannot connect to 127.0.0.1:{port}: Connection refused")


if __name__ == "__main__":
    unittest.main()

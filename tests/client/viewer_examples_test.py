"""The examples against the real viewer over loopback, as a user runs them:
the viewer started as a process on the X display, the simulations started
beside it, the button pressed with the pointer (XTest), the camera answered,
and the viewer's own recording read back with orvane-replay.

Usage: viewer_examples_test.py ORVANE ORVANE_REPLAY EXAMPLES_DIR [unittest args]
(EXAMPLES_DIR holds the built C++ examples; the Python ones come from
client/python/examples). Each case starts an X server of its own (Xvfb).
The intersector cases are a class of their own (IntersectorExamples)."""

import ctypes
import json
import os
import pathlib
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
PYTHON_PACKAGE = ROOT / "client" / "python"
sys.path.insert(0, str(PYTHON_PACKAGE))
import orvane  # noqa: E402

ORVANE = ORVANE_REPLAY = EXAMPLES = None


class XDisplay:
    """The few Xlib and XTest calls the test needs, through ctypes."""

    class Attributes(ctypes.Structure):
        _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                    ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                    ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                    ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                    ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                    ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                    ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                    ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                    ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                    ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

    class Image(ctypes.Structure):
        _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                    ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                    ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                    ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                    ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                    ("bits_per_pixel", ctypes.c_int)]

    def __init__(self, name):
        self.x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.xtest = ctypes.cdll.LoadLibrary("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                        ctypes.POINTER(ctypes.c_ulong),
                                        ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                        ctypes.POINTER(ctypes.c_uint)]
        self.x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.POINTER(self.Attributes)]
        self.x11.XGetImage.restype = ctypes.POINTER(self.Image)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.xtest.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                    ctypes.c_int, ctypes.c_ulong]
        self.xtest.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                    ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(name.encode())
        if not self.display:
            raise RuntimeError(f"cannot open the X display {name}")
        self.root = self.x11.XDefaultRootWindow(self.display)

    def largest_window(self):
        """(x, y, width, height) of the largest mapped top-level window, or None."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x11.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                            ctypes.byref(children), ctypes.byref(count))
        best = None
        for i in range(count.value):
            attributes = self.Attributes()
            self.x11.XGetWindowAttributes(self.display, children[i], ctypes.byref(attributes))
            if attributes.map_state == 2 and attributes.width * attributes.height > 10000:  # viewable
                box = (attributes.x, attributes.y, attributes.width, attributes.height)
                if best is None or box[2] * box[3] > best[2] * best[3]:
                    best = box
        if children:
            self.x11.XFree(children)
        return best

    def click(self, x, y):
        self.xtest.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.xtest.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtest.XTestFakeButtonEvent(self.display, 1, 0, 30)
        self.x11.XFlush(self.display)

    def drag(self, x, y, dx):
        self.xtest.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.xtest.XTestFakeButtonEvent(self.display, 1, 1, 0)
        for step in range(1, 6):
            self.xtest.XTestFakeMotionEvent(self.display, -1, x + dx * step // 5, y, 20)
        self.xtest.XTestFakeButtonEvent(self.display, 1, 0, 20)
        self.x11.XFlush(self.display)

    def save_png(self, path, box):
        """Writes the screen area `box` as a PNG, for a person to look at."""
        x, y, width, height = box
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, 0xFFFFFFFF, 2)
        if not image or image.contents.bits_per_pixel != 32:
            return
        stride = image.contents.bytes_per_line
        data = ctypes.string_at(image.contents.data, stride * height)
        rows = b"".join(b"\0" + bytes(px for i in range(width) for px in
                                      (data[r * stride + 4 * i + 2], data[r * stride + 4 * i + 1],
                                       data[r * stride + 4 * i])) for r in range(height))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        pathlib.Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                                       + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def listening(port):
    """Whether something listens on the TCP port (read from /proc, so that
    asking does not make a connection the viewer would take for a run)."""
    for line in pathlib.Path("/proc/net/tcp").read_text().splitlines()[1:]:
        fields = line.split()
        if int(fields[1].split(":")[1], 16) == port and fields[3] == "0A":
            return True
    return False


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class XServer:
    """A virtual X server of the test's own, so that no other test's window
    is where the pointer clicks; Xvfb picks a free display number."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                                         "-nolisten", "tcp"], pass_fds=[write],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"

    def close(self):
        self.process.terminate()
        self.process.wait(10)


class Viewer:
    """The orvane program started as a user starts it, in a folder of its own,
    on the given X display."""

    def __init__(self, display):
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="orvane-viewer-"))
        runtime = self.folder / "runtime"
        runtime.mkdir(mode=0o700)
        self.port = free_port()
        environment = dict(os.environ, XDG_CONFIG_HOME=str(self.folder / "config"),
                           XDG_RUNTIME_DIR=str(runtime), DISPLAY=display)
        environment.pop("XAUTHORITY", None)
        self.log = open(self.folder / "orvane.log", "w")
        self.process = subprocess.Popen([ORVANE, "-tcp", str(self.port)], cwd=self.folder, env=environment,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 120
        while not listening(self.port):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"orvane did not listen on {self.port}: {self.output()}")
            time.sleep(0.2)

    @property
    def recording(self):
        return self.folder / "Temp" / "Orvane.dat"

    def output(self):
        self.log.flush()
        return (self.folder / "orvane.log").read_text()[-3000:]

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


def replay_tool(*args):
    return subprocess.run([ORVANE_REPLAY, *args], capture_output=True, text=True, timeout=60)


def python_example(name, *args, **popen):
    environment = dict(os.environ, PYTHONPATH=str(PYTHON_PACKAGE))
    return subprocess.Popen([sys.executable, str(PYTHON_PACKAGE / "examples" / f"{name}.py"), *map(str, args)],
                            env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **popen)


def cxx_example(name, *args):
    return subprocess.Popen([str(pathlib.Path(EXAMPLES) / name), *map(str, args)],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


class ViewerTest(unittest.TestCase):
    def setUp(self):
        self.xserver = XServer()
        self.addCleanup(self.xserver.close)
        self.viewer = Viewer(self.xserver.name)
        self.addCleanup(self.viewer.close)

    def finish(self, process, timeout=120):
        try:
            output, _ = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            output, _ = process.communicate()
            self.fail(f"the example did not end: {output}\nviewer: {self.viewer.output()}")
        self.assertEqual(process.returncode, 0, f"{output}\nviewer: {self.viewer.output()}")
        return output

    def recorded(self):
        """The viewer's recording of the run: checked, and its records."""
        deadline = time.monotonic() + 30
        while not (self.viewer.recording.exists() and replay_tool("check", str(self.viewer.recording)).returncode == 0):
            self.assertLess(time.monotonic(), deadline, replay_tool("check", str(self.viewer.recording)).stderr)
            time.sleep(0.2)
        dump = replay_tool("dump", str(self.viewer.recording))
        self.assertEqual(dump.returncode, 0, dump.stderr)
        return [json.loads(line) for line in dump.stdout.splitlines()]


class BoxAndButtonExamples(ViewerTest):
    def moving_box(self, process):
        output = self.finish(process)
        self.assertIn("moving_box: 51 steps sent", output)
        # The recorder writes from a thread of its own: a check-clean file
        # may still be a prefix of the run for a moment after it ends.
        deadline = time.monotonic() + 30
        while True:
            records = [r for r in self.recorded() if r["kind"] == "shape"]
            positions = {tuple(i["values"]) for r in records for i in r["items"] if i.get("name") == "position"}
            if len(positions) > 10 or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        self.assertGreater(len(positions), 10, "the box did not move in the recording")

    def test_moving_box_in_python(self):
        self.moving_box(python_example("moving_box", self.viewer.port, 1.0))

    def test_moving_box_in_cxx(self):
        self.moving_box(cxx_example("moving_box", self.viewer.port, 1.0))

    def press_button(self, process, picture):
        """Clicks the middle of the viewer's window until the example
        reports a press; the button fills the middle of the view."""
        display = XDisplay(self.xserver.name)
        start = time.monotonic()
        saved = False
        # The recording reaches the disk only when the run ends, so the test
        # gives the viewer a few seconds to show the button, then clicks on.
        while process.poll() is None and time.monotonic() < start + 90:
            box = display.largest_window()
            if box and time.monotonic() > start + 3:
                if not saved:
                    display.save_png(self.viewer.folder / picture, box)
                    saved = True
                display.click(box[0] + box[2] // 2, box[1] + box[3] // 2)
            time.sleep(0.5)
        output = self.finish(process, timeout=30)
        self.assertRegex(output, r"button 3 event 1 at \(\d+(\.\d+)?, \d+(\.\d+)?\)")
        self.assertIn("pause_button: 1 presses", output)
        # The label the simulation changed on the press reached the viewer.
        texts = [i.get("text") for r in self.recorded() if r["object"] == 4 for i in r["items"]
                 if i.get("name") == "text"]
        self.assertEqual(texts[0], "Pause")
        self.assertEqual(texts[-1], "Run")
        print(f"screenshot: {self.viewer.folder / picture}", file=sys.stderr)

    def test_a_python_simulation_receives_its_buttons_presses(self):
        self.press_button(python_example("pause_button", self.viewer.port, 60, 1), "pause_button_py.png")

    def test_a_cxx_simulation_receives_its_buttons_presses(self):
        self.press_button(cxx_example("pause_button", self.viewer.port, 60, 1), "pause_button_cxx.png")

    def test_a_view_answers_with_its_camera_pose(self):
        with orvane.Client().connect("127.0.0.1", self.viewer.port) as sim:
            sim.step(0.0)
            # The camera is the user's (camera control 0): dragging it makes the view report.
            sim.send(orvane.View(4001, camera_control=0, eye=(0, -10, 0), centre=(0, 0, 0), up=(0, 0, 1),
                                 viewport_origin=(0, 0), viewport_size=(1, 1), own_window=0, screen=0,
                                 background=(0, 0, 0), near=0.1, far=100, field_of_view=40, show_hud=0,
                                 hud_aspect=0))
            sim.flush()
            poses = []
            deadline = time.monotonic() + 60
            display = XDisplay(self.xserver.name)
            while not poses and time.monotonic() < deadline:
                box = display.largest_window()
                if box:
                    display.drag(box[0] + box[2] // 2, box[1] + box[3] // 2, 100)
                poses = [r for r in sim.wait(1.0) if isinstance(r, orvane.CameraPose)]
            self.assertTrue(poses, f"no camera pose came; viewer: {self.viewer.output()}")
            self.assertEqual(poses[0].object, 4001)
            self.assertEqual(len(poses[0].pose), 16)


class IntersectorExamples(ViewerTest):
    """Needs the intersector (type code 14) in the viewer."""

    def distances(self, process):
        output = self.finish(process)
        found = re.findall(r"distance (-?[\d.]+) \(expected (-?[\d.]+)\)", output)
        self.assertGreater(len(found), 20, output)
        for got, expected in found:
            self.assertAlmostEqual(float(got), float(expected), delta=0.01)

    def test_intersector_in_python(self):
        self.distances(python_example("intersector_distances", self.viewer.port, 100))

    def test_intersector_in_cxx(self):
        self.distances(cxx_example("intersector_distances", self.viewer.port, 100))


if __name__ == "__main__":
    ORVANE, ORVANE_REPLAY, EXAMPLES = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0], *sys.argv[4:]], verbosity=2)

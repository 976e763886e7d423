"""The simulation's end of the link to an Orvane viewer.

    sim = Client()
    sim.connect("localhost", 11000)
    for n in range(250):
        sim.step(n * 0.02)                  # a new step: its time packet first
        sim.send(Shape(1, position=(0, 0, n * 0.01)))
        for reply in sim.poll():            # never blocks
            ...
    sim.close()

All packets of one step leave in one send, when the next step begins, on
flush() or on close(). Replies (button events, intersector results, camera
poses) are read without blocking by poll() and come as named records.
"""

import select
import socket
import struct
import time as _time

from . import protocol

DEFAULT_PORT = 11000
# Object number of the time packets step() sends.
TIME_OBJECT = 4000
# The largest frame the viewer reads (its body is at most 16 MiB).
MAX_FRAME = 16 * 1024 * 1024 + 4


class ClientError(ConnectionError):
    """The link cannot be made or was lost; the message says which viewer and why."""


class Client:
    def __init__(self):
        self._socket = None
        self._peer = None
        self._batch = []
        self._incoming = b""
        self._kinds = {}  # object number -> kind name, for naming replies

    # ---- the link ---------------------------------------------------------

    def connect(self, host="localhost", port=DEFAULT_PORT, timeout=5.0):
        if self._socket is not None:
            raise ClientError(f"already connected to {self._peer}")
        peer = f"{host}:{port}"
        try:
            sock = socket.create_connection((host, port), timeout=timeout)
        except OSError as error:
            raise ClientError(f"Cannot connect to {peer}: {error.strerror or error}") from None
        sock.settimeout(None)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._socket, self._peer = sock, peer
        return self

    @property
    def connected(self):
        return self._socket is not None

    def close(self):
        """Sends what is batched, then closes the link. Safe to call twice."""
        if self._socket is None:
            return
        try:
            self.flush()
        except ClientError:
            pass
        try:
            self._socket.close()
        finally:
            self._socket = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- sending ----------------------------------------------------------

    def step(self, time):
        """Begins a simulation step at `time` seconds: sends the previous step's
        packets, then batches the time packet that stamps this step's packets."""
        self.flush()
        self.send(protocol.Time(TIME_OBJECT, time=float(time)))

    def send(self, *packets):
        """Adds packets to the current step's batch (in this order)."""
        for packet in packets:
            if not isinstance(packet, protocol.Packet):
                raise TypeError(f"send() takes packets (Shape(...), Hud(...), ...), "
                                f"got {type(packet).__name__}")
            frame = packet.encode()
            if len(frame) > MAX_FRAME:
                raise protocol.ItemError(f"a packet of {len(frame)} bytes is larger than the "
                                         f"viewer reads ({MAX_FRAME})")
            if packet.kind:
                self._kinds.setdefault(packet.object, packet.kind)
            self._batch.append(frame)

    def flush(self):
        """Sends the batched packets with one call."""
        if not self._batch:
            return
        if self._socket is None:
            raise ClientError("not connected: call connect() first")
        data = b"".join(self._batch)
        self._batch = []
        try:
            self._socket.sendall(data)
        except OSError as error:
            self._lost(error)

    # ---- receiving --------------------------------------------------------

    def poll(self):
        """The replies that have arrived, as named records; never blocks."""
        return self._receive(0.0)

    def wait(self, timeout):
        """Like poll(), but waits up to `timeout` seconds for at least one reply."""
        deadline = _time.monotonic() + timeout
        while True:
            replies = self._receive(max(0.0, deadline - _time.monotonic()))
            if replies or _time.monotonic() >= deadline:
                return replies

    def _receive(self, timeout):
        if self._socket is None:
            raise ClientError("not connected: call connect() first")
        ready, _, _ = select.select([self._socket], [], [], timeout)
        while ready:
            try:
                chunk = self._socket.recv(65536, socket.MSG_DONTWAIT)
            except BlockingIOError:
                break
            except OSError as error:
                self._lost(error)
            if not chunk:
                self._lost(None)
            self._incoming += chunk
            ready, _, _ = select.select([self._socket], [], [], 0)
        replies = []
        while len(self._incoming) >= 4:
            length, = struct.unpack_from("<I", self._incoming)
            if length < 8 or length > MAX_FRAME:
                self._lost(None, f"the viewer sent a frame of length {length}")
            if len(self._incoming) < length:
                break
            body = self._incoming[4:length]
            self._incoming = self._incoming[length:]
            header, items = protocol.decode(body)
            replies.append(protocol.reply_from(header, items, self._kinds.get(header & 0xFFF)))
        return replies

    def _lost(self, error, why=None):
        try:
            self._socket.close()
        finally:
            self._socket = None
        self._batch = []
        reason = why or (error.strerror if error is not None else "the viewer closed the connection")
        raise ClientError(f"Connection to {self._peer} lost: {reason}")

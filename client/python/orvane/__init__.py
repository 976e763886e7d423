"""Orvane's Python client for simulations: connect to a viewer, create and
change scene objects with typed builders, read the viewer's replies.

    import orvane
    with orvane.Client().connect("localhost", 11000) as sim:
        sim.step(0.0)
        sim.send(orvane.Shape(1, shape_kind=1, colour=(220, 40, 40)))

Standard library only. The kinds, their fields and item numbers come from
kinds.json, the same list the C++ constants are made from; docs/protocol.md
in the Orvane repository describes the wire format.
"""

from .client import DEFAULT_PORT, TIME_OBJECT, Client, ClientError
from .protocol import (BUILDERS, KINDS, REPLIES, ItemError, Packet, ProtocolError, Reply,
                       builder, decode, reply_from)
from .protocol import *  # noqa: F401,F403  the builders and reply records

__version__ = "0.1"
__all__ = ["Client", "ClientError", "DEFAULT_PORT", "TIME_OBJECT", "ItemError", "ProtocolError",
           "Packet", "Reply", "builder", "decode", "reply_from", "KINDS", "BUILDERS", "REPLIES",
           *BUILDERS, *(cls.__name__ for cls in REPLIES.values())]

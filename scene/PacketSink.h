#pragma once
// Where a scene object hands a packet that answers the simulation (a button
// press, an intersector hit). The object manager implements it by pushing the
// packet onto its send ring, from which the connection's send thread writes
// it to the socket. Keeping this seam narrow lets the scene objects live
// below the link and lets tests record what would be sent.
//
// Threading: send() is called on the GUI thread, under the object manager's
// lock; an implementation may block while its queue is full.

namespace GNP2 {
class Packet;
}

class PacketSink
{
public:
    virtual ~PacketSink() = default;
    // Takes ownership of the packet.
    virtual void send(GNP2::Packet* packet) = 0;
};

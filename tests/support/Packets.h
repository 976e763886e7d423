#pragma once
// Packets for the tests of the scene objects, built from item tables, and
// handed to an object the way the object manager hands them over.
//
// A test writes the items it cares about as a table, e.g.
//   Items{{{item::placement::Scale, {1.f, 2.f, 3.f}}}, {{item::appearance::Colour, {255, 0, 0}}}}
// and sends it with `deliver`, `create` or `send`. The header and the
// connection number (item 13) come from an Address; a table that holds
// item 13 itself overrides the address's connection.

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <osg/Vec2f>
#include <osg/Vec3f>
#include <osg/ref_ptr>

#include "gnp2/Packet.h"
#include "scene/ObjectKinds.h"
#include "scene/PacketSink.h"
#include "scene/VisObject.h"

namespace testsupport {

// A packet's items by number and type. Every member has a default, so a
// table may leave out the kinds it does not use.
struct Items
{
    std::map<int, std::vector<float>> floats = {};
    std::map<int, std::vector<int>> ints = {};
    std::map<int, std::string> strings = {};
};

// Whom a packet is for: the object number and type code of its header and the
// connection number the link stamps into item 13. The defaults are not 0, so
// that a test that looks at them sees values that came from the packet.
struct Address
{
    int objectNumber = 7;
    int typeCode = TYPE_VisBaseObject;
    int connection = 3;
};

// A packet holding the table's items, all flagged changed.
std::unique_ptr<GNP2::Packet> makePacket(const Items& items, const Address& to = {});

// What the object manager (rootnodeUpdateCallback) does with a packet for an
// object: initialize when the object is new, then update, then clear the
// state's changed flags (no recorder is attached).
void deliver(VisObject& object, const GNP2::Packet& packet, bool isNew);
void deliver(VisObject& object, const Items& items, bool isNew, const Address& to = {});

// A new object made with the context (by default no send queue and no
// services), given its first packet.
template <typename Object>
osg::ref_ptr<Object> create(const Items& items, const ObjectContext& context = {},
                            const Address& to = {})
{
    osg::ref_ptr<Object> object = new Object(context);
    deliver(*object, items, true, to);
    return object;
}

// A later packet for an existing object.
inline void send(VisObject& object, const Items& items, const Address& to = {})
{
    deliver(object, items, false, to);
}

// A view's creating packet (type code 9): object number, background colour
// 0-255, viewport origin and size as fractions of the window; no own screen,
// no head-up display, camera control 0 (the user moves the camera).
std::unique_ptr<GNP2::Packet> viewPacket(int objectNumber, std::array<int, 3> colour,
                                         osg::Vec2f origin, osg::Vec2f size);
void setVec3(GNP2::Packet& packet, int item, const osg::Vec3f& value);

// The time packet (type code 1) of simulation time `t`.
GNP2::Packet timePacket(float t);

// What an object prints when it gives up on a packet: the line naming the
// step ("initializing" or "updating") and its class, and, for an item
// missing or malformed, the accessor's error with the item's number.
std::string skippedLine(const char* step, const char* className);
std::string accessorFailure(int item);

// A send queue that keeps what objects send, in order.
class RecordingSink : public PacketSink
{
public:
    void send(GNP2::Packet* packet) override { sent.emplace_back(packet); }
    std::vector<std::unique_ptr<GNP2::Packet>> sent;
};

} // namespace testsupport

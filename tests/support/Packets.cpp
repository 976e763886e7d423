#include "Packets.h"

#include "view/ViewParameters.h"

namespace testsupport {

std::unique_ptr<GNP2::Packet> makePacket(const Items& items, const Address& to)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(GNP2::makeHeader(std::uint32_t(to.objectNumber), std::uint32_t(to.typeCode)));
    packet->setIntVector(items::CONNECTION, {to.connection});
    for (const auto& [index, values] : items.floats)
        packet->setFloatVector(index, values);
    for (const auto& [index, values] : items.ints)
        packet->setIntVector(index, values);
    for (const auto& [index, text] : items.strings)
        packet->setString(index, text);
    return packet;
}

void deliver(VisObject& object, const GNP2::Packet& packet, bool isNew)
{
    if (isNew)
        object.initialize(packet);
    object.update(packet);
    object.getPacket().clearChanged();
}

void deliver(VisObject& object, const Items& items, bool isNew, const Address& to)
{
    deliver(object, *makePacket(items, to), isNew);
}

std::unique_ptr<GNP2::Packet> viewPacket(int objectNumber, std::array<int, 3> colour,
                                         osg::Vec2f origin, osg::Vec2f size)
{
    using namespace view::viewItems;
    auto p = makePacket({}, {objectNumber, TYPE_VisViewObject, 0});
    p->setFloatVector(items::TIME, {0.0f});
    p->setIntVector(CAMERA_CONTROL, {0});
    p->setFloatVector(VIEWPORT_ORIGIN, {origin.x(), origin.y()});
    p->setFloatVector(VIEWPORT_SIZE, {size.x(), size.y()});
    p->setIntVector(OWN_SCREEN, {0});
    p->setIntVector(SCREEN, {0});
    p->setIntVector(BACKGROUND, {colour[0], colour[1], colour[2]});
    p->setFloatVector(NEAR_PLANE, {0.1f});
    p->setFloatVector(FAR_PLANE, {1000.0f});
    p->setFloatVector(FIELD_OF_VIEW, {30.0f});
    p->setIntVector(HAS_HUD, {0});
    p->setIntVector(HUD_ASPECT_MODE, {0});
    return p;
}

void setVec3(GNP2::Packet& packet, int item, const osg::Vec3f& value)
{
    packet.setFloatVector(item, {value.x(), value.y(), value.z()});
}

} // namespace testsupport

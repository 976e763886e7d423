#include "Packets.h"

#include "view/ViewParameters.h"

namespace testsupport {

std::unique_ptr<GNP2::Packet> makePacket(const Items& items, const Address& to)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(GNP2::makeHeader(std::uint32_t(to.objectNumber), std::uint32_t(to.typeCode)));
    packet->setIntVector(item::every::Connection, {to.connection});
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
    auto p = makePacket({}, {objectNumber, TYPE_VisViewObject, 0});
    p->setFloatVector(item::every::Time, {0.0f});
    p->setIntVector(item::view::CameraControl, {0});
    p->setFloatVector(item::view::ViewportOrigin, {origin.x(), origin.y()});
    p->setFloatVector(item::view::ViewportSize, {size.x(), size.y()});
    p->setIntVector(item::view::OwnWindow, {0});
    p->setIntVector(item::view::Screen, {0});
    p->setIntVector(item::view::Background, {colour[0], colour[1], colour[2]});
    p->setFloatVector(item::view::Near, {0.1f});
    p->setFloatVector(item::view::Far, {1000.0f});
    p->setFloatVector(item::view::FieldOfView, {30.0f});
    p->setIntVector(item::view::ShowHud, {0});
    p->setIntVector(item::view::HudAspect, {0});
    return p;
}

void setVec3(GNP2::Packet& packet, int item, const osg::Vec3f& value)
{
    packet.setFloatVector(item, {value.x(), value.y(), value.z()});
}

GNP2::Packet timePacket(float t)
{
    GNP2::Packet p;
    p.setHeader(GNP2::makeHeader(4000, TYPE_TimePacket));
    p.setFloatVector(item::time::Time, {t});
    return p;
}

std::string skippedLine(const char* step, const char* className)
{
    return std::string("An error occured while ") + step + " " + className +
           ". Object will be skipped!";
}

std::string accessorFailure(int item)
{
    return std::string(GNP2::ACCESSOR_ERROR) + "\nErrorNr: " + std::to_string(item) + "\n";
}

} // namespace testsupport

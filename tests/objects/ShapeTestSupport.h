#pragma once
// Packets and delivery for the shape object tests: packets built from item
// tables, handed to an object the way the object manager does it.

#include <map>
#include <memory>
#include <vector>

#include <osg/BoundingBox>
#include <osg/Material>
#include <osg/Node>

#include "gnp2/Packet.h"
#include "objects/VisBaseObject.h"
#include "GeometryChecks.h"

namespace shapetest {

struct Items
{
    std::map<int, std::vector<float>> floats;
    std::map<int, std::vector<int>> ints;
};

inline std::unique_ptr<GNP2::Packet> makePacket(const Items& items)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(GNP2::makeHeader(5, 2));
    packet->setIntVector(13, {0});
    for (const auto& [index, values] : items.floats)
        packet->setFloatVector(index, values);
    for (const auto& [index, values] : items.ints)
        packet->setIntVector(index, values);
    return packet;
}

// What the object manager does with a packet: initialize a new object, then
// update, then clear the state's changed flags.
inline void deliver(VisBaseObject& object, const GNP2::Packet& packet, bool isNew)
{
    if (isNew)
        object.initialize(packet);
    object.update(packet);
    object.getPacket().clearChanged();
}

inline osg::ref_ptr<VisBaseObject> create(const Items& items, const ObjectContext& context = {})
{
    osg::ref_ptr<VisBaseObject> object = new VisBaseObject(context);
    deliver(*object, *makePacket(items), true);
    return object;
}

inline void send(VisBaseObject& object, const Items& items)
{
    deliver(object, *makePacket(items), false);
}

// The box around every vertex below the object's shape, in the object's
// frame (through the transform's matrix).
inline osg::BoundingBox placedBounds(const VisBaseObject& object)
{
    osg::BoundingBox box;
    const osg::Matrixd matrix = object.getTransform()->getMatrix();
    if (osg::Node* shape = object.shape())
        for (osg::Geometry* geometry : geometry_checks::geometriesOf(*shape))
            for (const osg::Vec3& v : geometry_checks::verticesOf(geometry))
                box.expandBy(v * matrix);
    return box;
}

// The material a drawable's own state set carries, or null.
inline const osg::Material* materialOf(const osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    return stateSet ? dynamic_cast<const osg::Material*>(
                          stateSet->getAttribute(osg::StateAttribute::MATERIAL))
                    : nullptr;
}

} // namespace shapetest

#pragma once
// The shape object tests' packets (the shared item tables) and checks of
// where a shape's vertices lie and what its material is.

#include <osg/BoundingBox>
#include <osg/Material>
#include <osg/Node>

#include "GeometryChecks.h"
#include "objects/VisBaseObject.h"
#include "tests/support/Packets.h"

namespace shapetest {

using testsupport::deliver;
using testsupport::Items;
using testsupport::makePacket;
using testsupport::send;

// A shape object made with the context (by default no send queue and no
// services), given its first packet.
inline osg::ref_ptr<VisBaseObject> create(const Items& items, const ObjectContext& context = {})
{
    return testsupport::create<VisBaseObject>(items, context);
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

// The material a drawable of a shape is drawn with: its own, else the geode's.
inline const osg::Material* drawnMaterial(const osg::Node& shape, const osg::Drawable& drawable)
{
    const osg::StateSet* geodeState = shape.asGeode() ? shape.getStateSet() : nullptr;
    if (materialOf(drawable) || !geodeState)
        return materialOf(drawable);
    return dynamic_cast<const osg::Material*>(
        geodeState->getAttribute(osg::StateAttribute::MATERIAL));
}

} // namespace shapetest

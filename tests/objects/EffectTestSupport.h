#pragma once
// Packets for the particle and weather object tests, handed to an object the
// way the object manager does it. The packets come from item tables, as in
// the shape object tests.

#include <string>

#include <gtest/gtest.h>

#include <osg/ref_ptr>

#include "ShapeTestSupport.h"
#include "objects/VisParticleEffectObject.h"
#include "objects/VisWeatherObject.h"

namespace effecttest {

using shapetest::Items;

// What the object manager does with a packet: initialize a new object, then
// update, then clear the state's changed flags.
template <typename Object> void deliver(Object& object, const Items& items, bool isNew)
{
    const std::unique_ptr<GNP2::Packet> packet = shapetest::makePacket(items);
    if (isNew)
        object.initialize(*packet);
    object.update(*packet);
    object.getPacket().clearChanged();
}

template <typename Object> osg::ref_ptr<Object> create(const Items& items)
{
    osg::ref_ptr<Object> object = new Object(nullptr);
    deliver(*object, items, true);
    return object;
}

template <typename Object> void send(Object& object, const Items& items)
{
    deliver(object, items, false);
}

// Test names of table rows: the row's `name`.
struct RowName
{
    template <typename Row> std::string operator()(const ::testing::TestParamInfo<Row>& row) const
    {
        return row.param.name;
    }
};

} // namespace effecttest

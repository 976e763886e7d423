#pragma once
// Shared pieces of the scene tests: small geometry, the shared packets and a
// minimal concrete scene object.

#include <osg/Geode>
#include <osg/Geometry>

#include "scene/Vis3DObject.h"
#include "tests/support/Packets.h"

namespace scenetest {

// A triangle in the z = 0 plane with per-vertex normals (0, 0, 1).
osg::ref_ptr<osg::Geometry> makeTriangle();
// A geode holding `count` triangles.
osg::ref_ptr<osg::Geode> makeGeode(unsigned count);

using testsupport::deliver;
using testsupport::Items;
using testsupport::makePacket;
using testsupport::RecordingSink;

// Where makePacket addresses a packet unless told otherwise: object number
// and connection (item 13, unless the table sets item 13 itself).
constexpr int OBJECT_NUMBER = testsupport::Address{}.objectNumber;
constexpr int CONNECTION = testsupport::Address{}.connection;

// Builds one geode of N triangles, N from item 50 (required), under the
// transform, and applies all appearance items of the packet (forced, so a
// retry from the state applies those of earlier packets); update applies the transform items and
// the appearance items of the state packet, as the concrete 3D classes do.
class TestObject : public Vis3DObject
{
public:
    static constexpr int ITEM_TRIANGLES = 50;

    explicit TestObject(PacketSink* sink = nullptr) : Vis3DObject(ObjectContext{sink, {}}) {}

    const char* className() const override { return "TestObject"; }
    // Counts the calls, then runs the common initialize.
    void initialize(const GNP2::Packet& packet) override;

    osg::Geode* geode() const { return _geode.get(); }
    int initializeCalls = 0;

    using Vis3DObject::statePacket;
    using Vis3DObject::updateAppearance;

protected:
    ~TestObject() override = default;
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    osg::ref_ptr<osg::Geode> _geode;
};

} // namespace scenetest

#pragma once
// Shared pieces of the scene tests: small geometry, packets built from item
// tables, a recording packet sink and a minimal concrete scene object.

#include <map>
#include <memory>
#include <vector>

#include <osg/Geode>
#include <osg/Geometry>

#include "scene/PacketSink.h"
#include "scene/Vis3DObject.h"

namespace scenetest {

// A triangle in the z = 0 plane with per-vertex normals (0, 0, 1).
osg::ref_ptr<osg::Geometry> makeTriangle();
// A geode holding `count` triangles.
osg::ref_ptr<osg::Geode> makeGeode(unsigned count);

struct Items
{
    std::map<int, std::vector<float>> floats;
    std::map<int, std::vector<int>> ints;
};

constexpr int OBJECT_NUMBER = 7;
constexpr int CONNECTION = 3;

// A packet holding the given items (all flagged changed), addressed to
// OBJECT_NUMBER with type code 2, carrying CONNECTION in item 13 unless the
// table sets item 13 itself.
std::unique_ptr<GNP2::Packet> makePacket(const Items& items);

class RecordingSink : public PacketSink
{
public:
    void send(GNP2::Packet* packet) override { sent.emplace_back(packet); }
    std::vector<std::unique_ptr<GNP2::Packet>> sent;
};

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

// What the object manager does with one packet: initialize when the object
// is new, update, then clear the state's changed flags.
void deliver(VisObject& object, const GNP2::Packet& packet, bool isNew);

} // namespace scenetest

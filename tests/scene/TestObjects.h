#pragma once
// A small concrete scene object for driving the object manager: it records
// the calls it gets, moves with items 1/3/4 and can be told to fail.

#include <string>
#include <vector>

#include "gnp2/Packet.h"
#include "scene/ObjectKinds.h"
#include "scene/PacketSink.h"
#include "scene/RootnodeUpdateCallback.h"
#include "scene/Vis3DObject.h"
#include "scene/ViewHost.h"
#include "tests/support/Packets.h"

class ProbeObject : public Vis3DObject
{
public:
    explicit ProbeObject(const ObjectContext& context, std::string name = "ProbeObject")
        : Vis3DObject(context), _name(std::move(name))
    {
    }

    const char* className() const override { return _name.c_str(); }

    void initialize(const GNP2::Packet& packet) override
    {
        initTimes.push_back(packet.hasItem(0) ? packet.getFloatVector(0)[0] : -1.f);
        Vis3DObject::initialize(packet);
    }

    void update(const GNP2::Packet& packet) override
    {
        updateTimes.push_back(packet.getFloatVector(0)[0]);
        Vis3DObject::update(packet);
    }

    std::vector<float> initTimes;
    std::vector<float> updateTimes;

protected:
    bool build(const GNP2::Packet&) override { return true; }
    void apply(const GNP2::Packet& arrived) override
    {
        if (arrived.hasItem(50)) // a poisoned packet: the class lets the error pass
            arrived.getIntVector(50);
        applyTransformItems(arrived);
    }

private:
    std::string _name;
};

class RecordingViewHost : public ViewHost
{
public:
    VisObject* createView(const ObjectContext&) override { return nullptr; }
    void resetViews() override { ++resets; }
    void switchLightsOff() override { ++lightsOff; }
    int resets = 0;
    int lightsOff = 0;
};

class CountingRecorder : public StateRecorder
{
public:
    void record(GNP2::Packet& state) override
    {
        headers.push_back(state.header());
        state.clearChanged();
    }
    std::vector<std::uint32_t> headers;
};

inline ObjectFactory probeFactory()
{
    ObjectFactory factory;
    for (const ObjectKind& kind : OBJECT_KINDS)
        if (kind.code != TYPE_TimePacket)
            factory.add(kind.code, [name = std::string(kind.className)](const ObjectContext& c) {
                return new ProbeObject(c, name);
            });
    return factory;
}

// A packet as the link delivers it: connection number in item 13.
inline GNP2::Packet* linkPacket(int objectNumber, int typeCode, int connection = 0)
{
    return testsupport::makePacket({}, {objectNumber, typeCode, connection}).release();
}

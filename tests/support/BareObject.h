#pragma once
// The scene object with nothing of its own: it merges its packets and
// follows items 1, 3 and 4. The baseline of the object benchmarks, and the
// object of tests that look at what the base classes do.
#include "scene/Vis3DObject.h"

namespace testsupport {

class BareObject : public Vis3DObject
{
public:
    BareObject() : Vis3DObject(nullptr) {}
    const char* className() const override { return "BareObject"; }
    void initialize(const GNP2::Packet& packet) override
    {
        mergeState(packet);
        setInitialized();
    }
    void update(const GNP2::Packet& packet) override
    {
        beginUpdate(packet);
        applyTransformItems(packet);
        storeTime(packet);
    }
};

} // namespace testsupport

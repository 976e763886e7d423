#pragma once
// The scene object with nothing of its own, the baseline of the object
// benchmarks: it merges its packets and follows items 1, 3 and 4.
#include "scene/Vis3DObject.h"

namespace benchsupport {

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

} // namespace benchsupport

#pragma once
// The scene object with nothing of its own, the baseline of the object
// benchmarks: it merges its packets and follows items 1, 3 and 4.
#include "scene/Vis3DObject.h"

namespace benchsupport {

class BareObject : public Vis3DObject
{
public:
    BareObject() : Vis3DObject(ObjectContext{}) {}
    const char* className() const override { return "BareObject"; }

protected:
    bool build(const GNP2::Packet&) override { return true; }
    void apply(const GNP2::Packet& arrived) override { applyTransformItems(arrived); }
};

} // namespace benchsupport

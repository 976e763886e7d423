#pragma once
// The scene object with nothing of its own: it merges its packets and
// follows items 1, 3 and 4. The baseline of the object benchmarks, and the
// object of tests that look at what the base classes do.
#include "scene/Vis3DObject.h"

namespace testsupport {

class BareObject : public Vis3DObject
{
public:
    BareObject() : Vis3DObject(ObjectContext{}) {}
    const char* className() const override { return "BareObject"; }

protected:
    bool build(const GNP2::Packet&) override { return true; }
    void apply(const GNP2::Packet& arrived) override { applyTransformItems(arrived); }
};

} // namespace testsupport

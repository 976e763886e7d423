#pragma once
// What the object benchmarks share: a scene root with the object manager's
// update callback over rings of its own, fed a ring's worth of packets at a
// time, and the bare object factory that is their baseline.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>

#include <osg/Group>

#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "protocol/Items.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"
#include "tests/support/BareObject.h"

namespace bench {

constexpr int BATCH = 999; // a full ring

struct Scene
{
    explicit Scene(const ObjectFactory& factory)
        : root(new osg::Group), hud(new osg::Group),
          callback(new rootnodeUpdateCallback(receive, send, factory, root.get(), hud.get()))
    {
    }

    // Pushes the packets of `count` objects, a ring's worth at a time, and
    // drains the ring through the callback; only the draining is timed.
    void feed(benchmark::State* state, int count, const std::function<GNP2::Packet*(int)>& make)
    {
        for (int first = 0; first < count; first += BATCH) {
            if (state)
                state->PauseTiming();
            for (int i = first; i < std::min(count, first + BATCH); ++i)
                receive.push(make(i));
            if (state)
                state->ResumeTiming();
            while (!receive.empty())
                callback->runOnce();
        }
    }

    PacketRing receive, send;
    osg::ref_ptr<osg::Group> root, hud;
    osg::ref_ptr<rootnodeUpdateCallback> callback;
};

// A new packet for object `objectNumber` of `typeCode` on connection 0; the
// ring that takes it deletes it.
inline GNP2::Packet* addressed(int objectNumber, int typeCode)
{
    auto* packet = new GNP2::Packet;
    packet->setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), std::uint32_t(typeCode)));
    packet->setIntVector(item::every::Connection, {0});
    return packet;
}

// Bare objects (they merge their packets and follow items 1, 3 and 4) for
// the type code of the shapes.
inline ObjectFactory bareFactory()
{
    ObjectFactory factory;
    factory.add(TYPE_VisBaseObject,
                [](const ObjectContext&) { return new testsupport::BareObject; });
    return factory;
}

} // namespace bench

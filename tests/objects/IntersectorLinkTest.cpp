// Intersectors end to end over the link, without a window: the object
// manager with its real TCP server on loopback and the client library as the
// simulation. The simulation receives exactly one answer per packet it sends
// for an intersector, addressed with the intersector's number and stamped
// with the time of the time packet before it; after it leaves, the replayed
// intersector places its marker from the recording and sends nothing.
// Shapes that share their state are recorded and replayed the same way.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "client/SimulationClient.h"
#include "log/Log.h"
#include "net/TCPServer.h"
#include "objects/ShapeObjects.h"
#include "objects/VisBaseObject.h"
#include "objects/VisIntersectorObject.h"
#include "scene/ObjectManager.h"
#include "tests/support/ManagerPolling.h"
#include "tests/support/Packets.h"
#include "tests/support/SceneDump.h"

namespace {

using namespace std::chrono_literals;
using managertest::app;
using managertest::pollUntil;

constexpr std::uint32_t BOX = 1;
constexpr std::uint32_t CLOCK = 90;
constexpr std::uint32_t LASER = 40;
constexpr int STEPS = 30;

void address(GNP2::Packet& packet, std::uint32_t number, int typeCode)
{
    packet.setHeader(GNP2::makeHeader(number, std::uint32_t(typeCode)));
}

// The segment of step i: along x through the box at x = 3 on even steps,
// beside it (y = 2) on odd ones.
float stepY(int i)
{
    return i % 2 ? 2.f : 0.f;
}

// The object manager with the shape and intersector kinds, listening on
// loopback, and a simulation connected to it.
class ShapesOverTheLink : public testing::Test
{
protected:
    void SetUp() override
    {
        app();
        console::Log::instance().setEchoToStderr(false);
        registerShapeObjects(factory);
        registerIntersectorObjects(factory);
        ASSERT_TRUE(workDir.isValid());
        objects = std::make_unique<ObjectManager>(scene.get(), hud.get(), 0, ObjectServices{},
                                                  workDir.path(), factory);
        objects->setReplayFeedPause(0);
        ASSERT_TRUE(objects->server().waitUntilListening(5000ms));
        client.connect("127.0.0.1", objects->server().port());
        ASSERT_TRUE(pollUntil(*objects, [&] { return objects->state() == ObjectManager::Online; }));
    }

    ObjectFactory factory;
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    QTemporaryDir workDir;
    std::unique_ptr<ObjectManager> objects;
    orvane::SimulationClient client;
};

TEST_F(ShapesOverTheLink, TheSimulationGetsOneAnswerPerPacketWithItsNumberAndTime)
{
    ObjectManager& manager = *objects;
    GNP2::Packet box;
    address(box, BOX, TYPE_VisBaseObject);
    box.setIntVector(item::shape::ShapeKind, {VisBaseObject::KIND_BOX});
    box.setFloatVector(item::placement::Position, {3.f, 0.f, 0.f});
    box.setFloatVector(item::placement::Scale, {1.f, 1.f, 1.f});
    client.queue(box);
    std::vector<float> times;
    for (int i = 0; i < STEPS; ++i) {
        const float t = 0.5f + 0.25f * float(i);
        times.push_back(t);
        GNP2::Packet clock;
        address(clock, CLOCK, TYPE_TimePacket);
        clock.setFloatVector(item::every::Time, {t});
        client.queue(clock);
        GNP2::Packet laser;
        address(laser, LASER, TYPE_VisIntersectorObject);
        if (i == 0) {
            laser.setFloatVector(item::intersector::MarkerSize, {0.05f});
            laser.setIntVector(item::intersector::DisplayMode, {2});
            laser.setFloatVector(item::intersector::End, {10.f, 0.f, 0.f});
        }
        laser.setFloatVector(item::intersector::Start, {0.f, stepY(i), 0.f});
        laser.setFloatVector(item::intersector::End, {10.f, stepY(i), 0.f});
        client.queue(laser);
    }
    client.flush();

    std::vector<std::unique_ptr<GNP2::Packet>> answers;
    const auto take = [&] {
        while (auto answer = client.poll())
            answers.push_back(std::move(answer));
    };
    ASSERT_TRUE(pollUntil(manager,
                          [&] {
                              take();
                              return answers.size() >= std::size_t(STEPS);
                          }))
        << answers.size() << " answers";
    // Nothing more comes: one answer per packet.
    pollUntil(
        manager, [] { return false; }, 200ms);
    take();
    ASSERT_EQ(answers.size(), std::size_t(STEPS));
    for (int i = 0; i < STEPS; ++i) {
        SCOPED_TRACE("answer " + std::to_string(i));
        const GNP2::Packet& answer = *answers[std::size_t(i)];
        EXPECT_EQ(GNP2::objectNumber(answer.header()), LASER);
        EXPECT_EQ(answer.getFloatVector(item::every::Time),
                  std::vector<float>{times[std::size_t(i)]});
        const bool hit = stepY(i) == 0.f;
        EXPECT_EQ(answer.getIntVector(item::reply::intersector_result::Hit),
                  std::vector<int>{hit ? 1 : 0});
        if (hit) {
            EXPECT_EQ(answer.getFloatVector(item::reply::intersector_result::Distance),
                      std::vector<float>{2.5f});
        }
    }

    // The simulation leaves: the recording is replayed without answers.
    client.close();
    ASSERT_TRUE(pollUntil(manager, [&] { return manager.state() == ObjectManager::Replay; }));
    manager.updateCallback().runOnce();
    ASSERT_NE(manager.replay(), nullptr);
    manager.replayTick(times[STEPS - 2]); // an even step: the box is hit
    manager.updateCallback().runOnce();
    auto* replayed =
        dynamic_cast<VisIntersectorObject*>(manager.updateCallback().findObject(0, int(LASER)));
    ASSERT_NE(replayed, nullptr);
    EXPECT_EQ(replayed->sendQueue(), nullptr);
    ASSERT_TRUE(replayed->lastHit());
    EXPECT_TRUE(replayed->display()->getValue(VisIntersectorObject::MARKER));
    const osg::Vec3d foot = osg::Vec3d(0, 0, 0) * replayed->marker()->getMatrix();
    EXPECT_NEAR(foot.x(), 2.5, 1e-6);
    EXPECT_EQ(manager.sendRing().size(), 0) << "nothing is sent in replay";
}

// Boxes of one size, two alike, change their look step by step; the replay
// rebuilds each step's colours and shared state sets, playing and after jumps
// (every appearance item is in the first packets, so a jump back restores it).
TEST_F(ShapesOverTheLink, ReplayedAppearanceAndSharedStateEqualTheLiveOnes)
{
    ObjectManager& manager = *objects;
    using Change = std::pair<int, testsupport::Items>; // object and items
    const auto box = [](int object, int red, float x) {
        return Change{object,
                      {{{1, {x, 0.f, 0.f}}, {4, {1.f, 1.f, 1.f}}, {10, {1.f}}},
                       {{5, {VisBaseObject::KIND_BOX}}, {44, {red, 255 - red, 0}}, {29, {0}}}}};
    };
    const std::vector<std::vector<Change>> steps = {
        {box(1, 255, 0.f), box(2, 0, 2.f), box(3, 255, -2.f)},
        {{1, {{{10, {0.5f}}}}}, {2, {{}, {{29, {1}}}}}},
        {{3, {{}, {{44, {0, 255, 0}}}}}},
        {{1, {{{10, {1.f}}}}}, {2, {{}, {{29, {0}}}}}, {3, {{}, {{44, {255, 0, 0}}}}}},
    };
    const auto shape = [&](int object) {
        auto* found = dynamic_cast<VisBaseObject*>(manager.updateCallback().findObject(0, object));
        return found ? found->shape() : nullptr;
    };
    // The scene as text, and which boxes' shapes hold the same state set.
    const auto dump = [&] {
        std::string text = testsupport::dumpScene(manager.updateCallback());
        for (auto [a, b] : {std::pair{1, 2}, std::pair{1, 3}, std::pair{2, 3}}) {
            const bool same =
                shape(a) && shape(b) && shape(a)->getStateSet() == shape(b)->getStateSet();
            text += std::to_string(a) + "-" + std::to_string(b) + (same ? " share\n" : " own\n");
        }
        return text;
    };
    // A step is applied when its last packet's object is stamped with its time.
    const auto applied = [&](std::size_t k) {
        VisObject* object = manager.updateCallback().findObject(0, steps[k].back().first);
        return object && object->getPacket().hasItem(item::every::Time) &&
               object->getPacket().getFloatVector(item::every::Time)[0] == float(k) * 0.1f;
    };
    std::vector<std::string> live;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        GNP2::Packet clock;
        address(clock, CLOCK, TYPE_TimePacket);
        clock.setFloatVector(item::every::Time, {float(k) * 0.1f});
        client.queue(clock);
        for (const auto& [object, items] : steps[k])
            client.queue(*testsupport::makePacket(items, {object, TYPE_VisBaseObject}));
        client.flush();
        ASSERT_TRUE(pollUntil(manager, [&] { return applied(k) && shape(3); }));
        live.push_back(dump());
    }
    EXPECT_NE(live[0].find("1-3 share"), std::string::npos) << live[0];
    EXPECT_NE(live[1].find("1-3 own"), std::string::npos) << live[1];

    client.close();
    ASSERT_TRUE(pollUntil(manager, [&] { return manager.state() == ObjectManager::Replay; }));
    manager.updateCallback().runOnce();
    const auto showAt = [&](std::size_t k) {
        manager.replayTick(float(k) * 0.1f);
        while (!manager.receiveRing().empty())
            manager.updateCallback().runOnce();
        return dump();
    };
    for (std::size_t k = 0; k < steps.size(); ++k)
        EXPECT_EQ(showAt(k), live[k]) << "playing, step " << k;
    for (std::size_t k : {2u, 0u, 3u, 1u})
        EXPECT_EQ(showAt(k), live[k]) << "after a jump to step " << k;
}

} // namespace

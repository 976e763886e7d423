// Intersectors end to end over the link, without a window: the object
// manager with its real TCP server on loopback and the client library as the
// simulation. The simulation receives exactly one answer per packet it sends
// for an intersector, addressed with the intersector's number and stamped
// with the time of the time packet before it; after it leaves, the replayed
// intersector places its marker from the recording and sends nothing.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "client/SimulationClient.h"
#include "log/Log.h"
#include "net/TCPServer.h"
#include "objects/ShapeObjects.h"
#include "objects/VisBaseObject.h"
#include "objects/VisIntersectorObject.h"
#include "scene/ObjectManager.h"
#include "tests/support/ManagerPolling.h"

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

TEST(IntersectorLink, TheSimulationGetsOneAnswerPerPacketWithItsNumberAndTime)
{
    app();
    console::Log::instance().setEchoToStderr(false);
    ObjectFactory factory;
    registerShapeObjects(factory);
    registerIntersectorObjects(factory);
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    QTemporaryDir workDir;
    ASSERT_TRUE(workDir.isValid());
    ObjectManager manager(scene.get(), hud.get(), 0, ObjectServices{}, workDir.path(), factory);
    manager.setReplayFeedPause(0);
    ASSERT_TRUE(manager.server().waitUntilListening(5000ms));

    orvane::SimulationClient client;
    client.connect("127.0.0.1", manager.server().port());
    ASSERT_TRUE(pollUntil(manager, [&] { return manager.state() == ObjectManager::Online; }));

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

} // namespace

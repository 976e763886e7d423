// Shared appearance through record and replay, without a window: three boxes
// of one size (two alike, one of another colour) change how they look one
// step at a time over the link; the replay must rebuild at every step the
// scene the live run had, colours and sharing included, also after jumps.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <osg/Geode>

#include "client/SimulationClient.h"
#include "log/Log.h"
#include "net/TCPServer.h"
#include "objects/ShapeObjects.h"
#include "objects/VisBaseObject.h"
#include "scene/ObjectManager.h"
#include "tests/support/ManagerPolling.h"
#include "tests/support/SceneDump.h"

namespace {

using managertest::app;
using managertest::pollUntil;

struct Change
{
    int object;
    std::map<int, std::vector<int>> ints;
    std::map<int, std::vector<float>> floats;
};

TEST(AppearanceReplay, ReplayedStepsEqualTheLiveOnesAlikeBoxesIncluded)
{
    app();
    console::Log::instance().setEchoToStderr(false);
    ObjectFactory factory;
    registerShapeObjects(factory);
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    QTemporaryDir workDir;
    ASSERT_TRUE(workDir.isValid());
    ObjectManager manager(scene.get(), hud.get(), 0, ObjectServices{}, workDir.path(), factory);
    manager.setReplayFeedPause(0);
    ASSERT_TRUE(manager.server().waitUntilListening(std::chrono::seconds(5)));
    orvane::SimulationClient client;
    client.connect("127.0.0.1", manager.server().port());
    ASSERT_TRUE(pollUntil(manager, [&] { return manager.state() == ObjectManager::Online; }));

    // Every appearance item is in the first packet, so that a jump back to
    // a step restores each item's value then.
    const auto box = [](int rgb0, float x) {
        return Change{0,
                      {{5, {VisBaseObject::KIND_BOX}}, {44, {rgb0, 255 - rgb0, 0}}, {29, {0}}},
                      {{1, {x, 0.f, 0.f}}, {4, {1.f, 1.f, 1.f}}, {10, {1.f}}}};
    };
    // Step k: the changes sent after the time packet of time k / 10.
    std::vector<std::vector<Change>> steps = {
        {box(255, 0.f), box(0, 2.f), box(255, -2.f)},    {{1, {}, {{10, {0.5f}}}}},
        {{2, {{29, {1}}}, {}}, {2, {}, {{10, {0.5f}}}}}, {{3, {{44, {0, 255, 0}}}, {}}},
        {{1, {}, {{10, {1.f}}}}, {2, {{29, {0}}}, {}}},  {{3, {{44, {255, 0, 0}}}, {}}},
    };
    for (int o = 0; o < 3; ++o)
        steps[0][std::size_t(o)].object = o + 1;

    // The scene as text, and which boxes draw the same state (and, with
    // `drawables`, the same drawable). A box that was transparent keeps its
    // two passes at alpha 1, so after a jump back to before its transparency
    // only the state is compared.
    const auto geode = [&](int object) {
        auto* shape = dynamic_cast<VisBaseObject*>(manager.updateCallback().findObject(0, object));
        return shape && shape->shape() ? shape->shape()->asGeode() : nullptr;
    };
    const auto dump = [&](bool drawables) {
        std::string sharing;
        for (auto [a, b] : {std::pair{1, 2}, std::pair{1, 3}, std::pair{2, 3}}) {
            const osg::Geode* first = geode(a);
            const osg::Geode* second = geode(b);
            if (!first || !second)
                return std::string("a box without its shape");
            sharing += std::to_string(a) + "-" + std::to_string(b) + " state " +
                       (first->getStateSet() == second->getStateSet() ? "shared" : "own");
            if (drawables)
                sharing += std::string(", drawable ") +
                           (first->getDrawable(0) == second->getDrawable(0) ? "shared" : "own");
            sharing += "\n";
        }
        return testsupport::dumpScene(manager.updateCallback()) + sharing;
    };

    std::vector<std::string> live, liveState;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        GNP2::Packet time;
        time.setHeader(GNP2::makeHeader(4000, TYPE_TimePacket));
        time.setFloatVector(0, {float(k) * 0.1f});
        client.queue(time);
        for (const Change& change : steps[k]) {
            GNP2::Packet packet;
            packet.setHeader(GNP2::makeHeader(std::uint32_t(change.object), TYPE_VisBaseObject));
            for (const auto& [item, values] : change.ints)
                packet.setIntVector(item, values);
            for (const auto& [item, values] : change.floats)
                packet.setFloatVector(item, values);
            client.queue(packet);
        }
        client.flush();
        // Each step's last change is applied when that object's state holds it.
        const Change& last = steps[k].back();
        ASSERT_TRUE(
            pollUntil(manager,
                      [&] {
                          VisObject* object = manager.updateCallback().findObject(0, last.object);
                          if (!object || !object->isInitialized() || !geode(3))
                              return false;
                          const GNP2::Packet& state = object->getPacket();
                          for (const auto& [item, values] : last.ints)
                              if (!state.hasItem(item) || state.getIntVector(item) != values)
                                  return false;
                          for (const auto& [item, values] : last.floats)
                              if (!state.hasItem(item) || state.getFloatVector(item) != values)
                                  return false;
                          return true;
                      }))
            << "step " << k;
        live.push_back(dump(true));
        liveState.push_back(dump(false));
    }
    // Alike boxes share, and the steps changed that: the comparison below
    // also compares sharing.
    EXPECT_NE(live[0], live[1]);
    EXPECT_NE(live[0].find("1-3 state shared, drawable shared"), std::string::npos) << live[0];

    client.close();
    ASSERT_TRUE(pollUntil(manager, [&] { return manager.state() == ObjectManager::Replay; }));
    manager.updateCallback().runOnce();
    const auto showAt = [&](std::size_t k, bool drawables) {
        manager.replayTick(float(k) * 0.1f);
        while (!manager.receiveRing().empty())
            manager.updateCallback().runOnce();
        return dump(drawables);
    };
    for (std::size_t k = 0; k < steps.size(); ++k)
        EXPECT_EQ(showAt(k, true), live[k]) << "playing, step " << k;
    for (std::size_t k : {3u, 0u, 5u, 1u})
        EXPECT_EQ(showAt(k, false), liveState[k]) << "after a jump to step " << k;
}

} // namespace

// The object manager with its real TCP server on loopback and the client
// library as the simulation.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "TestObjects.h"
#include "log/Log.h"
#include "client/SimulationClient.h"
#include "net/TCPServer.h"
#include "protocol/Items.h"
#include "replay/Recorder.h"
#include "scene/ObjectManager.h"
#include "tests/support/ManagerPolling.h"
#include "tests/support/Packets.h"
#include "tests/support/SceneDump.h"

namespace {

using namespace std::chrono_literals;
using managertest::app;
using managertest::pollUntil;

class ObjectManagerLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        console::Log::instance().setEchoToStderr(false);
        factory = probeFactory();
        scene = new osg::Group;
        hud = new osg::Group;
        ASSERT_TRUE(workDir.isValid());
        manager = std::make_unique<ObjectManager>(
            scene.get(), hud.get(), 0, ObjectServices{.viewHost = &views}, workDir.path(), factory);
        manager->setReplayFeedPause(0);
        ASSERT_TRUE(manager->server().waitUntilListening(5000ms));
    }

    void TearDown() override { manager.reset(); }

    QTemporaryDir workDir;
    ObjectFactory factory;
    RecordingViewHost views;
    osg::ref_ptr<osg::Group> scene, hud;
    std::unique_ptr<ObjectManager> manager;
};

TEST_F(ObjectManagerLink, GoesOnlineBuildsTheSimulationsObjectsAndReplaysAfterDisconnect)
{
    QSignalSpy changes(manager.get(), &ObjectManager::statusChanged);
    EXPECT_EQ(manager->state(), ObjectManager::Offline);

    orvane::SimulationClient client;
    client.connect("127.0.0.1", manager->server().port());
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Online; }));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_GE(views.resets, 1) << "going online clears the scene";

    for (int i = 0; i < 20; ++i) {
        GNP2::Packet p;
        p.setHeader(GNP2::makeHeader(std::uint32_t(i), TYPE_VisBaseObject));
        p.setFloatVector(item::shape::Position, {float(i), 0.f, 0.f});
        client.queue(p);
    }
    client.flush();
    ASSERT_TRUE(pollUntil(*manager, [&] { return scene->getNumChildren() == 20; }));
    auto* last = dynamic_cast<Vis3DObject*>(manager->updateCallback().findObject(0, 19));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->getTranslation().getTrans(), osg::Vec3d(19, 0, 0));

    // Objects created online answer the simulation through the send ring.
    auto* answer = new GNP2::Packet;
    answer->setIntVector(30, {1});
    last->sendPacket(answer);
    auto received = client.waitForPacket(5000ms);
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(GNP2::objectNumber(received->header()), 19u);
    EXPECT_EQ(received->getIntVector(30), std::vector<int>{1});

    client.close();
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Replay; }));
    EXPECT_EQ(changes.count(), 2);
    manager->updateCallback().runOnce(); // the pending clear takes effect
    EXPECT_EQ(scene->getNumChildren(), 0u);
    EXPECT_EQ(manager->updateCallback().objectCount(), 0u);

    // The recording rebuilds the scene.
    ASSERT_NE(manager->replay(), nullptr);
    EXPECT_EQ(manager->replay()->index().size(), 20u) << "one record per applied packet";
    manager->replayTick(manager->replay()->lastTime());
    manager->updateCallback().runOnce();
    EXPECT_EQ(scene->getNumChildren(), 20u);
    auto* replayed = dynamic_cast<Vis3DObject*>(manager->updateCallback().findObject(0, 19));
    ASSERT_NE(replayed, nullptr);
    EXPECT_EQ(replayed->getTranslation().getTrans(), osg::Vec3d(19, 0, 0));
    EXPECT_EQ(replayed->sendQueue(), nullptr) << "replayed objects do not answer";
}

TEST_F(ObjectManagerLink, PacketsQueuedBeforeAClearAreAppliedFirst)
{
    manager->receiveRing().push(linkPacket(1, TYPE_VisBaseObject));
    manager->receiveRing().push(linkPacket(2, TYPE_VisBaseObject));
    CountingRecorder recorder;
    manager->updateCallback().setRecorder(&recorder);
    manager->clearScene();
    manager->updateCallback().setRecorder(nullptr);
    EXPECT_EQ(recorder.headers.size(), 2u) << "queued packets are applied and recorded";
    EXPECT_TRUE(manager->receiveRing().empty());
    EXPECT_EQ(views.resets, 1);
    EXPECT_EQ(views.lightsOff, 1);
    manager->updateCallback().runOnce();
    EXPECT_EQ(scene->getNumChildren(), 0u);
}

// The replay shows, at any time and after any jump, the state the live run
// had at that time.
TEST_F(ObjectManagerLink, ReplayReproducesTheLiveStatesAtEveryTimeAndAfterJumps)
{
    // Every object as text: its class, transform, colours and state.
    auto dump = [&] { return testsupport::dumpScene(manager->updateCallback()); };
    auto xOf = [&](int o) {
        auto* object = dynamic_cast<Vis3DObject*>(manager->updateCallback().findObject(0, o));
        return object ? object->getTranslation().getTrans().x() : -1.0;
    };

    orvane::SimulationClient client;
    client.connect("127.0.0.1", manager->server().port());
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Online; }));

    // Object o moves only in the steps that are multiples of o, so most
    // frames leave some objects alone.
    std::vector<std::string> live;
    for (int k = 0; k < 10; ++k) {
        GNP2::Packet time = testsupport::timePacket(float(k) * 0.1f);
        client.queue(time);
        for (int o = 1; o <= 3; ++o) {
            if (k % o != 0)
                continue;
            GNP2::Packet p;
            p.setHeader(GNP2::makeHeader(std::uint32_t(o), TYPE_VisBaseObject));
            p.setFloatVector(item::shape::Position, {float(k), float(o), 0.f});
            client.queue(p);
        }
        client.flush();
        ASSERT_TRUE(pollUntil(*manager, [&] { return xOf(1) == k && xOf(3) >= 0; }));
        live.push_back(dump());
    }
    client.close();
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Replay; }));
    manager->updateCallback().runOnce();

    auto showAt = [&](int k) {
        manager->replayTick(float(k) * 0.1f);
        while (!manager->receiveRing().empty())
            manager->updateCallback().runOnce();
        return dump();
    };
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(showAt(k), live[std::size_t(k)]) << "playing, step " << k;
    for (int k : {3, 8, 0, 9, 5, 1})
        EXPECT_EQ(showAt(k), live[std::size_t(k)]) << "after a jump to step " << k;
}

// Queues a packet that creates or moves object `number` to x.
void queueMove(orvane::SimulationClient& client, int number, float x)
{
    GNP2::Packet p;
    p.setHeader(GNP2::makeHeader(std::uint32_t(number), TYPE_VisBaseObject));
    p.setFloatVector(item::shape::Position, {x, 0.f, 0.f});
    client.queue(p);
}

void queueTime(orvane::SimulationClient& client, float time)
{
    GNP2::Packet p = testsupport::timePacket(time);
    client.queue(p);
}

double xOf(ObjectManager& manager, int number)
{
    auto* object = dynamic_cast<Vis3DObject*>(manager.updateCallback().findObject(0, number));
    return object ? object->getTranslation().getTrans().x() : -1.0;
}

// A simulation that closes its connection and connects again at once, 200
// times: every connection is served and is a run of its own, whose recording
// (checked when its replay starts) holds its own records and nothing else.
TEST_F(ObjectManagerLink, EveryConnectionIsARunOfItsOwnEvenWhenTheNextFollowsAtOnce)
{
    constexpr int runs = 200;
    constexpr int objects = 3;
    int replays = 0;
    std::vector<std::string> faults;
    QObject::connect(manager.get(), &ObjectManager::statusChanged, [&] {
        if (manager->state() != ObjectManager::Replay)
            return;
        const int run = replays++;
        ReplayManager* replay = manager->replay();
        if (!replay || replay->index().size() != std::size_t(objects)) {
            faults.push_back("run " + std::to_string(run) + " recorded " +
                             std::to_string(replay ? replay->index().size() : 0) + " records");
            return;
        }
        // No time packets: the whole run is one frame.
        for (GNP2::Packet* record : replay->getPackets(replay->lastTime())) {
            const float x = record->getFloatVector(item::shape::Position)[0];
            if (x != float(run))
                faults.push_back("run " + std::to_string(run) +
                                 " recorded x = " + std::to_string(x));
            delete record;
        }
    });

    std::atomic<int> shown{-1}; // the last run whose objects the scene shows
    std::atomic<bool> finished{false};
    std::string simulationFault;
    std::thread simulation([&] {
        orvane::SimulationClient client;
        for (int run = 0; run < runs && simulationFault.empty(); ++run) {
            try {
                client.connect("127.0.0.1", manager->server().port());
                for (int o = 1; o <= objects; ++o)
                    queueMove(client, o, float(run));
                client.flush();
            } catch (const orvane::ClientError& error) {
                simulationFault = "run " + std::to_string(run) + ": " + error.what();
                break;
            }
            const auto limit = std::chrono::steady_clock::now() + 10s;
            while (shown.load() < run && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(100us);
            if (shown.load() < run)
                simulationFault = "run " + std::to_string(run) + " never reached the scene";
            client.close(); // and at once connect again
        }
        finished = true;
    });
    // Polls until the simulation has finished and the last run is replayed
    // (or, after a fault, for 5 s more at most).
    std::optional<std::chrono::steady_clock::time_point> finishedAt;
    const bool done = pollUntil(
        *manager,
        [&] {
            if (manager->state() == ObjectManager::Online && xOf(*manager, objects) >= 0 &&
                xOf(*manager, 1) == xOf(*manager, objects))
                shown = int(xOf(*manager, objects));
            if (!finished.load())
                return false;
            if (!finishedAt)
                finishedAt = std::chrono::steady_clock::now();
            return (manager->state() == ObjectManager::Replay && replays >= runs) ||
                   std::chrono::steady_clock::now() - *finishedAt > 5s;
        },
        120s);
    simulation.join();
    EXPECT_EQ(simulationFault, "");
    EXPECT_TRUE(done);
    EXPECT_EQ(replays, runs);
    for (const std::string& fault : faults)
        ADD_FAILURE() << fault;
    EXPECT_TRUE(faults.empty());
    EXPECT_EQ(manager->server().connections().started, std::uint64_t(runs));
}

// A run starts its clock at 0: objects created before its first time
// packet are not stamped with the previous run's last time, so a run whose
// clock starts below the previous one's is recorded in order and replays
// whole.
TEST_F(ObjectManagerLink, RunWhoseClockStartsBelowThePreviousRunsReplaysWhole)
{
    const int port = manager->server().port();
    {
        orvane::SimulationClient first;
        first.connect("127.0.0.1", port);
        queueTime(first, 5.0f);
        queueMove(first, 1, 1.0f);
        first.flush();
        ASSERT_TRUE(pollUntil(*manager, [&] { return xOf(*manager, 1) == 1.0; }));
    }
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Replay; }));

    orvane::SimulationClient second;
    second.connect("127.0.0.1", port);
    // Objects first, then the clock, starting below the first run's 5.0.
    for (int step = 0; step < 3; ++step) {
        if (step > 0)
            queueTime(second, float(step));
        for (int o = 1; o <= 2; ++o)
            queueMove(second, o, float(10 * o + step));
    }
    second.flush();
    ASSERT_TRUE(pollUntil(*manager, [&] { return xOf(*manager, 2) == 22.0; }));
    second.close();
    ASSERT_TRUE(pollUntil(*manager, [&] { return manager->state() == ObjectManager::Replay; }));
    manager->updateCallback().runOnce();

    ReplayManager* replay = manager->replay();
    ASSERT_NE(replay, nullptr);
    EXPECT_EQ(replay->index().size(), 6u) << "every record of the second run";
    EXPECT_FLOAT_EQ(replay->firstTime(), 0.0f);
    EXPECT_FLOAT_EQ(replay->lastTime(), 2.0f);

    auto showAt = [&](float t) {
        manager->replayTick(t);
        while (!manager->receiveRing().empty())
            manager->updateCallback().runOnce();
        return std::pair(xOf(*manager, 1), xOf(*manager, 2));
    };
    EXPECT_EQ(showAt(2.0f), std::pair(12.0, 22.0));
    EXPECT_EQ(showAt(0.5f), std::pair(10.0, 20.0));
    EXPECT_EQ(showAt(1.0f), std::pair(11.0, 21.0));
}

// A jump that restores far more objects than the ring holds is shown by the
// next frame: the tick applies what does not fit and leaves at most one
// ringful for the frame's update pass.
TEST_F(ObjectManagerLink, AJumpRestoringTenThousandObjectsIsShownByTheNextFrame)
{
    constexpr int OBJECTS = 10000; // on three connections of up to 4096
    const std::string path = workDir.path().toStdString() + "/many.dat";
    {
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(path), "");
        GNP2::Packet state;
        for (int t = 1; t <= 2; ++t)
            for (int i = 0; i < OBJECTS; ++i) {
                state.setHeader(GNP2::makeHeader(std::uint32_t(i % 4096), TYPE_VisBaseObject));
                state.setFloatVector(item::every::Time, {float(t)});
                state.setFloatVector(item::shape::Position, {float(t * OBJECTS + i), 0.f, 0.f});
                state.setIntVector(item::every::Connection, {i / 4096});
                recorder.record(state);
            }
        recorder.close();
    }
    manager->startReplay(QString::fromStdString(path));
    ASSERT_EQ(manager->state(), ObjectManager::Replay);
    // The frame's pass is never cut short by its time budget on a busy machine.
    manager->updateCallback().setClock([] { return 0.0; });

    auto misplaced = [&](int t) {
        int wrong = 0;
        for (int i = 0; i < OBJECTS; ++i) {
            auto* object = dynamic_cast<Vis3DObject*>(
                manager->updateCallback().findObject(i / 4096, i % 4096));
            if (!object || object->getTranslation().getTrans().x() != double(t * OBJECTS + i))
                ++wrong;
        }
        return wrong;
    };
    for (int t : {2, 1, 2}) {
        manager->replayTick(float(t));
        EXPECT_LE(manager->receiveRing().size(), PacketRing::CAPACITY - 1);
        manager->updateCallback().runOnce(); // the frame
        EXPECT_TRUE(manager->receiveRing().empty());
        EXPECT_EQ(misplaced(t), 0) << "objects not at their state of t = " << t;
    }
    EXPECT_EQ(manager->updateCallback().objectCount(), std::size_t(OBJECTS));
}

} // namespace

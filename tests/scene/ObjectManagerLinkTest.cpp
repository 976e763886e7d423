// The object manager with its real TCP server on loopback and the client
// library as the simulation.
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestObjects.h"
#include "log/Log.h"
#include "client/SimulationClient.h"
#include "net/TCPServer.h"
#include "scene/ObjectManager.h"
#include "tests/support/SceneDump.h"

namespace {

using namespace std::chrono_literals;

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "test_scene_link";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    // Settings of the tests' own, never the user's.
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    return application;
}

// Runs the status poll and the update pass until `done` or a 5 s limit.
template <typename Done> bool pollUntil(ObjectManager& manager, Done done)
{
    const auto limit = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        manager.updateStatus();
        manager.updateCallback().runOnce();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

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
        p.setFloatVector(1, {float(i), 0.f, 0.f});
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
        GNP2::Packet time;
        time.setHeader(GNP2::makeHeader(4000, TYPE_TimePacket));
        time.setFloatVector(0, {float(k) * 0.1f});
        client.queue(time);
        for (int o = 1; o <= 3; ++o) {
            if (k % o != 0)
                continue;
            GNP2::Packet p;
            p.setHeader(GNP2::makeHeader(std::uint32_t(o), TYPE_VisBaseObject));
            p.setFloatVector(1, {float(k), float(o), 0.f});
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

} // namespace

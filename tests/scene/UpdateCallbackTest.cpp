#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include <osg/observer_ptr>
#include <osgUtil/UpdateVisitor>

#include "TestObjects.h"
#include "log/Log.h"
#include "net/PacketRing.h"
#include "net/TCPServer.h"
#include "protocol/Items.h"

namespace {

using namespace std::chrono_literals;

class UpdateCallback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        factory = probeFactory();
        scene = new osg::Group;
        hud = new osg::Group;
        callback = new rootnodeUpdateCallback(receive, send, factory, scene.get(), hud.get(),
                                              ObjectServices{.viewHost = &views});
        // A still clock: each pass applies every queued packet, however slow
        // the machine; the budget's own test sets a clock of its own.
        callback->setClock([] { return 0.0; });
        console::Log::instance().setEchoToStderr(false);
        console::Log::instance().clear();
    }

    ProbeObject* probe(int objectNumber, int connection = 0)
    {
        return dynamic_cast<ProbeObject*>(callback->findObject(connection, objectNumber));
    }

    void timePacket(int objectNumber, float time)
    {
        GNP2::Packet* p = linkPacket(objectNumber, TYPE_TimePacket);
        p->setFloatVector(item::time::Time, {time});
        receive.push(p);
    }

    int linesContaining(const std::string& text, int level)
    {
        int n = 0;
        for (const auto& line : console::Log::instance().snapshot())
            n += line.level == level && line.text.find(text) != std::string::npos;
        return n;
    }

    PacketRing receive, send;
    ObjectFactory factory;
    RecordingViewHost views;
    osg::ref_ptr<osg::Group> scene, hud;
    osg::ref_ptr<rootnodeUpdateCallback> callback;
};

TEST_F(UpdateCallback, LaterPacketsUpdateTheSameObjectWhateverTheirTypeCode)
{
    receive.push(linkPacket(3, TYPE_VisBaseObject));
    GNP2::Packet* second = linkPacket(3, TYPE_VisFileObject);
    second->setFloatVector(item::model_file::Position, {1.f, 2.f, 3.f});
    receive.push(second);
    EXPECT_EQ(callback->runOnce(), 2);

    ProbeObject* object = probe(3);
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->className(), "VisBaseObject");
    EXPECT_EQ(object->initTimes.size(), 1u);
    EXPECT_EQ(object->updateTimes.size(), 2u) << "a new object gets initialize and update";
    EXPECT_EQ(scene->getNumChildren(), 1u);
    EXPECT_EQ(object->getTranslation().getTrans(), osg::Vec3d(1, 2, 3));
}

TEST_F(UpdateCallback, ObjectNumber4095AndOtherConnectionsAreSeparateEntries)
{
    receive.push(linkPacket(4095, TYPE_VisBaseObject));
    receive.push(linkPacket(4095, TYPE_VisBaseObject, 2));
    receive.push(linkPacket(0, TYPE_VisBaseObject));
    callback->runOnce();
    EXPECT_NE(probe(4095), nullptr);
    EXPECT_NE(probe(4095, 2), nullptr);
    EXPECT_NE(probe(4095), probe(4095, 2));
    EXPECT_NE(probe(0), nullptr);
    EXPECT_EQ(callback->objectCount(), 3u);
}

TEST_F(UpdateCallback, TimePacketStampsLaterPacketsAndIsNeverStoredOrRecorded)
{
    CountingRecorder recorder;
    callback->setRecorder(&recorder);
    timePacket(100, 2.5f);
    GNP2::Packet* p = linkPacket(1, TYPE_VisBaseObject);
    p->setFloatVector(item::every::Time, {99.f}); // whatever the simulation wrote is replaced
    receive.push(p);
    callback->runOnce();

    EXPECT_FLOAT_EQ(callback->currentTime(), 2.5f);
    EXPECT_EQ(callback->findObject(0, 100), nullptr);
    ASSERT_NE(probe(1), nullptr);
    EXPECT_EQ(probe(1)->initTimes, std::vector<float>{2.5f});
    EXPECT_EQ(probe(1)->updateTimes, std::vector<float>{2.5f});
    EXPECT_FLOAT_EQ(probe(1)->getTime(), 2.5f);
    EXPECT_EQ(recorder.headers.size(), 1u) << "only the object's packet is recorded";
}

TEST_F(UpdateCallback, TimePacketForAnExistingObjectNumberIsAnOrdinaryUpdate)
{
    timePacket(50, 1.f);
    receive.push(linkPacket(5, TYPE_VisBaseObject));
    timePacket(5, 7.f); // clashes with object 5
    callback->runOnce();
    EXPECT_FLOAT_EQ(callback->currentTime(), 1.f);
    ASSERT_NE(probe(5), nullptr);
    EXPECT_EQ(probe(5)->updateTimes, (std::vector<float>{1.f, 1.f}));
}

TEST_F(UpdateCallback, WithoutRecorderChangedFlagsAreClearedAfterEachPacket)
{
    GNP2::Packet* p = linkPacket(1, TYPE_VisBaseObject);
    p->setFloatVector(item::shape::Position, {1.f, 0.f, 0.f});
    receive.push(p);
    callback->runOnce();
    for (int i = 0; i < GNP2::ITEM_COUNT; ++i)
        EXPECT_FALSE(probe(1)->getPacket().isChanged(i)) << i;
}

TEST_F(UpdateCallback, CodesWithoutAClassCreateNothingAndAreLoggedOncePerConnectionAndCode)
{
    ObjectFactory onlyShapes;
    onlyShapes.add(TYPE_VisBaseObject,
                   [](const ObjectContext& c) { return new ProbeObject(c, "VisBaseObject"); });
    osg::ref_ptr<rootnodeUpdateCallback> sparse =
        new rootnodeUpdateCallback(receive, send, onlyShapes, scene.get(), hud.get());
    sparse->setClock([] { return 0.0; });
    for (int i = 0; i < 5; ++i) {
        receive.push(linkPacket(10 + i, 0));
        receive.push(linkPacket(20 + i, 15));
        receive.push(linkPacket(30 + i, TYPE_VisLineObject));
    }
    receive.push(linkPacket(40, TYPE_VisLineObject, 1));
    receive.push(linkPacket(41, TYPE_VisBaseObject));
    sparse->runOnce();

    EXPECT_EQ(sparse->objectCount(), 1u);
    EXPECT_EQ(scene->getNumChildren(), 1u);
    EXPECT_EQ(linesContaining("type code 0 from connection 0", console::LEVEL_8), 1);
    EXPECT_EQ(linesContaining("type code 15 from connection 0", console::LEVEL_8), 1);
    EXPECT_EQ(linesContaining("type code 12 from connection 0", console::LEVEL_8), 1);
    EXPECT_EQ(linesContaining("type code 12 from connection 1", console::LEVEL_8), 1);
    EXPECT_EQ(linesContaining("VisLineObject is not available", console::LEVEL_8), 2);
}

TEST_F(UpdateCallback, AnUpdateExceptionDropsThePacketAndTheStreamGoesOn)
{
    receive.push(linkPacket(1, TYPE_VisBaseObject));
    GNP2::Packet* poisoned = linkPacket(1, TYPE_VisBaseObject);
    poisoned->setFloatVector(50, {1.f}); // the probe reads it as ints and throws
    receive.push(poisoned);
    GNP2::Packet* after = linkPacket(1, TYPE_VisBaseObject);
    after->setFloatVector(item::shape::Position, {4.f, 5.f, 6.f});
    receive.push(after);
    GNP2::Packet* noConnection = new GNP2::Packet;
    noConnection->setHeader(GNP2::makeHeader(2, TYPE_VisBaseObject));
    receive.push(noConnection);

    testing::internal::CaptureStdout();
    EXPECT_EQ(callback->runOnce(), 4);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("An error occured while updating VisBaseObject. Object will be skipped!\n"
                       "Requested data not in packet or data size mismatch!\nErrorNr: 50"),
              std::string::npos)
        << out;
    EXPECT_EQ(probe(1)->getTranslation().getTrans(), osg::Vec3d(4, 5, 6));
    EXPECT_EQ(callback->findObject(0, 2), nullptr);
    EXPECT_TRUE(receive.empty());
}

TEST_F(UpdateCallback, BudgetLeavesExcessPacketsQueuedButAppliesAtLeastOne)
{
    double now = 0;
    callback->setClock([&] { return now += 0.004; }); // every look costs 4 ms
    for (int i = 0; i < 10; ++i)
        receive.push(linkPacket(i, TYPE_VisBaseObject));
    const int first = callback->runOnce();
    EXPECT_GE(first, 1);
    EXPECT_LE(first, 3);
    EXPECT_EQ(receive.size(), 10 - first);

    callback->setClock([&] { return now += 1.0; }); // hopelessly slow frames
    EXPECT_EQ(callback->runOnce(), 1);
    EXPECT_EQ(receive.size(), 9 - first);
}

// Without an injected clock the steady clock is read only every
// CLOCK_STRIDE packets: a pass of slow packets (1 ms each here) still ends
// soon after the budget, at a look, and leaves the rest queued.
TEST_F(UpdateCallback, TheSteadyClockEndsAPassSoonAfterTheBudget)
{
    class SlowRecorder : public StateRecorder
    {
    public:
        void record(GNP2::Packet& state) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            state.clearChanged();
        }
    } slow;
    callback->setClock({});
    callback->setRecorder(&slow);
    for (int i = 0; i < 100; ++i)
        receive.push(linkPacket(i, TYPE_VisBaseObject));
    const int taken = callback->runOnce();
    constexpr int STRIDE = rootnodeUpdateCallback::CLOCK_STRIDE;
    EXPECT_GE(taken, STRIDE);
    // 1 ms a packet: at the second look at the latest, 10 ms have passed.
    EXPECT_LE(taken, 2 * STRIDE);
    EXPECT_EQ(taken % STRIDE, 0) << "a pass ends only at a look at the clock";
    EXPECT_EQ(receive.size(), 100 - taken);
    EXPECT_EQ(callback->appliedPackets(), std::uint64_t(taken));
    callback->setRecorder(nullptr);
}

// A live link whose reader waits at its flow-control mark refills the ring
// only while the pass lets it (one processor for both): the pass waits for
// more within its budget instead of ending with one ringful. A pass that
// did not start at the mark, or a replay's feed, ends when the ring is empty.
TEST_F(UpdateCallback, AFloodedPassWaitsForTheReaderWithinItsBudget)
{
    // The fixture's still clock never ends a pass by its budget, and a wait
    // of half a second for the reader outlasts any slow machine: what ends a
    // pass is the ring running dry. The reader refills `delay` after the
    // pass has emptied the ring: well within a flooded pass's wait, well
    // after a pass that does not wait.
    callback->setFloodWait(0.5);
    const auto pass = [&](bool live, int queued, std::chrono::microseconds delay) {
        callback->setLive(live);
        for (int i = 0; i < queued; ++i)
            receive.push(linkPacket(i % 100, TYPE_VisBaseObject));
        std::vector<GNP2::Packet*> refill;
        for (int i = 0; i < 500; ++i)
            refill.push_back(linkPacket(i % 100, TYPE_VisBaseObject));
        std::thread reader([&] {
            while (!receive.empty())
                std::this_thread::yield();
            std::this_thread::sleep_for(delay);
            for (GNP2::Packet* packet : refill)
                receive.push(packet);
        });
        const int taken = callback->runOnce();
        reader.join();
        while (callback->runOnce() > 0) {
        }
        return taken;
    };
    const int mark = TCPServer::FLOW_CONTROL_LEVEL;
    EXPECT_EQ(pass(true, mark, 200us), mark + 500);
    EXPECT_EQ(pass(true, mark - 1, 20ms), mark - 1);
    EXPECT_EQ(pass(false, mark, 20ms), mark);
}

// The pass looks at the packet after the one it applies to prepare that
// packet's object: packets without a connection number, with a negative
// one or one never seen before must neither disturb that look nor be lost.
TEST_F(UpdateCallback, EveryPacketIsAppliedAndCountedWhateverFollowsIt)
{
    receive.push(linkPacket(1, TYPE_VisBaseObject));
    GNP2::Packet* unaddressed = linkPacket(2, TYPE_VisBaseObject);
    unaddressed->removeItem(item::every::Connection);
    receive.push(unaddressed);
    receive.push(linkPacket(4095, TYPE_VisBaseObject, 9)); // a connection beyond the table
    receive.push(linkPacket(3, TYPE_VisBaseObject, -1));
    GNP2::Packet* move = linkPacket(1, TYPE_VisBaseObject);
    move->setFloatVector(item::shape::Position, {7.f, 8.f, 9.f});
    receive.push(move);
    GNP2::Packet* moveFar = linkPacket(4095, TYPE_VisBaseObject, 9);
    moveFar->setFloatVector(item::shape::Position, {1.f, 2.f, 3.f});
    receive.push(moveFar);

    testing::internal::CaptureStdout();
    EXPECT_EQ(callback->runOnce(), 6);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(callback->appliedPackets(), 6u);
    ASSERT_NE(probe(1), nullptr);
    EXPECT_EQ(probe(1)->getTranslation().getTrans(), osg::Vec3d(7, 8, 9));
    ASSERT_NE(probe(4095, 9), nullptr);
    EXPECT_EQ(probe(4095, 9)->getTranslation().getTrans(), osg::Vec3d(1, 2, 3));
    EXPECT_EQ(callback->objectCount(), 2u);
    EXPECT_TRUE(receive.empty());
}

// The update traversal reaches every node below the scene root that has an
// update callback (particles, animated models), however deep and whatever
// objects lie beside it, as long as it has one.
TEST_F(UpdateCallback, TheTraversalStillReachesNodesThatWantIt)
{
    struct Counter : osg::NodeCallback
    {
        void operator()(osg::Node* node, osg::NodeVisitor* nv) override
        {
            ++runs;
            traverse(node, nv);
        }
        int runs = 0;
    };
    scene->setUpdateCallback(callback.get());
    for (int i = 0; i < 50; ++i)
        receive.push(linkPacket(i, TYPE_VisBaseObject));
    osg::ref_ptr<osg::Group> outer = new osg::Group, inner = new osg::Group;
    osg::ref_ptr<Counter> counter = new Counter;
    inner->setUpdateCallback(counter.get());
    outer->addChild(inner.get());
    osgUtil::UpdateVisitor update;
    scene->accept(update);
    EXPECT_EQ(callback->objectCount(), 50u);

    scene->addChild(outer.get());
    scene->accept(update);
    scene->accept(update);
    EXPECT_EQ(counter->runs, 2);

    inner->setUpdateCallback(nullptr);
    scene->accept(update);
    EXPECT_EQ(counter->runs, 2);
    EXPECT_EQ(scene->getNumChildrenRequiringUpdateTraversal(), 0u);
    // The scene holds the callback that holds the scene: break the cycle.
    scene->setUpdateCallback(nullptr);
}

TEST_F(UpdateCallback, ClearRemovesObjectsAtTheNextPassAndForgetsThem)
{
    receive.push(linkPacket(1, TYPE_VisBaseObject));
    receive.push(linkPacket(2, TYPE_VisHUDObject));
    callback->runOnce();
    osg::observer_ptr<VisObject> watched = callback->findObject(0, 1);
    ASSERT_EQ(scene->getNumChildren() + hud->getNumChildren(), 2u);

    callback->clearTable();
    EXPECT_EQ(callback->findObject(0, 1), nullptr);
    EXPECT_EQ(scene->getNumChildren(), 1u) << "objects stay until the next traversal";

    receive.push(linkPacket(1, TYPE_VisBaseObject));
    callback->runOnce();
    EXPECT_EQ(scene->getNumChildren(), 1u);
    EXPECT_EQ(hud->getNumChildren(), 0u);
    EXPECT_FALSE(watched.valid()) << "the old object was destroyed";
    EXPECT_NE(callback->findObject(0, 1), nullptr);
}

TEST_F(UpdateCallback, ObjectsCreatedWhileLiveAnswerThroughTheSendRing)
{
    receive.push(linkPacket(1, TYPE_VisBaseObject));
    callback->runOnce();
    callback->setLive(true);
    receive.push(linkPacket(2, TYPE_VisBaseObject, 3));
    callback->runOnce();

    probe(1)->sendPacket(new GNP2::Packet); // created in replay: deleted
    EXPECT_TRUE(send.empty());

    auto* answer = new GNP2::Packet;
    answer->setFloatVector(20, {1.f});
    probe(2, 3)->sendPacket(answer);
    ASSERT_EQ(send.size(), 1);
    GNP2::Packet* sent = send.pop();
    EXPECT_EQ(sent->header(), 2u);
    EXPECT_EQ(sent->getIntVector(item::every::Connection), std::vector<int>{3});
    delete sent;
}

} // namespace

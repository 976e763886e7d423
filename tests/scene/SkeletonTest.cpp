// The one skeleton of initialize and update that every object kind shares:
// the order of merge and build, what counts as arrived, the time, the
// failure reports, and the ways a kind may say it differs.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gnp2/Packet.h"
#include "scene/VisObject.h"
#include "tests/support/Packets.h"

namespace {

constexpr int REQUIRED = 50; // the item a probe needs to build
constexpr int OPTIONAL = 51;

// A kind whose skeleton a test chooses; it records what it is given.
class Probe : public VisObject
{
public:
    explicit Probe(Skeleton order = {}) : VisObject(ObjectContext{}), _order(order) {}
    const char* className() const override { return "Probe"; }

    bool ready = true;              // build returns this ("not yet" when false)
    std::vector<int> builtWith;     // item REQUIRED of the state at each build
    std::vector<bool> arrivedWhole; // whether apply got the whole state
    std::vector<bool> arrivedOptional;
    bool throwInApply = false;

protected:
    Skeleton skeleton() const override { return _order; }
    bool build(const GNP2::Packet&) override
    {
        builtWith.push_back(intItem(statePacket(), REQUIRED)[0]);
        return ready;
    }
    void apply(const GNP2::Packet& arrived) override
    {
        arrivedWhole.push_back(&arrived == &getPacket());
        arrivedOptional.push_back(arrived.hasItem(OPTIONAL));
        if (throwInApply)
            intItem(arrived, 99);
    }

private:
    Skeleton _order;
};

// A packet that lives to the end of the test (packets do not copy).
const GNP2::Packet& packet(float time, std::vector<std::pair<int, int>> ints = {})
{
    static std::vector<std::unique_ptr<GNP2::Packet>> made;
    auto& p = made.emplace_back(std::make_unique<GNP2::Packet>());
    p->setFloatVector(GNP2::ITEM_TIME, {time});
    for (const auto& [index, value] : ints)
        p->setIntVector(index, {value});
    return *p;
}

using testsupport::deliver;

TEST(Skeleton, BuildsFromTheMergedStateAndAppliesWhatArrived)
{
    osg::ref_ptr<Probe> probe = new Probe;
    testing::internal::CaptureStdout();
    deliver(*probe, packet(1.0f, {{OPTIONAL, 1}}), true);
    const std::string failures = testing::internal::GetCapturedStdout();
    EXPECT_NE(failures.find("An error occured while initializing Probe. Object will be skipped!"),
              std::string::npos);
    EXPECT_FALSE(probe->isInitialized());
    EXPECT_TRUE(probe->arrivedWhole.empty()) << "nothing is applied to an unbuilt object";
    EXPECT_FLOAT_EQ(probe->getTime(), 1.0f) << "update stores the time even unbuilt";

    // The missing item arrives: built from the state, and the whole state
    // counts as arrived, the first packet's item 51 included.
    deliver(*probe, packet(2.0f, {{REQUIRED, 7}}), false);
    ASSERT_TRUE(probe->isInitialized());
    EXPECT_EQ(probe->builtWith, std::vector<int>{7});
    EXPECT_EQ(probe->arrivedWhole, std::vector<bool>{true});
    EXPECT_EQ(probe->arrivedOptional, std::vector<bool>{true});

    // Later packets arrive alone; a built object is never built again.
    deliver(*probe, packet(3.0f), false);
    probe->initialize(packet(4.0f, {{REQUIRED, 9}}));
    EXPECT_EQ(probe->builtWith, std::vector<int>{7});
    EXPECT_EQ(probe->arrivedWhole, (std::vector<bool>{true, false}));
    EXPECT_EQ(probe->arrivedOptional, (std::vector<bool>{true, false}));
    EXPECT_FLOAT_EQ(probe->getTime(), 3.0f);
}

TEST(Skeleton, NotYetIsNoErrorAndIsRetriedOnEveryUpdate)
{
    osg::ref_ptr<Probe> probe = new Probe;
    probe->ready = false;
    testing::internal::CaptureStdout();
    deliver(*probe, packet(1.0f, {{REQUIRED, 1}}), true);
    deliver(*probe, packet(2.0f), false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(probe->isInitialized());
    EXPECT_EQ(probe->builtWith.size(), 3u) << "initialize, then each update's retry";
    probe->ready = true;
    deliver(*probe, packet(3.0f), false);
    EXPECT_TRUE(probe->isInitialized());
    EXPECT_EQ(probe->arrivedWhole, std::vector<bool>{true});
}

TEST(Skeleton, BuildBeforeMergeSeesTheStateWithoutTheIncomingPacket)
{
    osg::ref_ptr<Probe> after = new Probe;
    osg::ref_ptr<Probe> before = new Probe({.buildBeforeMerge = true});
    testing::internal::CaptureStdout();
    for (Probe* probe : {after.get(), before.get()}) {
        deliver(*probe, packet(1.0f), true);
        deliver(*probe, packet(2.0f, {{REQUIRED, 5}}), false);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(after->isInitialized()) << "merged first: the item is there";
    EXPECT_FALSE(before->isInitialized()) << "built first: the item came with this packet";
    deliver(*before, packet(3.0f), false);
    EXPECT_TRUE(before->isInitialized());
    EXPECT_EQ(before->builtWith.back(), 5);
}

TEST(Skeleton, AKindMayKeepLaterTimesOutOfTheProcessWideTime)
{
    osg::ref_ptr<Probe> probe = new Probe({.updateStoresTime = false});
    deliver(*probe, packet(10.0f, {{REQUIRED, 1}}), true);
    EXPECT_FLOAT_EQ(probe->getTime(), 10.0f) << "initialize stores it";
    deliver(*probe, packet(11.0f), false);
    EXPECT_FLOAT_EQ(probe->getTime(), 10.0f);
}

TEST(Skeleton, UpdateErrorsPassToTheCallerUnlessTheKindGuardsThem)
{
    osg::ref_ptr<Probe> passing = new Probe;
    osg::ref_ptr<Probe> guarded = new Probe({.guardUpdate = true, .failureName = "Guarded"});
    for (Probe* probe : {passing.get(), guarded.get()}) {
        deliver(*probe, packet(1.0f, {{REQUIRED, 1}}), true);
        probe->throwInApply = true;
    }
    testing::internal::CaptureStdout();
    EXPECT_THROW(passing->update(packet(2.0f)), GNP2::GNP2Exception);
    EXPECT_NO_THROW(guarded->update(packet(2.0f)));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("An error occured while updating Guarded. Object will be skipped!\n"),
              std::string::npos)
        << output;
}

TEST(Skeleton, FailureReportsFollowTheKind)
{
    osg::ref_ptr<Probe> named = new Probe({.failureName = "VisCameraObject"});
    osg::ref_ptr<Probe> bare = new Probe({.failureLine = false});
    testing::internal::CaptureStdout();
    named->initialize(packet(1.0f));
    const std::string namedOutput = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    bare->initialize(packet(1.0f));
    const std::string bareOutput = testing::internal::GetCapturedStdout();

    EXPECT_NE(namedOutput.find("An error occured while initializing VisCameraObject. Object will "
                               "be skipped!\n"),
              std::string::npos);
    EXPECT_EQ(bareOutput.find("An error occured"), std::string::npos);
    EXPECT_NE(bareOutput.find("ErrorNr: 50\n"), std::string::npos);
}

} // namespace

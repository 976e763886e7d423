// Moving the replay time by any distance must show, for every object, the
// state the live run had at the new time.
#include <gtest/gtest.h>

#include <map>

#include "ReplayFiles.h"
#include "log/Log.h"
#include "gnp2/Packet.h"
#include "orvane/Protocol.h"
#include "replay/ReplayManager.h"

using namespace replay_files;

namespace {

// Object o (1..3) is updated at the times listed; x is the time x 10 + o, so
// each record is recognisable.
class ReplayMove : public ::testing::Test
{
protected:
    void SetUp() override
    {
        console::Log::instance().setEchoToStderr(false);
        std::vector<unsigned char> bytes;
        const std::vector<std::pair<float, int>> updates = {{0.f, 1}, {0.f, 2}, {1.f, 1}, {2.f, 3},
                                                            {3.f, 1}, {3.f, 2}, {4.f, 1}, {5.f, 3}};
        for (auto [t, o] : updates)
            append(bytes, record(t, std::uint32_t(o), t * 10.f + float(o)));
        // Object 1 of connection 1 shares the object number with object 1.
        append(bytes, record(5.f, 1, 99.f, 1));
        file.write(bytes);
        replay = std::make_unique<ReplayManager>(file.path());
    }

    // object number -> x of the fed records, applied in order like the scene would.
    std::map<std::pair<int, int>, float> feed(std::optional<float> from, float to)
    {
        std::map<std::pair<int, int>, float> state;
        for (GNP2::Packet* p : replay->getPacketsForMove(from, to)) {
            state[{p->getIntVector(orvane::item::Connection)[0],
                   int(GNP2::objectNumber(p->header()))}] =
                p->getFloatVector(orvane::item::shape::Position)[0];
            delete p;
        }
        return state;
    }

    TempFile file{"move.dat"};
    std::unique_ptr<ReplayManager> replay;
};

TEST_F(ReplayMove, FromNothingEveryObjectExistingAtTheTimeGetsItsLatestState)
{
    EXPECT_EQ(replay->objectCount(), 4u);
    auto at = feed(std::nullopt, 3.5f);
    EXPECT_EQ(at, (std::map<std::pair<int, int>, float>{{{0, 1}, 31}, {{0, 2}, 32}, {{0, 3}, 23}}));
    EXPECT_EQ(feed(std::nullopt, -4.f),
              (std::map<std::pair<int, int>, float>{{{0, 1}, 1}, {{0, 2}, 2}}))
        << "before the first record: the first frame";
}

TEST_F(ReplayMove, ForwardJumpOverSkippedFramesCatchesUpOnlyWhatChanged)
{
    const std::size_t before = replay->recordsRead();
    auto moved = feed(0.f, 4.5f);
    EXPECT_EQ(moved,
              (std::map<std::pair<int, int>, float>{{{0, 1}, 41}, {{0, 2}, 32}, {{0, 3}, 23}}));
    EXPECT_EQ(replay->recordsRead() - before, 3u) << "one record per changed object";

    EXPECT_TRUE(feed(4.5f, 4.9f).empty()) << "nothing changed in between";
    EXPECT_EQ(feed(4.5f, 5.f), (std::map<std::pair<int, int>, float>{{{0, 3}, 53}, {{1, 1}, 99}}));
}

TEST_F(ReplayMove, BackwardJumpRestoresEarlierStates)
{
    auto back = feed(5.f, 1.5f);
    // Objects 1, 2, 3 changed in (1.5, 5]; 3 did not exist at 1.5 and stays
    // as it is; object 1 of connection 1 neither.
    EXPECT_EQ(back, (std::map<std::pair<int, int>, float>{{{0, 1}, 11}, {{0, 2}, 2}}));
}

TEST_F(ReplayMove, LongJumpAsksEachObjectAndAgreesWithWalkingTheRecords)
{
    // With 4 objects, a range of more than 4 records takes the per-object path.
    EXPECT_EQ(feed(0.f, 5.f), feed(std::nullopt, 5.f));
    EXPECT_EQ(feed(5.f, 0.f), (std::map<std::pair<int, int>, float>{{{0, 1}, 1}, {{0, 2}, 2}}));
}

} // namespace

// The index of long recordings: moves across many checkpoints agree with a
// plain walk over the records, neighbouring records are fetched together, a
// file that shrinks under the reader is a read error, and opening reports its
// progress.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>

#include "ReplayFiles.h"
#include "gnp2/Packet.h"
#include "log/Log.h"
#include "orvane/Protocol.h"
#include "replay/OpeningProgress.h"
#include "replay/ReplayManager.h"

using namespace replay_files;

namespace {

using State = std::map<std::pair<int, int>, float>; // (connection, number) -> x

struct Written
{
    float time;
    int connection;
    int number;
    float x;
};

State take(std::vector<GNP2::Packet*> packets)
{
    State state;
    for (GNP2::Packet* p : packets) {
        state[{p->getIntVector(orvane::item::Connection)[0],
               int(GNP2::objectNumber(p->header()))}] =
            p->getFloatVector(orvane::item::shape::Position)[0];
        delete p;
    }
    return state;
}

// What a move must feed, by walking every record: each object with a record
// in (low, high] (every object without a start) at its latest record at or
// before `to` (at least the first time).
State expectedMove(const std::vector<Written>& records, std::optional<float> from, float to)
{
    to = std::max(to, records.front().time);
    const float low = from ? std::min(*from, to) : -INFINITY;
    const float high = from ? std::max(*from, to) : INFINITY;
    auto key = [](const Written& r) {
        return std::size_t(r.connection) * 4096 + std::size_t(r.number);
    };
    std::vector<char> changed(4 * 4096), fed(4 * 4096);
    std::vector<float> x(4 * 4096);
    for (const Written& r : records)
        if (r.time > low && r.time <= high)
            changed[key(r)] = 1;
    for (const Written& r : records)
        if (r.time <= to && changed[key(r)]) {
            fed[key(r)] = 1;
            x[key(r)] = r.x;
        }
    State state;
    for (std::size_t k = 0; k < fed.size(); ++k)
        if (fed[k])
            state[{int(k / 4096), int(k % 4096)}] = x[k];
    return state;
}

struct LongRecording
{
    const char* name;
    std::size_t records;
    int objects; // numbered 0.. over connections of 4096
    int perFrame;
    std::size_t spacing; // the checkpoint spacing the reader settles on
};

class ReplayLongRecording : public ::testing::TestWithParam<LongRecording>
{
protected:
    void SetUp() override { console::Log::instance().setEchoToStderr(false); }
};

TEST_P(ReplayLongRecording, MovesAcrossCheckpointsAgreeWithWalkingTheRecords)
{
    const LongRecording& row = GetParam();
    std::mt19937 random(5);
    std::vector<Written> written;
    std::vector<unsigned char> bytes;
    for (std::size_t r = 0; r < row.records; ++r) {
        const int object = int(random() % std::uint32_t(row.objects));
        const Written w{float(r / std::size_t(row.perFrame)) * 0.5f, object / 4096, object % 4096,
                        float(r)};
        written.push_back(w);
        append(bytes, record(w.time, GNP2::makeHeader(std::uint32_t(w.number), orvane::kind::Shape),
                             w.x, w.connection));
    }
    TempFile file(std::string("long-") + row.name + ".dat");
    file.write(bytes);
    ReplayManager replay(file.path());
    ASSERT_EQ(replay.index().size(), row.records);
    EXPECT_EQ(replay.checkpointSpacing(), row.spacing);
    ASSERT_GT(row.records, 2 * row.spacing) << "the moves cross checkpoints";

    const float first = replay.firstTime(), last = replay.lastTime();
    const float spacingTime = float(row.spacing / std::size_t(row.perFrame)) * 0.5f;
    // Times on checkpoints, just around them, at the ends and beyond.
    std::vector<std::optional<float>> times = {
        std::nullopt,           -1.f, first, last, last + 5.f, spacingTime, spacingTime - 0.5f,
        2 * spacingTime + 0.25f};
    for (int k = 0; k < 12; ++k)
        times.push_back(std::uniform_real_distribution<float>(first, last)(random));
    for (std::size_t a = 0; a < times.size(); ++a)
        for (std::size_t b = 1; b < times.size(); b += 4) {
            const std::optional<float> from = times[a];
            const float to = *times[b];
            ASSERT_EQ(take(replay.getPacketsForMove(from, to)), expectedMove(written, from, to))
                << "from " << (from ? std::to_string(*from) : "nothing") << " to " << to;
        }
    // A short step forward (walked) and back (from the checkpoints).
    const float mid = written[row.records / 2].time;
    EXPECT_EQ(take(replay.getPacketsForMove(mid, mid + 1.f)),
              expectedMove(written, mid, mid + 1.f));
    EXPECT_EQ(take(replay.getPacketsForMove(mid + 1.f, mid)),
              expectedMove(written, mid + 1.f, mid));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ReplayLongRecording,
    ::testing::Values(
        LongRecording{"FewObjects", 200'000, 300, 50, ReplayManager::CHECKPOINT_SPACING},
        // More objects than an eighth of the spacing: it doubles.
        LongRecording{"ManyObjects", 300'000, 9000, 3000, 2 * ReplayManager::CHECKPOINT_SPACING}),
    [](const ::testing::TestParamInfo<LongRecording>& row) { return row.param.name; });

TEST(ReplayFetch, RecordsLyingCloseTogetherAreFetchedWithOneRead)
{
    console::Log::instance().setEchoToStderr(false);
    // Objects 1..500 at time 0, back to back; then 2,000 updates of object
    // 600 (about 100 KB); then object 700.
    std::vector<unsigned char> bytes;
    for (std::uint32_t o = 1; o <= 500; ++o)
        append(bytes, record(0.f, o, float(o)));
    for (int k = 0; k < 2000; ++k)
        append(bytes, record(1.f, 600, float(k)));
    append(bytes, record(1.f, 700, 7.f));
    TempFile file("fetch.dat");
    file.write(bytes);
    ReplayManager replay(file.path());

    const State at0 = take(replay.getPacketsForMove(std::nullopt, 0.f));
    EXPECT_EQ(at0.size(), 500u);
    EXPECT_EQ(replay.recordFetches(), 1u) << "500 neighbours, one read";
    const State at1 = take(replay.getPacketsForMove(std::nullopt, 1.f));
    EXPECT_EQ(at1.size(), 502u);
    EXPECT_EQ((at1.at({0, 600})), 1999.f);
    EXPECT_EQ(replay.recordFetches(), 3u)
        << "objects 1..500 together, then 600 and 700 together after a gap of 100 KB";
    EXPECT_EQ(replay.recordsRead(), 1002u);
}

TEST(ReplayFetch, FileCutShorterAfterOpeningIsAReadErrorAndIsIndexedAgain)
{
    console::Log::instance().setEchoToStderr(false);
    console::Log::instance().clear();
    std::vector<unsigned char> bytes;
    for (std::uint32_t o = 1; o <= 100; ++o)
        append(bytes, record(float(o), o, float(o)));
    TempFile file("shrinks.dat");
    file.write(bytes);
    ReplayManager replay(file.path());
    ASSERT_EQ(replay.index().size(), 100u);

    // Another program cuts the file to its first 40 records and a half.
    const std::size_t recordBytes = bytes.size() / 100;
    bytes.resize(40 * recordBytes + recordBytes / 2);
    file.write(bytes);
    const State state = take(replay.getPacketsForMove(std::nullopt, 100.f));
    EXPECT_EQ(state.size(), 40u) << "what could be read before the cut";
    bool said = false;
    for (const console::LogLine& line : console::Log::instance().snapshot())
        said |= line.text.find("[ReplayManager] File read error!") != std::string::npos;
    EXPECT_TRUE(said);
    ASSERT_EQ(replay.index().size(), 41u) << "indexed again: 40 records and the cut one";
    EXPECT_EQ(take(replay.getPacketsForMove(std::nullopt, 40.f)).size(), 40u);
}

// A record of `floats` floats in item 1 (about 4 x floats bytes).
std::vector<unsigned char> bigRecord(float time, std::uint32_t number, std::size_t floats)
{
    std::vector<unsigned char> body;
    u32(body, GNP2::makeHeader(number, orvane::kind::Shape));
    body.push_back(orvane::item::Time);
    u32(body, 1);
    body.push_back(5);
    f32(body, time);
    body.push_back(orvane::item::shape::Position);
    u32(body, std::uint32_t(floats));
    body.push_back(5);
    for (std::size_t i = 0; i < floats; ++i)
        f32(body, float(i));
    body.push_back(orvane::item::Connection);
    u32(body, 1);
    body.push_back(3);
    u32(body, 0);
    std::vector<unsigned char> out;
    f32(out, time);
    u32(out, std::uint32_t(body.size() + 4));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(ReplayOpening, ProgressRunsFromNothingToTheWholeFile)
{
    console::Log::instance().setEchoToStderr(false);
    // 20 records of 4 MB: more than two progress steps.
    std::vector<unsigned char> bytes;
    for (std::uint32_t k = 0; k < 20; ++k)
        append(bytes, bigRecord(float(k), k, std::size_t(1) << 20));
    TempFile file("progress.dat");
    file.write(bytes);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    ReplayManager replay(file.path(), [&](std::uint64_t done, std::uint64_t total) {
        calls.push_back({done, total});
    });
    ASSERT_EQ(replay.index().size(), 20u);
    ASSERT_GE(calls.size(), 4u) << "start, at least two steps, end";
    EXPECT_EQ(calls.front(), std::make_pair(std::uint64_t(0), std::uint64_t(bytes.size())));
    EXPECT_EQ(calls.back(),
              std::make_pair(std::uint64_t(bytes.size()), std::uint64_t(bytes.size())));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GT(calls[i].first, calls[i - 1].first);
        EXPECT_EQ(calls[i].second, bytes.size());
    }
    EXPECT_EQ(take(replay.getPacketsForMove(std::nullopt, 19.f)).size(), 20u)
        << "records larger than the reading block are indexed and read";
}

TEST(ReplayOpening, ProgressShowsOnlyOnceOpeningTakesLongerThanHalfASecond)
{
    double now = 10.0;
    OpeningProgress progress([&] { return now; });
    EXPECT_FALSE(progress.update(0, 1000).visible);
    now = 10.4;
    EXPECT_FALSE(progress.update(300, 1000).visible) << "quick so far";
    now = 10.5;
    const OpeningProgress::Shown shown = progress.update(600, 1000);
    EXPECT_TRUE(shown.visible);
    EXPECT_EQ(shown.percent, 60);
    EXPECT_FALSE(progress.update(1000, 1000).visible) << "done";
    // The next opening starts its own half second.
    now = 20.0;
    EXPECT_FALSE(progress.update(0, 50).visible);
    now = 20.2;
    EXPECT_FALSE(progress.update(25, 50).visible);
}

} // namespace

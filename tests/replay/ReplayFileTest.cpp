#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ReplayFiles.h"
#include "log/Log.h"
#include "gnp2/Packet.h"
#include "orvane/Protocol.h"
#include "replay/Recorder.h"
#include "replay/RecordingSlot.h"
#include "replay/ReplayManager.h"

using namespace replay_files;

namespace {

struct Owned
{
    explicit Owned(std::vector<GNP2::Packet*> p) : packets(std::move(p)) {}
    ~Owned()
    {
        for (auto* p : packets)
            delete p;
    }
    std::vector<float> xs() const
    {
        std::vector<float> out;
        for (auto* p : packets)
            out.push_back(p->getFloatVector(orvane::item::shape::Position)[0]);
        return out;
    }
    std::vector<GNP2::Packet*> packets;
};

class ReplayFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        console::Log::instance().setEchoToStderr(false);
        console::Log::instance().clear();
    }
    bool logged(const std::string& text, int level)
    {
        std::string all;
        for (const auto& line : console::Log::instance().snapshot()) {
            if (line.level == level && line.text.find(text) != std::string::npos)
                return true;
            all += std::to_string(line.level) + " " + line.text;
        }
        std::printf("no line at level %d with \"%s\" in:\n%s", level, text.c_str(), all.c_str());
        return false;
    }
    // Objects 1..5 updated at 0.0, 0.0, 0.1, 0.1, 0.1; x tells them apart.
    std::vector<unsigned char> fiveRecords()
    {
        std::vector<unsigned char> bytes;
        const float times[] = {0.f, 0.f, 0.1f, 0.1f, 0.1f};
        for (int i = 0; i < 5; ++i)
            append(bytes,
                   record(times[i], GNP2::makeHeader(std::uint32_t(i + 1), orvane::kind::Shape),
                          float(i)));
        return bytes;
    }
    TempFile file{"replay.dat"};
};

TEST_F(ReplayFile, FramesAreFoundByTime)
{
    file.write(fiveRecords());
    ReplayManager replay(file.path());
    EXPECT_TRUE(logged("Starting replay using file: " + file.path(), console::LEVEL_4));
    ASSERT_EQ(replay.index().size(), 5u);
    EXPECT_FLOAT_EQ(replay.firstTime(), 0.f);
    EXPECT_FLOAT_EQ(replay.lastTime(), 0.1f);

    EXPECT_EQ(Owned(replay.getPackets(0.05f)).xs(), (std::vector<float>{0, 1}));
    EXPECT_EQ(Owned(replay.getPackets(0.1f)).xs(), (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(Owned(replay.getPackets(-1.f)).xs(), (std::vector<float>{0, 1}));
    EXPECT_EQ(Owned(replay.getPackets(5.f)).xs(), std::vector<float>{4})
        << "beyond the last time only the very last record";
    EXPECT_EQ(replay.findRecord(0.1f), 2u);
    EXPECT_EQ(replay.findRecord(0.09f), 0u);
    EXPECT_EQ(replay.findRecord(7.f), 5u);

    Owned frame(replay.getPackets(0.f));
    ASSERT_EQ(frame.packets.size(), 2u);
    EXPECT_EQ(GNP2::objectNumber(frame.packets[1]->header()), 2u);
    EXPECT_EQ(GNP2::typeCode(frame.packets[1]->header()), orvane::kind::Shape);
    EXPECT_EQ(frame.packets[1]->getIntVector(orvane::item::Connection), std::vector<int>{0});
}

TEST_F(ReplayFile, EmptyAndMissingFilesGiveAnEmptyReplay)
{
    file.write({});
    ReplayManager empty(file.path());
    EXPECT_TRUE(empty.index().empty());
    EXPECT_EQ(empty.firstTime(), 0.f);
    EXPECT_EQ(empty.lastTime(), 0.f);
    EXPECT_TRUE(empty.getPackets(0.f).empty());
    EXPECT_TRUE(empty.getPacketsForMove(std::nullopt, 1.f).empty());
    EXPECT_FALSE(logged("unable to open", console::LEVEL_16));

    ReplayManager missing(file.path() + ".none");
    EXPECT_TRUE(logged("[ReplayManager] unable to open file!", console::LEVEL_16));
    EXPECT_TRUE(missing.getPackets(0.f).empty());
}

TEST_F(ReplayFile, TruncatedLastRecordIsIndexedAndReadingItReindexes)
{
    auto bytes = fiveRecords();
    bytes.resize(bytes.size() - 5);
    file.write(bytes);
    ReplayManager replay(file.path());
    EXPECT_EQ(replay.index().size(), 5u);
    Owned frame(replay.getPackets(0.1f));
    EXPECT_EQ(frame.xs(), (std::vector<float>{2, 3}));
    EXPECT_TRUE(logged("[ReplayManager] File read error!", console::LEVEL_4));
    EXPECT_EQ(replay.index().size(), 5u) << "reindexed from the start";
}

// A record that is all there but does not decode (an item index beyond 97
// after its item 13) is skipped when its frame is read, said once, and costs
// no new indexing however often the frame is read: the GUI reads the frame
// at the replay time on every tick. A record the file no longer holds still
// makes it be indexed again.
TEST_F(ReplayFile, UndecodableRecordIsSkippedWithoutIndexingAgain)
{
    std::vector<unsigned char> bytes;
    append(bytes, record(1.f, 1, 10.f));
    append(bytes, record(2.f, 1, 11.f));
    const std::size_t damagedAt = bytes.size();
    std::vector<unsigned char> damaged = record(2.f, 2, 20.f);
    damaged.insert(damaged.end(), {200, 1, 0, 0, 0, 3, 7, 0, 0, 0});
    damaged[4] = static_cast<unsigned char>(damaged.size() - 4); // length word, below 256
    append(bytes, damaged);
    append(bytes, record(2.f, 3, 30.f));
    append(bytes, record(3.f, 2, 21.f));
    file.write(bytes);

    int indexings = 0;
    ReplayManager replay(file.path(),
                         [&](std::uint64_t done, std::uint64_t) { indexings += done == 0; });
    ASSERT_EQ(replay.index().size(), 5u);
    ASSERT_EQ(indexings, 1);
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_EQ(Owned(replay.getPackets(2.5f)).xs(), (std::vector<float>{11, 30}))
            << "tick " << tick;
    EXPECT_EQ(indexings, 1) << "the file was indexed again";
    EXPECT_EQ(replay.recordFetches(), 5u) << "one read per tick";
    EXPECT_EQ(Owned(replay.getPacketsForMove(std::nullopt, 2.f)).xs(), (std::vector<float>{11, 30}))
        << "the damaged record was object 2's latest: skipped as well";
    EXPECT_EQ(Owned(replay.getPacketsForMove(2.f, 3.f)).xs(), std::vector<float>{21});
    EXPECT_EQ(indexings, 1);

    int said = 0;
    for (const auto& line : console::Log::instance().snapshot()) {
        EXPECT_EQ(line.text.find("File read error!"), std::string::npos) << line.text;
        if (line.text.find("the record at byte " + std::to_string(damagedAt) +
                           " does not decode") != std::string::npos) {
            ++said;
            EXPECT_EQ(line.level, console::LEVEL_16);
            EXPECT_NE(line.text.find(file.path()), std::string::npos) << line.text;
            EXPECT_NE(line.text.find("item index 200"), std::string::npos) << line.text;
        }
    }
    EXPECT_EQ(said, 1) << "said once, not on every read";

    // The file shrinks under the reader: a read error, indexed again.
    bytes.resize(damagedAt + damaged.size() / 2);
    file.write(bytes);
    EXPECT_EQ(Owned(replay.getPackets(2.5f)).xs(), std::vector<float>{11});
    EXPECT_EQ(indexings, 2);
    EXPECT_TRUE(logged("[ReplayManager] File read error!", console::LEVEL_4));
    EXPECT_EQ(replay.index().size(), 3u) << "two records and the one cut short";
}

struct Damage
{
    const char* name;
    // Appended after two sound records.
    std::vector<unsigned char> tail;
    const char* said;
};

class DamagedReplayFile : public ReplayFile, public ::testing::WithParamInterface<Damage>
{
};

TEST_P(DamagedReplayFile, IndexesWhatIsSoundAndSaysWhereItStops)
{
    std::vector<unsigned char> bytes;
    append(bytes, record(1.f, 1, 10.f));
    append(bytes, record(2.f, 2, 20.f));
    const std::size_t sound = bytes.size();
    append(bytes, GetParam().tail);
    append(bytes, record(3.f, 3, 30.f)); // never reached
    file.write(bytes);

    ReplayManager replay(file.path());
    EXPECT_EQ(replay.index().size(), 2u);
    EXPECT_EQ(replay.soundBytes(), sound);
    EXPECT_TRUE(replay.holdsReplay());
    const std::string at = std::to_string(sound);
    EXPECT_TRUE(
        logged("readable up to byte " + at + ": the record at byte " + at + " " + GetParam().said,
               console::LEVEL_16));
    EXPECT_EQ(Owned(replay.getPackets(9.f)).xs(), std::vector<float>{20.f});
}

std::vector<unsigned char> withLength(float time, std::uint32_t length)
{
    std::vector<unsigned char> out;
    f32(out, time);
    u32(out, length);
    u32(out, 0);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Malformed, DamagedReplayFile,
                         ::testing::Values(Damage{"LengthZero", withLength(2.5f, 0),
                                                  "has length 0, below the minimum of 8"},
                                           Damage{"LengthSeven", withLength(2.5f, 7),
                                                  "has length 7, below the minimum of 8"},
                                           Damage{"TimeIsNaN", record(std::nanf(""), 4, 0.f),
                                                  "has no valid time stamp"}),
                         [](const auto& row) { return std::string(row.param.name); });

// A sound record whose time stamp is earlier than the one before it (a new
// run's clock restarting lower, say) is no damage: it is indexed in file
// order at the time before it, so it replays in the order it was applied,
// and the file's running backwards is said once with the count.
TEST_F(ReplayFile, TimeGoingBackwardsIsIndexedWholeInFileOrder)
{
    std::vector<unsigned char> bytes;
    append(bytes, record(1.0f, 1, 10.f));
    append(bytes, record(2.0f, 2, 20.f));
    append(bytes, record(0.5f, 3, 30.f)); // backwards
    append(bytes, record(0.7f, 1, 11.f)); // still below 2.0
    append(bytes, record(3.0f, 2, 21.f));
    append(bytes, record(1.5f, 3, 31.f)); // backwards again
    file.write(bytes);

    ReplayManager replay(file.path());
    ASSERT_EQ(replay.index().size(), 6u);
    std::vector<float> times;
    for (const ReplayIndexEntry& entry : replay.index())
        times.push_back(entry.time);
    EXPECT_EQ(times, (std::vector<float>{1.f, 2.f, 2.f, 2.f, 3.f, 3.f}));
    EXPECT_FLOAT_EQ(replay.firstTime(), 1.f);
    EXPECT_FLOAT_EQ(replay.lastTime(), 3.f);

    EXPECT_EQ(Owned(replay.getPackets(2.5f)).xs(), (std::vector<float>{20, 30, 11}));
    EXPECT_EQ(Owned(replay.getPackets(3.f)).xs(), (std::vector<float>{21, 31}));
    EXPECT_EQ(Owned(replay.getPacketsForMove(std::nullopt, 2.f)).xs(),
              (std::vector<float>{20, 30, 11}))
        << "each object's latest record at 2.0, in file order";
    // The records keep their own time stamps.
    Owned frame(replay.getPackets(2.f));
    ASSERT_EQ(frame.packets.size(), 3u);
    EXPECT_EQ(frame.packets[1]->getFloatVector(orvane::item::Time), std::vector<float>{0.5f});

    std::vector<console::LogLine> said;
    for (const console::LogLine& line : console::Log::instance().snapshot())
        if (line.text.find("backwards") != std::string::npos ||
            line.text.find("readable up to") != std::string::npos)
            said.push_back(line);
    ASSERT_EQ(said.size(), 1u) << "one line for the whole file, and no stop";
    EXPECT_NE(said[0].text.find(file.path()), std::string::npos) << said[0].text;
    EXPECT_NE(said[0].text.find("backwards at 3 records"), std::string::npos) << said[0].text;
}

TEST_F(ReplayFile, HeaderCutShortAtTheEnd)
{
    auto bytes = fiveRecords();
    const std::size_t sound = bytes.size();
    bytes.push_back(1);
    bytes.push_back(2);
    bytes.push_back(3);
    file.write(bytes);
    ReplayManager replay(file.path());
    EXPECT_EQ(replay.index().size(), 5u);
    EXPECT_TRUE(logged("readable up to byte " + std::to_string(sound) + ": the record at byte " +
                           std::to_string(sound) + " is cut short after 3 bytes",
                       console::LEVEL_16));
}

TEST_F(ReplayFile, RecorderWritesExactlyThePublicFormat)
{
    {
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(file.path()), "");
        for (int i = 0; i < 3; ++i) {
            GNP2::Packet state;
            state.setHeader(GNP2::makeHeader(std::uint32_t(i + 1), orvane::kind::Shape));
            state.setFloatVector(orvane::item::Time, {float(i) * 0.5f});
            state.setFloatVector(orvane::item::shape::Position, {float(i), 0.f, 0.f});
            state.setIntVector(orvane::item::Connection, {0});
            recorder.record(state);
            EXPECT_FALSE(state.isChanged(orvane::item::shape::Position))
                << "recording clears the changed flags";
        }
    }
    std::vector<unsigned char> expected;
    for (int i = 0; i < 3; ++i)
        append(expected,
               record(float(i) * 0.5f, GNP2::makeHeader(std::uint32_t(i + 1), orvane::kind::Shape),
                      float(i)));
    EXPECT_EQ(file.read(), expected);
}

// A record from an object's kept image is its state then, after any kind of
// change since the last record, also one made while nothing was recorded.
TEST_F(ReplayFile, RecordsFromAKeptImageAreTheStateAfterEveryKindOfChange)
{
    namespace item = orvane::item;
    const int position = item::shape::Position, colour = item::shape::Colour;
    GNP2::Packet state, other, equal;
    equal.setIntVector(colour, {8, 8, 8});
    // Each step, then a record ("unrecorded": the flags cleared, as with recording off).
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"first", [&] { state.setHeader(GNP2::makeHeader(7, orvane::kind::Shape)); }},
        {"one value",
         [&] {
             state.setFloatVector(position, {4.f, 2.f, 3.f});
         }},
        {"time and header", [&] { state.setFloatVector(item::Time, {0.75f}), state.setHeader(9); }},
        {"an item grows",
         [&] {
             state.setFloatVector(position, {1.f, 2.f, 3.f, 4.f});
         }},
        {"same size, other type",
         [&] {
             state.setFloatVector(colour, {1.f, 2.f, 3.f});
         }},
        {"an item goes", [&] { state.removeItem(colour); }},
        {"an item comes",
         [&] {
             state.setIntVector(colour, {9, 9, 9});
         }},
        {"unrecorded",
         [&] {
             state.setIntVector(colour, {8, 8, 8});
         }},
        {"merged equal", [&] { state.update(equal); }}, // clears the flag of an unrecorded change
        {"cleared",
         [&] {
             state.clear(), state.setFloatVector(position, {7.f, 7.f, 7.f});
         }},
        {"moved into",
         [&] {
             other.setIntVector(colour, {5, 5, 5}), state = std::move(other);
         }},
    };
    state.setFloatVector(item::Time, {0.5f});
    state.setFloatVector(position, {1.f, 2.f, 3.f});
    state.setIntVector(colour, {1, 2, 3});
    state.setIntVector(item::Connection, {0});
    std::vector<unsigned char> expected;
    std::vector<std::size_t> ends;
    {
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(file.path()), "");
        GNP2::replayRecord::Image image;
        for (const auto& [what, change] : steps) {
            change();
            if (std::string(what) == "unrecorded") {
                state.clearChanged();
                continue;
            }
            expected.resize(expected.size() + GNP2::replayRecord::size(state));
            GNP2::replayRecord::write(state, expected.data() + expected.size() -
                                                 GNP2::replayRecord::size(state));
            ends.push_back(expected.size());
            recorder.recordWithImage(state, image);
        }
    }
    const std::vector<unsigned char> written = file.read();
    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t r = 0, at = 0; r < ends.size(); at = ends[r++])
        EXPECT_TRUE(std::equal(&expected[at], &expected[ends[r]], &written[at])) << "record " << r;
}

TEST_F(ReplayFile, RecorderCreatesTheDirectoryAndKeepsHugeStatesWhole)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("orvane-test-dir-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string path = (dir / "Temp" / "Orvane.dat").string();
    {
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(path), "");
        GNP2::Packet state;
        state.setFloatVector(orvane::item::Time, {1.f});
        state.setFloatVector(50, std::vector<float>(400000, 2.f)); // 1.6 MB
        state.setIntVector(orvane::item::Connection, {0});
        recorder.record(state);
    }
    ReplayManager replay(path);
    Owned frame(replay.getPackets(1.f));
    ASSERT_EQ(frame.packets.size(), 1u);
    EXPECT_EQ(frame.packets[0]->getFloatVector(50).size(), 400000u);
    std::filesystem::remove_all(dir);
}

// Records are gathered and written in large blocks: across many block
// boundaries, with a record larger than a block between small ones, the
// file must still hold every record whole and in order, and flush() must
// put all of them into the file while it stays open.
TEST_F(ReplayFile, RecorderKeepsEveryRecordInOrderAcrossItsBlocks)
{
    constexpr int SMALL = 30000; // about 1.5 MB of records: past one block
    constexpr std::int32_t HUGE_FLOATS = 300000;
    const auto smallState = [](GNP2::Packet& state, int i) {
        state.setHeader(GNP2::makeHeader(std::uint32_t(i % 4096), orvane::kind::Shape));
        state.setFloatVector(orvane::item::Time, {float(i) * 0.25f});
        state.setFloatVector(orvane::item::shape::Position, {float(i), 0.f, 0.f});
        state.setIntVector(orvane::item::Connection, {0});
    };
    std::vector<unsigned char> expected;
    for (int i = 0; i < SMALL; ++i)
        append(expected,
               record(float(i) * 0.25f,
                      GNP2::makeHeader(std::uint32_t(i % 4096), orvane::kind::Shape), float(i)));
    std::vector<unsigned char> huge;
    {
        std::vector<unsigned char> body;
        u32(body, GNP2::makeHeader(7, orvane::kind::Shape));
        body.push_back(orvane::item::Time);
        u32(body, 1);
        body.push_back(5);
        f32(body, 9000.f);
        body.push_back(orvane::item::Connection);
        u32(body, 1);
        body.push_back(3);
        u32(body, 0);
        body.push_back(50);
        u32(body, std::uint32_t(HUGE_FLOATS));
        body.push_back(5);
        for (std::int32_t k = 0; k < HUGE_FLOATS; ++k)
            f32(body, float(k));
        f32(huge, 9000.f);
        u32(huge, std::uint32_t(body.size() + 4));
        huge.insert(huge.end(), body.begin(), body.end());
    }
    std::vector<unsigned char> all(expected.begin(), expected.begin() + 50 * (SMALL / 2));
    append(all, huge);
    all.insert(all.end(), expected.begin() + 50 * (SMALL / 2), expected.end());

    ReplayRecorder recorder;
    ASSERT_EQ(recorder.open(file.path()), "");
    for (int i = 0; i < SMALL / 2; ++i) {
        GNP2::Packet state;
        smallState(state, i);
        recorder.record(state);
    }
    GNP2::Packet big;
    big.setHeader(GNP2::makeHeader(7, orvane::kind::Shape));
    big.setFloatVector(orvane::item::Time, {9000.f});
    std::vector<float> values(static_cast<std::size_t>(HUGE_FLOATS));
    for (std::int32_t k = 0; k < HUGE_FLOATS; ++k)
        values[std::size_t(k)] = float(k);
    big.setFloatVector(50, values);
    big.setIntVector(orvane::item::Connection, {0});
    recorder.record(big);
    for (int i = SMALL / 2; i < SMALL; ++i) {
        GNP2::Packet state;
        smallState(state, i);
        recorder.record(state);
    }
    EXPECT_GT(recorder.bufferedBytes(), 0u) << "the last records wait in the block";
    recorder.flush();
    EXPECT_EQ(recorder.bufferedBytes(), 0u);
    EXPECT_TRUE(recorder.isOpen());
    EXPECT_EQ(recorder.recordCount(), std::size_t(SMALL + 1));
    const std::vector<unsigned char> written = file.read();
    ASSERT_EQ(written.size(), all.size());
    EXPECT_TRUE(written == all) << "the bytes differ from the independent writer's";

    // Records after a flush follow it; close writes them.
    GNP2::Packet last;
    smallState(last, SMALL);
    recorder.record(last);
    recorder.close();
    append(all, record(float(SMALL) * 0.25f,
                       GNP2::makeHeader(std::uint32_t(SMALL % 4096), orvane::kind::Shape),
                       float(SMALL)));
    EXPECT_TRUE(file.read() == all);
}

// Small records are gathered in a staging area and moved into the blocks in
// whole cache lines, larger ones go to the block directly: records of every
// size around those limits, mixed, with flushes at odd moments, must come
// out whole, in order and with their own contents.
TEST_F(ReplayFile, RecorderKeepsRecordsOfEverySizeWholeAcrossStagingAndFlushes)
{
    // A record of n floats in item 50 takes 38 + 4 n bytes.
    std::vector<int> sizes;
    for (int n : {0, 1, 5, 13, 1000, 1014, 1015, 1016, 2037, 2038, 2039, 4000, 70000})
        sizes.push_back(n);
    for (int i = 0; i < 3000; ++i)
        sizes.push_back((i * 37) % 1100 + (i % 7 == 0 ? 1000 : 0));
    const auto valueOf = [](std::size_t record, int k) { return float(record) * 0.5f + float(k); };

    ReplayRecorder recorder;
    ASSERT_EQ(recorder.open(file.path()), "");
    std::size_t total = 0;
    for (std::size_t r = 0; r < sizes.size(); ++r) {
        GNP2::Packet state;
        state.setHeader(GNP2::makeHeader(std::uint32_t(r % 4096 + 1), orvane::kind::Shape));
        state.setFloatVector(orvane::item::Time, {float(r)});
        state.setIntVector(orvane::item::Connection, {int(r)});
        std::vector<float> values(std::size_t(sizes[r]));
        for (int k = 0; k < sizes[r]; ++k)
            values[std::size_t(k)] = valueOf(r, k);
        state.setFloatVector(50, values);
        recorder.record(state);
        total += 38 + 4 * std::size_t(sizes[r]);
        if (r % 97 == 13) {
            recorder.flush();
            ASSERT_EQ(file.read().size(), total) << "after record " << r;
        }
    }
    recorder.close();

    const std::vector<unsigned char> bytes = file.read();
    ASSERT_EQ(bytes.size(), total);
    std::size_t offset = 0;
    for (std::size_t r = 0; r < sizes.size(); ++r) {
        ASSERT_LE(offset + 8, bytes.size()) << r;
        float time;
        std::memcpy(&time, bytes.data() + offset, 4);
        const std::uint32_t length = GNP2::readU32(bytes.data() + offset + 4);
        ASSERT_EQ(length, 34 + 4 * std::size_t(sizes[r])) << "record " << r;
        GNP2::Packet back;
        ASSERT_TRUE(back.parse(bytes.data() + offset + 8, length - 4).ok()) << r;
        EXPECT_EQ(time, float(r));
        EXPECT_EQ(back.header(),
                  GNP2::makeHeader(std::uint32_t(r % 4096 + 1), orvane::kind::Shape));
        EXPECT_EQ(back.getIntVector(orvane::item::Connection), std::vector<int>{int(r)});
        const std::vector<float> values = back.getFloatVector(50);
        ASSERT_EQ(values.size(), std::size_t(sizes[r]));
        for (int k = 0; k < sizes[r]; ++k)
            if (values[std::size_t(k)] != valueOf(r, k))
                FAIL() << "record " << r << " value " << k;
        offset += 4 + length;
    }
}

// Each run opens the recording anew: what the previous run had in its
// blocks is written to its own file by close(), and the next file holds
// only the next run's records (the writer starts again with each open).
TEST_F(ReplayFile, RecorderWritesEachRunWholeIntoItsOwnFile)
{
    TempFile second("second-run");
    ReplayRecorder recorder;
    const auto recordOne = [&](int i) {
        GNP2::Packet state;
        state.setHeader(GNP2::makeHeader(std::uint32_t(i), orvane::kind::Shape));
        state.setFloatVector(orvane::item::Time, {float(i)});
        state.setFloatVector(orvane::item::shape::Position, {float(i), 0.f, 0.f});
        state.setIntVector(orvane::item::Connection, {0});
        recorder.record(state);
    };
    std::vector<unsigned char> first, next;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(recorder.open(file.path()), "");
        recordOne(1);
        recordOne(2);
        ASSERT_EQ(recorder.open(second.path()), "") << "opening again closes the first run";
        recordOne(3);
        recorder.close();
        recorder.close(); // a second close changes nothing
        EXPECT_FALSE(recorder.isOpen());
        recordOne(4); // not open: nothing is written
    }
    append(first, record(1.f, GNP2::makeHeader(1, orvane::kind::Shape), 1.f));
    append(first, record(2.f, GNP2::makeHeader(2, orvane::kind::Shape), 2.f));
    append(next, record(3.f, GNP2::makeHeader(3, orvane::kind::Shape), 3.f));
    EXPECT_TRUE(file.read() == first);
    EXPECT_TRUE(second.read() == next);
    EXPECT_EQ(recorder.recordCount(), 1u);
}

// Files that are no replay, as a user may pick them: nothing whole to play.
TEST_F(ReplayFile, AFileWithoutAWholeRecordHoldsNoReplay)
{
    const std::string text = "Temperature log\n12.5 13.0 13.5\n";
    const std::vector<std::vector<unsigned char>> files = {
        {},
        {text.begin(), text.end()},
        {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'},
        std::vector<unsigned char>(4096, 0), // a hole
    };
    for (const auto& bytes : files) {
        file.write(bytes);
        ReplayManager replay(file.path());
        EXPECT_FALSE(replay.holdsReplay()) << bytes.size() << " bytes";
        EXPECT_EQ(replay.soundBytes(), 0u);
        EXPECT_EQ(replay.damage().empty(), bytes.empty()) << replay.damage();
    }
    // A recording cut inside its last record is sound up to that record.
    std::vector<unsigned char> bytes = fiveRecords();
    const std::size_t sound = bytes.size();
    append(bytes, record(0.2f, 6, 60.f));
    bytes.resize(bytes.size() - 5);
    file.write(bytes);
    ReplayManager cut(file.path());
    EXPECT_TRUE(cut.holdsReplay());
    EXPECT_EQ(cut.soundBytes(), sound);
    EXPECT_NE(cut.damage().find("the record at byte " + std::to_string(sound) + " needs"),
              std::string::npos)
        << cut.damage();
}

// A disk that fills up: recording stops and says why; nothing blocks.
TEST_F(ReplayFile, RecorderStopsOnAFailedWrite)
{
    ReplayRecorder recorder;
    ASSERT_EQ(recorder.open("/dev/full"), "");
    GNP2::Packet state;
    state.setHeader(GNP2::makeHeader(1, orvane::kind::Shape));
    state.setFloatVector(orvane::item::shape::Position, std::vector<float>(4000, 1.f));
    for (int i = 0; i < 200; ++i) // many blocks: the writer must not hold recording up
        recorder.record(state);
    recorder.flush();
    EXPECT_NE(recorder.failure().find(std::strerror(ENOSPC)), std::string::npos)
        << recorder.failure();
    recorder.close();
    ASSERT_EQ(recorder.open(file.path()), "");
    EXPECT_EQ(recorder.failure(), "") << "a new recording starts clean";
}

TEST_F(ReplayFile, RecordingSlotsBelongToOneViewerEach)
{
    const std::filesystem::path directory = file.path() + "-slots";
    {
        RecordingSlot first, second, third;
        ASSERT_EQ(first.take(directory.string()), "");
        ASSERT_EQ(second.take(directory.string()), "");
        EXPECT_EQ(first.path(), (directory / "Orvane.dat").string());
        EXPECT_EQ(second.path(), (directory / "Orvane-2.dat").string());
        // A released slot is free again; removing deletes the own file only.
        second.remove();
        EXPECT_TRUE(std::filesystem::exists(directory / "Orvane.dat"));
        ASSERT_EQ(third.take(directory.string()), "");
        EXPECT_EQ(third.path(), (directory / "Orvane-2.dat").string());
        // Kept: a dated name no slot takes, found again later.
        const std::string kept = first.keep(std::time_t(1765300000));
        EXPECT_NE(kept.find("Orvane-run-2025"), std::string::npos) << kept;
        EXPECT_FALSE(std::filesystem::exists(directory / "Orvane.dat"));
        EXPECT_EQ(RecordingSlot::keptRecordings(directory.string()),
                  std::vector<std::string>{kept});
        ASSERT_EQ(first.take(directory.string()), "");
        EXPECT_EQ(first.path(), (directory / "Orvane.dat").string());
    }
    std::filesystem::remove_all(directory);
}

TEST_F(ReplayFile, RecorderReportsAPathThatCannotBeOpened)
{
    ReplayRecorder recorder;
    file.write({1});
    // A regular file where a directory is needed.
    const std::string error = recorder.open(file.path() + "/Temp/Orvane.dat");
    EXPECT_NE(error, "");
    EXPECT_FALSE(recorder.isOpen());
}

} // namespace

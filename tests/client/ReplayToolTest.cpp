// orvane-replay on recordings written by the viewer's recorder, and on
// damaged copies of them.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "client/tools/ReplayTool.h"
#include "gnp2/Packet.h"
#include "gnp2/ReservedItems.h"
#include "orvane/Protocol.h"
#include "replay/Recorder.h"
#include "replay/ReplayManager.h"
#include "tests/support/LogFixture.h"

namespace {

namespace fs = std::filesystem;
namespace item = orvane::item;

struct Result
{
    int status;
    std::string out, err;
};

Result runTool(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = orvane::replaytool::run(args, out, err);
    return {status, out.str(), err.str()};
}

std::vector<unsigned char> readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void writeFile(const fs::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A run recorded as the viewer records it: every packet merged into its
// object's state packet, stamped with the time and the connection, and the
// state written by the recorder. Steps of 0.1 s from 0 to 1: a box that moves
// at every step, a HUD text that changes at 0 and 0.4, and a line that is
// created at 0.5. The offset of every record is kept.
class Recording : public console_test::LogFixture
{
protected:
    void SetUp() override
    {
        console_test::LogFixture::SetUp();
        _dir = fs::temp_directory_path() /
               ("orvane-replaytool-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(_dir);
        _file = _dir / "run.dat";
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(_file.string()), "");
        for (int step = 0; step <= 10; ++step) {
            const float t = float(step) * 0.1f;
            GNP2::Packet box;
            box.setHeader(GNP2::makeHeader(1, orvane::kind::Shape));
            if (step == 0) {
                box.setIntVector(item::shape::ShapeKind, {1});
                box.setIntVector(item::shape::Colour, {220, 40, 40});
            }
            box.setFloatVector(item::shape::Position, {t, 0.f, 1.f});
            apply(recorder, box, t);
            if (step == 0 || step == 4) {
                GNP2::Packet text;
                text.setHeader(GNP2::makeHeader(2, orvane::kind::Hud));
                text.setIntVector(item::hud::Element, {2});
                text.setString(item::hud::Text, step == 0 ? "Speed" : "Fast \"now\"");
                apply(recorder, text, t);
            }
            if (step == 5) {
                GNP2::Packet line;
                line.setHeader(GNP2::makeHeader(3, orvane::kind::Line));
                line.setIntVector(item::line::PointCount, {2});
                line.setFloatVector(item::line::Points, {0, 0, 0, 1, 1, 1});
                apply(recorder, line, t);
            }
        }
        recorder.close();
        _bytes = readFile(_file);
    }
    void TearDown() override
    {
        fs::remove_all(_dir);
        console_test::LogFixture::TearDown();
    }

    void apply(ReplayRecorder& recorder, const GNP2::Packet& incoming, float t)
    {
        GNP2::Packet& state = _states[GNP2::objectNumber(incoming.header())];
        state.update(incoming);
        state.setFloatVector(GNP2::ITEM_TIME, {t});
        state.setIntVector(GNP2::ITEM_CONNECTION, {0});
        _offsets.push_back(_written);
        _written += 4 + state.serializedSize();
        recorder.record(state);
    }

    // The states a replay of `path` shows at time t, by object number,
    // without their time stamps.
    static std::map<std::uint32_t, std::vector<unsigned char>> statesAt(const fs::path& path,
                                                                        float t)
    {
        ReplayManager replay(path.string());
        std::map<std::uint32_t, std::vector<unsigned char>> states;
        for (GNP2::Packet* packet : replay.getPacketsForMove(std::nullopt, t)) {
            packet->removeItem(GNP2::ITEM_TIME);
            std::vector<unsigned char> bytes(packet->serializedSize());
            packet->serialize(bytes.data());
            states[GNP2::objectNumber(packet->header())] = bytes;
            delete packet;
        }
        return states;
    }

    fs::path _dir, _file;
    std::vector<unsigned char> _bytes;
    std::map<std::uint32_t, GNP2::Packet> _states;
    std::vector<std::size_t> _offsets; // offset of each record
    std::size_t _written = 0;
};

using ReplayToolInfo = Recording;

TEST_F(ReplayToolInfo, CountsRecordsFramesObjectsByTypeAndTheTimeRange)
{
    ASSERT_EQ(_offsets.size(), 11u + 2u + 1u);
    const auto result = runTool({"info", _file.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("size: " + std::to_string(_bytes.size()) + " bytes\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("records: 14\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("frames: 11\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("time: 0 to 1 s\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("objects: 3\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("type 2 (shape): 1 object, 11 records\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("type 7 (hud): 1 object, 2 records\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("type 12 (line): 1 object, 1 record\n"), std::string::npos)
        << result.out;
}

TEST_F(ReplayToolInfo, DumpWritesOneJsonLinePerRecordWithNamedDecodedItems)
{
    const auto result = runTool({"dump", _file.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    std::istringstream lines(result.out);
    std::vector<std::string> dumped;
    for (std::string line; std::getline(lines, line);)
        dumped.push_back(line);
    ASSERT_EQ(dumped.size(), _offsets.size());
    // The first record: the box at 0, items in ascending order.
    EXPECT_EQ(
        dumped[0],
        "{\"offset\":0,\"time\":0,\"connection\":0,\"object\":1,\"type\":2,\"kind\":\"shape\","
        "\"items\":[{\"index\":0,\"name\":\"time\",\"type\":\"float\",\"values\":[0]},"
        "{\"index\":1,\"name\":\"position\",\"type\":\"float\",\"values\":[0,0,1]},"
        "{\"index\":5,\"name\":\"shape_kind\",\"type\":\"int\",\"values\":[1]},"
        "{\"index\":13,\"name\":\"connection\",\"type\":\"int\",\"values\":[0]},"
        "{\"index\":44,\"name\":\"colour\",\"type\":\"int\",\"values\":[220,40,40]}]}");
    // Text is a JSON string with its quotes escaped; the offset is the record's.
    bool sawText = false;
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        EXPECT_NE(dumped[i].find("\"offset\":" + std::to_string(_offsets[i]) + ","),
                  std::string::npos);
        sawText |= dumped[i].find("{\"index\":39,\"name\":\"text\",\"type\":\"char\",\"text\":"
                                  "\"Fast \\\"now\\\"\"}") != std::string::npos;
    }
    EXPECT_TRUE(sawText) << result.out;
}

// A damaged copy of the recording and what check must say about it.
struct Damage
{
    const char* name;
    std::size_t record; // the record that is bad (index into the offsets)
    const char* reason;
    // Damages the bytes; `at` is the offset of the bad record.
    void (*damage)(std::vector<unsigned char>& bytes, std::size_t at);
};

class ReplayToolCheck : public Recording, public testing::WithParamInterface<Damage>
{
};

TEST_F(Recording, CheckPassesTheRecordingAsWritten)
{
    const auto result = runTool({"check", _file.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, _file.string() + ": 14 records, no damage\n");
}

TEST_P(ReplayToolCheck, NamesTheOffsetAndReasonOfTheFirstBadRecord)
{
    const Damage& damage = GetParam();
    const std::size_t record = damage.record == SIZE_MAX ? _offsets.size() - 1 : damage.record;
    // Record number 14 is the one after the last: it starts at the end.
    const std::size_t at = record < _offsets.size() ? _offsets[record] : _written;
    damage.damage(_bytes, at);
    writeFile(_file, _bytes);
    for (const char* command : {"check", "dump", "info"}) {
        const auto result = runTool({command, _file.string()});
        EXPECT_EQ(result.status, 1) << command;
        const std::string expected = "bad record at offset " + std::to_string(at) + ": ";
        EXPECT_NE(result.err.find(expected + damage.reason), std::string::npos)
            << command << ": " << result.err;
    }
    const auto checked = runTool({"check", _file.string()});
    EXPECT_NE(checked.err.find("(after " + std::to_string(record) + " good record"),
              std::string::npos)
        << checked.err;
}

void setU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    GNP2::writeU32(bytes.data() + at, value);
}

INSTANTIATE_TEST_SUITE_P(
    DamagedCopies, ReplayToolCheck,
    testing::Values(
        Damage{"CutInTheLastRecord", SIZE_MAX, "packet length",
               [](std::vector<unsigned char>& b, std::size_t at) { b.resize(at + 20); }},
        Damage{"FewBytesAfterTheLastRecord", 14, "the record is cut short: 5 bytes left",
               [](std::vector<unsigned char>& b, std::size_t) { b.insert(b.end(), 5, 0); }},
        Damage{"LengthBelowAPacketHeader", 6, "packet length 7 is below 8",
               [](std::vector<unsigned char>& b, std::size_t at) { setU32(b, at + 4, 7); }},
        Damage{
            "LengthPastTheEnd", 3, "packet length 4000000000 runs past the end of the file",
            [](std::vector<unsigned char>& b, std::size_t at) { setU32(b, at + 4, 4000000000u); }},
        Damage{"TimeStampNotANumber", 9, "the time stamp is not a number",
               [](std::vector<unsigned char>& b, std::size_t at) { setU32(b, at, 0x7fc00000u); }},
        // The first item record starts after time, length and header: its index byte.
        Damage{"ItemIndexOutOfRange", 2, "the packet is malformed",
               [](std::vector<unsigned char>& b, std::size_t at) { b[at + 12] = 120; }},
        Damage{"ElementTypeUnknown", 5, "the packet is malformed",
               [](std::vector<unsigned char>& b, std::size_t at) { b[at + 12 + 5] = 9; }}),
    [](const testing::TestParamInfo<Damage>& row) { return std::string(row.param.name); });

TEST(ReplayToolCommandLine, UnknownCommandsMissingFilesAndUnreadableFiles)
{
    EXPECT_EQ(runTool({}).status, 2);
    const auto unknown = runTool({"play", "x.dat"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command 'play'"), std::string::npos);
    EXPECT_EQ(runTool({"check"}).status, 2);
    const auto missing = runTool({"check", "/nonexistent/run.dat"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open /nonexistent/run.dat"), std::string::npos)
        << missing.err;
}

using ReplayToolCut = Recording;

TEST_F(ReplayToolCut, ReplaysTheRangeAsTheWholeRecordingDid)
{
    const fs::path cut = _dir / "cut.dat";
    const auto result =
        runTool({"cut", "--from", "0.3", "--to", "0.7", _file.string(), cut.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(runTool({"check", cut.string()}).status, 0);
    // The cut starts with the box and the text as they were at 0.3, stamped
    // 0.3; the line is created inside the range.
    ReplayManager replay(cut.string());
    EXPECT_FLOAT_EQ(replay.firstTime(), 0.3f);
    EXPECT_FLOAT_EQ(replay.lastTime(), 0.7f);
    EXPECT_EQ(replay.objectCount(), 3u);
    const auto first = replay.getPackets(0.3f);
    ASSERT_EQ(first.size(), 2u);
    for (GNP2::Packet* packet : first) {
        EXPECT_EQ(packet->getFloatVector(GNP2::ITEM_TIME), std::vector<float>{0.3f});
        delete packet;
    }
    for (float t : {0.3f, 0.45f, 0.5f, 0.7f})
        EXPECT_EQ(statesAt(cut, t), statesAt(_file, t)) << "at " << t;
    // Nothing after the range.
    EXPECT_EQ(statesAt(cut, 1.f), statesAt(_file, 0.7f));
}

TEST_F(ReplayToolCut, ARangeBeforeTheFirstRecordOrAfterTheLast)
{
    const fs::path early = _dir / "early.dat", late = _dir / "late.dat";
    ASSERT_EQ(
        runTool({"cut", "--from", "-5", "--to", "0.05", _file.string(), early.string()}).status, 0);
    EXPECT_EQ(statesAt(early, 0.f), statesAt(_file, 0.f));
    EXPECT_EQ(ReplayManager(early.string()).index().size(), 2u);
    // Wholly after the end, or before the start: refused, naming the
    // recording's range, not a file of leftovers or of nothing.
    for (const auto& [from, to] : {std::pair{"5", "6"}, std::pair{"-9", "-1"}}) {
        const auto missed =
            runTool({"cut", "--from", from, "--to", to, _file.string(), late.string()});
        EXPECT_EQ(missed.status, 1) << from;
        EXPECT_NE(missed.err.find("which runs from 0 to 1 s; nothing written"), std::string::npos)
            << missed.err;
        EXPECT_FALSE(fs::exists(late));
    }
    // An existing OUT is kept unless --force.
    const auto kept = runTool({"cut", "--from", "0", "--to", "1", _file.string(), early.string()});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
    EXPECT_EQ(ReplayManager(early.string()).index().size(), 2u) << "overwritten";
    EXPECT_EQ(
        runTool({"cut", "--from", "0", "--to", "1", "--force", _file.string(), early.string()})
            .status,
        0);
    EXPECT_GT(ReplayManager(early.string()).index().size(), 2u);
}

TEST_F(ReplayToolCut, RefusesBadRangesAndDamagedFilesWithoutWriting)
{
    const fs::path out = _dir / "out.dat";
    EXPECT_EQ(runTool({"cut", "--from", "0.7", "--to", "0.3", _file.string(), out.string()}).status,
              2);
    EXPECT_EQ(runTool({"cut", "--from", "0.1", _file.string(), out.string()}).status, 2);
    EXPECT_EQ(runTool({"cut", "--from", "x", "--to", "1", _file.string(), out.string()}).status, 2);
    EXPECT_EQ(runTool({"cut", "--from", "0", "--to", "1", _file.string(), _file.string()}).status,
              2);
    EXPECT_FALSE(fs::exists(out));
    _bytes.resize(_bytes.size() - 3);
    writeFile(_file, _bytes);
    const auto damaged = runTool({"cut", "--from", "0", "--to", "1", _file.string(), out.string()});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("nothing written"), std::string::npos) << damaged.err;
    EXPECT_FALSE(fs::exists(out));
}

// Object 1 recorded with item 13 in every form a file may hold it: the tool
// must tell the objects apart as the replay does, and name the connection the
// replay reads (a record without one stays apart from connection 0).
TEST_F(Recording, ConnectionsAreToldApartAsTheReplayTellsThem)
{
    struct Row
    {
        const char* name;
        void (*set)(GNP2::Packet&);
        int shown; // the connection dump names
    };
    const Row rows[] = {
        {"absent", [](GNP2::Packet&) {}, GNP2::NO_CONNECTION},
        {"zero", [](GNP2::Packet& p) { p.setIntVector(GNP2::ITEM_CONNECTION, {0}); }, 0},
        {"three", [](GNP2::Packet& p) { p.setIntVector(GNP2::ITEM_CONNECTION, {3}); }, 3},
        {"floats", [](GNP2::Packet& p) { p.setFloatVector(GNP2::ITEM_CONNECTION, {3.f}); },
         GNP2::NO_CONNECTION},
        {"two ints",
         [](GNP2::Packet& p) {
             p.setIntVector(GNP2::ITEM_CONNECTION, {2, 0});
         },
         2},
    };
    const fs::path file = _dir / "connections.dat";
    ReplayRecorder recorder;
    ASSERT_EQ(recorder.open(file.string()), "");
    for (const Row& row : rows) {
        GNP2::Packet state;
        state.setHeader(GNP2::makeHeader(1, orvane::kind::Shape));
        state.setFloatVector(GNP2::ITEM_TIME, {0.f});
        row.set(state);
        recorder.record(state);
    }
    recorder.close();

    const auto dumped = runTool({"dump", file.string()});
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    std::istringstream lines(dumped.out);
    std::string line;
    for (const Row& row : rows) {
        ASSERT_TRUE(std::getline(lines, line)) << row.name;
        EXPECT_NE(line.find(",\"connection\":" + std::to_string(row.shown) + ","),
                  std::string::npos)
            << row.name << ": " << line;
    }
    const std::size_t objects = ReplayManager(file.string()).objectCount();
    EXPECT_EQ(objects, 4u);
    const auto info = runTool({"info", file.string()});
    EXPECT_NE(info.out.find("objects: " + std::to_string(objects) + "\n"), std::string::npos)
        << info.out;
}

} // namespace

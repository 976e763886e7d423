// The compact index: positions past 4 GiB put back together from their low
// words, times kept per frame, the writer agreeing with plain appends; and
// the objects the reader tells apart, whatever the layouts of the records of
// one type that it learns and checks.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "ReplayFiles.h"
#include "gnp2/Packet.h"
#include "log/Log.h"
#include "orvane/Protocol.h"
#include "replay/ReplayIndex.h"
#include "replay/ReplayManager.h"

using namespace replay_files;

namespace {

namespace item = orvane::item;

constexpr std::uint64_t GiB4 = std::uint64_t(1) << 32;

std::vector<std::uint64_t> positions(const ReplayIndex& index)
{
    std::vector<std::uint64_t> out;
    for (const ReplayIndexEntry& entry : index)
        out.push_back(entry.position);
    return out;
}

TEST(ReplayIndexStorage, PositionsPast4GiBComeBackWhole)
{
    // Around each boundary, a jump over three of them at once (a record of
    // nearly 4 GiB twice over cannot be, but the index must not care), and
    // the last byte before a boundary.
    const std::vector<std::uint64_t> written = {
        0,       100, GiB4 - 20, GiB4 + 5, GiB4 + 100, 4 * GiB4 + 7, 4 * GiB4 + 8, 5 * GiB4 - 1,
        5 * GiB4};
    ReplayIndex index;
    for (std::size_t i = 0; i < written.size(); ++i)
        index.append(float(i), std::uint32_t(i % 3), written[i]);
    EXPECT_EQ(positions(index), written);
    for (std::size_t i = written.size(); i-- > 0;)
        EXPECT_EQ(index.position(i), written[i]) << "record " << i << ", asked backwards";
    EXPECT_EQ(index.back().position, 5 * GiB4);
    EXPECT_EQ(index.object(5), 2u);
}

TEST(ReplayIndexStorage, TimesArePerFrameAndNeverGoDown)
{
    ReplayIndex index;
    const float times[] = {1.f, 1.f, 2.f, 0.5f, 2.f, 3.f, 2.5f, 3.f, 7.f};
    std::vector<bool> earlier;
    for (std::size_t i = 0; i < std::size(times); ++i)
        earlier.push_back(index.append(times[i], 0, i * 40));

    EXPECT_EQ(earlier,
              (std::vector<bool>{false, false, false, true, false, false, true, false, false}));
    std::vector<float> indexed;
    for (std::size_t i = 0; i < index.size(); ++i)
        indexed.push_back(index.time(i));
    EXPECT_EQ(indexed, (std::vector<float>{1, 1, 2, 2, 2, 3, 3, 3, 7}));

    ASSERT_EQ(index.frameCount(), 4u);
    EXPECT_EQ(index.frameBegin(1), 2u);
    EXPECT_EQ(index.frameEnd(1), 5u);
    EXPECT_EQ(index.frameEnd(3), 9u) << "the last frame ends with the index";
    EXPECT_EQ(index.frameOf(0), 0u);
    EXPECT_EQ(index.frameOf(4), 1u);
    EXPECT_EQ(index.frameOf(7), 2u);
    EXPECT_EQ(index.frameOf(8), 3u);

    EXPECT_EQ(index.frameAfter(0.f), 0u);
    EXPECT_EQ(index.frameAfter(1.f), 1u);
    EXPECT_EQ(index.frameAfter(2.9f), 2u);
    EXPECT_EQ(index.frameAfter(7.f), 4u);
    EXPECT_EQ(index.frameAfter(std::nanf("")), 4u);
}

TEST(ReplayIndexStorage, AnInfiniteFirstTimeStartsAFrameAndClearingStartsAfresh)
{
    ReplayIndex index;
    index.append(-INFINITY, 0, 0);
    index.append(-INFINITY, 1, 20);
    index.append(0.f, 0, 40);
    ASSERT_EQ(index.frameCount(), 2u);
    EXPECT_EQ(index.frameEnd(0), 2u);
    EXPECT_EQ(index.front().time, -INFINITY);

    index.clear();
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.frameCount(), 0u);
    EXPECT_FALSE(index.append(-5.f, 3, GiB4 + 1)) << "nothing is earlier than the first record";
    EXPECT_EQ(index.frameCount(), 1u);
    EXPECT_EQ(index.position(0), GiB4 + 1);
}

// The writer is what the reader appends with; it must make the same index as
// plain appends, across growth, frames, backward times and high words.
TEST(ReplayIndexStorage, WriterMakesTheSameIndexAsAppending)
{
    std::mt19937 random(3);
    struct Row
    {
        float time;
        std::uint32_t object;
        std::uint64_t position;
    };
    std::vector<Row> rows;
    std::uint64_t position = GiB4 - 5000;
    float time = 0.f;
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t step = random() % 10;
        time += step < 6 ? 0.f : step < 9 ? 0.25f : -1.f;
        rows.push_back({time, std::uint32_t(random() % 50), position});
        position += 12 + random() % (step == 0 ? std::uint64_t(3) << 30 : 100);
    }

    ReplayIndex appended, written;
    std::size_t earlierAppended = 0, earlierWritten = 0;
    for (const Row& row : rows)
        earlierAppended += appended.append(row.time, row.object, row.position);
    {
        ReplayIndex::Writer writer(written);
        for (const Row& row : rows) {
            if (writer.room() == 0)
                writer.reserve(writer.size() + 700); // small steps: grown many times
            earlierWritten += writer.append(row.time, row.object, row.position);
        }
        EXPECT_EQ(writer.size(), rows.size());
    }
    ASSERT_EQ(written.size(), rows.size());
    EXPECT_EQ(earlierWritten, earlierAppended);
    EXPECT_GT(earlierWritten, 0u);
    EXPECT_EQ(written.frameCount(), appended.frameCount());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ReplayIndexEntry a = appended[i], w = written[i];
        ASSERT_EQ(w.position, rows[i].position) << i;
        ASSERT_EQ(a.position, rows[i].position) << i;
        ASSERT_EQ(w.object, rows[i].object) << i;
        ASSERT_EQ(w.time, a.time) << i;
        ASSERT_LE(rows[i].time, w.time) << i;
    }
    EXPECT_GT(written.back().position, 4 * GiB4) << "the rows crossed several high words";
}

// The index is sized from the records a file holds, not from the most it
// could hold (one per 12 bytes): room beyond the records is address space
// only until it is written, but it must stay in proportion.
TEST(ReplayIndexStorage, RoomFollowsTheRecordsNotTheBytes)
{
    console::Log::instance().setEchoToStderr(false);
    const std::size_t block = 256 << 10; // the bytes read at once
    {
        std::vector<unsigned char> bytes;
        for (std::uint32_t r = 0; r < 20'000; ++r)
            append(bytes, record(float(r / 10), r % 100, 1.f));
        TempFile file("room-even.dat");
        file.write(bytes);
        ReplayManager replay(file.path());
        ASSERT_EQ(replay.index().size(), 20'000u);
        EXPECT_LE(replay.index().capacity(), 20'000 * 5 / 4 + block / 12 + 2)
            << "a file of " << bytes.size() << " bytes";
    }
    {
        // A first record of 4 MB misleads the mean record size.
        std::vector<unsigned char> bytes = recordOfBody(0.f, [] {
            std::vector<unsigned char> body;
            u32(body, GNP2::makeHeader(1, orvane::kind::Shape));
            body.push_back(40);
            u32(body, 1 << 20);
            body.push_back(3);
            body.resize(body.size() + (4 << 20));
            return body;
        }());
        for (std::uint32_t r = 0; r < 200'000; ++r)
            append(bytes, record(float(r / 10 + 1), r % 100, 1.f));
        TempFile file("room-misled.dat");
        file.write(bytes);
        ReplayManager replay(file.path());
        ASSERT_EQ(replay.index().size(), 200'001u);
        EXPECT_LE(replay.index().capacity(), 200'001 * 2 + block / 12 + 2);
        EXPECT_EQ(replay.index().position(1), 4u + 4 + 4 + 6 + (4u << 20));
        EXPECT_EQ(replay.index().position(200'000), bytes.size() - record(0.f, 0, 0.f).size());
    }
}

// One item record: index, element type, count and the element bytes.
struct Item
{
    unsigned char index;
    unsigned char type;
    std::uint32_t count;
    std::vector<unsigned char> data;
};

Item ints(unsigned char index, std::vector<std::int32_t> values)
{
    Item item{index, 3, std::uint32_t(values.size()), {}};
    for (std::int32_t v : values)
        u32(item.data, std::uint32_t(v));
    return item;
}

Item floats(unsigned char index, std::vector<float> values)
{
    Item item{index, 5, std::uint32_t(values.size()), {}};
    for (float v : values)
        f32(item.data, v);
    return item;
}

// Elements of 8 bytes (type 6, carried but not read).
Item wide(unsigned char index, std::size_t count)
{
    return {index, 6, std::uint32_t(count), std::vector<unsigned char>(8 * count, 0x11)};
}

std::vector<unsigned char> recordOf(float time, std::uint32_t number, std::vector<Item> items)
{
    std::vector<unsigned char> body;
    u32(body, GNP2::makeHeader(number, orvane::kind::Shape));
    for (const Item& item : items) {
        body.push_back(item.index);
        u32(body, item.count);
        body.push_back(item.type);
        body.insert(body.end(), item.data.begin(), item.data.end());
    }
    return recordOfBody(time, body);
}

// A layout of the records of one type code, and the connection a walk over
// its items finds (-1: none).
struct Layout
{
    const char* name;
    std::function<std::vector<unsigned char>(float time, std::uint32_t number, int connection)>
        make;
    bool findsConnection;
};

std::vector<Layout> layouts()
{
    return {
        {"Usual",
         [](float t, std::uint32_t n, int c) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3}),
                              ints(item::Connection, {c})});
         },
         true},
        {"LongerItemBefore",
         [](float t, std::uint32_t n, int c) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3, 4}),
                              ints(item::Connection, {c})});
         },
         true},
        {"WiderElementsBefore",
         [](float t, std::uint32_t n, int c) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), wide(item::shape::Position, 6),
                              ints(item::Connection, {c})});
         },
         true},
        {"NothingBefore",
         [](float t, std::uint32_t n, int c) {
             return recordOf(t, n, {floats(item::Time, {t}), ints(item::Connection, {c})});
         },
         true},
        {"ConnectionAsFloat",
         [](float t, std::uint32_t n, int c) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3}),
                              floats(item::Connection, {float(c)})});
         },
         false},
        {"ConnectionWithoutElements",
         [](float t, std::uint32_t n, int) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3}),
                              ints(item::Connection, {})});
         },
         false},
        {"NoConnectionItem",
         [](float t, std::uint32_t n, int) {
             return recordOf(t, n,
                             {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3}),
                              floats(20, {1})});
         },
         false},
        // The length word ends the record inside its connection number.
        {"ConnectionCutByLength",
         [](float t, std::uint32_t n, int c) {
             std::vector<unsigned char> r =
                 recordOf(t, n,
                          {floats(item::Time, {t}), floats(item::shape::Position, {1, 2, 3}),
                           ints(item::Connection, {c})});
             r.resize(r.size() - 2);
             r[4] = static_cast<unsigned char>(r.size() - 4);
             return r;
         },
         false},
        // Item 1 holds, where the usual layout has item 13, bytes that look
        // like an item 13 of a connection: only its own count tells.
        {"ConnectionLookalikeInData",
         [](float t, std::uint32_t n, int c) {
             Item one = floats(item::shape::Position, {1, 2, 3, 4, 5, 6});
             const unsigned char fake[] = {item::Connection, 1, 0, 0, 0, 3, 99, 0, 0, 0};
             std::copy(std::begin(fake), std::end(fake), one.data.begin() + 12);
             return recordOf(t, n, {floats(item::Time, {t}), one, ints(item::Connection, {c})});
         },
         true},
    };
}

TEST(ReplayObjects, EveryLayoutOfOneTypeTellsItsObjectsApart)
{
    console::Log::instance().setEchoToStderr(false);
    const std::vector<Layout> all = layouts();
    const int connections[] = {0, 1, 5, 70, -3};
    std::mt19937 random(9);
    std::vector<unsigned char> bytes;
    std::vector<std::pair<int, std::uint32_t>> keys; // (connection or -1, number), per record
    // Runs of one layout (so that it is learnt), then any layout next.
    for (int run = 0; run < 400; ++run) {
        const Layout& layout = all[random() % all.size()];
        const int length = 1 + int(random() % 4);
        for (int k = 0; k < length; ++k) {
            const int connection = connections[random() % std::size(connections)];
            const std::uint32_t number = random() % 6;
            append(bytes, layout.make(float(keys.size()), number, connection));
            keys.push_back({layout.findsConnection ? connection : -1, number});
        }
    }
    // Last, a usual record cut inside its connection number.
    append(bytes, all[0].make(float(keys.size()), 4, 1));
    keys.push_back({-1, 4});
    bytes.resize(bytes.size() - 2);

    TempFile file("layouts.dat");
    file.write(bytes);
    ReplayManager replay(file.path());
    const ReplayIndex& index = replay.index();
    ASSERT_EQ(index.size(), keys.size());
    EXPECT_EQ(replay.objectCount(), std::set(keys.begin(), keys.end()).size());
    std::map<std::pair<int, std::uint32_t>, std::uint32_t> objectOf;
    std::map<std::uint32_t, std::pair<int, std::uint32_t>> keyOf;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::uint32_t object = index.object(i);
        const auto [known, added] = objectOf.try_emplace(keys[i], object);
        ASSERT_EQ(known->second, object) << "record " << i << ": one pair, two objects";
        const auto [pair, addedKey] = keyOf.try_emplace(object, keys[i]);
        ASSERT_EQ(pair->second, keys[i]) << "record " << i << ": two pairs, one object";
    }
}

// Records of one layout whose length word differs between neighbours (items
// after item 13 that grow) are found by their layout as well.
TEST(ReplayObjects, ItemsAfterTheConnectionDoNotMatter)
{
    console::Log::instance().setEchoToStderr(false);
    std::vector<unsigned char> bytes;
    for (int r = 0; r < 40; ++r) {
        std::vector<std::int32_t> extra(std::size_t(r % 7), r);
        append(bytes, recordOf(float(r), std::uint32_t(r % 2),
                               {floats(item::Time, {float(r)}), ints(item::Connection, {r % 3}),
                                ints(40, extra)}));
    }
    TempFile file("after.dat");
    file.write(bytes);
    ReplayManager replay(file.path());
    ASSERT_EQ(replay.index().size(), 40u);
    EXPECT_EQ(replay.objectCount(), 6u) << "two numbers on three connections";
    for (std::size_t i = 6; i < 40; ++i)
        EXPECT_EQ(replay.index().object(i), replay.index().object(i - 6)) << i;
}

} // namespace

// Where item data live: small blocks inside the packet, larger ones on the
// heap. Whatever mix of decode, merge, set, remove and clear a packet goes
// through, every item must read back what was last put there, and no two
// blocks may overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "gnp2/Packet.h"
#include "tests/support/FrameBuilder.h"

using GNP2::Item;
using GNP2::Packet;
using testing_frames::Body;

namespace {

bool insidePacket(const Packet& p, const unsigned char* data)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(&p);
    return data >= begin && data < begin + sizeof(Packet);
}

// Blocks of present items are pairwise disjoint; a block flagged as lying in
// the packet does, and is aligned for 8-byte elements.
void expectSoundBlocks(const Packet& p)
{
    struct Span
    {
        std::uintptr_t begin, end;
        int index;
    };
    std::vector<Span> spans;
    p.forEachItem([&](int index, const Item& item) {
        ASSERT_NE(item.data, nullptr) << index;
        const auto begin = reinterpret_cast<std::uintptr_t>(item.data);
        spans.push_back({begin, begin + std::max<std::size_t>(item.byteSize(), 1), index});
        EXPECT_EQ(item.inPacket, insidePacket(p, item.data)) << "item " << index;
        if (item.inPacket) {
            EXPECT_EQ(begin % 8, 0u) << "item " << index;
        }
    });
    std::sort(spans.begin(), spans.end(), [](auto& a, auto& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        EXPECT_LE(spans[i - 1].end, spans[i].begin)
            << "items " << spans[i - 1].index << " and " << spans[i].index << " overlap";
}

void parseOk(Packet& p, const Body& body)
{
    const auto result = p.parse(body.bytes().data(), body.bytes().size());
    ASSERT_TRUE(result.ok()) << result.error;
}

std::vector<float> ramp(std::size_t count, float start)
{
    std::vector<float> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = start + float(i);
    return values;
}

} // namespace

TEST(PacketStorage, TypicalUpdateLivesInsideThePacket)
{
    Packet p;
    parseOk(p, Body(7).floats(0, {0.5f}).floats(1, {1, 2, 3}).floats(3, {1, 0, 0, 0, 1, 0}));
    p.setIntVector(13, {0});
    for (int index : {0, 1, 3, 13})
        EXPECT_TRUE(p.item(index).inPacket) << index;
    expectSoundBlocks(p);
}

TEST(PacketStorage, ItemsBeyondTheInlineBytesGetHeapBlocks)
{
    // Blocks of a size of which three fit inline and a fourth does not.
    const std::size_t floats = ((Packet::INLINE_BYTES / 3) & ~std::size_t(7)) / 4;
    Body body(1);
    for (int index = 10; index < 14; ++index)
        body.floats(index, ramp(floats, float(index)));
    body.floats(20, ramp(2 * Packet::INLINE_BYTES, 0)); // larger than all inline bytes
    Packet p;
    parseOk(p, body);
    EXPECT_TRUE(p.item(10).inPacket);
    EXPECT_TRUE(p.item(12).inPacket);
    EXPECT_FALSE(p.item(13).inPacket);
    EXPECT_FALSE(p.item(20).inPacket);
    for (int index = 10; index < 14; ++index)
        EXPECT_EQ(p.getFloatVector(index), ramp(floats, float(index))) << index;
    EXPECT_EQ(p.getFloatVector(20), ramp(2 * Packet::INLINE_BYTES, 0));
    expectSoundBlocks(p);
}

TEST(PacketStorage, InlineItemThatGrowsMovesOutAndLeavesItsNeighbours)
{
    Packet p;
    parseOk(p, Body(1).floats(1, {1, 2, 3}).floats(2, {4, 5, 6}));
    const float* before = p.getFloatArray(1);
    p.setFloatVector(1, {9, 9, 9}); // same size: in place
    EXPECT_EQ(p.getFloatArray(1), before);
    EXPECT_TRUE(p.item(1).inPacket);

    p.setFloatVector(1, ramp(6, 10)); // larger: a new block
    EXPECT_NE(p.getFloatArray(1), before);
    EXPECT_EQ(p.getFloatVector(1), ramp(6, 10));
    EXPECT_EQ(p.getFloatVector(2), (std::vector<float>{4, 5, 6}));
    expectSoundBlocks(p);
}

TEST(PacketStorage, ClearMakesTheInlineBytesAvailableAgain)
{
    Packet p;
    for (int round = 0; round < 50; ++round) {
        parseOk(p, Body(1).floats(1, ramp(20, float(round))).floats(2, ramp(20, 0)));
        p.setFloatVector(1, ramp(40, 0)); // moves out, leaving its inline bytes unused
        EXPECT_TRUE(p.item(2).inPacket) << "round " << round;
        expectSoundBlocks(p);
        p.clear();
    }
}

TEST(PacketStorage, ZeroCountItemsArePresentAtDistinctAddresses)
{
    Packet p;
    parseOk(p, Body(1).ints(4, {}).ints(5, {}).floats(6, {}));
    for (int index : {4, 5, 6}) {
        EXPECT_TRUE(p.hasItem(index)) << index;
        EXPECT_EQ(p.count(index), 0) << index;
    }
    expectSoundBlocks(p);
}

TEST(PacketStorage, AbsentOrOutOfRangeItemsReadAsEmpty)
{
    Packet p;
    p.setFloatVector(5, {1, 2});
    p.removeItem(5);
    for (int index : {5, 6, -1, GNP2::ITEM_COUNT, 255}) {
        const Item& item = p.item(index);
        EXPECT_FALSE(item.present()) << index;
        EXPECT_EQ(item.count, 0) << index;
        EXPECT_EQ(item.type, GNP2::TYPE_NONE) << index;
        EXPECT_FALSE(item.changed) << index;
    }
    p.setIntVector(5, {3}); // set again after removal
    EXPECT_EQ(p.getIntVector(5), std::vector<int>{3});
}

TEST(PacketStorage, ItemOutsideAPacketFreesOnlyBlocksOfItsOwn)
{
    // A block owned by someone else (here a local array standing in for a
    // packet's storage) is never freed by the item; its own blocks are.
    alignas(8) unsigned char storage[16] = {1, 2, 3, 4};
    Item item;
    item.data = storage;
    item.count = 4;
    item.type = GNP2::TYPE_CHAR;
    item.inPacket = true;
    const unsigned char two[2] = {7, 8};
    item.assign(2, GNP2::TYPE_CHAR, two); // another size: a heap block
    EXPECT_NE(item.data, storage);
    EXPECT_FALSE(item.inPacket);
    EXPECT_TRUE(item.equals(2, GNP2::TYPE_CHAR, two));
    EXPECT_EQ(storage[0], 1) << "the foreign block was written";
    item.reset(); // frees the heap block (a leak checker sees it otherwise)
    EXPECT_FALSE(item.present());
}

// Random decode, merge, set, remove and clear steps against a plain model of
// what each item should hold.
TEST(PacketStorage, RandomOperationsMatchAModel)
{
    struct Expected
    {
        std::int32_t type;
        std::vector<unsigned char> bytes;
    };
    std::map<int, Expected> model;
    std::mt19937 random(20240611);
    const int indices[] = {0, 1, 3, 13, 44, 63, 64, 97};
    const auto pickIndex = [&] { return indices[random() % std::size(indices)]; };
    // Sizes from empty to past the inline bytes, most of them small.
    const auto pickCount = [&] {
        const std::uint32_t r = random() % 10;
        return std::int32_t(r < 7 ? r : r == 7 ? 0 : 40 + random() % 100);
    };
    const auto randomBytes = [&](std::size_t size) {
        std::vector<unsigned char> bytes(size);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random());
        return bytes;
    };

    Packet p;
    for (int step = 0; step < 20000; ++step) {
        const int what = int(random() % 10);
        if (what < 4) { // setRaw
            const int index = pickIndex();
            const std::int32_t type = std::int32_t(1 + random() % 6);
            const std::int32_t count = pickCount();
            auto bytes = randomBytes(std::size_t(count) * GNP2::ELEMENT_SIZE[type]);
            p.setRaw(index, type, count, bytes.data());
            model[index] = {type, std::move(bytes)};
        } else if (what < 7) { // merge a decoded packet
            Body body{static_cast<std::uint32_t>(step)};
            std::map<int, Expected> carried;
            for (int n = int(random() % 4); n > 0; --n) {
                const int index = pickIndex();
                const std::int32_t count = pickCount();
                auto bytes = randomBytes(std::size_t(count) * 4);
                body.record(index, count, GNP2::TYPE_FLOAT, bytes.data(), bytes.size());
                carried[index] = {GNP2::TYPE_FLOAT, std::move(bytes)}; // a later record wins
            }
            Packet incoming;
            parseOk(incoming, body);
            p.update(incoming);
            for (auto& [index, expected] : carried)
                if (!expected.bytes.empty())
                    model[index] = std::move(expected);
        } else if (what < 9) {
            const int index = pickIndex();
            p.removeItem(index);
            model.erase(index);
        } else if (random() % 20 == 0) {
            p.clear();
            model.clear();
        }

        for (int index : indices) {
            const auto found = model.find(index);
            ASSERT_EQ(p.hasItem(index), found != model.end()) << "step " << step;
            if (found == model.end())
                continue;
            const Item& item = p.item(index);
            ASSERT_EQ(item.type, found->second.type) << "step " << step;
            ASSERT_EQ(item.byteSize(), found->second.bytes.size()) << "step " << step;
            ASSERT_TRUE(found->second.bytes.empty() ||
                        std::memcmp(item.data, found->second.bytes.data(), item.byteSize()) == 0)
                << "item " << index << " at step " << step;
        }
        expectSoundBlocks(p);
        if (HasFailure())
            return;
    }
}

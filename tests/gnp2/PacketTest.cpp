#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "gnp2/Packet.h"
#include "tests/support/FrameBuilder.h"

using GNP2::Packet;
using testing_frames::Body;

namespace {

void parseOk(Packet& p, const Body& body)
{
    const auto result = p.parse(body.bytes().data(), body.bytes().size());
    ASSERT_TRUE(result.ok()) << result.error;
}

std::vector<unsigned char> serialize(Packet& p)
{
    std::vector<unsigned char> out(p.serializedSize());
    EXPECT_EQ(p.serialize(out.data()), out.size());
    return out;
}

} // namespace

TEST(PacketDecode, HeaderOnlyBodyHasNoItems)
{
    Packet p;
    parseOk(p, Body(0x0A00002A));
    EXPECT_EQ(p.header(), 0x0A00002Au);
    EXPECT_EQ(GNP2::objectNumber(p.header()), 42u);
    EXPECT_EQ(GNP2::typeCode(p.header()), 10u);
    for (int i = 0; i < GNP2::ITEM_COUNT; ++i)
        EXPECT_FALSE(p.hasItem(i)) << i;
}

TEST(PacketDecode, ItemsCarryCountTypeDataAndChangedFlag)
{
    Packet p;
    parseOk(p, Body(7).floats(1, {1.f, -2.f, 3.5f}).ints(13, {9}).chars(5, "box.osgt"));
    EXPECT_EQ(p.getFloatVector(1), (std::vector<float>{1.f, -2.f, 3.5f}));
    EXPECT_EQ(p.getIntVector(13), std::vector<int>{9});
    EXPECT_EQ(p.getString(5), "box.osgt");
    EXPECT_TRUE(p.isChanged(1));
    EXPECT_TRUE(p.isChanged(5));
    EXPECT_FALSE(p.hasItem(0));
    EXPECT_EQ(p.getFloatArray(1)[2], 3.5f);
}

TEST(PacketDecode, LaterRecordOfTheSameIndexWins)
{
    Packet p;
    parseOk(p, Body(1).floats(4, {1.f}).floats(4, {2.f, 3.f}));
    EXPECT_EQ(p.getFloatVector(4), (std::vector<float>{2.f, 3.f}));
}

TEST(PacketDecode, ZeroCountItemIsPresentAndEmpty)
{
    Packet p;
    parseOk(p, Body(1).ints(9, {}));
    EXPECT_TRUE(p.hasItem(9));
    EXPECT_TRUE(p.getIntVector(9).empty());
    EXPECT_THROW(p.getFloatVector(9), GNP2::GNP2Exception);
}

TEST(PacketDecode, UnreadElementTypesAreCarriedThroughARoundTrip)
{
    const std::uint16_t shorts[3] = {1, 2, 0xFFFF};
    const double doubles[2] = {1.0, -2.5};
    const Body body = Body(3)
                          .record(2, 3, 2, shorts, sizeof shorts)
                          .record(7, 2, 4, doubles, sizeof doubles)
                          .record(8, 2, 6, doubles, sizeof doubles);
    Packet p;
    parseOk(p, body);
    EXPECT_EQ(p.item(2).byteSize(), 6u);
    EXPECT_EQ(p.item(7).byteSize(), 16u);
    EXPECT_EQ(serialize(p), body.frame());
}

TEST(PacketEncode, EmptyPacketIsAnEightByteFrame)
{
    Packet p;
    p.setHeader(0x01000005);
    const auto frame = serialize(p);
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(GNP2::readU32(frame.data()), 8u);
    EXPECT_EQ(GNP2::readU32(frame.data() + 4), 0x01000005u);
}

TEST(PacketEncode, SortedUniqueFrameRoundTripsByteForByte)
{
    const Body body = Body(0x02000FFF)
                          .floats(0, {0.25f})
                          .floats(1, {1.f, 2.f, 3.f})
                          .chars(5, "x")
                          .ints(13, {0})
                          .floats(97, {-0.f});
    Packet p;
    parseOk(p, body);
    EXPECT_EQ(serialize(p), body.frame());
}

TEST(PacketEncode, ItemsComeOutInAscendingOrderAndFlagsAreCleared)
{
    Packet p;
    parseOk(p, Body(1).ints(40, {4}).floats(3, {3.f}).ints(70, {7}));
    ASSERT_TRUE(p.isChanged(40));
    const auto frame = serialize(p);
    EXPECT_EQ(frame, Body(1).floats(3, {3.f}).ints(40, {4}).ints(70, {7}).frame());
    for (int i : {3, 40, 70})
        EXPECT_FALSE(p.isChanged(i)) << i;
}

// The size is kept as a running total: every way an item comes, changes
// size, changes type or goes must keep it equal to what serialize() writes.
TEST(PacketEncode, SizeFollowsEveryChangeOfTheItems)
{
    Packet p;
    const auto expectSize = [&](const char* step) {
        std::vector<unsigned char> out(p.serializedSize() + 64);
        EXPECT_EQ(p.serialize(out.data()), p.serializedSize()) << step;
    };
    parseOk(p, Body(1).floats(2, {1.f, 2.f}).chars(5, "name").ints(90, {1, 2, 3}));
    expectSize("parsed");
    p.setFloatVector(2, {1.f, 2.f, 3.f, 4.f, 5.f});
    expectSize("grown");
    p.setFloatVector(2, {});
    expectSize("emptied");
    p.setString(5, std::string(400, 'x')); // past the in-packet bytes
    expectSize("moved to the heap");
    p.setRaw(90, 6, 2, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"); // two doubles
    expectSize("type changed");
    p.removeItem(5);
    p.removeItem(5);
    expectSize("removed twice");

    Packet incoming;
    parseOk(incoming, Body(2).floats(2, {7.f}).ints(40, {4}).floats(90, {}));
    p.update(incoming);
    expectSize("merged");
    EXPECT_EQ(p.serializedSize(), 8u + 3 * 6 + 4 + 4 + 16);

    parseOk(p, Body(3).ints(7, {1}));
    expectSize("parsed again");
    EXPECT_EQ(p.serializedSize(), 8u + 6 + 4);
    p.clear();
    EXPECT_EQ(p.serializedSize(), 8u);
    EXPECT_FALSE(p.parse(Body(4).ints(7, {1}).bytes().data(), 3).ok());
    EXPECT_EQ(p.serializedSize(), 8u) << "a rejected body leaves an empty packet";
}

TEST(PacketMerge, IdenticalItemsClearOnlyTheirOwnFlags)
{
    Packet state;
    parseOk(state, Body(1).floats(1, {1.f, 2.f, 3.f}).floats(4, {1.f}).ints(13, {0}));
    Packet incoming;
    parseOk(incoming, Body(2).floats(1, {1.f, 2.f, 3.f}).ints(13, {0}));

    state.update(incoming);
    EXPECT_EQ(state.header(), 2u);
    EXPECT_FALSE(state.isChanged(1));
    EXPECT_FALSE(state.isChanged(13));
    EXPECT_TRUE(state.isChanged(4)) << "an item not carried keeps its flag";
}

TEST(PacketMerge, ChangedValueIsCopiedAndFlagged)
{
    Packet state;
    parseOk(state, Body(1).floats(1, {1.f, 2.f, 3.f}));
    state.clearChanged();
    const float* before = state.getFloatArray(1);
    Packet incoming;
    parseOk(incoming, Body(1).floats(1, {1.f, 2.f, 4.f}));
    state.update(incoming);
    EXPECT_TRUE(state.isChanged(1));
    EXPECT_EQ(state.getFloatVector(1), (std::vector<float>{1.f, 2.f, 4.f}));
    EXPECT_EQ(state.getFloatArray(1), before) << "same size keeps the block";
}

TEST(PacketMerge, CountChangeReallocatesEvenWithEqualPrefix)
{
    Packet state;
    parseOk(state, Body(1).floats(1, {1.f, 2.f, 3.f}));
    state.clearChanged();
    Packet incoming;
    parseOk(incoming, Body(1).floats(1, {1.f, 2.f, 3.f, 4.f, 5.f, 6.f}));
    state.update(incoming);
    EXPECT_TRUE(state.isChanged(1));
    EXPECT_EQ(state.getFloatVector(1).size(), 6u);
}

TEST(PacketMerge, TypeChangeWithSameBytesCountsAsChanged)
{
    Packet state;
    parseOk(state, Body(1).ints(9, {0}));
    state.clearChanged();
    Packet incoming;
    parseOk(incoming, Body(1).floats(9, {0.f}));
    state.update(incoming);
    EXPECT_TRUE(state.isChanged(9));
    EXPECT_NO_THROW(state.getFloatVector(9));
}

TEST(PacketMerge, ComparisonIsBytewise)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Packet state;
    parseOk(state, Body(1).floats(1, {0.f}).floats(2, {nan}));
    state.clearChanged();
    Packet incoming;
    parseOk(incoming, Body(1).floats(1, {-0.f}).floats(2, {nan}));
    state.update(incoming);
    EXPECT_TRUE(state.isChanged(1)) << "0.0 -> -0.0 changes the bytes";
    EXPECT_FALSE(state.isChanged(2)) << "a NaN with the same bits is unchanged";
}

TEST(PacketMerge, ZeroCountIncomingItemLeavesStateAlone)
{
    Packet state;
    parseOk(state, Body(1).floats(1, {1.f}));
    Packet incoming;
    parseOk(incoming, Body(1).floats(1, {}).floats(2, {}));
    state.update(incoming);
    EXPECT_EQ(state.getFloatVector(1), std::vector<float>{1.f});
    EXPECT_TRUE(state.isChanged(1));
    EXPECT_FALSE(state.hasItem(2));
}

TEST(PacketSetters, CompareFirstKeepsTheFlag)
{
    Packet p;
    p.setIntVector(13, {0});
    EXPECT_TRUE(p.isChanged(13));
    p.clearChanged();
    p.setIntVector(13, {0});
    EXPECT_FALSE(p.isChanged(13)) << "same value must not flag";
    p.setIntVector(13, {1});
    EXPECT_TRUE(p.isChanged(13));

    Packet q;
    q.setIntVector(13, {0});
    q.clearChanged();
    q.setFloatVector(13, {0.f}); // same bytes, other type
    EXPECT_TRUE(q.isChanged(13));
}

TEST(PacketSetters, SetThenSerializeParsesBack)
{
    Packet p;
    p.setHeader(GNP2::makeHeader(4095, 14));
    p.setFloatVector(0, {12.5f});
    p.setString(5, "terrain.bb");
    p.setIntVector(44, {255, 0, 128});
    auto frame = serialize(p);
    Packet q;
    ASSERT_TRUE(q.parse(frame.data() + 4, frame.size() - 4).ok());
    EXPECT_EQ(GNP2::objectNumber(q.header()), 4095u);
    EXPECT_EQ(GNP2::typeCode(q.header()), 14u);
    EXPECT_EQ(q.getString(5), "terrain.bb");
    EXPECT_EQ(q.getIntVector(44), (std::vector<int>{255, 0, 128}));
}

TEST(PacketMove, ReturnedAndKeptInAContainerWithEveryItem)
{
    // Small items lie inside the packet, a large one in a block of its own:
    // both must survive moves, and the source must not free them again.
    const auto make = [](std::uint32_t object) {
        Packet p;
        p.setHeader(GNP2::makeHeader(object, 14));
        p.setFloatVector(0, {12.5f});
        p.setString(5, "terrain.bb");
        p.setFloatVector(70, std::vector<float>(200, 1.5f));
        return p;
    };
    std::vector<Packet> kept;
    for (std::uint32_t object = 1; object <= 3; ++object)
        kept.push_back(make(object)); // growing moves the packets already kept
    Packet assigned;
    assigned.setIntVector(44, {1});
    assigned = std::move(kept[1]);
    EXPECT_EQ(kept[1].serializedSize(), GNP2::FRAME_HEADER_SIZE) << "the source is left empty";
    EXPECT_EQ(GNP2::objectNumber(assigned.header()), 2u);
    EXPECT_FALSE(assigned.hasItem(44)) << "what the target held is gone";
    for (const Packet* p : {&kept[0], &kept[2], &assigned}) {
        EXPECT_EQ(p->getFloatVector(0), std::vector<float>{12.5f});
        EXPECT_EQ(p->getString(5), "terrain.bb");
        EXPECT_EQ(p->getFloatVector(70), std::vector<float>(200, 1.5f));
    }
    // A packet moved into keeps handing out its own storage after the items
    // it took over.
    kept[2].setIntVector(44, {7, 8});
    EXPECT_EQ(kept[2].getString(5), "terrain.bb");
    EXPECT_EQ(kept[2].getIntVector(44), (std::vector<int>{7, 8}));
}

struct AccessorCase
{
    const char* name;
    int index;
    bool (*call)(const Packet&, int);
};

class PacketAccessorErrors : public ::testing::TestWithParam<AccessorCase>
{
};

TEST_P(PacketAccessorErrors, ThrowsWithTheIndexAndTheMessage)
{
    // Item 3 holds ints, item 4 floats, item 6 chars; everything else is absent.
    Packet p;
    p.setIntVector(3, {1});
    p.setFloatVector(4, {1.f});
    p.setString(6, "abc");
    const AccessorCase& c = GetParam();
    try {
        c.call(p, c.index);
        FAIL() << "no exception";
    } catch (const GNP2::GNP2Exception& e) {
        EXPECT_EQ(e.getErrorNumber(), c.index);
        EXPECT_STREQ(e.what(), "Requested data not in packet or data size mismatch!");
    }
    EXPECT_EQ(p.getIntVector(3), std::vector<int>{1}) << "the packet is unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, PacketAccessorErrors,
    ::testing::Values(
        AccessorCase{"FloatOnInt", 3,
                     [](const Packet& p, int i) { return !p.getFloatVector(i).empty(); }},
        AccessorCase{"IntOnFloat", 4,
                     [](const Packet& p, int i) { return !p.getIntVector(i).empty(); }},
        AccessorCase{"StringOnFloat", 4,
                     [](const Packet& p, int i) { return !p.getString(i).empty(); }},
        AccessorCase{"FloatArrayOnChars", 6,
                     [](const Packet& p, int i) { return p.getFloatArray(i) != nullptr; }},
        AccessorCase{"IntArrayAbsent", 50,
                     [](const Packet& p, int i) { return p.getIntArray(i) != nullptr; }},
        AccessorCase{"IndexPastTable", 98,
                     [](const Packet& p, int i) { return !p.getIntVector(i).empty(); }},
        AccessorCase{"NegativeIndex", -1,
                     [](const Packet& p, int i) { return !p.getFloatVector(i).empty(); }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PacketException, PrintsTwoLines)
{
    testing::internal::CaptureStdout();
    GNP2::GNP2Exception e("Something failed", 44);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Something failed\nErrorNr: 44\n");
}

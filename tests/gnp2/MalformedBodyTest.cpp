#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "tests/support/FrameBuilder.h"

using GNP2::Packet;
using testing_frames::Body;

namespace {

struct MalformedCase
{
    const char* name;
    std::vector<unsigned char> body;
    const char* message; // expected to appear in the error text
};

std::vector<unsigned char> bytesOf(const Body& b)
{
    return b.bytes();
}

std::vector<unsigned char> truncated(const Body& b, std::size_t drop)
{
    auto bytes = b.bytes();
    bytes.resize(bytes.size() - drop);
    return bytes;
}

// Record header with a raw count, type and no data.
std::vector<unsigned char> recordHeader(int index, std::uint32_t count, int type)
{
    return {static_cast<unsigned char>(index),       static_cast<unsigned char>(count),
            static_cast<unsigned char>(count >> 8),  static_cast<unsigned char>(count >> 16),
            static_cast<unsigned char>(count >> 24), static_cast<unsigned char>(type)};
}

class MalformedBody : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(MalformedBody, IsRejectedWholeAndLeavesThePacketEmpty)
{
    const MalformedCase& c = GetParam();
    Packet p;
    // Content from before must be gone too: parse fills an empty packet.
    p.setFloatVector(1, {1.f});
    // Parse from an exactly sized heap copy so that AddressSanitizer would
    // catch any read past the body.
    std::vector<unsigned char> exact(c.body);
    const auto result = p.parse(exact.data(), exact.size());
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.header(), 0u);
    for (int i = 0; i < GNP2::ITEM_COUNT; ++i)
        ASSERT_FALSE(p.hasItem(i)) << i;
}

const Body good = Body(1).floats(1, {1.f, 2.f, 3.f}); // 4 + 6 + 12 = 22 bytes

INSTANTIATE_TEST_SUITE_P(
    Decoder, MalformedBody,
    ::testing::Values(
        MalformedCase{"ShorterThanHeader", {1, 2, 3}, "shorter than the 4-byte header word"},
        MalformedCase{"IndexPastTable", bytesOf(Body(1).ints(98, {1})),
                      "item record at byte 4 has item index 98 (at most 97)"},
        MalformedCase{"IndexAfterGoodRecord", bytesOf(Body(good).ints(200, {1})),
                      "item record at byte 22 has item index 200"},
        MalformedCase{"TypeCodeSeven", bytesOf(Body(1).record(3, 1, 7, "abcd", 4)),
                      "has element type 7 (at most 6)"},
        MalformedCase{"NegativeCount", bytesOf(Body(1).raw(recordHeader(3, 0xFFFFFFFFu, 5))),
                      "has negative count -1"},
        MalformedCase{"HugeCountOverflowingSize",
                      bytesOf(Body(1).raw(recordHeader(3, 0x7FFFFFFFu, 6))),
                      "2147483647 elements of 8 bytes runs past the end of the 10-byte body"},
        MalformedCase{"DataRunsPastEnd", truncated(good, 1),
                      "item record at byte 4 with 3 elements of 4 bytes runs past the end of the "
                      "21-byte body"},
        MalformedCase{"RecordHeaderCut", bytesOf(Body(good).raw({5, 1, 0})),
                      "item record at byte 22 runs past the end of the 25-byte body"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MalformedBody, GoodPacketAfterRejectParsesNormally)
{
    Packet p;
    const auto bad = truncated(good, 2);
    ASSERT_FALSE(p.parse(bad.data(), bad.size()).ok());
    ASSERT_TRUE(p.parse(good.bytes().data(), good.bytes().size()).ok());
    EXPECT_EQ(p.getFloatVector(1), (std::vector<float>{1.f, 2.f, 3.f}));
}

} // namespace

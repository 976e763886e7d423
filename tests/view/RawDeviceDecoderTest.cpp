// The 3D mouse's reports turned into events: a motion event needs both a
// translation and a rotation report since the last one, buttons come at
// once, and broken or foreign reports leave the pending state alone.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "view/RawDeviceDecoder.h"

using view::RawDeviceDecoder;

namespace {

std::vector<std::uint8_t> axes(std::uint8_t id, int x, int y, int z)
{
    std::vector<std::uint8_t> report{id};
    for (const int v : {x, y, z}) {
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        report.push_back(bits & 0xFF);
        report.push_back(bits >> 8);
    }
    return report;
}

class Decoder : public ::testing::Test
{
protected:
    RawDeviceDecoder::Result decode(const std::vector<std::uint8_t>& report)
    {
        return _decoder.decode(report);
    }
    RawDeviceDecoder _decoder;
};

TEST_F(Decoder, MotionNeedsATranslationAndARotationSinceTheLastMotion)
{
    // Translation alone: nothing yet.
    RawDeviceDecoder::Result result = decode(axes(1, 10, -20, 350));
    EXPECT_TRUE(result.handled);
    EXPECT_FALSE(result.event);
    // A second translation replaces the first.
    EXPECT_FALSE(decode(axes(1, 11, -21, 351)).event);

    result = decode(axes(2, -350, 0, 32767));
    ASSERT_TRUE(result.event);
    const rawDeviceEvent& motion = *result.event;
    EXPECT_EQ(motion.type, rawDeviceEvent::MOTION);
    EXPECT_EQ(motion.tx, 11);
    EXPECT_EQ(motion.ty, -21);
    EXPECT_EQ(motion.tz, 351);
    EXPECT_EQ(motion.rx, -350);
    EXPECT_EQ(motion.ry, 0);
    EXPECT_EQ(motion.rz, 32767);
    EXPECT_FALSE(_decoder.translationPending());
    EXPECT_FALSE(_decoder.rotationPending());

    // A rotation without a new translation makes none.
    EXPECT_FALSE(decode(axes(2, 1, 2, 3)).event);
    // The other order works the same, with the latest values of both.
    result = decode(axes(1, -32768, 5, 6));
    ASSERT_TRUE(result.event);
    EXPECT_EQ(result.event->tx, -32768);
    EXPECT_EQ(result.event->rx, 1);
    EXPECT_EQ(result.event->rz, 3);
}

TEST_F(Decoder, ButtonsComeAtOnceAndLeaveAPendingMotionAlone)
{
    decode(axes(1, 1, 2, 3));
    RawDeviceDecoder::Result result = decode({3, 0x01, 0x30, 0x80});
    ASSERT_TRUE(result.event);
    EXPECT_EQ(result.event->type, rawDeviceEvent::BUTTON);
    EXPECT_EQ(result.event->button0, 0x01);
    EXPECT_EQ(result.event->button1, 0x30);
    EXPECT_EQ(result.event->button2, 0x80);
    EXPECT_TRUE(_decoder.translationPending()) << "a button report completes no motion";

    // A short button report: the missing bytes are no buttons.
    result = decode({3, 0x02});
    ASSERT_TRUE(result.event);
    EXPECT_EQ(result.event->button0, 0x02);
    EXPECT_EQ(result.event->button1, 0);

    // The pending translation still pairs with the next rotation.
    result = decode(axes(2, 4, 5, 6));
    ASSERT_TRUE(result.event);
    EXPECT_EQ(result.event->tx, 1);
    EXPECT_EQ(result.event->rz, 6);
}

TEST_F(Decoder, EmptyUnknownAndShortReportsGiveNothing)
{
    EXPECT_FALSE(decode({}).handled) << "an empty read is no report";
    EXPECT_FALSE(decode({}).event);

    RawDeviceDecoder::Result result = decode(axes(4, 1, 2, 3));
    EXPECT_TRUE(result.handled);
    EXPECT_FALSE(result.event);
    EXPECT_FALSE(_decoder.translationPending());
    EXPECT_FALSE(_decoder.rotationPending());

    // A translation cut short is not read from whatever followed it.
    decode(axes(2, 7, 8, 9));
    EXPECT_FALSE(decode({1, 0x10, 0x00, 0x20}).event);
    EXPECT_FALSE(_decoder.translationPending());
    EXPECT_TRUE(_decoder.rotationPending());
}

} // namespace

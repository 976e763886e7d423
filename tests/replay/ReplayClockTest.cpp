#include <gtest/gtest.h>

#include "replay/ReplayClock.h"
#include "replay/ReplayTransport.h"

namespace {

// Ticks are milliseconds set by the test.
class Clock : public ::testing::Test
{
protected:
    std::int64_t now = 1000;
    ReplayClock clock{[this] { return now; }, 0.001};
    ReplayTransport transport{clock};

    void wait(double seconds) { now += std::int64_t(seconds * 1000.0 + 0.5); }
};

TEST_F(Clock, StartsPausedAtZeroAndRunsAtItsSpeed)
{
    EXPECT_TRUE(clock.isPaused());
    wait(5);
    EXPECT_DOUBLE_EQ(clock.time(), 0.0);
    clock.resume();
    wait(2);
    EXPECT_DOUBLE_EQ(clock.time(), 2.0);
    clock.setSpeed(-0.5);
    EXPECT_DOUBLE_EQ(clock.time(), 2.0) << "a speed change does not jump";
    wait(2);
    EXPECT_DOUBLE_EQ(clock.time(), 1.0);
    clock.pause();
    wait(3);
    EXPECT_DOUBLE_EQ(clock.time(), 1.0);
    clock.resume();
    wait(2);
    EXPECT_DOUBLE_EQ(clock.time(), 0.0);
}

TEST_F(Clock, SetTimeKeepsThePausedFlag)
{
    clock.setTime(7.0);
    wait(1);
    EXPECT_DOUBLE_EQ(clock.time(), 7.0);
    clock.resume();
    clock.setTime(3.0);
    wait(1);
    EXPECT_DOUBLE_EQ(clock.time(), 4.0);
}

TEST_F(Clock, StepsAreFractionsOfTheRange)
{
    transport.setRange(2.0, 12.0);
    transport.rewind();
    transport.stepForward();
    EXPECT_NEAR(transport.time(), 2.01, 1e-9);
    transport.moveForward();
    EXPECT_NEAR(transport.time(), 2.11, 1e-9);
    transport.rewind();
    transport.reverse();
    EXPECT_NEAR(transport.time(), 1.9, 1e-9);
    transport.update(false);
    EXPECT_TRUE(transport.isPaused());
    EXPECT_DOUBLE_EQ(transport.time(), 2.0) << "below first: paused and reset";
    transport.backstep();
    EXPECT_NEAR(transport.time(), 1.99, 1e-9);
}

TEST_F(Clock, StartNearTheEndRestartsFromFirst)
{
    transport.setRange(0.0, 10.0);
    transport.timeChanged(9.9995);
    EXPECT_TRUE(transport.startOrPause());
    EXPECT_DOUBLE_EQ(transport.time(), 0.0);
    wait(1);
    EXPECT_FALSE(transport.startOrPause());
    EXPECT_DOUBLE_EQ(transport.time(), 1.0);
}

TEST_F(Clock, EndOfReplayStopsOrWraps)
{
    transport.setRange(0.0, 10.0);
    for (const bool loop : {false, true}) {
        transport.timeChanged(9.0);
        transport.startOrPause();
        wait(2);
        const auto step = transport.update(loop);
        EXPECT_EQ(step.stoppedAtEnd, !loop) << "loop " << loop;
        EXPECT_EQ(transport.isPaused(), !loop) << "loop " << loop;
        EXPECT_DOUBLE_EQ(transport.time(), loop ? 0.0 : 10.0) << "loop " << loop;
    }
}

TEST_F(Clock, SlowSpeedAndJogDial)
{
    transport.setRange(0.0, 10.0);
    transport.speedChanged(0.05);
    transport.startOrPause();
    wait(200);
    EXPECT_NEAR(transport.time(), 10.0, 1e-9);

    transport.timeChanged(5.0);
    transport.jogDialStart();
    wait(3);
    EXPECT_DOUBLE_EQ(transport.time(), 5.0) << "holding the dial freezes the time";
    transport.jogDialMoved(-20);
    EXPECT_DOUBLE_EQ(clock.speed(), -1.0);
    wait(2);
    EXPECT_DOUBLE_EQ(transport.time(), 3.0);
    transport.jogDialMoved(10);
    EXPECT_DOUBLE_EQ(clock.speed(), 0.25);
    transport.jogDialStop();
    EXPECT_TRUE(transport.isPaused());
    EXPECT_DOUBLE_EQ(clock.speed(), 1.0);
}

TEST_F(Clock, SliderSpansTheRange)
{
    transport.setRange(0.0, 10.0);
    transport.sliderMoved(500);
    EXPECT_DOUBLE_EQ(transport.time(), 5.0);
    EXPECT_EQ(transport.update(false).slider, 500);

    transport.setRange(2.0, 12.0);
    transport.sliderMoved(1000);
    EXPECT_DOUBLE_EQ(transport.time(), 12.0);
    EXPECT_EQ(transport.update(false).slider, 1000);

    transport.setRange(3.0, 3.0); // one frame, or an empty replay
    EXPECT_EQ(transport.update(false).slider, 0);
}

} // namespace

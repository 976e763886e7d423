// What the main window's controls show per state, and the loading label.

#include <gtest/gtest.h>

#include <string>

#include "app/MainWindowStatus.h"

namespace {

struct StateCase
{
    const char* name;
    ObjectManager::State state;
    const char* statusText;
    bool openReplay;
    bool replayControls;
    bool disconnect;
    bool exportVideo;
    bool timeBoxSignalsBlocked;
    double timeBoxMinimum;
    double timeBoxMaximum;
    bool resetTimeSlider;
};

class ControlStatesPerState : public testing::TestWithParam<StateCase>
{
};

// The replay under the controls spans 2.5 s to 40 s in every case; only
// the Replay state may show it.
TEST_P(ControlStatesPerState, EnableAndLabelTheControls)
{
    const StateCase& c = GetParam();
    const ControlStates states = controlStatesFor(c.state, 2.5, 40.0);
    EXPECT_EQ(states.statusText, c.statusText);
    EXPECT_EQ(states.openReplay, c.openReplay);
    EXPECT_EQ(states.replayControls, c.replayControls);
    EXPECT_EQ(states.disconnect, c.disconnect);
    EXPECT_EQ(states.exportVideo, c.exportVideo);
    EXPECT_EQ(states.timeBoxSignalsBlocked, c.timeBoxSignalsBlocked);
    EXPECT_DOUBLE_EQ(states.timeBoxMinimum, c.timeBoxMinimum);
    EXPECT_DOUBLE_EQ(states.timeBoxMaximum, c.timeBoxMaximum);
    EXPECT_EQ(states.resetTimeSlider, c.resetTimeSlider);
}

const StateCase kStates[] = {
    {"Offline", ObjectManager::Offline, "Status: Offline", true, false, false, false, true, 0.0,
     99999.0, true},
    {"Online", ObjectManager::Online, "Status: Online", false, false, true, false, true, 0.0,
     99999.0, true},
    {"Replay", ObjectManager::Replay, "Status: Replay", true, true, false, true, false, 2.5, 40.0,
     false},
};

INSTANTIATE_TEST_SUITE_P(MainWindow, ControlStatesPerState, testing::ValuesIn(kStates),
                         [](const testing::TestParamInfo<StateCase>& row) {
                             return std::string(row.param.name);
                         });

TEST(ControlStates, EmptyReplayGivesAZeroRange)
{
    const ControlStates states = controlStatesFor(ObjectManager::Replay, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(states.timeBoxMinimum, 0.0);
    EXPECT_DOUBLE_EQ(states.timeBoxMaximum, 0.0);
}

// The text after n ticks of loading, "" when the label keeps its text.
std::string textAfter(LoadingAnimation& animation, int ticks)
{
    LoadingAnimation::Frame frame;
    for (int i = 0; i < ticks; ++i)
        frame = animation.tick(true);
    EXPECT_TRUE(frame.visible);
    return frame.text ? frame.text : "";
}

TEST(LoadingAnimation, CyclesThroughThreeTextsOfOneSecondEach)
{
    LoadingAnimation animation;
    EXPECT_EQ(textAfter(animation, 1), "Loading Files.  ");
    EXPECT_EQ(textAfter(animation, 98), "Loading Files.  "); // tick 99
    EXPECT_EQ(textAfter(animation, 1), "Loading Files.. ");  // tick 100
    EXPECT_EQ(textAfter(animation, 99), "Loading Files.. "); // tick 199
    EXPECT_EQ(textAfter(animation, 1), "Loading Files...");  // tick 200
    EXPECT_EQ(textAfter(animation, 99), "Loading Files..."); // tick 299
    EXPECT_EQ(textAfter(animation, 1), "");                  // tick 300 keeps the text
    EXPECT_EQ(animation.counter(), 300);
    EXPECT_EQ(textAfter(animation, 1), "Loading Files.  "); // and round again
    EXPECT_EQ(animation.counter(), 1);
}

TEST(LoadingAnimation, HidesWhileNothingLoadsAndResumesWhereItStopped)
{
    LoadingAnimation animation;
    textAfter(animation, 150);
    const LoadingAnimation::Frame idle = animation.tick(false);
    EXPECT_FALSE(idle.visible);
    EXPECT_EQ(idle.text, nullptr);
    EXPECT_EQ(animation.counter(), 150);
    EXPECT_EQ(textAfter(animation, 50), "Loading Files..."); // tick 200
}

} // namespace

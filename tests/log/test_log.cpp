// The logging face: levels, lines, echo and the listeners.

#include "tests/support/LogFixture.h"

#include <gmock/gmock.h>

#include <thread>

using namespace console;
using console_test::LogFixture;
using ::testing::ElementsAre;

namespace {

// --- levels -----------------------------------------------------------------

struct LevelCase
{
    int level;
    bool accepted;
};

class LevelTest : public LogFixture, public ::testing::WithParamInterface<LevelCase>
{
};

TEST_P(LevelTest, OnlySingleBitLevelsUpToThirtyTwoAreAccepted)
{
    // A level set before stays when the new one is refused.
    log().setLevel(LEVEL_16);
    log().setLevel(GetParam().level);
    log().write("text");
    log().endLine();
    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, GetParam().accepted ? GetParam().level : LEVEL_16);
    EXPECT_EQ(lines[1].level, LEVEL_4) << "a new line starts at level 4";
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelTest,
                         ::testing::Values(LevelCase{1, true}, LevelCase{2, true},
                                           LevelCase{4, true}, LevelCase{8, true},
                                           LevelCase{16, true}, LevelCase{32, true},
                                           LevelCase{0, false}, LevelCase{3, false},
                                           LevelCase{64, false}, LevelCase{255, false},
                                           LevelCase{-1, false}, LevelCase{12, false}));

// --- lines --------------------------------------------------------------------

TEST_F(LogFixture, PiecesAndNumbersMakeOneLineEndedByALineFeed)
{
    log().setLevel(LEVEL_32);
    log().write("[TCPServer] port ");
    log().write(11000);
    log().write(" failed: ");
    log().write(-98LL);
    log().endLine();
    log().write("partial");

    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "[TCPServer] port 11000 failed: -98\n");
    EXPECT_EQ(lines[0].level, LEVEL_32);
    EXPECT_EQ(lines[1].text, "partial") << "the current line is the last entry";
    EXPECT_EQ(lines[1].level, LEVEL_4);
}

TEST_F(LogFixture, WriteLineFinishesThePartOfTheCurrentLineAlreadyWritten)
{
    log().write(">> ");
    log().writeLine(LEVEL_2, "connected");
    log().writeLine("kept level");
    EXPECT_THAT(finishedTexts(), ElementsAre(">> connected", "kept level"));
    const auto lines = log().snapshot();
    EXPECT_EQ(lines[0].level, LEVEL_2);
    EXPECT_EQ(lines[1].level, LEVEL_4);
}

TEST_F(LogFixture, FinishedLinesAreEchoedToStandardErrorWithTheirLevel)
{
    log().setEchoToStderr(true);
    ::testing::internal::CaptureStderr();
    writeLine(LEVEL_16, "[RawDevice] no device");
    log().write("value ");
    log().write(5);
    log().endLine();
    log().write("unfinished");
    const std::string echoed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(echoed, "[16] [RawDevice] no device\n[ 4] value 5\n");
}

TEST_F(LogFixture, ShowReachesTheListenerFromAnyThread)
{
    std::thread([] { show(); }).join();
    EXPECT_EQ(shows(), 1);
}

TEST_F(LogFixture, EveryChangeNotifiesTheListener)
{
    int changes = 0;
    log().setChangedListener([&changes] { ++changes; });
    log().write("a");         // 1
    log().endLine();          // 2
    writeLine(LEVEL_8, "b");  // 3
    log().setLevelMask(2);    // 4
    log().setScrollOffset(1); // 5
    EXPECT_EQ(changes, 5);
}

} // namespace

// What the demo prints about the viewer's answers: a camera dragged for a
// while must not give a line per pose, and no packet may go uncounted.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "client/demo/AnswerTally.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

TEST(AnswerTally, NamesTheFirstPacketOfEachObjectAndCountsTheRest)
{
    AnswerTally tally(5s);
    tally.name(4001, "camera pose");
    const AnswerTally::Clock::time_point t0{};

    EXPECT_EQ(
        tally.received(4001, t0),
        Lines{"the viewer sent a camera pose of object 4001 (more are counted, not printed)"});
    // A drag: 100 poses within a second say nothing.
    for (int i = 1; i <= 100; ++i)
        EXPECT_TRUE(tally.received(4001, t0 + i * 10ms).empty()) << i;
    // Another object is named at once, by what little is known of it.
    EXPECT_EQ(tally.received(7, t0 + 2s),
              Lines{"the viewer sent a packet of object 7 (more are counted, not printed)"});
    EXPECT_TRUE(tally.due(t0 + 6s).empty()) << "the interval runs from the last line";

    // Once the interval has passed, the counts are said, one line per object.
    tally.received(7, t0 + 3s);
    EXPECT_EQ(tally.due(t0 + 7s),
              (Lines{"the viewer sent 1 more packet of object 7 (2 in all)",
                     "the viewer sent 100 more camera poses of object 4001 (101 in all)"}));
    EXPECT_TRUE(tally.due(t0 + 20s).empty()) << "nothing new, nothing said";
}

TEST(AnswerTally, FlushSaysWhatIsLeftAtOnce)
{
    AnswerTally tally(5s);
    const AnswerTally::Clock::time_point t0{};
    tally.received(1, t0);
    tally.received(1, t0 + 1ms);
    tally.received(1, t0 + 2ms);
    EXPECT_EQ(tally.flush(), Lines{"the viewer sent 2 more packets of object 1 (3 in all)"});
    EXPECT_TRUE(tally.flush().empty());
    // After a flush the next packet is counted, not named again.
    EXPECT_TRUE(tally.received(1, t0 + 3ms).empty());
    EXPECT_EQ(tally.flush(), Lines{"the viewer sent 1 more packet of object 1 (4 in all)"});
}

} // namespace

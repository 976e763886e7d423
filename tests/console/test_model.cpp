// The console's model without OSG: the commands typed into it and the
// layout of its lines in rows.

#include "FontStandIn.h"
#include "tests/support/LogFixture.h"

#include "console/ConsoleLayout.h"
#include "console/CustomConsoleHandler.h"

#include <gmock/gmock.h>

using namespace console;
using console_test::LogFixture;
using console_test::rowsPer40;
using ::testing::ElementsAre;

namespace {

// --- commands -------------------------------------------------------------------

struct CommandCase
{
    const char* name;
    const char* command;
    int mask;                  // level mask afterwards
    std::vector<LogLine> said; // lines logged by the handler
    bool noClip;
    bool shown;
};

const std::string kNotFound = "Command not found!\n";
const std::string kTypeHelp = "Type help to list the commands.\n";
const std::string kEnabled =
    "no Clipping mode enabled - rerun simulation for change to take effect\n";
const std::string kDisabled =
    "no Clipping mode disabled - rerun simulation for change to take effect\n";

class CommandTest : public LogFixture, public ::testing::WithParamInterface<CommandCase>
{
};

TEST_P(CommandTest, HandlesTheCommand)
{
    CustomConsoleHandler handler;
    handler.handle(GetParam().command);

    EXPECT_EQ(log().levelMask(), GetParam().mask);
    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), GetParam().said.size() + 1);
    for (std::size_t i = 0; i < GetParam().said.size(); ++i) {
        EXPECT_EQ(lines[i].text.substr(0, GetParam().said[i].text.size()), GetParam().said[i].text);
        EXPECT_EQ(lines[i].level, GetParam().said[i].level) << lines[i].text;
    }
    EXPECT_EQ(handler.noClip(), GetParam().noClip);
    EXPECT_EQ(shows() > 0, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTest,
    ::testing::Values(
        CommandCase{"MaskTwo", "set mask 2", 2, {}, false, false},
        CommandCase{"MaskFF", "set mask ff", 255, {}, false, false},
        CommandCase{"MaskUpperWithPrefix", "set mask 0x3F", 0x3F, {}, false, false},
        CommandCase{"MaskExtraBlanks", "  set   mask   a ", 10, {}, false, false},
        CommandCase{"MaskNotHex", "set mask zz", 255, {{"Invalid mask: zz", 8}}, false, true},
        CommandCase{"MaskNegative", "set mask -1", 255, {{"Invalid mask: -1", 8}}, false, true},
        CommandCase{"MaskTooLarge", "set mask 1ffffffff", 255, {{"Invalid mask", 8}}, false, true},
        CommandCase{"SetAlone", "set", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{
            "MaskMissingValue", "set mask", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{"HelpListsTheCommands",
                    "help",
                    255,
                    {{"Commands:", 4},
                     {"  help", 4},
                     {"  set mask <hex>", 4},
                     {"  set noClip <0|1>", 4},
                     {"F10 hides the console", 4}},
                    false,
                    false},
        CommandCase{
            "HelpWithAWordMore", "help me", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{"Empty", "", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{
            "ExtraWord", "set mask 2 3", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{"WordsAreCaseSensitive",
                    "SET mask 2",
                    255,
                    {{kNotFound, 8}, {kTypeHelp, 8}},
                    false,
                    true},
        CommandCase{
            "UnknownSetting", "set colour 2", 255, {{kNotFound, 8}, {kTypeHelp, 8}}, false, true},
        CommandCase{"NoClipOn", "set noClip 1", 255, {{kEnabled, 4}}, true, false},
        CommandCase{"NoClipAnyNonZero", "set noClip -7", 255, {{kEnabled, 4}}, true, false},
        CommandCase{"NoClipOff", "set noClip 0", 255, {{kDisabled, 4}}, false, false},
        CommandCase{"NoClipNotANumber",
                    "set noClip on",
                    255,
                    {{"Invalid noClip value: on", 8}},
                    false,
                    true},
        CommandCase{"NoClipHexIsNotDecimal",
                    "set noClip 1f",
                    255,
                    {{"Invalid noClip value: 1f", 8}},
                    false,
                    true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LogFixture, NoClipRemembersTheLastValue)
{
    CustomConsoleHandler handler;
    handler.handle("set noClip 1");
    handler.handle("set noClip 0");
    EXPECT_FALSE(handler.noClip());
    EXPECT_THAT(finishedTexts(),
                ElementsAre(console::displayText(kEnabled), console::displayText(kDisabled)));
}

TEST_F(LogFixture, NoClipAnswersAtTheCurrentLinesLevel)
{
    CustomConsoleHandler handler;
    log().setLevel(LEVEL_1);
    handler.handle("set noClip 1");
    EXPECT_EQ(log().snapshot()[0].level, LEVEL_1);
}

// --- layout -----------------------------------------------------------------------

std::vector<LogLine> linesOf(std::initializer_list<LogLine> finished)
{
    std::vector<LogLine> lines;
    for (LogLine line : finished) {
        line.text += '\n';
        lines.push_back(line);
    }
    lines.push_back({}); // the current line
    return lines;
}

TEST(Layout, RowsLieInsideThePanel)
{
    for (int row = 0; row < kRows; ++row) {
        EXPECT_LE(rowY(row), kPanelTop) << row;
        EXPECT_GE(rowY(row) - kCharacterSize, kPanelTop - kPanelHeight) << row;
        if (row > 0) {
            EXPECT_FLOAT_EQ(rowY(row - 1) - rowY(row), (1 + kLineSpacing) * kCharacterSize);
        }
    }
    EXPECT_FLOAT_EQ(kPanelHeight, 165.0f);
}

TEST(Layout, NewestLineAboveThePromptAndWrappedLinesTakeTheirRows)
{
    const auto lines = linesOf({{"oldest", 1}, {std::string(70, 'w'), 2}, {"newest", 8}});
    const RowLayout layout = layoutRows(lines, 0, kAllLevels, rowsPer40);
    ASSERT_EQ(layout.placed.size(), 4u);
    // The empty current line is the newest: it holds the row above the prompt.
    EXPECT_EQ(layout.placed[0].index, 3u);
    EXPECT_EQ(layout.placed[0].firstRow, kPromptRow - 1);
    EXPECT_EQ(layout.placed[1].index, 2u);
    EXPECT_EQ(layout.placed[1].firstRow, kPromptRow - 2);
    EXPECT_EQ(layout.placed[2].index, 1u);
    EXPECT_EQ(layout.placed[2].rowCount, 2);
    EXPECT_EQ(layout.placed[2].firstRow, kPromptRow - 4);
    EXPECT_EQ(layout.placed[3].index, 0u);
    EXPECT_EQ(layout.placed[3].firstRow, kPromptRow - 5);
    EXPECT_FALSE(layout.olderHidden);
}

TEST(Layout, MaskSkipsLinesWithoutACommonBit)
{
    const auto lines = linesOf({{"a", 2}, {"b", 8}, {"c", 2}, {"d", 32}});
    const RowLayout layout = layoutRows(lines, 0, 2, rowsPer40);
    ASSERT_EQ(layout.placed.size(), 2u) << "the current line is level 4 and masked out too";
    EXPECT_EQ(layout.placed[0].index, 2u);
    EXPECT_EQ(layout.placed[0].firstRow, kPromptRow - 1);
    EXPECT_EQ(layout.placed[1].index, 0u);
    EXPECT_EQ(layout.placed[1].firstRow, kPromptRow - 2);
}

TEST(Layout, ALineThatNoLongerFitsEndsTheLayout)
{
    // Eight one-row lines fill rows 1..8; the next needs two rows but one is left.
    std::vector<LogLine> lines = linesOf({{"old", 4}, {std::string(50, 'x'), 4}});
    for (int i = 0; i < 7; ++i)
        lines.insert(lines.end() - 1, LogLine{"line\n", 4});
    const RowLayout layout = layoutRows(lines, 0, kAllLevels, rowsPer40);
    ASSERT_EQ(layout.placed.size(), 8u);
    EXPECT_EQ(layout.placed.back().firstRow, 1);
    EXPECT_EQ(layout.placed.back().index, 2u);
    EXPECT_TRUE(layout.olderHidden);
}

TEST(Layout, OffsetBeyondTheListDrawsNothing)
{
    const auto lines = linesOf({{"a", 4}});
    const RowLayout layout = layoutRows(lines, 5, kAllLevels, rowsPer40);
    EXPECT_TRUE(layout.placed.empty());
    EXPECT_FALSE(layout.olderHidden);
}

TEST(Layout, DisplayTextDropsOnlyTheFinalLineFeed)
{
    EXPECT_EQ(displayText("a\n\n"), "a\n");
    EXPECT_EQ(displayText("a"), "a");
    EXPECT_EQ(displayText(""), "");
}

} // namespace

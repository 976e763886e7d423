// The console's keys, fed as real OSG key events to the event handler of a
// viewer that has no window (nothing is drawn, so no GL is needed), and the
// scroll limits of the keyboard logic.

#include "FontStandIn.h"
#include "tests/support/LogFixture.h"

#include "console/ConsoleHandler.h"
#include "console/ConsoleInput.h"
#include "console/CustomConsoleHandler.h"

#include <gmock/gmock.h>
#include <osgGA/GUIActionAdapter>
#include <osgGA/GUIEventAdapter>
#include <osgViewer/Viewer>

#include <cmath>
#include <regex>
#include <thread>

using namespace console;
using console_test::LogFixture;
using console_test::rowsPer40;
using ::testing::ElementsAre;

namespace {

osg::ref_ptr<osgGA::GUIEventAdapter> event(osgGA::GUIEventAdapter::EventType type, int key = 0)
{
    osg::ref_ptr<osgGA::GUIEventAdapter> ea = new osgGA::GUIEventAdapter;
    ea->setEventType(type);
    ea->setKey(key);
    return ea;
}

class HandlerTest : public LogFixture
{
protected:
    void SetUp() override
    {
        LogFixture::SetUp();
        _console = new ConsoleHandler;
        _console->setCommandHandler(std::make_shared<CustomConsoleHandler>());
        _viewer = new osgViewer::Viewer;
    }

    bool key(int code)
    {
        return _console->handle(*event(osgGA::GUIEventAdapter::KEYDOWN, code), *_viewer);
    }
    void type(const std::string& text)
    {
        for (char c : text)
            key(c);
    }
    void frame() { _console->handle(*event(osgGA::GUIEventAdapter::FRAME), *_viewer); }

    osg::ref_ptr<ConsoleHandler> _console;
    osg::ref_ptr<osgViewer::Viewer> _viewer;
};

TEST_F(HandlerTest, HelpEchoesTheCommandAndListsTheCommands)
{
    key(KEY_F10);
    type("help");
    EXPECT_TRUE(key(KEY_Return));

    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), std::size(kCommandList) + 2);
    EXPECT_EQ(lines[0].text, ">> help\n");
    EXPECT_EQ(lines[0].level, LEVEL_4);
    std::string listed;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        listed += lines[i].text;
    for (const char* command : {"help", "set mask <hex>", "set noClip <0|1>"})
        EXPECT_THAT(listed, ::testing::HasSubstr(command));
    EXPECT_EQ(_console->input(), "");
}

TEST_F(HandlerTest, AMistypedCommandIsNotFoundAndPointsToHelp)
{
    key(KEY_F10);
    type("hlep");
    key(KEY_Return);

    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].text, "Command not found!\n");
    EXPECT_EQ(lines[1].level, LEVEL_8);
    EXPECT_EQ(lines[2].text, "Type help to list the commands.\n");
    EXPECT_EQ(lines[2].level, LEVEL_8);
}

TEST_F(HandlerTest, MaskCommandsTypedAtThePromptFilterTheDrawnLines)
{
    writeLine(LEVEL_2, "two");
    writeLine(LEVEL_32, "thirty-two");
    key(KEY_F10);
    type("set mask 2");
    key(KEY_Return);
    EXPECT_EQ(log().levelMask(), 2);

    auto drawnTexts = [] {
        std::vector<std::string> texts;
        log().withLines([&](const std::vector<LogLine>& lines, int offset, int mask) {
            for (const PlacedLine& placed : layoutRows(lines, offset, mask, rowsPer40).placed)
                texts.emplace_back(displayText(lines[placed.index].text));
        });
        return texts;
    };
    EXPECT_THAT(drawnTexts(), ElementsAre("two"));

    type("set mask ff");
    key(KEY_Return);
    EXPECT_EQ(log().levelMask(), 0xff);
    EXPECT_THAT(drawnTexts(),
                ElementsAre("", ">> set mask ff", ">> set mask 2", "thirty-two", "two"));
}

struct KeyCase
{
    const char* name;
    bool visible;
    int key;
    bool consumed;
    const char* inputAfter; // typed "ab" before
    bool visibleAfter;
};

class KeyTest : public HandlerTest, public ::testing::WithParamInterface<KeyCase>
{
};

TEST_P(KeyTest, KeyDown)
{
    key(KEY_F10);
    type("ab");
    if (!GetParam().visible)
        key(KEY_F10);
    ASSERT_EQ(_console->visible(), GetParam().visible);

    EXPECT_EQ(key(GetParam().key), GetParam().consumed);
    EXPECT_EQ(_console->input(), GetParam().inputAfter);
    EXPECT_EQ(_console->visible(), GetParam().visibleAfter);
    EXPECT_EQ(_console->panelOn(), GetParam().visibleAfter);
    EXPECT_EQ(log().lineCount(), 1u) << "no key but Return writes to the log";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(
        KeyCase{"F10Shows", false, KEY_F10, true, "ab", true},
        KeyCase{"F10Hides", true, KEY_F10, true, "ab", false},
        KeyCase{"HiddenLeavesLetters", false, 'x', false, "ab", false},
        KeyCase{"HiddenLeavesPageUp", false, KEY_Page_Up, false, "ab", false},
        KeyCase{"Letter", true, 'x', true, "abx", true},
        KeyCase{"Digit", true, '7', true, "ab7", true},
        KeyCase{"Blank", true, ' ', true, "ab ", true},
        KeyCase{"Backspace", true, KEY_BackSpace, true, "a", true},
        KeyCase{"Tab", true, KEY_Tab, true, "ab", true},
        KeyCase{"ShiftL", true, KEY_Shift_L, true, "ab", true},
        KeyCase{"ShiftR", true, KEY_Shift_R, true, "ab", true},
        KeyCase{"ControlL", true, KEY_Control_L, true, "ab", true},
        KeyCase{"ControlR", true, KEY_Control_R, true, "ab", true},
        KeyCase{"AltL", true, KEY_Alt_L, true, "ab", true},
        KeyCase{"AltR", true, KEY_Alt_R, true, "ab", true},
        KeyCase{"FunctionKey", true, osgGA::GUIEventAdapter::KEY_F1, true, "ab", true},
        KeyCase{"CursorKey", true, osgGA::GUIEventAdapter::KEY_Left, true, "ab", true},
        KeyCase{"PageDownAtBottom", true, KEY_Page_Down, true, "ab", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(KeyCodes, MatchOsgKeySymbols)
{
    using E = osgGA::GUIEventAdapter;
    EXPECT_EQ(KEY_F10, E::KEY_F10);
    EXPECT_EQ(KEY_Page_Up, E::KEY_Page_Up);
    EXPECT_EQ(KEY_Page_Down, E::KEY_Page_Down);
    EXPECT_EQ(KEY_BackSpace, E::KEY_BackSpace);
    EXPECT_EQ(KEY_Return, E::KEY_Return);
    EXPECT_EQ(KEY_Tab, E::KEY_Tab);
    EXPECT_EQ(KEY_Shift_L, E::KEY_Shift_L);
    EXPECT_EQ(KEY_Alt_R, E::KEY_Alt_R);
}

TEST_F(HandlerTest, BackspaceOnEmptyInputAndReturnOnEmptyInputChangeNothing)
{
    key(KEY_F10);
    EXPECT_TRUE(key(KEY_BackSpace));
    EXPECT_TRUE(key(KEY_Return));
    EXPECT_EQ(_console->input(), "");
    EXPECT_EQ(log().lineCount(), 1u);
}

TEST_F(HandlerTest, EventsAlreadyHandledOrNotKeyDownAreLeftAlone)
{
    osg::ref_ptr<osgGA::GUIEventAdapter> handled = event(osgGA::GUIEventAdapter::KEYDOWN, KEY_F10);
    handled->setHandled(true);
    EXPECT_FALSE(_console->handle(*handled, *_viewer));
    EXPECT_FALSE(_console->handle(*event(osgGA::GUIEventAdapter::KEYUP, KEY_F10), *_viewer));
    EXPECT_FALSE(_console->visible());
}

TEST_F(HandlerTest, EventsFromSomethingOtherThanAViewAreIgnored)
{
    struct NotAView : osgGA::GUIActionAdapter
    {
        void requestRedraw() override {}
        void requestContinuousUpdate(bool) override {}
        void requestWarpPointer(float, float) override {}
    } adapter;
    EXPECT_FALSE(_console->handle(*event(osgGA::GUIEventAdapter::KEYDOWN, KEY_F10), adapter));
    EXPECT_FALSE(_console->visible());
}

TEST_F(HandlerTest, AViewerWithoutWindowLeavesTheConsoleUninitialised)
{
    frame();
    key(KEY_F10);
    EXPECT_FALSE(_console->initialized());
    EXPECT_EQ(_console->camera()->getGraphicsContext(), nullptr);
    EXPECT_EQ(_console->textGeode()->getNumDrawables(), 0u) << "nothing is drawn before";
}

// An error opens the console: what is typed then goes to the prompt shown
// (the statistics key no longer toggles the statistics behind it unseen),
// and one F10 closes it.
TEST_F(HandlerTest, ShowOpensTheConsoleAtTheNextEventAndOneF10ClosesIt)
{
    std::thread([] { show(); }).join();
    EXPECT_FALSE(_console->panelOn()) << "nodes change on the GUI thread only";
    frame();
    EXPECT_TRUE(_console->panelOn());
    EXPECT_TRUE(_console->visible());
    EXPECT_TRUE(key('s')) << "a letter goes to the prompt, not to the 3D view";
    EXPECT_EQ(_console->input(), "s");
    EXPECT_TRUE(key(KEY_F10));
    EXPECT_FALSE(_console->visible());
    EXPECT_FALSE(_console->panelOn());
    EXPECT_FALSE(key('s')) << "keys pass again once it is closed";
}

// Relative luminance and contrast ratio as the web's accessibility rules
// define them; 4.5 is their minimum for ordinary text.
double luminance(const osg::Vec4& colour)
{
    auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.r()) + 0.7152 * linear(colour.g()) + 0.0722 * linear(colour.b());
}

double contrast(const osg::Vec4& a, const osg::Vec4& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(LevelColours, LinesAreReadableOnThePanelOverTheDefaultBackground)
{
    // The default background (0, 0, 128) under the panel's 30 % black.
    const osg::Vec4 panel(0.0f, 0.0f, 0.7f * 128.0f / 255.0f, 1.0f);
    for (int level : {LEVEL_1, LEVEL_2, LEVEL_4, LEVEL_8, LEVEL_32})
        EXPECT_GE(contrast(levelColour(level), panel), 4.5) << "level " << level;
}

TEST_F(HandlerTest, TheConsoleFontIsTheInstalledLiberationMono)
{
    EXPECT_THAT(_console->font()->getFileName(), ::testing::HasSubstr("LiberationMono-Regular"));
}

TEST_F(HandlerTest, RowsAreMeasuredWithTheConsoleFont)
{
    const int one = _console->rowsOf("[TCPServer] Listening on port 11000");
    EXPECT_EQ(one, 1);
    EXPECT_EQ(_console->rowsOf("first\nsecond\nthird"), 3);
    // A monospaced font: three times the width of a full row needs three rows.
    std::string wide;
    while (_console->rowsOf(wide + "x") == 1)
        wide += "x";
    EXPECT_GT(wide.size(), 60u);
    EXPECT_EQ(_console->rowsOf(wide + wide + wide), 3);
    EXPECT_EQ(_console->rowsOf(wide + wide + wide + "x"), 4);
    EXPECT_EQ(_console->rowsOf(std::string(20000, 'z')), kLogRows) << "capped to the log rows";
}

// --- scrolling --------------------------------------------------------------------

class ScrollTest : public LogFixture
{
protected:
    void SetUp() override
    {
        LogFixture::SetUp();
        _input.keyDown(KEY_F10, rowsPer40);
    }
    void pageUp(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            _input.keyDown(KEY_Page_Up, rowsPer40);
    }
    static RowLayout layoutAt(int offset)
    {
        RowLayout layout;
        log().withLines([&](const std::vector<LogLine>& lines, int, int mask) {
            layout = layoutRows(lines, offset, mask, rowsPer40);
        });
        return layout;
    }
    static bool oldestDrawn(const RowLayout& layout)
    {
        return !layout.placed.empty() && layout.placed.back().index == 0;
    }
    ConsoleInput _input;
};

TEST_F(ScrollTest, PageUpStopsWhenTheOldestLineReachesTheTopRow)
{
    for (int i = 0; i < 30; ++i)
        writeLine(LEVEL_4, "line " + std::to_string(i));
    pageUp(100);
    const int limit = log().scrollOffset();
    EXPECT_GT(limit, 0);
    const RowLayout top = layoutAt(limit);
    ASSERT_TRUE(oldestDrawn(top));
    EXPECT_EQ(top.placed.back().firstRow, 0);
    EXPECT_EQ(top.placed.size(), static_cast<std::size_t>(kLogRows));
    EXPECT_FALSE(oldestDrawn(layoutAt(limit - 1)));
}

TEST_F(ScrollTest, WrappedLinesReachTheLimitSooner)
{
    for (int i = 0; i < 30; ++i)
        writeLine(LEVEL_4, std::string(100, 'a' + i % 26)); // three rows each
    pageUp(100);
    const int wrappedLimit = log().scrollOffset();
    EXPECT_TRUE(oldestDrawn(layoutAt(wrappedLimit)));
    EXPECT_FALSE(oldestDrawn(layoutAt(wrappedLimit - 1)));
    EXPECT_EQ(layoutAt(wrappedLimit).placed.size(), 3u);
}

TEST_F(ScrollTest, MaskedLinesDoNotCountTowardsTheLimit)
{
    for (int i = 0; i < 40; ++i)
        writeLine(i % 2 ? LEVEL_2 : LEVEL_32, "line " + std::to_string(i));
    log().setLevelMask(LEVEL_2);
    pageUp(100);
    const RowLayout top = layoutAt(log().scrollOffset());
    ASSERT_FALSE(top.placed.empty());
    EXPECT_EQ(top.placed.back().index, 1u) << "the oldest level-2 line";
    EXPECT_EQ(top.placed.back().firstRow, 0);
}

TEST_F(ScrollTest, FewLinesDoNotScroll)
{
    for (int i = 0; i < 5; ++i)
        writeLine(LEVEL_4, "line");
    pageUp();
    EXPECT_EQ(log().scrollOffset(), 0);
}

TEST_F(ScrollTest, PageDownStopsAtTheNewestLine)
{
    for (int i = 0; i < 30; ++i)
        writeLine(LEVEL_4, "line");
    pageUp(3);
    ASSERT_EQ(log().scrollOffset(), 3);
    for (int i = 0; i < 5; ++i)
        _input.keyDown(KEY_Page_Down, rowsPer40);
    EXPECT_EQ(log().scrollOffset(), 0);
}

TEST_F(ScrollTest, NewTextScrollsBackToTheNewestLine)
{
    for (int i = 0; i < 30; ++i)
        writeLine(LEVEL_4, "line");
    pageUp(4);
    log().write("piece");
    EXPECT_EQ(log().scrollOffset(), 0);
    pageUp(4);
    std::thread([] { writeLine(LEVEL_16, "from another thread"); }).join();
    EXPECT_EQ(log().scrollOffset(), 0);
}

// --- threads ----------------------------------------------------------------------

TEST_F(HandlerTest, WritersOnSeveralThreadsKeepEveryLineWholeAndInOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 3000;
    const int levels[] = {LEVEL_1, LEVEL_2, LEVEL_8, LEVEL_16, LEVEL_32};
    key(KEY_F10);

    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t, &levels] {
            for (int i = 0; i < kLinesEach; ++i)
                writeLine(levels[i % 5], "[T" + std::to_string(t) + "] " + std::to_string(i));
        });
    std::thread shower([&done] {
        while (!done)
            show();
    });
    // Meanwhile the GUI thread delivers frames and scrolls.
    for (int i = 0; i < 2000; ++i) {
        frame();
        key(i % 2 ? KEY_Page_Up : KEY_Page_Down);
    }
    for (std::thread& writer : writers)
        writer.join();
    done = true;
    shower.join();

    const auto lines = log().snapshot();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach + 1));
    std::vector<int> next(kThreads, 0);
    const std::regex shape(R"(\[T(\d)\] (\d+)\n)");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i].text, match, shape)) << lines[i].text;
        const int thread = std::stoi(match[1]);
        const int number = std::stoi(match[2]);
        ASSERT_EQ(number, next[thread]) << "thread " << thread << " out of order";
        ASSERT_EQ(lines[i].level, levels[number % 5]) << lines[i].text;
        ++next[thread];
    }
    EXPECT_TRUE(_console->panelOn());
}

} // namespace

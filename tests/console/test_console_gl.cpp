// The console drawn by a plain OSG viewer in a window on the (virtual) X
// display: pixels are read back before every buffer swap and compared with
// the background, the panel's translucent black and the level colours.

#include "tests/support/LogFixture.h"

#include "console/ConsoleHandler.h"
#include "console/CustomConsoleHandler.h"
#include "tests/support/GlErrorCollector.h"
#include "tests/support/Pictures.h"

#include <osg/GraphicsContext>
#include <osg/Group>
#include <osg/Image>
#include <osgDB/WriteFile>
#include <osgText/Text>
#include <osgViewer/Viewer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using namespace console;
using console_test::LogFixture;
using testsupport::Rgb;
using testsupport::rgbOfColour;

namespace {

constexpr int kSize = 1000; // window pixels map one to one onto the console's space
const osg::Vec4 kBackground(0.5f, 0.5f, 0.5f, 1.0f);

// Reads the back buffer when every camera has drawn, just before the swap.
class Grab : public osg::GraphicsContext::SwapCallback
{
public:
    Grab(testsupport::GlErrorCollector& errors) : _errors(errors) {}
    void swapBuffersImplementation(osg::GraphicsContext* gc) override
    {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->readPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE);
        if (gc->getState()->checkGLErrors("reading the frame back"))
            _errors.add("OpenGL error while reading the frame back");
        {
            std::lock_guard lock(_mutex);
            _image = image;
        }
        gc->swapBuffersImplementation();
    }
    osg::ref_ptr<osg::Image> image() const
    {
        std::lock_guard lock(_mutex);
        return _image;
    }

private:
    testsupport::GlErrorCollector& _errors;
    mutable std::mutex _mutex;
    osg::ref_ptr<osg::Image> _image;
};

// xvfb-run's server starts over when its last client goes away, and a
// window opened in that moment fails; a context held for the whole run
// keeps the display up between tests.
class KeepDisplay : public ::testing::Environment
{
public:
    void SetUp() override
    {
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        traits->width = 1;
        traits->height = 1;
        traits->pbuffer = true;
        _gc = osg::GraphicsContext::createGraphicsContext(traits.get());
    }
    void TearDown() override { _gc = nullptr; }

private:
    osg::ref_ptr<osg::GraphicsContext> _gc;
};

[[maybe_unused]] ::testing::Environment* const keepDisplay =
    ::testing::AddGlobalTestEnvironment(new KeepDisplay);

class ConsoleGl : public LogFixture
{
protected:
    void SetUp() override
    {
        LogFixture::SetUp();
        _errors = &testsupport::glErrorCollector();
        _errors->clear();

        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        traits->x = 0;
        traits->y = 0;
        traits->width = kSize;
        traits->height = kSize;
        traits->windowDecoration = false;
        traits->doubleBuffer = true;
        osg::ref_ptr<osg::GraphicsContext> gc =
            osg::GraphicsContext::createGraphicsContext(traits.get());
        ASSERT_TRUE(gc.valid()) << "no window on the X display (run under xvfb-run)";
        _grab = new Grab(*_errors);
        gc->setSwapCallback(_grab.get());
        gc->getState()->setCheckForGLErrors(osg::State::ONCE_PER_ATTRIBUTE);

        _viewer = new osgViewer::Viewer;
        _viewer->setThreadingModel(osgViewer::Viewer::SingleThreaded);
        osg::Camera* camera = _viewer->getCamera();
        camera->setGraphicsContext(gc.get());
        camera->setViewport(0, 0, kSize, kSize);
        camera->setClearColor(kBackground);
        _viewer->setSceneData(new osg::Group);

        _console = new ConsoleHandler;
        _console->setCommandHandler(std::make_shared<CustomConsoleHandler>());
        _viewer->addEventHandler(_console.get());
    }

    void TearDown() override
    {
        _viewer = nullptr;
        _console = nullptr;
        LogFixture::TearDown();
    }

    void frames(int count = 2)
    {
        for (int i = 0; i < count; ++i)
            _viewer->frame();
    }
    void press(int key) { _viewer->getEventQueue()->keyPress(key); }

    osg::ref_ptr<osg::Image> image() const
    {
        osg::ref_ptr<osg::Image> grabbed = _grab->image();
        EXPECT_TRUE(grabbed.valid()) << "no frame was drawn";
        return grabbed;
    }

    // (x, y) from the bottom-left corner, as the console's space counts.
    static Rgb pixel(const osg::Image& image, int x, int y)
    {
        return testsupport::pixel(image, x, y, false);
    }

    // Pixels within `tolerance` of the colour in the rectangle [x0, x1) x [y0, y1).
    static int countNear(const osg::Image& image, Rgb colour, int x0, int y0, int x1, int y1,
                         int tolerance)
    {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                if (testsupport::near(pixel(image, x, y), colour, tolerance))
                    ++count;
            }
        return count;
    }

    static int pixelsUnlike(const osg::Image& image, Rgb colour)
    {
        return kSize * kSize - countNear(image, colour, 0, 0, kSize, kSize, 0);
    }

    // Text pixels by hue. Glyph stems are about a pixel wide and mixed with
    // their drop shadow, so they seldom reach the pure level colour, but they
    // keep its hue: a clearly dominant red, green or blue channel, or a light
    // neutral grey for white. Levels 1 and 2 are both green; level 2 is the
    // brighter one.
    enum Hue
    {
        None,
        Red,
        Green,
        Blue,
        White,
        HueCount
    };

    static Hue hueOf(Rgb p)
    {
        const int low = std::min({p.r, p.g, p.b});
        const int high = std::max({p.r, p.g, p.b});
        if (p.r - std::max(p.g, p.b) >= 40)
            return Red;
        if (p.g - std::max(p.r, p.b) >= 40)
            return Green;
        if (p.b - std::max(p.r, p.g) >= 40)
            return Blue;
        return low >= 150 && high - low < 30 ? White : None;
    }

    static Hue hueOfLevel(int level) { return hueOf(rgbOfColour(levelColour(level))); }

    struct RowPixels
    {
        std::array<int, HueCount> count{};
        int greenest = 0; // largest lead of green over the other channels

        int of(Hue hue) const { return count[hue]; }
        int total() const { return count[Red] + count[Green] + count[Blue] + count[White]; }
    };

    // The text pixels in the band of a row.
    static RowPixels rowPixels(const osg::Image& image, int row)
    {
        RowPixels pixels;
        const int top = static_cast<int>(rowY(row));
        const int bottom = static_cast<int>(rowY(row) - (1 + kLineSpacing) * kCharacterSize) + 1;
        for (int y = bottom; y < top; ++y)
            for (int x = static_cast<int>(kPanelLeft); x < kPanelLeft + kPanelWidth; ++x) {
                const Rgb p = pixel(image, x, y);
                const Hue hue = hueOf(p);
                ++pixels.count[hue];
                if (hue == Green)
                    pixels.greenest = std::max(pixels.greenest, p.g - std::max(p.r, p.b));
            }
        return pixels;
    }

    // Pixels of the level's hue in the band of a row.
    static int inRow(const osg::Image& image, int row, int level)
    {
        return rowPixels(image, row).of(hueOfLevel(level));
    }

    // The background under the panel: 70 % of it shows through the black.
    static Rgb panelGrey()
    {
        const Rgb grey = rgbOfColour(kBackground);
        return {grey.r * 7 / 10, grey.g * 7 / 10, grey.b * 7 / 10};
    }

    void expectNoGlErrors() const
    {
        for (const std::string& error : _errors->errors())
            ADD_FAILURE() << error;
    }

    testsupport::GlErrorCollector* _errors = nullptr;
    osg::ref_ptr<Grab> _grab;
    osg::ref_ptr<osgViewer::Viewer> _viewer;
    osg::ref_ptr<ConsoleHandler> _console;
};

const Rgb kGrey = rgbOfColour(kBackground);

TEST_F(ConsoleGl, ShownConsoleDarkensThePanelAndDrawsEachLevelInItsColourAndRow)
{
    writeLine(LEVEL_1, "[RawDevice] level one: device list read");
    writeLine(LEVEL_2, "[TCPServer] level two: connection established");
    writeLine(LEVEL_8, "[FileManager] level eight: loading model");
    writeLine(LEVEL_32, "[TCPServer] level thirty-two: Connection reset by peer.");
    writeLine(LEVEL_4, "[ReplayManager] level four: replay ready");
    frames(1);
    ASSERT_TRUE(_console->initialized());
    press(KEY_F10);
    for (char c : std::string("set"))
        press(c);
    frames();
    ASSERT_TRUE(_console->visible());
    osg::ref_ptr<osg::Image> shot = image();
    ASSERT_TRUE(shot.valid());
    osgDB::writeImageFile(*shot, "console_shown.png");

    // Outside the panel the background is untouched (the prompt's drop
    // shadow may reach a pixel or two below the panel's edge).
    const int panelBottom = static_cast<int>(kPanelTop - kPanelHeight);
    EXPECT_EQ(countNear(*shot, kGrey, 0, 0, kSize, panelBottom - 3, 0), kSize * (panelBottom - 3));
    EXPECT_EQ(countNear(*shot, kGrey, 0, 991, kSize, kSize, 0), kSize * 9);
    EXPECT_EQ(countNear(*shot, kGrey, 0, panelBottom, 9, 990, 0), 9 * (990 - panelBottom));
    EXPECT_EQ(countNear(*shot, kGrey, 991, panelBottom, kSize, 990, 0),
              (kSize - 991) * (990 - panelBottom));

    // Inside it, the three empty rows at the top show the darkened background only.
    const int emptyBottom = static_cast<int>(rowY(3)) + 2;
    EXPECT_EQ(countNear(*shot, panelGrey(), 11, emptyBottom, 989, 989, 1),
              (989 - 11) * (989 - emptyBottom))
        << "the translucent panel is missing";

    // Each line in its own row and colour: newest (the empty current line)
    // above the prompt.
    struct Expect
    {
        int row, level;
    };
    for (const Expect& e : {Expect{3, LEVEL_1}, Expect{4, LEVEL_2}, Expect{5, LEVEL_8},
                            Expect{6, LEVEL_32}, Expect{7, LEVEL_4}, Expect{kPromptRow, LEVEL_4}}) {
        const RowPixels counts = rowPixels(*shot, e.row);
        const int own = counts.of(hueOfLevel(e.level));
        EXPECT_GT(own, 50) << "row " << e.row << " level " << e.level;
        EXPECT_EQ(counts.total(), own) << "row " << e.row << " shows another level's colour";
    }
    // Level 2's green leads the other channels by up to 255, level 1's by 127.
    EXPECT_LT(rowPixels(*shot, 3).greenest, 135);
    EXPECT_GT(rowPixels(*shot, 4).greenest, 150);
    for (int row : {0, 1, 2, 8})
        EXPECT_EQ(rowPixels(*shot, row).total(), 0) << "row " << row << " should be empty";

    // The texts behind those pixels.
    const osg::Geode* texts = _console->textGeode();
    ASSERT_EQ(texts->getNumDrawables(), 7u);
    const auto* prompt = dynamic_cast<const osgText::Text*>(texts->getDrawable(6));
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->getText().createUTF8EncodedString(), "|> set");
    const auto* newest = dynamic_cast<const osgText::Text*>(texts->getDrawable(1));
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->getText().createUTF8EncodedString(),
              "[ReplayManager] level four: replay ready");
    expectNoGlErrors();
}

TEST_F(ConsoleGl, HiddenConsoleDrawsNothing)
{
    writeLine(LEVEL_32, "an error nobody asked to see");
    frames();
    ASSERT_TRUE(_console->initialized());
    osg::ref_ptr<osg::Image> shot = image();
    ASSERT_TRUE(shot.valid());
    EXPECT_EQ(pixelsUnlike(*shot, kGrey), 0);

    press(KEY_F10);
    frames();
    EXPECT_GT(pixelsUnlike(*image(), kGrey), 1000) << "shown in between";
    press(KEY_F10);
    frames();
    EXPECT_EQ(pixelsUnlike(*image(), kGrey), 0) << "hidden again";
    expectNoGlErrors();
}

TEST_F(ConsoleGl, ShowFromAnotherThreadOpensTheConsole)
{
    frames();
    std::thread([] {
        writeLine(LEVEL_32, "[TCPServer] Cannot listen on port 11000");
        show();
    }).join();
    frames();
    EXPECT_TRUE(_console->visible());
    osg::ref_ptr<osg::Image> shot = image();
    ASSERT_TRUE(shot.valid());
    EXPECT_GT(inRow(*shot, kPromptRow - 2, LEVEL_32), 10);
    expectNoGlErrors();
}

TEST_F(ConsoleGl, ScrollingMovesTheOldLinesDown)
{
    for (int i = 0; i < 20; ++i)
        writeLine(i == 0 ? LEVEL_32 : LEVEL_2, "line " + std::to_string(i));
    frames(1);
    press(KEY_F10);
    frames();
    EXPECT_EQ(inRow(*image(), 0, LEVEL_32), 0) << "the oldest line is scrolled out";
    for (int i = 0; i < 30; ++i)
        press(KEY_Page_Up);
    frames();
    EXPECT_GT(inRow(*image(), 0, LEVEL_32), 10) << "scrolled up, the oldest line is on top";
    writeLine(LEVEL_8, "new text");
    frames();
    EXPECT_EQ(log().scrollOffset(), 0);
    EXPECT_GT(inRow(*image(), kPromptRow - 2, LEVEL_8), 10) << "new text scrolls back";
    expectNoGlErrors();
}

TEST_F(ConsoleGl, ThreadedViewerRedrawsWhileOtherThreadsWrite)
{
    _viewer->setThreadingModel(osgViewer::Viewer::DrawThreadPerContext);
    frames(1);
    ASSERT_TRUE(_viewer->areThreadsRunning());
    press(KEY_F10);
    frames();
    std::atomic<int> running{3};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([t, &running] {
            for (int i = 0; i < 2000; ++i)
                writeLine(LEVEL_2, "writer " + std::to_string(t) + " line " + std::to_string(i));
            --running;
        });
    for (int i = 0; i < 5 || running > 0; ++i)
        _viewer->frame();
    for (std::thread& writer : writers)
        writer.join();
    writeLine(LEVEL_32, "the last line");
    frames();
    _viewer->stopThreading(); // the draw thread has finished the last frame

    ASSERT_EQ(_console->textGeode()->getNumDrawables(), 1u + kLogRows);
    const auto* newest = dynamic_cast<const osgText::Text*>(_console->textGeode()->getDrawable(1));
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->getText().createUTF8EncodedString(), "the last line");
    EXPECT_GT(inRow(*image(), kPromptRow - 2, LEVEL_32), 10);
    EXPECT_GT(inRow(*image(), kPromptRow - 3, LEVEL_2), 10);
    expectNoGlErrors();
}

// Counts how often a drawable is drawn, drawing it as usual.
class CountDraws : public osg::Drawable::DrawCallback
{
public:
    explicit CountDraws(std::atomic<int>& count) : _count(count) {}
    void drawImplementation(osg::RenderInfo& info, const osg::Drawable* drawable) const override
    {
        ++_count;
        drawable->drawImplementation(info);
    }

private:
    std::atomic<int>& _count;
};

// The console shown with a line that does not change (a program that
// cannot listen shows its retry line for as long as it runs) is not drawn
// again frame after frame: what it shows stays on screen without its texts
// being built or drawn again.
TEST_F(ConsoleGl, UnchangedLogIsNotDrawnAgain)
{
    writeLine(LEVEL_32, "[TCPServer] Cannot listen on port 11000: bind failed: Address already "
                        "in use. Retrying every 2 seconds.");
    show();
    frames(3);
    const osg::Geode* texts = _console->textGeode();
    ASSERT_GT(texts->getNumDrawables(), 0u);
    std::atomic<int> draws{0};
    std::vector<osg::ref_ptr<const osg::Drawable>> built;
    for (unsigned int i = 0; i < texts->getNumDrawables(); ++i) {
        auto* text = const_cast<osg::Drawable*>(texts->getDrawable(i));
        text->setDrawCallback(new CountDraws(draws));
        built.emplace_back(text);
    }

    frames(20);
    EXPECT_EQ(draws.load(), 0) << "the texts were drawn again in frames where nothing changed";
    ASSERT_EQ(texts->getNumDrawables(), built.size());
    for (unsigned int i = 0; i < texts->getNumDrawables(); ++i)
        EXPECT_EQ(texts->getDrawable(i), built[i].get()) << "text " << i << " was built again";
    osg::ref_ptr<osg::Image> shot = image();
    ASSERT_TRUE(shot.valid());
    EXPECT_GT(inRow(*shot, kPromptRow - 2, LEVEL_32), 10) << "the line is still shown";
    EXPECT_EQ(countNear(*shot, panelGrey(), 11, static_cast<int>(rowY(3)) + 2, 989, 989, 1),
              (989 - 11) * (989 - static_cast<int>(rowY(3)) - 2))
        << "the panel is still shown";

    // A change is drawn at once.
    writeLine(LEVEL_8, "[TCPServer] Listening on port 11000");
    frames(1);
    shot = image();
    EXPECT_GT(inRow(*shot, kPromptRow - 2, LEVEL_8), 10);
    EXPECT_GT(inRow(*shot, kPromptRow - 3, LEVEL_32), 10);
    expectNoGlErrors();
}

// The image has one texel per pixel of the panel: when the window's size
// changes, it is sized anew and drawn again, though the text is the same.
TEST_F(ConsoleGl, ImageFollowsTheWindowSize)
{
    writeLine(LEVEL_32, "[TCPServer] Cannot listen on port 11000");
    show();
    frames(2);
    ASSERT_EQ(_console->image()->getTextureWidth(), 980);
    ASSERT_EQ(_console->image()->getTextureHeight(), 165);
    EXPECT_FALSE(_console->imageDrawPending());

    // What the window does on a resize: the console camera's viewport follows.
    _console->camera()->setViewport(0, 0, kSize / 2, kSize / 2);
    frames(1);
    EXPECT_EQ(_console->image()->getTextureWidth(), 490);
    EXPECT_EQ(_console->image()->getTextureHeight(), 83);
    osg::ref_ptr<osg::Image> shot = image();
    ASSERT_TRUE(shot.valid());
    // The line, drawn again at half size in the lower left quarter.
    int red = 0;
    const int top = static_cast<int>(rowY(kPromptRow - 2)) / 2;
    for (int y = top - 12; y < top; ++y)
        for (int x = 5; x < kSize / 2; ++x)
            red += hueOf(pixel(*shot, x, y)) == Red;
    EXPECT_GT(red, 10);
    EXPECT_EQ(inRow(*shot, kPromptRow - 2, LEVEL_32), 0) << "nothing left at full size";
    frames(1);
    EXPECT_FALSE(_console->imageDrawPending());
    expectNoGlErrors();
}

} // namespace

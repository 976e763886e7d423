// Lights and texts drawn by the real viewer in a main window on the X
// display: a red light turns a white box red, a second light adds to it and
// goes out with its object, a text label draws over the background, and
// clearing the views numbers lights from 0 again. Every picture is kept
// under pictures/ for a person to look at; no OpenGL error may occur.
//   xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gl -R TextLight

#include <QMainWindow>
#include <QSize>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <osg/Group>
#include <osg/StateSet>

#include "objects/VisBaseObject.h"
#include "objects/VisLightObject.h"
#include "objects/VisTextObject.h"
#include "scene/LightNumbers.h"
#include "TextLightTestSupport.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"
#include "view/ViewParameters.h"

using namespace textlight;
using namespace testsupport;

namespace {

constexpr int WIDTH = 400;
constexpr int HEIGHT = 300;
const Rgb BACKGROUND = rgbOf(0, 0, 255);

bool isRed(const Rgb& c)
{
    return c.r > 120 && c.g * 4 <= c.r && c.b * 4 <= c.r;
}

bool isYellow(const Rgb& c)
{
    return c.r > 120 && c.g > 120 && std::abs(c.r - c.g) < 40 && c.b * 4 <= c.r;
}

// Lit about evenly in all three channels.
bool isGrey(const Rgb& c)
{
    return c.r > 100 && std::abs(c.r - c.g) < 20 && std::abs(c.r - c.b) < 20;
}

class TextLightGlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _sceneRoot = new osg::Group;
        // The scene root's switches as the main window sets them.
        osg::StateSet* state = _sceneRoot->getOrCreateStateSet();
        state->setMode(GL_LIGHTING, osg::StateAttribute::ON);
        for (int light = 0; light < LightNumbers::LIGHT_COUNT; ++light)
            state->setMode(GLenum(GL_LIGHT0 + light), osg::StateAttribute::ON);
        _hudRoot = new osg::Group;
        _harness = std::make_unique<ViewerHarness>(Embedding::GLWidget, QSize(WIDTH, HEIGHT),
                                                   _sceneRoot.get(), _hudRoot.get());
        ASSERT_TRUE(_harness->exposed());
        LightNumbers::reset();

        // One view over the whole window, blue, looking along +y at the origin.
        auto packet = viewPacket(1, {0, 0, 255}, {0.f, 0.f}, {1.f, 1.f});
        packet->setIntVector(item::view::CameraControl, {view::LOOK_AT});
        setVec3(*packet, item::view::Eye, {0.f, -6.f, 0.f});
        setVec3(*packet, item::view::Centre, {0.f, 0.f, 0.f});
        setVec3(*packet, item::view::Up, {0.f, 0.f, 1.f});
        ASSERT_TRUE(_harness->create(*packet));
    }

    void TearDown() override
    {
        _sceneRoot->removeChildren(0, _sceneRoot->getNumChildren());
        _harness.reset();
        LightNumbers::reset();
        expectNoGlErrors();
    }

    // A scene object hung under the scene root and given its first packet.
    template <typename T> osg::ref_ptr<T> add(const Items& items)
    {
        osg::ref_ptr<T> object = new T(ObjectContext{});
        _sceneRoot->addChild(object.get());
        deliver(*object, items, true);
        EXPECT_TRUE(object->isInitialized());
        return object;
    }

    osg::ref_ptr<VisBaseObject> whiteBox()
    {
        Items box;
        box.ints[item::shape::ShapeKind] = {VisBaseObject::KIND_BOX};
        box.floats[item::placement::Scale] = {2.f, 2.f, 2.f};
        box.ints[item::appearance::Colour] = {255, 255, 255};
        return add<VisBaseObject>(box);
    }

    // A positional light between the camera and the box, with only a diffuse colour.
    osg::ref_ptr<VisLightObject> light(std::array<int, 3> diffuse)
    {
        Items items;
        items.ints[item::light::Directional] = {0};
        items.ints[item::light::Ambient] = {0, 0, 0};
        items.ints[item::light::Diffuse] = {diffuse[0], diffuse[1], diffuse[2]};
        items.ints[item::light::Specular] = {0, 0, 0};
        items.floats[item::placement::Position] = {0.f, -4.f, 0.f};
        return add<VisLightObject>(items);
    }

    // The picture after a few frames, kept under `name`.
    osg::ref_ptr<osg::Image> picture(const std::string& name)
    {
        _harness->settle(3);
        osg::ref_ptr<osg::Image> image = _harness->manager().grabWindowImage();
        EXPECT_TRUE(image.valid());
        if (image) {
            EXPECT_EQ(image->s(), WIDTH);
            EXPECT_EQ(image->t(), HEIGHT);
            keepPicture(*image, "TextLight_" + name);
        }
        return image;
    }

    static Rgb centre(const osg::Image& image)
    {
        return pixel(image, image.s() / 2, image.t() / 2, true);
    }

    static int count(const osg::Image& image, const std::function<bool(const Rgb&)>& test)
    {
        int found = 0;
        for (int y = 0; y < image.t(); ++y)
            for (int x = 0; x < image.s(); ++x)
                found += test(pixel(image, x, y, true)) ? 1 : 0;
        return found;
    }

    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    std::unique_ptr<ViewerHarness> _harness;
};

TEST_F(TextLightGlTest, RedLightTurnsAWhiteBoxRed)
{
    osg::ref_ptr<VisBaseObject> box = whiteBox();
    osg::ref_ptr<osg::Image> headLit = picture("box_head_light");
    ASSERT_TRUE(headLit);
    EXPECT_TRUE(isGrey(centre(*headLit))) << text(centre(*headLit));
    EXPECT_TRUE(near(pixel(*headLit, 5, 5, true), BACKGROUND)) << text(pixel(*headLit, 5, 5, true));

    // The first light after a reset is light 0: it takes the head light's place.
    osg::ref_ptr<VisLightObject> red = light({255, 0, 0});
    ASSERT_EQ(red->lightNumber(), 0);
    osg::ref_ptr<osg::Image> redLit = picture("box_red_light");
    ASSERT_TRUE(redLit);
    EXPECT_TRUE(isRed(centre(*redLit))) << text(centre(*redLit));
    EXPECT_TRUE(near(pixel(*redLit, 5, 5, true), BACKGROUND));
}

TEST_F(TextLightGlTest, SecondLightAddsItsColourAndGoesOutWithItsObject)
{
    osg::ref_ptr<VisBaseObject> box = whiteBox();
    osg::ref_ptr<VisLightObject> red = light({255, 0, 0});
    osg::ref_ptr<VisLightObject> green = light({0, 255, 0});
    ASSERT_EQ(green->lightNumber(), 1);
    osg::ref_ptr<osg::Image> both = picture("box_red_and_green");
    ASSERT_TRUE(both);
    EXPECT_TRUE(isYellow(centre(*both))) << text(centre(*both));

    _sceneRoot->removeChild(green.get());
    green = nullptr; // destroyed: GL_LIGHT1 is switched off in the scene root
    EXPECT_EQ(_sceneRoot->getStateSet()->getMode(GL_LIGHT1), osg::StateAttribute::OFF);
    osg::ref_ptr<osg::Image> redOnly = picture("box_green_gone");
    ASSERT_TRUE(redOnly);
    EXPECT_TRUE(isRed(centre(*redOnly))) << text(centre(*redOnly));
}

TEST_F(TextLightGlTest, LightValuesOpenGlWouldRefuseDrawWithoutErrors)
{
    osg::ref_ptr<VisBaseObject> box = whiteBox();
    osg::ref_ptr<VisLightObject> red = light({255, 0, 0});
    Items bad;
    bad.floats[item::light::SpotCutoff] = {120.f};
    bad.floats[item::light::LinearAttenuation] = {-1.f};
    deliver(*red, bad, false);
    osg::ref_ptr<osg::Image> image = picture("box_odd_light_values");
    ASSERT_TRUE(image);
    // No cone and no attenuation: lit as before.
    EXPECT_TRUE(isRed(centre(*image))) << text(centre(*image));
    // TearDown fails the test on any OpenGL error.
}

TEST_F(TextLightGlTest, TextLabelDrawsOverTheBackground)
{
    const auto isLabel = [](const Rgb& c) { return isYellow(c); };
    osg::ref_ptr<osg::Image> empty = picture("no_text");
    ASSERT_TRUE(empty);
    EXPECT_EQ(count(*empty, isLabel), 0);

    Items label;
    label.strings[item::text::Font] = "arial.ttf";
    label.strings[item::text::Text] = "Speed ";
    label.ints[item::text::ShowValue] = {1};
    label.floats[item::text::Value] = {2.5f};
    label.ints[item::text::Alignment] = {0};
    label.ints[item::appearance::Colour] = {255, 255, 0};
    label.floats[item::appearance::Opacity] = {1.f};
    label.floats[item::text::Height] = {0.6f};
    label.floats[item::placement::Position] = {-1.5f, 0.f, -0.2f};
    osg::ref_ptr<VisTextObject> object = add<VisTextObject>(label);

    osg::ref_ptr<osg::Image> shown = picture("text");
    ASSERT_TRUE(shown);
    const int labelPixels = count(*shown, isLabel);
    EXPECT_GT(labelPixels, 300);
    // Glyphs, not a filled block: most of the label's box stays background.
    EXPECT_LT(labelPixels, WIDTH * HEIGHT / 10);
}

TEST_F(TextLightGlTest, ClearingTheViewsNumbersLightsFromZeroAgain)
{
    light({255, 255, 255});
    light({255, 255, 255});
    osg::ref_ptr<VisLightObject> third = light({255, 255, 255});
    ASSERT_EQ(third->lightNumber(), 2);

    _harness->manager().resetViews();
    EXPECT_EQ(LightNumbers::issued(), 0u);
    EXPECT_EQ(light({255, 255, 255})->lightNumber(), 0);
}

} // namespace

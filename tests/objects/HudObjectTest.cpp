// The head-up display without a window: every element kind built from its
// packets, the present/changed rules, the graph's scrolling on a clock the
// test sets, the bar's fill factor, the failure reports, and the pick
// handler fed with made-up pointer events over a HUD camera's space.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <osg/BlendFunc>
#include <osg/Image>
#include <osg/Material>
#include <osg/StateSet>
#include <osg/Texture2D>
#include <osgDB/WriteFile>
#include <osgGA/GUIActionAdapter>
#include <osgGA/GUIEventAdapter>
#include <osgText/Text>

#include "objects/VisHUDObject.h"
#include "objects/hud/HUDButton.h"
#include "objects/hud/HUDElements.h"
#include "objects/hud/HUDGraph.h"
#include "objects/hud/HUDPickHandler.h"
#include "scene/HudUnits.h"
#include "TextLightTestSupport.h"

using namespace textlight;
using testsupport::Address;
using testsupport::RecordingSink;

namespace {

constexpr int CONNECTION = 2;

Address hudAddress(int objectNumber)
{
    return {objectNumber, TYPE_VisHUDObject, CONNECTION};
}

// The items every element needs at creation: kind, place and turn.
Items element(int kind, float x = 100.f, float y = 200.f)
{
    Items items;
    items.ints[item::hud::Element] = {kind};
    items.floats[item::hud::Position] = {x, y};
    items.floats[item::hud::Rotation] = {0.f};
    return items;
}

Items with(Items items, const Items& more)
{
    for (const auto& [index, values] : more.floats)
        items.floats[index] = values;
    for (const auto& [index, values] : more.ints)
        items.ints[index] = values;
    for (const auto& [index, text] : more.strings)
        items.strings[index] = text;
    return items;
}

osg::ref_ptr<VisHUDObject> createHud(const Items& items, PacketSink* sink = nullptr,
                                     int objectNumber = 9)
{
    osg::ref_ptr<VisHUDObject> object = new VisHUDObject(ObjectContext{sink, {}});
    deliver(*object, *makePacket(items, hudAddress(objectNumber)), true);
    return object;
}

void sendHud(VisHUDObject& object, const Items& items, int objectNumber = 9)
{
    deliver(object, *makePacket(items, hudAddress(objectNumber)), false);
}

std::string textOf(const VisHUDObject& object)
{
    return static_cast<HUDText*>(object.element())->text()->getText().createUTF8EncodedString();
}

// Where the element's matrix puts a point of its own coordinates.
osg::Vec3 placed(const VisHUDObject& object, const osg::Vec3& local)
{
    return local * object.element()->getMatrix();
}

::testing::AssertionResult near(const osg::Vec3& actual, const osg::Vec3& expected,
                                float tolerance = 1e-4f)
{
    if ((actual - expected).length() <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.x() << ", " << actual.y() << ", " << actual.z() << ") is not ("
           << expected.x() << ", " << expected.y() << ", " << expected.z() << ")";
}

} // namespace

// --- placement --------------------------------------------------------------

TEST(HUDBaseClass, ScalesThenTurnsThenMoves)
{
    osg::ref_ptr<HUDBar> bar = new HUDBar(10.f, 2.f);
    bar->setScale(2.f, 1.f, 1.f);
    bar->setPosition(10.f, 20.f, 3.f, float(osg::PI_2));
    // (1, 0, 0) doubled to (2, 0, 0), turned a quarter to (0, 2, 0), moved.
    EXPECT_TRUE(near(osg::Vec3(1.f, 0.f, 0.f) * bar->getMatrix(), {10.f, 22.f, 3.f}));
    // A new position keeps the scale; a new scale keeps the position.
    bar->setPosition(0.f, 0.f, 0.f, 0.f);
    EXPECT_TRUE(near(osg::Vec3(1.f, 0.f, 0.f) * bar->getMatrix(), {2.f, 0.f, 0.f}));
    bar->setScale(1.f, 1.f, 1.f);
    bar->setPosition(5.f, 5.f, 0.f, 0.f);
    EXPECT_TRUE(near(osg::Vec3(1.f, 0.f, 0.f) * bar->getMatrix(), {6.f, 5.f, 0.f}));
    EXPECT_EQ(bar->position(), osg::Vec3(5.f, 5.f, 0.f));
}

TEST(VisHUDObject, CreationPlacesAtTwoValuesAndUpdatesMoveWithThree)
{
    auto object = createHud(with(element(VisHUDObject::BAR), {{{item::hud::Size, {50.f, 10.f}}}}));
    ASSERT_NE(object->element(), nullptr);
    EXPECT_TRUE(near(placed(*object, {}), {100.f, 200.f, 0.f}));

    sendHud(*object, {{{item::hud::Position, {300.f, 400.f, 5.f}},
                       {item::hud::Rotation, {float(osg::PI)}}}});
    EXPECT_TRUE(near(placed(*object, {}), {300.f, 400.f, 5.f}));
    EXPECT_TRUE(near(placed(*object, {50.f, 0.f, 0.f}), {250.f, 400.f, 5.f}))
        << "turned half round";

    // Turning alone keeps the place.
    sendHud(*object, {{{item::hud::Rotation, {0.f}}}});
    EXPECT_TRUE(near(placed(*object, {50.f, 0.f, 0.f}), {350.f, 400.f, 5.f}));
}

TEST(VisHUDObject, AMoveWithTwoValuesIsReportedAndKeepsThePlace)
{
    auto object = createHud(with(element(VisHUDObject::BAR), {{{item::hud::Size, {50.f, 10.f}}}}));
    const std::string printed = printedBy([&] {
        sendHud(*object, {{{item::hud::Position, {7.f, 8.f}}}});
    });
    EXPECT_EQ(printed,
              exceptionLines(item::hud::Position) +
                  "An error occured while updating VisHUDObject. Object will be skipped!\n" +
                  exceptionLines(item::hud::Position));
    EXPECT_TRUE(near(placed(*object, {}), {100.f, 200.f, 0.f}));

    // The creating packet handed over again (as replay does) is no move.
    auto again = createHud(with(element(VisHUDObject::BAR), {{{item::hud::Size, {50.f, 10.f}}}}));
    const std::string quiet = printedBy([&] {
        sendHud(*again, with(element(VisHUDObject::BAR), {{{item::hud::Size, {50.f, 10.f}}}}));
    });
    EXPECT_EQ(quiet, "");
}

// --- the kinds ----------------------------------------------------------------

struct HudKindRow
{
    const char* name;
    Items items;
    const char* elementClass;
};

class HudKind : public ::testing::TestWithParam<HudKindRow>
{
};

TEST_P(HudKind, IsBuiltFromItsCreatingPacket)
{
    const HudKindRow& row = GetParam();
    osg::ref_ptr<VisHUDObject> object;
    const std::string printed = printedBy([&] { object = createHud(row.items); });
    ASSERT_TRUE(object->isInitialized()) << printed;
    EXPECT_EQ(printed.find("An error occured"), std::string::npos) << printed;
    ASSERT_EQ(object->getNumChildren(), 1u);
    ASSERT_NE(object->element(), nullptr);
    EXPECT_STREQ(object->element()->className(), row.elementClass);
    EXPECT_TRUE(near(placed(*object, {}), {100.f, 200.f, 0.f}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HudKind,
    ::testing::Values(
        HudKindRow{"line",
                   with(element(1), {{{item::hud::Points, {0.f, 0.f, 10.f, 10.f}}},
                                     {{item::hud::PointCount, {2}}}}),
                   "HUDLine"},
        HudKindRow{"text",
                   with(element(2), {{{item::hud::Size, {20.f}}},
                                     {},
                                     {{item::hud::FileName, "arial.ttf"}, {39, "Speed"}}}),
                   "HUDText"},
        HudKindRow{"value",
                   with(element(3), {{{item::hud::Size, {20.f}}, {47, {1.5f}}},
                                     {},
                                     {{item::hud::FileName, "arial.ttf"}, {39, "v"}}}),
                   "HUDText"},
        HudKindRow{"picture",
                   with(element(4), {{{item::hud::Size, {64.f, 32.f}}},
                                     {},
                                     {{item::hud::FileName, "no-such-image.png"}}}),
                   "HUDPicture"},
        HudKindRow{"bar", with(element(5), {{{item::hud::Size, {100.f, 10.f}}}}), "HUDBar"},
        HudKindRow{"graph", with(element(6), {{{item::hud::Size, {200.f, 100.f}}}}), "HUDGraph"},
        HudKindRow{"face",
                   with(element(7), {{{item::hud::Points, {0.f, 0.f, 10.f, 0.f, 10.f, 10.f}}},
                                     {{item::hud::PointCount, {3}}}}),
                   "HUDFace"},
        HudKindRow{"button", with(element(8), {{{item::hud::Size, {80.f, 40.f}}, {47, {1.f}}}}),
                   "HUDButton"}),
    [](const ::testing::TestParamInfo<HudKindRow>& row) { return std::string(row.param.name); });

TEST(VisHUDObject, UnknownKindStaysEmptyAndIgnoresUpdates)
{
    auto object = createHud(element(12));
    EXPECT_TRUE(object->isInitialized());
    EXPECT_EQ(object->getNumChildren(), 0u);
    const std::string printed = printedBy([&] {
        sendHud(*object, {{{item::hud::Position, {1.f, 2.f, 3.f}}, {47, {1.f}}}});
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(object->getNumChildren(), 0u);
}

TEST(VisHUDObject, MissingItemIsReportedAndTheObjectIsBuiltLater)
{
    Items items = with(element(VisHUDObject::BAR), {});
    osg::ref_ptr<VisHUDObject> object;
    const std::string printed = printedBy([&] { object = createHud(items); });
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getNumChildren(), 0u);
    EXPECT_NE(printed.find("An error occured while initializing VisHUDObject. Object will be "
                           "skipped!\n" +
                           exceptionLines(item::hud::Size)),
              std::string::npos)
        << printed;

    // A short size is as missing as none.
    printedBy([&] { sendHud(*object, {{{item::hud::Size, {40.f}}}}); });
    EXPECT_FALSE(object->isInitialized());
    // The state is built from before the packet that arrives: the size sent
    // now is used at the packet after it.
    printedBy([&] { sendHud(*object, {{{item::hud::Size, {40.f, 4.f}}}}); });
    EXPECT_FALSE(object->isInitialized());
    sendHud(*object, {{{item::hud::Value, {0.5f}}}});
    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->getNumChildren(), 1u);
    EXPECT_TRUE(near(placed(*object, {40.f, 0.f, 0.f}), {120.f, 200.f, 0.f})) << "filled to half";
}

TEST(VisHUDObject, ValueTextShowsItsTextUntilAValueComes)
{
    const Items text = {
        {{item::hud::Size, {20.f}}}, {}, {{item::hud::FileName, "arial.ttf"}, {39, "Speed"}}};
    auto object = createHud(with(element(VisHUDObject::VALUE_TEXT), text));
    EXPECT_EQ(textOf(*object), "Speed");

    sendHud(*object, {{{item::hud::Value, {2.5f}}}});
    EXPECT_EQ(textOf(*object), "Speed 2.5");
    sendHud(*object, {{}, {}, {{item::hud::Text, "Velocity"}}});
    EXPECT_EQ(textOf(*object), "Velocity 2.5");
    sendHud(*object, {{{item::hud::Value, {1.f / 3.f}}}});
    EXPECT_EQ(textOf(*object), "Velocity 0.333333") << "a float as a stream writes it";
    sendHud(*object, {{{item::hud::Value, {1234567.f}}}});
    EXPECT_EQ(textOf(*object), "Velocity 1.23457e+06");

    // A colour alone leaves the text; it colours it opaque.
    sendHud(*object, {{}, {{item::hud::Colour, {255, 0, 0}}}});
    EXPECT_EQ(textOf(*object), "Velocity 1.23457e+06");
    EXPECT_EQ(static_cast<HUDText*>(object->element())->text()->getColor(),
              osg::Vec4(1.f, 0.f, 0.f, 1.f));

    // Created with a value: shown at once, as the creating packet reaches update.
    auto valued = createHud(
        with(element(VisHUDObject::VALUE_TEXT), with(text, {{{item::hud::Value, {3.f}}}})));
    EXPECT_EQ(textOf(*valued), "Speed 3");

    // A plain text ignores values.
    auto plain = createHud(with(element(VisHUDObject::TEXT), text));
    sendHud(*plain, {{{item::hud::Value, {2.5f}}}});
    EXPECT_EQ(textOf(*plain), "Speed");
    sendHud(*plain, {{}, {}, {{item::hud::Text, "Altitude"}}});
    EXPECT_EQ(textOf(*plain), "Altitude");
}

TEST(VisHUDObject, BarFillFactorScalesItsLength)
{
    auto object =
        createHud(with(element(VisHUDObject::BAR, 0.f, 0.f), {{{item::hud::Size, {200.f, 20.f}}}}));
    const osg::Vec3 end(200.f, 0.f, 0.f);
    EXPECT_TRUE(near(placed(*object, end), {200.f, 0.f, 0.f})) << "full until a fill factor comes";
    sendHud(*object, {{{item::hud::Value, {0.25f}}}});
    EXPECT_TRUE(near(placed(*object, end), {50.f, 0.f, 0.f}));
    sendHud(*object, {{{item::hud::Value, {0.f}}}});
    EXPECT_TRUE(near(placed(*object, end), {0.f, 0.f, 0.f})) << "collapsed to the origin";
    sendHud(*object, {{{item::hud::Value, {-0.5f}}}});
    EXPECT_TRUE(near(placed(*object, end), {-100.f, 0.f, 0.f})) << "mirrored to the left";
    // The thickness is never scaled.
    EXPECT_TRUE(near(placed(*object, {0.f, 10.f, 0.f}), {0.f, 10.f, 0.f}));

    // Colour: the material of the bar's drawable (it is unlit and has no
    // colours of its own, so its material's diffuse colour is what shows).
    sendHud(*object, {{}, {{item::hud::Colour, {0, 255, 0}}}});
    auto* geode = static_cast<HUDBar*>(object->element())->geode();
    auto* material = dynamic_cast<osg::Material*>(
        geode->getDrawable(0)->getStateSet()->getAttribute(osg::StateAttribute::MATERIAL));
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getDiffuse(osg::Material::FRONT), osg::Vec4(0.f, 1.f, 0.f, 1.f));
    EXPECT_EQ(geode->getDrawable(0)->asGeometry()->getColorArray(), nullptr);
}

TEST(VisHUDObject, LineTakesItsCreatingColourAndChangedItems)
{
    auto object =
        createHud(with(element(VisHUDObject::LINE, 0.f, 0.f),
                       {{{item::hud::Points, {0.f, 0.f, 10.f, 0.f, 10.f, 10.f}}, {46, {3.f}}},
                        {{item::hud::PointCount, {3}}, {48, {0, 0, 255}}}}));
    auto* line = static_cast<HUDLine*>(object->element());
    ASSERT_EQ(line->line()->pointCount(), 3u);
    EXPECT_EQ(line->line()->colors()[2], osg::Vec4(0.f, 0.f, 1.f, 1.f));
    EXPECT_FLOAT_EQ(line->line()->lineWidth(), 3.f);

    sendHud(*object, {{{item::hud::Points, {1.f, 1.f, 2.f, 2.f, 3.f, 3.f}}},
                      {{item::hud::Colour, {255, 0, 0}}}});
    EXPECT_EQ(line->line()->vertices()[2], osg::Vec3(3.f, 3.f, 0.f));
    EXPECT_EQ(line->line()->colors()[0], osg::Vec4(1.f, 0.f, 0.f, 1.f));

    // Points moved in place: P stays what it was at creation.
    sendHud(*object, {{{item::hud::Points, {5.f, 5.f, 6.f, 6.f, 7.f, 7.f, 8.f, 8.f}}}});
    ASSERT_EQ(line->line()->pointCount(), 3u);
    EXPECT_EQ(line->line()->vertices()[0], osg::Vec3(5.f, 5.f, 0.f));

    // Too few points for P: reported, the line stays.
    const std::string printed = printedBy([&] {
        sendHud(*object, {{{item::hud::Points, {9.f, 9.f}}}});
    });
    EXPECT_NE(printed.find("An error occured while updating VisHUDObject"), std::string::npos);
    EXPECT_EQ(line->line()->vertices()[0], osg::Vec3(5.f, 5.f, 0.f));
}

TEST(VisHUDObject, FaceBlendsByItsTransparency)
{
    auto object = createHud(with(element(VisHUDObject::FACE, 0.f, 0.f),
                                 {{{item::hud::Points, {0.f, 0.f, 10.f, 0.f, 10.f, 10.f}}},
                                  {{item::hud::PointCount, {3}}}}));
    auto* face = static_cast<HUDFace*>(object->element());
    EXPECT_EQ(face->colour(), osg::Vec4(1.f, 1.f, 1.f, 1.f));
    ASSERT_EQ(face->face()->vertices().size(), 3u);

    sendHud(*object, {{{item::hud::Value, {0.75f}}}, {{item::hud::Colour, {255, 0, 0}}}});
    EXPECT_EQ(face->colour(), osg::Vec4(1.f, 0.f, 0.f, 0.25f));
    for (const osg::Vec4& colour : face->face()->colors())
        EXPECT_EQ(colour, osg::Vec4(1.f, 0.f, 0.f, 0.25f));
    osg::StateSet* state = face->face()->getStateSet();
    ASSERT_NE(state, nullptr);
    EXPECT_NE(state->getAttribute(osg::StateAttribute::BLENDFUNC), nullptr);
    EXPECT_EQ(state->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));

    // New points keep the colour; their count is the creation's.
    sendHud(*object, {{{item::hud::Points, {0.f, 0.f, 5.f, 0.f, 5.f, 5.f, 0.f, 5.f}}}});
    ASSERT_EQ(face->face()->vertices().size(), 3u);
    EXPECT_EQ(face->face()->vertices()[1], osg::Vec3(5.f, 0.f, 0.f));
    EXPECT_EQ(face->face()->colors()[2], osg::Vec4(1.f, 0.f, 0.f, 0.25f));

    // Transparency alone keeps the colour.
    sendHud(*object, {{{item::hud::Value, {0.f}}}});
    EXPECT_EQ(face->colour(), osg::Vec4(1.f, 0.f, 0.f, 1.f));
}

TEST(VisHUDObject, PictureShowsItsImageOrStaysEmpty)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("hud-picture-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE);
    std::fill_n(image->data(), image->getTotalSizeInBytes(), 200);
    const std::string good = (folder / "tile.png").string();
    ASSERT_TRUE(osgDB::writeImageFile(*image, good));
    const std::string broken = (folder / "broken.png").string();
    std::ofstream(broken) << "not a picture";

    const auto picture = [](const std::string& file) {
        osg::ref_ptr<VisHUDObject> object;
        printedBy([&] {
            object = createHud(
                with(element(VisHUDObject::PICTURE),
                     {{{item::hud::Size, {64.f, 32.f}}}, {}, {{item::hud::FileName, file}}}));
        });
        return osg::ref_ptr<HUDPicture>(static_cast<HUDPicture*>(object->element()));
    };

    osg::ref_ptr<HUDPicture> shown = picture(good);
    ASSERT_NE(shown->geode(), nullptr);
    EXPECT_TRUE(shown->hasImage());
    EXPECT_NE(shown->geode()->getStateSet()->getTextureAttribute(0, osg::StateAttribute::TEXTURE),
              nullptr);
    const osg::BoundingBox box = shown->geode()->getDrawable(0)->getBoundingBox();
    EXPECT_FLOAT_EQ(box.xMin(), -32.f);
    EXPECT_FLOAT_EQ(box.yMax(), 16.f);

    osg::ref_ptr<HUDPicture> undecodable = picture(broken);
    ASSERT_NE(undecodable->geode(), nullptr) << "an untextured quad";
    EXPECT_FALSE(undecodable->hasImage());

    osg::ref_ptr<HUDPicture> missing = picture((folder / "absent.png").string());
    EXPECT_EQ(missing->geode(), nullptr);
    EXPECT_EQ(missing->getNumChildren(), 0u);
    std::filesystem::remove_all(folder);
}

// --- the graph ----------------------------------------------------------------

namespace {

struct GraphClock
{
    double now = 5.0;
    HUDGraph::Clock clock()
    {
        return [this] { return now; };
    }
};

std::vector<std::string> labelTexts(const HUDGraph& graph)
{
    std::vector<std::string> texts;
    for (unsigned i = 0; i < graph.labels()->getNumDrawables(); ++i)
        texts.push_back(static_cast<const osgText::Text*>(graph.labels()->getDrawable(i))
                            ->getText()
                            .createUTF8EncodedString());
    return texts;
}

} // namespace

TEST(HUDGraph, StartsWithItsFrameAndOneMiddlePoint)
{
    GraphClock time;
    osg::ref_ptr<HUDGraph> graph = new HUDGraph(200.f, 100.f, time.clock());
    ASSERT_EQ(graph->frame()->pointCount(), 5u);
    EXPECT_EQ(graph->frame()->vertices()[2], osg::Vec3(200.f, 100.f, 0.f));
    EXPECT_EQ(graph->frame()->vertices()[4], osg::Vec3(0.f, 0.f, 0.f));
    ASSERT_EQ(graph->data()->pointCount(), 1u);
    EXPECT_EQ(graph->data()->vertices()[0], osg::Vec3(200.f, 50.f, 0.f));
    EXPECT_DOUBLE_EQ(graph->lastSampleTime(), 5.0);
    EXPECT_DOUBLE_EQ(graph->lastGridTime(), HUDGraph::FIRST_GRID_TIME);
}

TEST(HUDGraph, RepeatedTimeNeitherScrollsNorAddsAPoint)
{
    GraphClock time;
    osg::ref_ptr<HUDGraph> graph = new HUDGraph(200.f, 100.f, time.clock());
    graph->addValue(0.5f); // at the construction time
    EXPECT_EQ(graph->data()->pointCount(), 1u);
    EXPECT_EQ(graph->data()->vertices()[0], osg::Vec3(200.f, 50.f, 0.f));
    // The first sample always adds a grid mark, labelled with its time.
    EXPECT_EQ(graph->grid()->getNumChildren(), 1u);
    EXPECT_EQ(labelTexts(*graph), std::vector<std::string>{"5"});

    graph->addValue(-0.5f);
    EXPECT_EQ(graph->data()->pointCount(), 1u);
    EXPECT_EQ(graph->grid()->getNumChildren(), 1u) << "no second mark in the same second";
}

TEST(HUDGraph, AdvancingTimeScrolls100UnitsASecond)
{
    GraphClock time;
    osg::ref_ptr<HUDGraph> graph = new HUDGraph(200.f, 100.f, time.clock());
    time.now = 5.25;
    graph->addValue(1.f);
    ASSERT_EQ(graph->data()->pointCount(), 2u);
    EXPECT_EQ(graph->data()->vertices()[0], osg::Vec3(175.f, 50.f, 0.f));
    EXPECT_EQ(graph->data()->vertices()[1], osg::Vec3(200.f, 100.f, 0.f)) << "+1 on the top edge";
    ASSERT_EQ(graph->grid()->getNumChildren(), 1u);

    time.now = 5.75;
    graph->addValue(-1.f);
    EXPECT_EQ(graph->data()->vertices()[0], osg::Vec3(125.f, 50.f, 0.f));
    EXPECT_EQ(graph->data()->vertices()[1], osg::Vec3(150.f, 100.f, 0.f));
    EXPECT_EQ(graph->data()->vertices()[2], osg::Vec3(200.f, 0.f, 0.f)) << "-1 on the bottom edge";
    auto* mark = static_cast<osgLine::DynamicLine*>(graph->grid()->getChild(0));
    EXPECT_EQ(mark->vertices()[0], osg::Vec3(150.f, 0.f, 0.f));
    EXPECT_EQ(mark->vertices()[1], osg::Vec3(150.f, 100.f, 0.f));
    EXPECT_EQ(graph->grid()->getNumChildren(), 1u) << "half a second: no new mark";

    // A second after the last mark: a new one at the right edge.
    time.now = 6.25;
    graph->addValue(0.f);
    ASSERT_EQ(graph->grid()->getNumChildren(), 2u);
    EXPECT_EQ(labelTexts(*graph), (std::vector<std::string>{"5", "6"}));
    const osg::Vec3 newest =
        static_cast<osgText::Text*>(graph->labels()->getDrawable(1))->getPosition();
    EXPECT_EQ(static_cast<osgText::Text*>(graph->labels()->getDrawable(0))->getPosition(),
              newest - osg::Vec3(100.f, 0.f, 0.f))
        << "labels scroll too";
}

TEST(HUDGraph, WhatScrollsPastTheLeftEdgeIsRemoved)
{
    GraphClock time;
    osg::ref_ptr<HUDGraph> graph = new HUDGraph(250.f, 50.f, time.clock());
    // 256 samples 1/64 s apart (1.5625 units each), 5.015625 s to 9 s: 400
    // units of scrolling over a 250 units wide chart.
    for (int i = 1; i <= 256; ++i) {
        time.now = 5.0 + i / 64.0;
        graph->addValue(std::sin(float(i) * 0.1f));
    }
    const osg::Vec3Array& points = graph->data()->vertices();
    ASSERT_EQ(points.size(), 161u) << "x = 0, 1.5625, ..., 250";
    EXPECT_EQ(points.front().x(), 0.f);
    EXPECT_EQ(points.back().x(), 250.f);
    // Marks at 5.015625, 6.015625, 7.015625 and 8.015625 s, now at x = -148.4,
    // -48.4, 51.6 and 151.6: the first two are gone, with their labels.
    ASSERT_EQ(graph->grid()->getNumChildren(), 2u);
    EXPECT_EQ(static_cast<osgLine::DynamicLine*>(graph->grid()->getChild(0))->vertices()[0],
              osg::Vec3(51.5625f, 0.f, 0.f));
    EXPECT_EQ(labelTexts(*graph), (std::vector<std::string>{"7", "8"}));

    // A replay jumping back to 7 s shows the samples up to 7 s again: those
    // from 5.015625 s (x = 51.5625) on, and the marks of 5 and 6 s.
    time.now = 7.0;
    graph->addValue(0.25f);
    ASSERT_EQ(points.size(), 128u);
    EXPECT_EQ(points.front(), osg::Vec3(51.5625f, 25.f + 25.f * std::sin(0.1f), 0.f));
    EXPECT_EQ(points.back(), osg::Vec3(250.f, 25.f + 25.f * 0.25f, 0.f));
    EXPECT_EQ(labelTexts(*graph), (std::vector<std::string>{"5", "6"}));
    ASSERT_EQ(graph->grid()->getNumChildren(), 2u);
    EXPECT_EQ(static_cast<osgLine::DynamicLine*>(graph->grid()->getChild(1))->vertices()[0],
              osg::Vec3(151.5625f, 0.f, 0.f));

    // Back before every sample it saw: only the new one.
    time.now = 4.0;
    graph->addValue(0.f);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points.front(), osg::Vec3(250.f, 25.f, 0.f));
    EXPECT_EQ(labelTexts(*graph), std::vector<std::string>{"4"});

    // Forward again past 5 s: the samples it remembers there are back.
    time.now = 6.0;
    graph->addValue(0.f);
    EXPECT_EQ(points.size(), 65u) << "5.015625 ... 6 s and the one at 4 s";
}

TEST(HUDGraph, TimeLabelsAreRoundedAndEndInsideTheChart)
{
    struct Row
    {
        double time;
        const char* label;
    };
    for (const Row& row : {Row{54.9893, "55"}, Row{56.0002, "56"}, Row{2.8413e-05, "0"},
                           Row{-0.3, "0"}, Row{-2.5, "-3"}, Row{123456.5, "123457"}}) {
        SCOPED_TRACE(row.time);
        GraphClock time{row.time};
        osg::ref_ptr<HUDGraph> graph = new HUDGraph(200.f, 100.f, time.clock());
        graph->addValue(0.f);
        ASSERT_EQ(labelTexts(*graph), std::vector<std::string>{row.label});
        const osg::BoundingBox& extent =
            static_cast<osgText::Text*>(graph->labels()->getDrawable(0))->getBoundingBox();
        EXPECT_LE(extent.xMax(), 200.f);
        EXPECT_GT(extent.xMax(), 199.f) << "the label ends at its grid line";
        EXPECT_GE(extent.xMin(), 0.f);
    }
}

TEST(VisHUDObject, GraphSamplesOnTheProcessTimeInTheColourAsked)
{
    // The process-wide time is the last one any object applied: 10 s when
    // the graph is built.
    createHud(with(element(VisHUDObject::BAR), {{{item::hud::Size, {1.f, 1.f}}, {0, {10.f}}}}),
              nullptr, 1);
    auto object = createHud(
        with(element(VisHUDObject::GRAPH, 0.f, 0.f), {{{item::hud::Size, {200.f, 100.f}}}}));
    auto* graph = static_cast<HUDGraph*>(object->element());
    EXPECT_DOUBLE_EQ(graph->lastSampleTime(), 10.0);

    sendHud(*object, {{{0, {10.5f}}, {47, {0.f}}}, {{item::hud::Colour, {255, 128, 0}}}});
    ASSERT_EQ(graph->data()->pointCount(), 2u);
    EXPECT_TRUE(near(graph->data()->vertices()[0], {150.f, 50.f, 0.f}));
    // The colour reaches the points added after it.
    EXPECT_EQ(graph->data()->colors()[1], osg::Vec4(1.f, 1.f, 1.f, 1.f));
    sendHud(*object, {{{0, {10.6f}}, {47, {0.5f}}}});
    const osg::Vec4 orange = osg::Vec4(1.f, 128.f / 255.f, 0.f, 1.f);
    EXPECT_NEAR((graph->data()->colors()[2] - orange).length(), 0.f, 1e-6f);
    EXPECT_TRUE(near(graph->data()->vertices()[2], {200.f, 75.f, 0.f}));

    // A packet without item 47 (a move) samples nothing.
    sendHud(*object, {{{0, {10.7f}}, {item::hud::Position, {5.f, 5.f, 0.f}}}});
    EXPECT_EQ(graph->data()->pointCount(), 3u);
}

// --- buttons and picking --------------------------------------------------------

namespace {

class NoActions : public osgGA::GUIActionAdapter
{
public:
    void requestRedraw() override {}
    void requestContinuousUpdate(bool) override {}
    void requestWarpPointer(float, float) override {}
};

Items button(float x, float y, float width, float height, bool visible = true)
{
    return with(element(VisHUDObject::BUTTON, x, y),
                {{{item::hud::Size, {width, height}}, {47, {visible ? 1.f : 0.f}}}});
}

struct Sent
{
    int object;
    int code;
    float x;
    float y;
};

// A HUD root with buttons under a HUD camera sized for an 800 x 600 view in
// one aspect mode, and a pick handler over it.
class Picking : public ::testing::Test
{
protected:
    void build(int aspectMode)
    {
        root = new osg::Group;
        camera = new osg::Camera;
        camera->setProjectionMatrix(hud::hudProjection(aspectMode, WIDTH, HEIGHT));
        camera->setViewMatrix(osg::Matrixd::identity());
        camera->addChild(root.get());
        handler = new HUDPickHandler(root.get(), camera.get(), aspectMode);
    }

    VisHUDObject* add(const Items& items, int objectNumber)
    {
        osg::ref_ptr<VisHUDObject> object = createHud(items, &sink, objectNumber);
        root->addChild(object.get());
        return object.get();
    }

    // A pointer event at (px, py) pixels from the lower left corner.
    bool event(osgGA::GUIEventAdapter::EventType type, float px, float py)
    {
        osg::ref_ptr<osgGA::GUIEventAdapter> e = new osgGA::GUIEventAdapter;
        e->setEventType(type);
        e->setInputRange(0.f, 0.f, float(WIDTH), float(HEIGHT));
        e->setMouseYOrientation(osgGA::GUIEventAdapter::Y_INCREASING_UPWARDS);
        e->setX(px);
        e->setY(py);
        return handler->handle(*e, actions);
    }

    std::vector<Sent> taken()
    {
        std::vector<Sent> sent;
        for (const auto& packet : sink.sent) {
            const auto pointer = packet->getFloatVector(item::reply::button_event::Pointer);
            EXPECT_EQ(pointer.size(), 2u);
            EXPECT_EQ(packet->getIntVector(item::every::Connection), std::vector<int>{CONNECTION});
            sent.push_back({int(GNP2::objectNumber(packet->header())),
                            packet->getIntVector(item::reply::button_event::Event).at(0),
                            pointer.at(0), pointer.at(1)});
        }
        sink.sent.clear();
        return sent;
    }

    std::vector<int> codes()
    {
        std::vector<int> result;
        for (const Sent& s : taken())
            result.push_back(s.code);
        return result;
    }

    static constexpr int WIDTH = 800;
    static constexpr int HEIGHT = 600;
    RecordingSink sink;
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::Camera> camera;
    osg::ref_ptr<HUDPickHandler> handler;
    NoActions actions;
};

using Type = osgGA::GUIEventAdapter;

TEST_F(Picking, MoveClickAndLeaveSendTheirCodesWithThePointerInHudUnits)
{
    build(0); // 1000 units over the height: 600 px = 1000 units
    add(button(500.f, 500.f, 100.f, 100.f), 41);

    // (300, 300) px = (500, 500) units: the button's centre.
    EXPECT_FALSE(event(Type::MOVE, 300.f, 300.f));
    const std::vector<Sent> moved = taken();
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].object, 41);
    EXPECT_EQ(moved[0].code, HUDButton::MOVED_OVER);
    EXPECT_NEAR(moved[0].x, 500.f, 1e-3f);
    EXPECT_NEAR(moved[0].y, 500.f, 1e-3f);

    EXPECT_FALSE(event(Type::PUSH, 300.f, 300.f));
    EXPECT_FALSE(event(Type::RELEASE, 300.f, 300.f));
    EXPECT_EQ(codes(), (std::vector<int>{HUDButton::PRESSED, HUDButton::RELEASED}));

    // The first move after a release reports no hovering, but one that
    // leaves the button in that move says so.
    event(Type::MOVE, 301.f, 301.f);
    EXPECT_EQ(codes(), std::vector<int>{});
    event(Type::RELEASE, 301.f, 301.f);
    event(Type::MOVE, 20.f, 20.f);
    EXPECT_EQ(codes(), std::vector<int>{HUDButton::LEFT});
    event(Type::MOVE, 312.f, 312.f); // (520, 520) units: inside again
    event(Type::MOVE, 20.f, 20.f);
    const std::vector<Sent> left = taken();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].code, HUDButton::MOVED_OVER);
    EXPECT_EQ(left[1].code, HUDButton::LEFT);
    EXPECT_NEAR(left[1].x, 20.f * 1000.f / 600.f, 1e-3f) << "the leaving pointer's position";
    event(Type::MOVE, 10.f, 10.f);
    EXPECT_EQ(codes(), std::vector<int>{}) << "left once";

    EXPECT_FALSE(event(Type::KEYUP, 0.f, 0.f));
    EXPECT_FALSE(event(Type::DOUBLECLICK, 300.f, 300.f));
    EXPECT_EQ(codes(), std::vector<int>{HUDButton::PRESSED});
}

TEST_F(Picking, ReleasingOverAnotherButtonSendsNothing)
{
    build(0);
    add(button(200.f, 200.f, 100.f, 100.f), 1);
    add(button(600.f, 200.f, 100.f, 100.f), 2);
    const float ax = 200.f * 0.6f, bx = 600.f * 0.6f, y = 200.f * 0.6f;

    event(Type::PUSH, ax, y);
    event(Type::RELEASE, bx, y);
    const std::vector<Sent> sent = taken();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].object, 1);
    EXPECT_EQ(sent[0].code, HUDButton::PRESSED);

    // A push beside the buttons forgets the one pressed before: a release
    // over it is no release of it.
    event(Type::PUSH, ax, y);
    event(Type::RELEASE, 700.f, 500.f);
    event(Type::PUSH, 700.f, 500.f);
    event(Type::RELEASE, ax, y);
    EXPECT_EQ(codes(), std::vector<int>{HUDButton::PRESSED});
}

TEST_F(Picking, DragsOverAndAfterAButtonAreHandledAndSent)
{
    build(1); // 1000 units over the width: 800 px = 1000 units
    add(button(500.f, 300.f, 100.f, 100.f, false), 5); // invisible: picked all the same
    const float bx = 400.f, by = 300.f * 0.8f;

    EXPECT_FALSE(event(Type::DRAG, 10.f, 10.f)) << "a drag beside every button is the camera's";
    EXPECT_EQ(codes(), std::vector<int>{});

    event(Type::PUSH, bx, by);
    EXPECT_TRUE(event(Type::DRAG, bx, by));
    EXPECT_TRUE(event(Type::DRAG, 10.f, 10.f)) << "still dragging what was dragged over";
    const std::vector<Sent> sent = taken();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].code, HUDButton::DRAGGED);
    EXPECT_EQ(sent[2].code, HUDButton::DRAGGED);
    EXPECT_EQ(sent[2].object, 5);
    EXPECT_NEAR(sent[2].x, 10.f * 1000.f / 800.f, 1e-3f);

    event(Type::RELEASE, 10.f, 10.f);
    EXPECT_EQ(codes(), std::vector<int>{}) << "released away from the pressed button";
    EXPECT_FALSE(event(Type::DRAG, 10.f, 10.f)) << "the release forgot the dragged button";
}

TEST_F(Picking, ButtonsTurnedAndMovedArePickedWhereTheyAreDrawn)
{
    build(2); // 800 x 600: the shorter side, the height, is 1000 units
    VisHUDObject* object = add(button(500.f, 500.f, 400.f, 20.f), 3);
    // Turned a quarter: the long side now runs up the screen.
    sendHud(
        *object,
        {{{item::hud::Position, {500.f, 500.f, 0.f}}, {item::hud::Rotation, {float(osg::PI_2)}}}},
        3);
    event(Type::PUSH, 300.f, 300.f + 0.6f * 150.f); // 150 units above the centre
    EXPECT_EQ(codes(), std::vector<int>{HUDButton::PRESSED});
    event(Type::PUSH, 300.f + 0.6f * 150.f, 300.f); // 150 units right of it
    EXPECT_EQ(codes(), std::vector<int>{});

    sendHud(*object, {{{item::hud::Position, {100.f, 100.f, 0.f}}}}, 3);
    event(Type::PUSH, 60.f, 60.f);
    EXPECT_EQ(codes(), std::vector<int>{HUDButton::PRESSED});
}

TEST_F(Picking, ButtonsOfAClearedSceneAreForgotten)
{
    build(0);
    add(button(500.f, 500.f, 100.f, 100.f), 7);
    event(Type::MOVE, 300.f, 300.f);
    event(Type::PUSH, 300.f, 300.f);
    EXPECT_TRUE(event(Type::DRAG, 300.f, 300.f));
    taken();

    root->removeChildren(0, root->getNumChildren()); // the scene is cleared
    EXPECT_FALSE(event(Type::DRAG, 10.f, 10.f)) << "no dragged button is left";
    event(Type::RELEASE, 300.f, 300.f);
    event(Type::MOVE, 10.f, 10.f);
    event(Type::MOVE, 20.f, 20.f);
    EXPECT_EQ(codes(), std::vector<int>{});
}

TEST_F(Picking, WithoutHudNodeNothingIsPickedButThePointerIsMeasured)
{
    handler = new HUDPickHandler(nullptr, nullptr, 3);
    osg::ref_ptr<osgGA::GUIEventAdapter> e = new osgGA::GUIEventAdapter;
    e->setInputRange(0.f, 0.f, 800.f, 600.f);
    e->setMouseYOrientation(osgGA::GUIEventAdapter::Y_INCREASING_UPWARDS);
    e->setX(400.f);
    e->setY(150.f);
    EXPECT_EQ(handler->pick(*e), nullptr);
    EXPECT_NEAR(handler->pointer().x(), 500.0, 1e-9);
    EXPECT_NEAR(handler->pointer().y(), 250.0, 1e-9);
    // A window counting y downwards gives the same place.
    e->setMouseYOrientation(osgGA::GUIEventAdapter::Y_INCREASING_DOWNWARDS);
    e->setY(450.f);
    handler->pick(*e);
    EXPECT_NEAR(handler->pointer().y(), 250.0, 1e-9);
}

TEST(HUDButton, SendsThroughItsObjectOnlyWhileItHasASendQueue)
{
    RecordingSink sink;
    auto live = createHud(button(0.f, 0.f, 10.f, 10.f), &sink, 12);
    auto* pressed = static_cast<HUDButton*>(live->element());
    pressed->sendEvent(HUDButton::PRESSED, 1.5f, 2.5f);
    ASSERT_EQ(sink.sent.size(), 1u);
    const GNP2::Packet& packet = *sink.sent[0];
    EXPECT_EQ(GNP2::objectNumber(packet.header()), 12u);
    EXPECT_EQ(GNP2::typeCode(packet.header()), 0u);
    EXPECT_EQ(packet.getFloatVector(1), (std::vector<float>{1.5f, 2.5f}));
    EXPECT_EQ(packet.getIntVector(30), std::vector<int>{1});
    EXPECT_EQ(packet.getIntVector(13), std::vector<int>{CONNECTION});

    // In replay the object has no send queue: nothing leaves, nothing leaks.
    auto replayed = createHud(button(0.f, 0.f, 10.f, 10.f), nullptr, 12);
    static_cast<HUDButton*>(replayed->element())->sendEvent(HUDButton::PRESSED, 0.f, 0.f);

    // A button kept after its object went sends nothing.
    osg::ref_ptr<HUDButton> orphan = pressed;
    live = nullptr;
    orphan->sendEvent(HUDButton::RELEASED, 0.f, 0.f);
    EXPECT_EQ(sink.sent.size(), 1u);
}

TEST(HUDButton, VisibleButtonsAreHalfTransparentGreenAndInvisibleOnesClear)
{
    auto shown = createHud(button(0.f, 0.f, 40.f, 20.f, true));
    auto* face = static_cast<HUDButton*>(shown->element())->face();
    ASSERT_EQ(face->vertices().size(), 4u);
    EXPECT_EQ(face->vertices()[0], osg::Vec3(-20.f, 10.f, 0.f));
    EXPECT_EQ(face->vertices()[2], osg::Vec3(20.f, -10.f, 0.f));
    EXPECT_EQ(face->colors()[0], osg::Vec4(0.f, 1.f, 0.f, 0.5f));
    EXPECT_EQ(face->getStateSet()->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));

    auto hidden = createHud(button(0.f, 0.f, 40.f, 20.f, false));
    EXPECT_EQ(static_cast<HUDButton*>(hidden->element())->face()->colors()[0],
              osg::Vec4(0.f, 1.f, 0.f, 0.f));
}

} // namespace

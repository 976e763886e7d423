// The coordinate-system marker (kind 6), its font, and the shape object
// entered into the object manager under type code 2.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <osg/Geode>
#include <osg/observer_ptr>
#include <osg/Shape>
#include <osg/ShapeDrawable>
#include <osgText/Font>
#include <osgText/Text>

#include "net/PacketRing.h"
#include "objects/ShapeObjects.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"
#include "ShapeTestSupport.h"

using namespace shapetest;

namespace {

constexpr int KIND = item::shape::ShapeKind;

Items markerItems(std::vector<float> labelSizes = {1.f, 2.f, 3.f})
{
    return Items{{{item::shape::Scale, std::move(labelSizes)}},
                 {{KIND, {VisBaseObject::KIND_COORD_SYSTEM}}}};
}

osg::Geode* markerGeode(const VisBaseObject& object)
{
    return dynamic_cast<osg::Geode*>(object.shape());
}

class CoordSystem : public testing::Test
{
};

// The services a marker is built with, recording what it asks and shows.
struct RecordingFonts : FontLookup
{
    std::string fontFile(const std::string& name) const override
    {
        askedFor.push_back(name);
        return resolved;
    }
    std::string resolved;
    mutable std::vector<std::string> askedFor;
};

struct RecordingMessages : UserMessages
{
    void showMessage(const std::string& caption, const std::string& text) override
    {
        shown.emplace_back(caption, text);
    }
    std::vector<std::pair<std::string, std::string>> shown;
};

TEST_F(CoordSystem, LabelsAreScreenAlignedTimesTextSizedByItem4)
{
    osg::ref_ptr<VisBaseObject> marker = create(markerItems({1.f, 2.f, 3.f}));
    osg::Geode* geode = markerGeode(*marker);
    ASSERT_NE(geode, nullptr);
    ASSERT_EQ(geode->getNumDrawables(), 9u);

    const char* labels[3] = {"x", "y", "z"};
    const osg::Vec3 positions[3] = {{1.1f, 0.f, 0.f}, {0.f, 1.1f, 0.f}, {0.f, 0.f, 1.1f}};
    for (unsigned k = 0; k < 3; ++k) {
        SCOPED_TRACE(labels[k]);
        auto* text = dynamic_cast<osgText::Text*>(geode->getDrawable(k));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->getText().createUTF8EncodedString(), labels[k]);
        EXPECT_EQ(text->getAxisAlignment(), osgText::TextBase::SCREEN);
        EXPECT_EQ(text->getFontWidth(), 128u);
        EXPECT_EQ(text->getFontHeight(), 128u);
        EXPECT_EQ(text->getColor(), osg::Vec4(0.f, 0.f, 0.f, 1.f));
        EXPECT_FLOAT_EQ(text->getCharacterHeight(), 0.2f * float(k + 1));
        EXPECT_FLOAT_EQ(text->getCharacterAspectRatio(), 1.f);
        EXPECT_EQ(text->getPosition(), positions[k]);
        ASSERT_NE(text->getFont(), nullptr);
        // "TIMES.TTF" is served by its metric-compatible counterpart.
        EXPECT_NE(text->getFont()->getFileName().find("LiberationSerif-Regular"), std::string::npos)
            << text->getFont()->getFileName();
    }
}

struct ArrowCase
{
    const char* name;
    int axis;
    osg::Vec4 colour;
    osg::Vec3 shaftCentre;
};

class MarkerArrows : public CoordSystem, public testing::WithParamInterface<ArrowCase>
{
};

// Extent of a drawable's vertices along one axis.
std::pair<float, float> extentAlong(const osg::Drawable* drawable, int axis)
{
    std::pair<float, float> extent{1e9f, -1e9f};
    for (const osg::Vec3& v : geometry_checks::verticesOf(drawable->asGeometry())) {
        extent.first = std::min(extent.first, v[axis]);
        extent.second = std::max(extent.second, v[axis]);
    }
    return extent;
}

TEST_P(MarkerArrows, ShaftAndTipPointOutAlongTheirAxis)
{
    const ArrowCase& c = GetParam();
    osg::ref_ptr<VisBaseObject> marker = create(markerItems());
    osg::Geode* geode = markerGeode(*marker);
    ASSERT_NE(geode, nullptr);
    ASSERT_EQ(geode->getNumDrawables(), 9u);

    auto* shaft = dynamic_cast<osg::ShapeDrawable*>(geode->getDrawable(3 + c.axis));
    auto* tip = dynamic_cast<osg::ShapeDrawable*>(geode->getDrawable(6 + c.axis));
    ASSERT_NE(shaft, nullptr);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(shaft->getColor(), c.colour);
    EXPECT_EQ(tip->getColor(), c.colour);

    auto* capsule = dynamic_cast<const osg::Capsule*>(shaft->getShape());
    ASSERT_NE(capsule, nullptr);
    EXPECT_FLOAT_EQ(capsule->getRadius(), 0.02f);
    EXPECT_FLOAT_EQ(capsule->getHeight(), 0.86f);
    EXPECT_EQ(capsule->getCenter(), c.shaftCentre);
    auto* cone = dynamic_cast<const osg::Cone*>(tip->getShape());
    ASSERT_NE(cone, nullptr);
    EXPECT_FLOAT_EQ(cone->getRadius(), 0.06f);
    EXPECT_FLOAT_EQ(cone->getHeight(), 0.15f);
    osg::Vec3 tipCentre;
    tipCentre[c.axis] = 0.89f;
    EXPECT_EQ(cone->getCenter(), tipCentre);

    // The shaft runs from the origin (less its rounded end) to 0.86 (plus
    // it); the tip's base lies a quarter of its height below its centre and
    // its apex three quarters above, so a tip turned the wrong way shows.
    const auto [shaftFrom, shaftTo] = extentAlong(shaft, c.axis);
    const float shaftMid = c.shaftCentre[c.axis];
    EXPECT_NEAR(shaftFrom, shaftMid - 0.43f - 0.02f, 1e-4);
    EXPECT_NEAR(shaftTo, shaftMid + 0.43f + 0.02f, 1e-4);
    const auto [tipFrom, tipTo] = extentAlong(tip, c.axis);
    EXPECT_NEAR(tipFrom, 0.89f - 0.25f * 0.15f, 1e-4);
    EXPECT_NEAR(tipTo, 0.89f + 0.75f * 0.15f, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, MarkerArrows,
    testing::Values(ArrowCase{"X", 0, {0.1f, 0.1f, 0.1f, 1.f}, {0.43f, 0.f, 0.f}},
                    ArrowCase{"Y", 1, {0.f, 0.7f, 0.f, 1.f}, {0.f, 0.43f, 0.f}},
                    ArrowCase{"Z", 2, {0.f, 0.f, 0.7f, 1.f}, {0.f, 0.f, 0.435f}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CoordSystem, DrawsInBin11AfterTheTransparentBin)
{
    osg::ref_ptr<VisBaseObject> marker = create(markerItems());
    const osg::StateSet* stateSet = markerGeode(*marker)->getStateSet();
    ASSERT_NE(stateSet, nullptr);
    EXPECT_EQ(stateSet->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));
    EXPECT_EQ(stateSet->getBinNumber(), 11);
    EXPECT_EQ(stateSet->getBinName(), "RenderBin");
    EXPECT_EQ(stateSet->getRenderBinMode(), osg::StateSet::USE_RENDERBIN_DETAILS);
}

// The arrows are the same for every marker: markers alive together share
// them, and nothing else keeps them once the markers are gone.
TEST_F(CoordSystem, MarkersAliveTogetherShareTheirArrows)
{
    osg::ref_ptr<VisBaseObject> first = create(markerItems({1.f, 1.f, 1.f}));
    osg::ref_ptr<VisBaseObject> second = create(markerItems({2.f, 2.f, 2.f}));
    osg::Geode* a = markerGeode(*first);
    osg::Geode* b = markerGeode(*second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->getNumDrawables(), 9u);
    ASSERT_EQ(b->getNumDrawables(), 9u);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_NE(a->getDrawable(i), b->getDrawable(i)) << "labels are sized per marker";
    for (unsigned i = 3; i < 9; ++i)
        EXPECT_EQ(a->getDrawable(i), b->getDrawable(i)) << "drawable " << i;

    osg::observer_ptr<osg::Drawable> shaft = a->getDrawable(3);
    first = nullptr;
    EXPECT_TRUE(shaft.valid()) << "the second marker still uses it";
    second = nullptr;
    EXPECT_FALSE(shaft.valid());
    osg::ref_ptr<VisBaseObject> third = create(markerItems());
    ASSERT_NE(markerGeode(*third), nullptr);
    EXPECT_EQ(markerGeode(*third)->getNumDrawables(), 9u);
}

TEST_F(CoordSystem, NeverTakesAppearanceItems)
{
    Items items = markerItems();
    items.floats[item::shape::Opacity] = {0.5f};
    items.floats[item::shape::Shininess] = {0.8f};
    items.ints[item::shape::ShininessOn] = {1};
    items.ints[item::shape::Wireframe] = {1};
    items.ints[item::shape::Colour] = {255, 0, 0};
    osg::ref_ptr<VisBaseObject> marker = create(items);
    send(*marker,
         {{{item::shape::Opacity, {0.25f}}}, {{item::shape::Colour, {0, 0, 255}}, {29, {0}}}});

    osg::Geode* geode = markerGeode(*marker);
    ASSERT_NE(geode, nullptr);
    // No transparency copies, no materials, no polygon mode; the bin stays.
    ASSERT_EQ(geode->getNumDrawables(), 9u);
    for (unsigned i = 0; i < geode->getNumDrawables(); ++i)
        EXPECT_EQ(materialOf(*geode->getDrawable(i)), nullptr) << "drawable " << i;
    const osg::StateSet* stateSet = geode->getStateSet();
    EXPECT_EQ(stateSet->getAttribute(osg::StateAttribute::POLYGONMODE), nullptr);
    EXPECT_EQ(stateSet->getAttribute(osg::StateAttribute::BLENDFUNC), nullptr);
    EXPECT_EQ(stateSet->getBinNumber(), 11);
    EXPECT_EQ(stateSet->getBinName(), "RenderBin");
    EXPECT_EQ(marker->getStateSet()->getAttribute(osg::StateAttribute::MATERIAL), nullptr);
}

// ---------------------------------------------------------------------------
// A font that cannot be found or read: the user is told, the marker stays
// an empty transform and counts as built.

struct FontCase
{
    const char* name;
    // The resolver's answer; "<garbage>" names a file that is no font.
    std::string resolved;
};

class MissingFont : public CoordSystem, public testing::WithParamInterface<FontCase>
{
};

TEST_P(MissingFont, ShowsTheErrorAndLeavesAnEmptyInitialisedMarker)
{
    std::string resolved = GetParam().resolved;
    if (resolved == "<garbage>") {
        resolved = testing::TempDir() + "/not-a-font.ttf";
        std::ofstream(resolved) << "this is no TrueType font\n";
    }
    RecordingFonts fonts;
    fonts.resolved = resolved;
    RecordingMessages messages;
    const auto& shown = messages.shown;
    ObjectContext context;
    context.services.fonts = &fonts;
    context.services.messages = &messages;

    osg::ref_ptr<VisBaseObject> marker = create(markerItems(), context);

    EXPECT_EQ(fonts.askedFor, std::vector<std::string>{"TIMES.TTF"});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Orvane Error");
    EXPECT_EQ(shown[0].second, "Cannot load font: TIMES.TTF");
    EXPECT_TRUE(marker->isInitialized());
    EXPECT_EQ(marker->getTransform()->getNumChildren(), 0u);

    // Built is built: later packets neither retry nor complain.
    send(*marker, {{{item::shape::Scale, {2.f, 2.f, 2.f}}}, {}});
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(marker->getScale(), osg::Matrixd::scale(2.0, 2.0, 2.0));
}

INSTANTIATE_TEST_SUITE_P(Fonts, MissingFont,
                         testing::Values(FontCase{"NoFileFound", ""},
                                         FontCase{"FileIsNoFont", "<garbage>"}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Type code 2 through the object manager's update callback.

GNP2::Packet* shapePacket(std::uint32_t typeCode, const Items& items)
{
    return makePacket(items, {5, int(typeCode), 0}).release();
}

TEST(ShapeObjectsRegistration, TypeCode2CreatesAndUpdatesAShapeObject)
{
    ObjectFactory factory;
    registerShapeObjects(factory);
    EXPECT_TRUE(factory.has(TYPE_VisBaseObject));
    for (const ObjectKind& kind : OBJECT_KINDS) {
        if (kind.code != TYPE_VisBaseObject) {
            EXPECT_FALSE(factory.has(kind.code)) << kind.className;
        }
    }

    PacketRing receive, send;
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> callback =
        new rootnodeUpdateCallback(receive, send, factory, scene.get(), hud.get());

    receive.push(shapePacket(TYPE_VisBaseObject, {{{item::shape::Scale, {2.f, 1.f, 0.5f}}},
                                                  {{KIND, {1}}, {44, {0, 0, 255}}}}));
    callback->runOnce();
    auto* box = dynamic_cast<VisBaseObject*>(callback->findObject(0, 5));
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(box->className(), "VisBaseObject");
    ASSERT_EQ(scene->getNumChildren(), 1u);
    EXPECT_EQ(scene->getChild(0), box);
    ASSERT_TRUE(box->isInitialized());
    osg::ref_ptr<osg::Node> shape = box->shape();
    ASSERT_NE(shape, nullptr);
    const auto geometries = geometry_checks::geometriesOf(*shape);
    ASSERT_EQ(geometries.size(), 1u);
    const osg::Material* material = drawnMaterial(*shape, *geometries[0]);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getDiffuse(osg::Material::FRONT), osg::Vec4(0.f, 0.f, 1.f, 1.f));
    EXPECT_EQ(box->getScale(), osg::Matrixd::scale(2.0, 1.0, 0.5));

    // A later packet for the same number is an update, whatever its type byte.
    receive.push(shapePacket(4, {{{item::shape::Position, {0.f, 5.f, 0.f}}}, {}}));
    callback->runOnce();
    EXPECT_EQ(scene->getNumChildren(), 1u);
    EXPECT_EQ(box->shape(), shape.get());
    EXPECT_EQ(box->getTranslation(), osg::Matrixd::translate(0.0, 5.0, 0.0));
}

} // namespace

// The text object without a window: the label from items 39, 41 and 40, the
// alignment, the colour rule, the font lookup and the drawing state.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <osg/StateSet>
#include <osgText/Font>

#include "objects/VisTextObject.h"
#include "TextLightTestSupport.h"

using namespace textlight;

namespace {

Items basicText(const std::string& text = "Label")
{
    Items items;
    items.strings[item::text::Font] = "arial.ttf";
    items.strings[item::text::Text] = text;
    items.ints[item::text::ShowValue] = {0};
    items.ints[item::text::Alignment] = {0};
    return items;
}

osg::ref_ptr<VisTextObject> create(const Items& items)
{
    osg::ref_ptr<VisTextObject> object = new VisTextObject(ObjectContext{});
    deliver(*object, items, true);
    return object;
}

std::string shown(const VisTextObject& object)
{
    return object.text()->getText().createUTF8EncodedString();
}

void expectColour(const VisTextObject& object, const osg::Vec4& expected)
{
    const osg::Vec4& colour = object.text()->getColor();
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(colour[i], expected[i], 1e-6f) << "component " << i;
}

struct LabelRow
{
    const char* name;
    std::string text;
    int showNumber;
    float number;
    std::string expected;
};

class TextLabel : public ::testing::TestWithParam<LabelRow>
{
};

TEST_P(TextLabel, ShowsTheTextWithTheNumberAppendedWhenAsked)
{
    const LabelRow& row = GetParam();
    Items items = basicText(row.text);
    items.ints[item::text::ShowValue] = {row.showNumber};
    items.floats[item::text::Value] = {row.number};
    osg::ref_ptr<VisTextObject> object = create(items);
    ASSERT_TRUE(object->text());
    EXPECT_EQ(shown(*object), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TextLabel,
    ::testing::Values(LabelRow{"NumberFollowsDirectly", "Speed: ", 1, 2.5f, "Speed: 2.5"},
                      LabelRow{"NoSeparatorAdded", "v", 1, 2.5f, "v2.5"},
                      LabelRow{"ZeroShowsTextOnly", "Speed", 0, 2.5f, "Speed"},
                      LabelRow{"SixSignificantDigits", "v", 1, 1.0f / 3.0f, "v0.333333"},
                      LabelRow{"LargeInExponentForm", "x", 1, 123456789.f, "x1.23457e+08"},
                      LabelRow{"TerminatingZeroDropped", std::string("abc\0", 4), 0, 0.f, "abc"}),
    [](const ::testing::TestParamInfo<LabelRow>& row) { return row.param.name; });

TEST(TextObject, NumberIsNeededOnlyWhenShown)
{
    Items items = basicText("plain"); // no item 40
    osg::ref_ptr<VisTextObject> object = create(items);
    EXPECT_EQ(shown(*object), "plain");

    Items show;
    show.ints[item::text::ShowValue] = {1};
    EXPECT_THROW(deliver(*object, show, false), GNP2::GNP2Exception);
    EXPECT_EQ(shown(*object), "plain");

    Items number;
    number.floats[item::text::Value] = {12.f};
    deliver(*object, number, false);
    EXPECT_EQ(shown(*object), "plain12");
}

struct AlignmentRow
{
    int item38;
    osgText::TextBase::AxisAlignment alignment;
};

class TextAlignment : public ::testing::TestWithParam<AlignmentRow>
{
};

TEST_P(TextAlignment, Item38PicksAPlaneOrFacesTheScreen)
{
    // Start from another alignment, so that the update has to change it.
    Items items = basicText();
    items.ints[item::text::Alignment] = {GetParam().item38 == 2 ? 3 : 2};
    osg::ref_ptr<VisTextObject> object = create(items);

    Items change;
    change.ints[item::text::Alignment] = {GetParam().item38};
    deliver(*object, change, false);
    EXPECT_EQ(object->text()->getAxisAlignment(), GetParam().alignment);
}

INSTANTIATE_TEST_SUITE_P(Rows, TextAlignment,
                         ::testing::Values(AlignmentRow{0, osgText::TextBase::SCREEN},
                                           AlignmentRow{1, osgText::TextBase::XY_PLANE},
                                           AlignmentRow{2, osgText::TextBase::XZ_PLANE},
                                           AlignmentRow{3, osgText::TextBase::YZ_PLANE},
                                           AlignmentRow{4, osgText::TextBase::SCREEN},
                                           AlignmentRow{-1, osgText::TextBase::SCREEN},
                                           AlignmentRow{1000, osgText::TextBase::SCREEN}));

TEST(TextObject, ColourChangesOnlyWithItem44Or10)
{
    osg::ref_ptr<VisTextObject> object = create(basicText());
    const osg::Vec4 initial = object->text()->getColor();

    // Items 44 and 10 in the state, but not in the packet that arrives.
    Items state;
    state.ints[item::text::Colour] = {255, 0, 0};
    state.floats[item::text::Opacity] = {0.5f};
    object->getPacket().update(*makePacket(state));
    object->getPacket().clearChanged();
    Items unrelated;
    unrelated.strings[item::text::Text] = "changed";
    deliver(*object, unrelated, false);
    EXPECT_EQ(shown(*object), "changed");
    expectColour(*object, initial);

    Items alphaOnly;
    alphaOnly.floats[item::text::Opacity] = {0.25f};
    deliver(*object, alphaOnly, false);
    expectColour(*object, {1.f, 0.f, 0.f, 0.25f});

    Items colourOnly;
    colourOnly.ints[item::text::Colour] = {0, 51, 255};
    deliver(*object, colourOnly, false);
    expectColour(*object, {0.f, 0.2f, 1.f, 0.25f});

    Items sizeOnly;
    sizeOnly.floats[item::text::Height] = {3.f};
    deliver(*object, sizeOnly, false);
    expectColour(*object, {0.f, 0.2f, 1.f, 0.25f});
}

TEST(TextObject, ColourWithoutAlphaIsOpaque)
{
    osg::ref_ptr<VisTextObject> object = create(basicText());
    Items colourOnly;
    colourOnly.ints[item::text::Colour] = {255, 0, 51};
    deliver(*object, colourOnly, false);
    expectColour(*object, {1.f, 0.f, 0.2f, 1.f});
}

TEST(TextObject, CharacterSizeAndPlacementFollowTheirItems)
{
    Items items = basicText();
    items.floats[item::text::Height] = {0.7f};
    items.floats[item::text::Position] = {1.f, 2.f, 3.f};
    items.floats[item::text::Orientation] = {0.f, -1.f, 0.f, 1.f, 0.f, 0.f}; // quarter turn about z
    items.floats[item::placement::Scale] = {5.f, 5.f, 5.f};                  // a text has no scale
    osg::ref_ptr<VisTextObject> object = create(items);
    EXPECT_FLOAT_EQ(object->text()->getCharacterHeight(), 0.7f);
    EXPECT_FLOAT_EQ(object->text()->getCharacterAspectRatio(), 1.f);
    const osg::Vec3 placed = osg::Vec3(1.f, 0.f, 0.f) * object->getTransform()->getMatrix();
    EXPECT_NEAR((placed - osg::Vec3(1.f, 3.f, 3.f)).length(), 0.f, 1e-6f);

    Items unrelated;
    unrelated.ints[item::text::Alignment] = {1};
    deliver(*object, unrelated, false);
    EXPECT_FLOAT_EQ(object->text()->getCharacterHeight(), 0.7f);

    Items move;
    move.floats[item::text::Position] = {0.f, 0.f, 0.f};
    deliver(*object, move, false);
    const osg::Vec3 moved = osg::Vec3(1.f, 0.f, 0.f) * object->getTransform()->getMatrix();
    EXPECT_NEAR((moved - osg::Vec3(0.f, 1.f, 0.f)).length(), 0.f, 1e-6f);
}

TEST(TextObject, DrawsInBinElevenAfterTheTransparentOnes)
{
    osg::ref_ptr<VisTextObject> object = create(basicText());
    const osgText::Text& text = *object->text();
    const osg::StateSet* stateSet = text.getStateSet();
    ASSERT_TRUE(stateSet);
    EXPECT_EQ(stateSet->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));
    EXPECT_EQ(stateSet->getBinNumber(), VisTextObject::TEXT_BIN);
    EXPECT_EQ(stateSet->getBinName(), "RenderBin");
    EXPECT_EQ(stateSet->getRenderBinMode(), osg::StateSet::USE_RENDERBIN_DETAILS);
    EXPECT_EQ(text.getFontWidth(), 128u);
    EXPECT_EQ(text.getFontHeight(), 128u);
    EXPECT_FALSE(object->isIntersectable());
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    const osg::Geode* geode = object->getTransform()->getChild(0)->asGeode();
    ASSERT_TRUE(geode);
    EXPECT_EQ(geode->getDrawable(0), object->text());
}

std::string fontFileOf(const VisTextObject& object)
{
    const osgText::Font* font = object.text()->getFont();
    return font ? font->getFileName() : std::string();
}

struct FontRow
{
    const char* name;
    std::string item43;
    std::string expectedFile; // part of the loaded font's file name
    bool reported;
};

class TextFont : public ::testing::TestWithParam<FontRow>
{
};

TEST_P(TextFont, FontFromItem43OrTheDefaultWithAMessage)
{
    const FontRow& row = GetParam();
    Items items = basicText();
    items.strings[item::text::Font] = row.item43;
    osg::ref_ptr<VisTextObject> object;
    const std::string printed = printedBy([&] { object = create(items); });
    ASSERT_TRUE(object->isInitialized());
    EXPECT_EQ(printed, row.reported ? "[ERROR - VisTextObject] unable to load font file\n" : "");
    EXPECT_NE(fontFileOf(*object).find(row.expectedFile), std::string::npos) << fontFileOf(*object);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TextFont,
    ::testing::Values(FontRow{"WindowsName", "TIMES.TTF", "LiberationSerif-Regular", false},
                      FontRow{"WindowsPath", "fonts/lucon.ttf", "LiberationMono-Regular", false},
                      FontRow{"InstalledFile", "DejaVuSans.ttf", "DejaVuSans.ttf", false},
                      FontRow{"Missing", "no-such-font.ttf", "LiberationSans-Regular", true},
                      FontRow{"MissingWindowsPath", "C:\\Fonts\\nosuch.ttf",
                              "LiberationSans-Regular", true}),
    [](const ::testing::TestParamInfo<FontRow>& row) { return row.param.name; });

TEST(TextObject, UnreadableFontFileFallsBackToTheDefault)
{
    const std::filesystem::path broken = std::filesystem::temp_directory_path() /
                                         ("orvane-broken-" + std::to_string(getpid()) + ".ttf");
    std::ofstream(broken) << "not a font";
    Items items = basicText();
    items.strings[item::text::Font] = broken.string();
    osg::ref_ptr<VisTextObject> object;
    const std::string printed = printedBy([&] { object = create(items); });
    std::filesystem::remove(broken);
    EXPECT_EQ(printed, "[ERROR - VisTextObject] unable to load font file\n");
    EXPECT_NE(fontFileOf(*object).find("LiberationSans-Regular"), std::string::npos);
}

TEST(TextObject, FailedBuildPrintsTheExceptionAndRetriesFromTheState)
{
    Items first = basicText("late");
    first.strings.erase(item::text::Font);
    first.ints[item::text::Colour] = {0, 0, 255};
    first.floats[item::text::Opacity] = {1.f};
    first.floats[item::text::Position] = {4.f, 0.f, 0.f};
    osg::ref_ptr<VisTextObject> object = new VisTextObject(ObjectContext{});
    const std::unique_ptr<GNP2::Packet> packet = makePacket(first);
    const std::string printed = printedBy([&] { object->initialize(*packet); });
    // The exception's own lines, then the object's: message and number only.
    EXPECT_EQ(printed, exceptionLines(item::text::Font) + exceptionLines(item::text::Font));
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->text(), nullptr);
    printedBy([&] { object->update(*packet); });
    object->getPacket().clearChanged();
    EXPECT_FALSE(object->isInitialized());

    Items font;
    font.strings[item::text::Font] = "arial.ttf";
    deliver(*object, font, false);
    ASSERT_TRUE(object->isInitialized());
    EXPECT_EQ(shown(*object), "late");
    expectColour(*object, {0.f, 0.f, 1.f, 1.f});
    EXPECT_EQ(object->getTransform()->getMatrix().getTrans(), osg::Vec3d(4.0, 0.0, 0.0));
    EXPECT_EQ(object->getTransform()->getNumChildren(), 1u);
}

} // namespace

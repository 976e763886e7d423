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
    items.strings[VisTextObject::ITEM_FONT] = "arial.ttf";
    items.strings[VisTextObject::ITEM_TEXT] = text;
    items.ints[VisTextObject::ITEM_SHOW_NUMBER] = {0};
    items.ints[VisTextObject::ITEM_ALIGNMENT] = {0};
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
    items.ints[VisTextObject::ITEM_SHOW_NUMBER] = {row.showNumber};
    items.floats[VisTextObject::ITEM_NUMBER] = {row.number};
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
    show.ints[VisTextObject::ITEM_SHOW_NUMBER] = {1};
    EXPECT_THROW(deliver(*object, show, false), GNP2::GNP2Exception);
    EXPECT_EQ(shown(*object), "plain");

    Items number;
    number.floats[VisTextObject::ITEM_NUMBER] = {12.f};
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
    items.ints[VisTextObject::ITEM_ALIGNMENT] = {GetParam().item38 == 2 ? 3 : 2};
    osg::ref_ptr<VisTextObject> object = create(items);

    Items change;
    change.ints[VisTextObject::ITEM_ALIGNMENT] = {GetParam().item38};
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
    state.ints[items::COLOUR] = {255, 0, 0};
    state.floats[items::ALPHA] = {0.5f};
    object->getPacket().update(*makePacket(state));
    object->getPacket().clearChanged();
    Items unrelated;
    unrelated.strings[VisTextObject::ITEM_TEXT] = "changed";
    deliver(*object, unrelated, false);
    EXPECT_EQ(shown(*object), "changed");
    expectColour(*object, initial);

    Items alphaOnly;
    alphaOnly.floats[items::ALPHA] = {0.25f};
    deliver(*object, alphaOnly, false);
    expectColour(*object, {1.f, 0.f, 0.f, 0.25f});

    Items colourOnly;
    colourOnly.ints[items::COLOUR] = {0, 51, 255};
    deliver(*object, colourOnly, false);
    expectColour(*object, {0.f, 0.2f, 1.f, 0.25f});

    Items sizeOnly;
    sizeOnly.floats[VisTextObject::ITEM_CHARACTER_SIZE] = {3.f};
    deliver(*object, sizeOnly, false);
    expectColour(*object, {0.f, 0.2f, 1.f, 0.25f});
}

TEST(TextObject, ColourWithoutAlphaIsOpaque)
{
    osg::ref_ptr<VisTextObject> object = create(basicText());
    Items colourOnly;
    colourOnly.ints[items::COLOUR] = {255, 0, 51};
    deliver(*object, colourOnly, false);
    expectColour(*object, {1.f, 0.f, 0.2f, 1.f});
}

TEST(TextObject, CharacterSizeAndPlacementFollowTheirItems)
{
    Items items = basicText();
    items.floats[VisTextObject::ITEM_CHARACTER_SIZE] = {0.7f};
    items.floats[items::POSITION] = {1.f, 2.f, 3.f};
    items.floats[items::ORIENTATION] = {0.f, -1.f, 0.f, 1.f, 0.f, 0.f}; // quarter turn about z
    items.floats[items::SCALE] = {5.f, 5.f, 5.f};                       // a text has no scale
    osg::ref_ptr<VisTextObject> object = create(items);
    EXPECT_FLOAT_EQ(object->text()->getCharacterHeight(), 0.7f);
    EXPECT_FLOAT_EQ(object->text()->getCharacterAspectRatio(), 1.f);
    const osg::Vec3 placed = osg::Vec3(1.f, 0.f, 0.f) * object->getTransform()->getMatrix();
    EXPECT_NEAR((placed - osg::Vec3(1.f, 3.f, 3.f)).length(), 0.f, 1e-6f);

    Items unrelated;
    unrelated.ints[VisTextObject::ITEM_ALIGNMENT] = {1};
    deliver(*object, unrelated, false);
    EXPECT_FLOAT_EQ(object->text()->getCharacterHeight(), 0.7f);

    Items move;
    move.floats[items::POSITION] = {0.f, 0.f, 0.f};
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
    items.strings[VisTextObject::ITEM_FONT] = row.item43;
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
    items.strings[VisTextObject::ITEM_FONT] = broken.string();
    osg::ref_ptr<VisTextObject> object;
    const std::string printed = printedBy([&] { object = create(items); });
    std::filesystem::remove(broken);
    EXPECT_EQ(printed, "[ERROR - VisTextObject] unable to load font file\n");
    EXPECT_NE(fontFileOf(*object).find("LiberationSans-Regular"), std::string::npos);
}

TEST(TextObject, FailedBuildPrintsTheExceptionAndRetriesFromTheState)
{
    Items first = basicText("late");
    first.strings.erase(VisTextObject::ITEM_FONT);
    first.ints[items::COLOUR] = {0, 0, 255};
    first.floats[items::ALPHA] = {1.f};
    first.floats[items::POSITION] = {4.f, 0.f, 0.f};
    osg::ref_ptr<VisTextObject> object = new VisTextObject(ObjectContext{});
    const std::unique_ptr<GNP2::Packet> packet = makePacket(first);
    const std::string printed = printedBy([&] { object->initialize(*packet); });
    // The exception's own lines, then the object's: message and number only.
    EXPECT_EQ(printed,
              exceptionLines(VisTextObject::ITEM_FONT) + exceptionLines(VisTextObject::ITEM_FONT));
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->text(), nullptr);
    printedBy([&] { object->update(*packet); });
    object->getPacket().clearChanged();
    EXPECT_FALSE(object->isInitialized());

    Items font;
    font.strings[VisTextObject::ITEM_FONT] = "arial.ttf";
    deliver(*object, font, false);
    ASSERT_TRUE(object->isInitialized());
    EXPECT_EQ(shown(*object), "late");
    expectColour(*object, {0.f, 0.f, 1.f, 1.f});
    EXPECT_EQ(object->getTransform()->getMatrix().getTrans(), osg::Vec3d(4.0, 0.0, 0.0));
    EXPECT_EQ(object->getTransform()->getNumChildren(), 1u);
}

} // namespace

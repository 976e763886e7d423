// The Windows font names and their Liberation counterparts.

#include "fonts/FontMap.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

struct NameCase
{
    const char* windows;
    const char* liberation;
};

class FontNameTest : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(FontNameTest, MapsToLiberation)
{
    EXPECT_EQ(fonts::liberationFontFor(GetParam().windows), GetParam().liberation);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FontNameTest,
    ::testing::Values(NameCase{"fonts/lucon.ttf", "LiberationMono-Regular.ttf"},
                      NameCase{"TIMES.TTF", "LiberationSerif-Regular.ttf"},
                      NameCase{"arial.ttf", "LiberationSans-Regular.ttf"},
                      NameCase{"arial", "LiberationSans-Regular.ttf"},
                      NameCase{"C:\\Windows\\Fonts\\COURBD.TTF", "LiberationMono-Bold.ttf"},
                      NameCase{"cour.ttf", "LiberationMono-Regular.ttf"},
                      NameCase{"timesbi.ttf", "LiberationSerif-BoldItalic.ttf"},
                      NameCase{"ArialN.ttf", "LiberationSansNarrow-Regular.ttf"},
                      NameCase{"wingding.ttf", ""}, NameCase{"lucon.ttf.bak", ""},
                      NameCase{"fonts/", ""}, NameCase{"", ""}));

class FontFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _root =
            std::filesystem::temp_directory_path() /
            ("orvane-fonts-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(_root);
        std::filesystem::create_directories(_root / "empty");
        std::filesystem::create_directories(_root / "fonts");
        _folders = {_root / "empty", _root / "fonts"};
    }
    void TearDown() override { std::filesystem::remove_all(_root); }
    void touch(const std::filesystem::path& path) { std::ofstream(path) << "font"; }

    std::filesystem::path _root;
    std::vector<std::filesystem::path> _folders;
};

TEST_F(FontFileTest, FindsTheLiberationCounterpartInTheFolders)
{
    touch(_root / "fonts" / "LiberationMono-Regular.ttf");
    EXPECT_EQ(fonts::resolveFontFile("fonts/lucon.ttf", _folders),
              (_root / "fonts" / "LiberationMono-Regular.ttf").string());
}

TEST_F(FontFileTest, MissingFontsResolveToNothing)
{
    EXPECT_EQ(fonts::resolveFontFile("fonts/lucon.ttf", _folders), "");
    EXPECT_EQ(fonts::resolveFontFile("wingding.ttf", _folders), "");
    EXPECT_EQ(fonts::resolveFontFile("", _folders), "");
}

TEST_F(FontFileTest, AnExistingFileIsTakenAsItIs)
{
    const auto own = _root / "lucon.ttf";
    touch(own);
    touch(_root / "fonts" / "LiberationMono-Regular.ttf");
    EXPECT_EQ(fonts::resolveFontFile(own.string(), _folders), own.string());
}

TEST_F(FontFileTest, UnmappedNamesAreLookedUpByTheirFileName)
{
    touch(_root / "fonts" / "Custom.ttf");
    touch(_root / "fonts" / "arial.ttf"); // a real Arial next to no Liberation Sans
    EXPECT_EQ(fonts::resolveFontFile("fonts/Custom.ttf", _folders),
              (_root / "fonts" / "Custom.ttf").string());
    EXPECT_EQ(fonts::resolveFontFile("arial.ttf", _folders),
              (_root / "fonts" / "arial.ttf").string());
}

TEST_F(FontFileTest, AFolderIsNotAFont)
{
    std::filesystem::create_directories(_root / "fonts" / "LiberationMono-Regular.ttf");
    EXPECT_EQ(fonts::resolveFontFile("lucon.ttf", _folders), "");
}

} // namespace

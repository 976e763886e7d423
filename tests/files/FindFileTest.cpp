#include <gtest/gtest.h>

#include <unistd.h>

#include "FileTestSupport.h"
#include "log/Log.h"
#include "files/FindFile.h"

using filetest::countLines;

namespace {

struct TailCase
{
    const char* label;
    const char* name;
    std::vector<std::string> tails;
};

class SearchTails : public ::testing::TestWithParam<TailCase>
{
};

TEST_P(SearchTails, AreTriedFromTheLastComponentUpToTheRoot)
{
    EXPECT_EQ(searchTails(GetParam().name), GetParam().tails);
}

const TailCase TAIL_CASES[] = {
    // The separator after "C:" is at position 2: its tail is the last one.
    {"DrivePath", "C:/work/car/body.osg", {"body.osg", "car/body.osg", "work/car/body.osg"}},
    {"DrivePathBackslashes",
     "C:\\work\\car\\body.osg",
     {"body.osg", "car\\body.osg", "work\\car\\body.osg"}},
    {"LinuxAbsolute",
     "/home/ann/models/arm.obj",
     {"arm.obj", "models/arm.obj", "ann/models/arm.obj", "home/ann/models/arm.obj"}},
    {"BareName", "arm.obj", {"arm.obj"}},
    // No separator left after the first one: the whole name ends the walk.
    {"Relative", "models/arm.obj", {"arm.obj", "models/arm.obj"}},
    {"SeparatorAtThree", "abc/d.osg", {"d.osg"}},
    {"SeparatorAtFour", "abcd/e.osg", {"e.osg", "abcd/e.osg"}},
    {"MixedSeparators", "x/very\\deep/f", {"f", "deep/f", "very\\deep/f"}},
    {"Empty", "", {""}},
};

INSTANTIATE_TEST_SUITE_P(Names, SearchTails, ::testing::ValuesIn(TAIL_CASES),
                         [](const auto& row) { return std::string(row.param.label); });

// A lookup that finds nothing and records every path it was asked about.
struct RecordingLookup
{
    std::vector<std::string> tried;
    FileLookup lookup(const std::string& searchDirectory,
                      std::vector<std::string> dataDirectories = {})
    {
        FileLookup result;
        result.searchDirectory = searchDirectory;
        result.dataDirectories = std::move(dataDirectories);
        result.isFile = [this](const std::string& path) {
            tried.push_back(path);
            return false;
        };
        return result;
    }
};

using FindFile = filetest::FileTest;

TEST_F(FindFile, TriesTheTailsInOrderAndStopsAfterTheDrive)
{
    RecordingLookup recorder;
    EXPECT_EQ(findFile("C:/work/car/body.osg", recorder.lookup("D:/models")), "");
    const std::vector<std::string> expected = {"C:/work/car/body.osg", "D:/models/body.osg",
                                               "D:/models/car/body.osg",
                                               "D:/models/work/car/body.osg"};
    EXPECT_EQ(recorder.tried, expected);
    EXPECT_EQ(countLines("File not found: C:/work/car/body.osg", console::LEVEL_8), 1);
}

TEST_F(FindFile, TriesABareNameOnceUnderTheSearchDirectory)
{
    RecordingLookup recorder;
    EXPECT_EQ(findFile("arm.obj", recorder.lookup("/srv/models/")), "");
    // No "/" is added after a directory that ends in one.
    const std::vector<std::string> expected = {"arm.obj", "/srv/models/arm.obj"};
    EXPECT_EQ(recorder.tried, expected);
    EXPECT_EQ(countLines("File not found: arm.obj", console::LEVEL_8), 1);
}

TEST_F(FindFile, WithoutSearchDirectoryReportsThatNoneIsSet)
{
    RecordingLookup recorder;
    EXPECT_EQ(findFile("/nowhere/arm.obj", recorder.lookup("")), "");
    EXPECT_EQ(recorder.tried, std::vector<std::string>{"/nowhere/arm.obj"});
    EXPECT_EQ(countLines("File not found, no additional search path specified: /nowhere/arm.obj",
                         console::LEVEL_8),
              1);
    EXPECT_EQ(countLines("File not found: "), 0);
}

TEST_F(FindFile, FindsATailInARealSearchDirectory)
{
    const std::string found = dir.write("models/car/body.osg", "x");
    FileLookup lookup;
    lookup.searchDirectory = dir.file("models");
    EXPECT_EQ(findFile("/home/ann/work/car/body.osg", lookup), found);
    // A backslashed name from a Windows simulation finds the same file.
    EXPECT_EQ(findFile("C:\\work\\car\\body.osg", lookup), found);
    EXPECT_EQ(countLines("File not found"), 0);
}

TEST_F(FindFile, NeverTriesTheDrivePartOfAName)
{
    // The only copy sits where the whole name, drive included, would lead.
    dir.write("models/C:/work/car/body.osg", "x");
    FileLookup lookup;
    lookup.searchDirectory = dir.file("models");
    EXPECT_EQ(findFile("C:/work/car/body.osg", lookup), "");
    EXPECT_EQ(countLines("File not found: C:/work/car/body.osg", console::LEVEL_8), 1);
}

TEST_F(FindFile, ReturnsAnExistingNameUnchanged)
{
    const std::string absolute = dir.write("arm.obj", "x");
    FileLookup lookup;
    lookup.searchDirectory = "/elsewhere";
    EXPECT_EQ(findFile(absolute, lookup), absolute);

    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const std::string relative = findFile("arm.obj", lookup);
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(relative, "arm.obj");
}

TEST_F(FindFile, ADirectoryIsNotAFile)
{
    dir.write("models/arm.obj/inside", "x");
    FileLookup lookup;
    lookup.searchDirectory = dir.file("models");
    EXPECT_EQ(findFile("arm.obj", lookup), "");
}

TEST_F(FindFile, LooksUpRelativeNamesInTheDataFoldersBeforeTheSearchDirectory)
{
    const std::string shipped = dir.write("share/models/arm.obj", "shipped");
    dir.write("search/models/arm.obj", "user");
    dir.write("search/arm.obj", "user");
    FileLookup lookup;
    lookup.searchDirectory = dir.file("search");
    lookup.dataDirectories = {dir.file("empty"), dir.file("share")};
    EXPECT_EQ(findFile("models/arm.obj", lookup), shipped);

    // Absolute names are not looked for in the data folders.
    RecordingLookup recorder;
    findFile("/x/arm.obj", recorder.lookup("", {"/data"}));
    EXPECT_EQ(recorder.tried, std::vector<std::string>{"/x/arm.obj"});
}

TEST_F(FindFile, ReadsTheSearchDirectoryFromTheSettings)
{
    const std::string found = dir.write("models/arm.obj", "x");
    filetest::storeSetting("FileObjects/AddSearchDir", dir.file("models"));
    EXPECT_EQ(findFile("/somewhere/else/arm.obj"), found);
    filetest::storeSetting("FileObjects/AddSearchDir", "");
    EXPECT_EQ(findFile("/somewhere/else/arm.obj"), "");
}

} // namespace

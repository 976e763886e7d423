// The command line of the export: what it accepts, what it refuses and why,
// and which codec a file gets.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/ExportPictureCommand.h"
#include "app/ExportVideoCommand.h"

using namespace exportvideo;

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::string word;
    for (char c : line + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            out.push_back(word);
            word.clear();
        }
    }
    return out;
}

TEST(ExportVideoCommand, ReadsEveryOption)
{
    const Parsed parsed =
        parse(words("--export-video run.dat out.avi --preset Fast --codec huffyuv "
                    "--bitrate 3000 --fps 50 --size 801x600 --speed 2.5 "
                    "--from 1.25 --to 9"));
    ASSERT_TRUE(parsed.options) << parsed.error;
    const Options& o = *parsed.options;
    EXPECT_EQ(o.replay, "run.dat");
    EXPECT_EQ(o.output, "out.avi");
    EXPECT_EQ(o.preset, "Fast");
    EXPECT_EQ(o.codec, "huffyuv");
    EXPECT_EQ(o.bitrate, 3000);
    EXPECT_EQ(o.frameRate, 50);
    EXPECT_EQ(o.width, 801);
    EXPECT_EQ(o.height, 600);
    EXPECT_DOUBLE_EQ(o.speed, 2.5);
    EXPECT_EQ(o.from, 1.25);
    EXPECT_EQ(o.to, 9.0);

    const Parsed plain = parse(words("--export-video a.dat b.mp4"));
    ASSERT_TRUE(plain.options) << plain.error;
    EXPECT_FALSE(plain.options->codec);
    EXPECT_FALSE(plain.options->from);
    EXPECT_DOUBLE_EQ(plain.options->speed, 1.0);
}

struct Refusal
{
    const char* name;
    const char* line;
    const char* error;
};

void PrintTo(const Refusal& row, std::ostream* out)
{
    *out << row.name;
}

const Refusal REFUSALS[] = {
    {"one_file", "--export-video a.dat",
     "--export-video takes a replay file and an output file, 1 given"},
    {"three_files", "--export-video a.dat b.mp4 c.mp4",
     "--export-video takes a replay file and an output file, 3 given"},
    {"no_value", "--export-video a.dat b.mp4 --fps", "--fps needs a value"},
    {"unknown", "--export-video a.dat b.mp4 --colour red", "unknown option --colour"},
    {"size_without_x", "--export-video a.dat b.mp4 --size 800",
     "--size takes WIDTHxHEIGHT, each from 10 to 5000, not \"800\""},
    {"size_too_small", "--export-video a.dat b.mp4 --size 8x600",
     "--size takes WIDTHxHEIGHT, each from 10 to 5000, not \"8x600\""},
    {"fraction_fps", "--export-video a.dat b.mp4 --fps 2.5",
     "--fps takes a whole number from 1 to 1000, not \"2.5\""},
    {"fps_too_high", "--export-video a.dat b.mp4 --fps 1001",
     "--fps takes a whole number from 1 to 1000, not \"1001\""},
    {"bitrate_text", "--export-video a.dat b.mp4 --bitrate high",
     "--bitrate takes a whole number of kBit/s from 10 to 100000, not \"high\""},
    {"speed_zero", "--export-video a.dat b.mp4 --speed 0",
     "--speed takes a number from 0.0001 to 10000, not \"0\""},
    {"negative_time", "--export-video a.dat b.mp4 --from -1",
     "--from takes a time in seconds, not \"-1\""},
    {"time_with_unit", "--export-video a.dat b.mp4 --to 3s",
     "--to takes a time in seconds, not \"3s\""},
    {"camera_of_seven", "--export-video a.dat b.mp4 --camera 1,2,3,4,5,6,7",
     "--camera takes ex,ey,ez,cx,cy,cz or ex,ey,ez,cx,cy,cz,ux,uy,uz, not \"1,2,3,4,5,6,7\""},
    {"camera_gap", "--export-video a.dat b.mp4 --camera 1,2,,4,5,6",
     "--camera takes ex,ey,ez,cx,cy,cz or ex,ey,ez,cx,cy,cz,ux,uy,uz, not \"1,2,,4,5,6\""},
    {"eye_on_centre", "--export-video a.dat b.mp4 --camera 1,2,3,1,2,3",
     "--camera: the eye and the centre are the same point"},
    {"up_along_sight", "--export-video a.dat b.mp4 --camera 0,0,5,0,0,0",
     "--camera: the up direction is zero or along the line of sight"},
    {"view_and_camera", "--export-video a.dat b.mp4 --view 2 --camera 0,-5,0,0,0,0",
     "--view and --camera both choose the camera: give one"},
    {"negative_view", "--export-video a.dat b.mp4 --view -1",
     "--view takes an object number, not \"-1\""},
    {"fraction_follow", "--export-video a.dat b.mp4 --follow 2.5",
     "--follow takes an object number, not \"2.5\""},
};

class Refusals : public ::testing::TestWithParam<Refusal>
{
};

TEST_P(Refusals, SayWhy)
{
    const Parsed parsed = parse(words(GetParam().line));
    EXPECT_FALSE(parsed.options);
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(ExportVideoCommand, Refusals, ::testing::ValuesIn(REFUSALS),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ExportVideoCommand, ReadsTheCamera)
{
    const Parsed fixed = parse(words("--export-video a.dat b.mp4 --camera 1,-5,2,0,0.5,0"));
    ASSERT_TRUE(fixed.options && fixed.options->camera.fixed) << fixed.error;
    EXPECT_EQ(fixed.options->camera.fixed->eye, osg::Vec3d(1, -5, 2));
    EXPECT_EQ(fixed.options->camera.fixed->centre, osg::Vec3d(0, 0.5, 0));
    EXPECT_EQ(fixed.options->camera.fixed->up, osg::Vec3d(0, 0, 1)) << "z up when not given";
    const Parsed tilted = parse(words("--export-video a.dat b.mp4 --camera 0,0,5,0,0,0,0,1,0"));
    ASSERT_TRUE(tilted.options && tilted.options->camera.fixed) << tilted.error;
    EXPECT_EQ(tilted.options->camera.fixed->up, osg::Vec3d(0, 1, 0));
    const Parsed followed = parse(words("--export-video a.dat b.mp4 --view 0 --follow 12"));
    ASSERT_TRUE(followed.options) << followed.error;
    EXPECT_EQ(followed.options->camera.view, 0);
    EXPECT_EQ(followed.options->camera.follow, 12);
    EXPECT_TRUE(parse(words("--export-video a.dat b.mp4")).options->camera.empty());
}

TEST(ExportPictureCommand, NeedsATimeAndAPictureFileType)
{
    struct Case
    {
        const char* line;
        const char* error; // empty: accepted
    } cases[] = {
        {"--export-picture a.dat b.png --at 1.5 --size 64x48 --view 3", ""},
        {"--export-picture a.dat b.JPEG --at 0", ""},
        {"--export-picture a.dat b.png", "--export-picture needs --at T, the replay time to draw"},
        {"--export-picture a.dat b.gif --at 1",
         "the picture is written as PNG or JPEG: \"b.gif\" ends in neither .png, .jpg nor .jpeg"},
        {"--export-picture a.dat b.png --at -2", "--at takes a time in seconds, not \"-2\""},
        {"--export-picture a.dat b.png --at 1 --fps 3", "unknown option --fps"},
    };
    for (const Case& c : cases) {
        const exportpicture::Parsed parsed = exportpicture::parse(words(c.line));
        EXPECT_EQ(parsed.error, c.error) << c.line;
        EXPECT_EQ(bool(parsed.options), *c.error == 0) << c.line;
    }
}

TEST(ExportVideoCommand, CodecsByNameOrByFileType)
{
    // Entries of the dialog's codec list: 0 FLV, 1 MPEG-4 in QuickTime, 2
    // MPEG-4 ISO, 3 Huff YUV, 4 MS MPEG-4 v2, 5 WMV2.
    EXPECT_EQ(codecEntry("mpeg4", "a.mp4"), 2);
    EXPECT_EQ(codecEntry("mpeg4", "a.mov"), 1);
    EXPECT_EQ(codecEntry("huffyuv", "a.avi"), 3);
    EXPECT_EQ(codecEntry("wmv2", "a.wmv"), 5);
    EXPECT_EQ(codecEntry("msmpeg4v2", "a.wmv"), 4);
    EXPECT_EQ(codecEntry("flv", "a.flv"), 0);
    EXPECT_EQ(codecEntry("Huff YUV (lossless compression)", "a.avi"), 3);
    EXPECT_EQ(codecEntry("h264", "a.mp4"), -1);
    EXPECT_EQ(codecEntry(std::nullopt, "a.mp4"), 2);
    EXPECT_EQ(codecEntry(std::nullopt, "a.mov"), 1);
    EXPECT_EQ(codecEntry(std::nullopt, "a.avi"), 4);
    EXPECT_EQ(codecEntry(std::nullopt, "a.wmv"), 5);
    EXPECT_EQ(codecEntry(std::nullopt, "a.flv"), 0);
    EXPECT_EQ(codecEntry(std::nullopt, "a.mkv"), -1);
    EXPECT_EQ(codecEntry(std::nullopt, "noextension"), -1);
}

TEST(ExportVideoCommand, TimesOutsideTheReplayAreBroughtToItsEnds)
{
    // A recording's first time stamp is rarely 0: --from 0 starts at it.
    struct Case
    {
        const char* arguments;
        double start, end;
        std::size_t notes;
    } cases[] = {
        {"", 2.8e-05, 7.5, 0},
        {"--from 0", 2.8e-05, 7.5, 1},
        {"--from 0 --to 100", 2.8e-05, 7.5, 2},
        {"--from 1 --to 2", 1.0, 2.0, 0},
        {"--from 9", 9.0, 7.5, 0}, // after the end: left for the checks to refuse
    };
    for (const Case& c : cases) {
        const Parsed parsed =
            parse(words(std::string("--export-video a.dat b.mp4 ") + c.arguments));
        ASSERT_TRUE(parsed.options) << c.arguments << ": " << parsed.error;
        const Range range = exportRange(*parsed.options, 2.8e-05, 7.5);
        EXPECT_EQ(range.start, c.start) << c.arguments;
        EXPECT_EQ(range.end, c.end) << c.arguments;
        EXPECT_EQ(range.notes.size(), c.notes) << c.arguments;
    }
}

TEST(ExportVideoCommand, AskedForOnlyByItsOption)
{
    const char* with[] = {"orvane", "-tcp", "11000", "--export-video", "a.dat", "b.mp4"};
    const char* without[] = {"orvane", "-tcp", "11000"};
    EXPECT_TRUE(requested(6, const_cast<char**>(with)));
    EXPECT_FALSE(requested(3, const_cast<char**>(without)));
}

} // namespace

// The encoder writes files that libavformat reads back as written: every
// codec and container pair the export offers, with the frame count, the
// picture size, the time stamps and the pictures themselves checked.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <ostream>
#include <unistd.h>
#include <string>
#include <vector>

#include <osg/GL>
#include <osg/Image>

#include "VideoProbe.h"
#include "video/VideoCodecs.h"
#include "video/VideoEncoder.h"

using namespace video;
using videotest::ProbedVideo;
using videotest::probeVideo;

namespace {

constexpr int FRAMES = 10;
constexpr int RATE = 25;

// Studio-range luma of a grey level.
int lumaOf(int grey)
{
    return 16 + (219 * grey + 127) / 255;
}

// Frame k: the top half grey 20 + 20 k, the bottom half black, in BGRA
// (top row first) or RGBA (bottom row first), as the viewer grabs them.
osg::ref_ptr<osg::Image> frameImage(int width, int height, int k, GLenum format = GL_BGRA)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, format, GL_UNSIGNED_BYTE);
    const unsigned char grey = static_cast<unsigned char>(20 + 20 * k);
    for (int row = 0; row < height; ++row) {
        const bool top = row < height / 2;
        const int stored = format == GL_RGBA ? height - 1 - row : row;
        unsigned char* p = image->data(0, unsigned(stored));
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = p[1] = p[2] = top ? grey : 0;
            p[3] = 255;
        }
    }
    return image;
}

class TempFolder : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const
    {
        return _folder.filePath(QString::fromStdString(name)).toStdString();
    }
    QTemporaryDir _folder;
};

struct Pair
{
    const char* name;
    const char* extension;
    int codecNumber;
    AVCodecID codec;
    const char* format; // as the demuxer names it (a part of its name)
};

const Pair PAIRS[] = {
    {"mp4_mpeg4", "mp4", 13, AV_CODEC_ID_MPEG4, "mp4"},
    {"mov_mpeg4", "mov", 13, AV_CODEC_ID_MPEG4, "mov"},
    {"avi_msmpeg4v2", "avi", 16, AV_CODEC_ID_MSMPEG4V2, "avi"},
    {"wmv_msmpeg4v2", "wmv", 16, AV_CODEC_ID_MSMPEG4V2, "asf"},
    {"avi_huffyuv", "avi", 26, AV_CODEC_ID_HUFFYUV, "avi"},
    {"wmv_wmv2", "wmv", 19, AV_CODEC_ID_WMV2, "asf"},
    {"flv_flv1", "flv", 22, AV_CODEC_ID_FLV1, "flv"},
};

void PrintTo(const Pair& pair, std::ostream* out)
{
    *out << pair.name;
}

class EveryPair : public TempFolder, public ::testing::WithParamInterface<Pair>
{
};

TEST_P(EveryPair, WritesEveryFrameWithItsTimeAndPicture)
{
    const Pair& pair = GetParam();
    const std::string file = path(std::string("out.") + pair.extension);
    // 161 x 119 becomes 162 x 120: huffyuv and wmv2 refuse odd sizes.
    {
        VideoEncoder encoder(file, 161, 119, RATE, 800, codecFromNumber(pair.codecNumber));
        EXPECT_EQ(encoder.width(), 162);
        EXPECT_EQ(encoder.height(), 120);
        for (int k = 0; k < FRAMES; ++k) {
            osg::ref_ptr<osg::Image> image = frameImage(162, 120, k);
            encoder.setInputImage(*image);
            encoder.encodeFrame(1.0 / RATE);
        }
        encoder.close();
        EXPECT_EQ(encoder.framesEncoded(), FRAMES);
    }

    const ProbedVideo video = probeVideo(file);
    ASSERT_TRUE(video.opened) << video.error;
    EXPECT_NE(video.format.find(pair.format), std::string::npos) << video.format;
    EXPECT_EQ(video.codec, pair.codec);
    EXPECT_EQ(video.width, 162);
    EXPECT_EQ(video.height, 120);
    EXPECT_EQ(video.emptyPackets, 0);
    ASSERT_EQ(video.pts.size(), std::size_t(FRAMES)) << "packets";
    ASSERT_EQ(video.pictures.size(), std::size_t(FRAMES)) << "decoded pictures";
    // One frame's time apart, the first at 0.
    for (int k = 0; k < FRAMES; ++k)
        EXPECT_EQ(video.pts[std::size_t(k)], av_rescale_q(k, AVRational{1, RATE}, video.timeBase))
            << "frame " << k;
    // Frame k shows its own grey on top and black below; the last one too.
    for (int k = 0; k < FRAMES; ++k) {
        const auto& picture = video.pictures[std::size_t(k)];
        EXPECT_NEAR(picture.at(picture.y, 80, 10), lumaOf(20 + 20 * k), 8) << "frame " << k;
        EXPECT_NEAR(picture.at(picture.y, 80, 110), 16, 8) << "frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryPair, ::testing::ValuesIn(PAIRS),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(TempFolder, TimeStepsLongerThanAFrameAdvanceSeveralTicks)
{
    const std::string file = path("slow.avi");
    {
        VideoEncoder encoder(file, 64, 48, RATE, 800, AV_CODEC_ID_HUFFYUV);
        for (int k = 0; k < 4; ++k) {
            osg::ref_ptr<osg::Image> image = frameImage(64, 48, k);
            encoder.setInputImage(*image);
            encoder.encodeFrame(3.0 / RATE);
        }
        encoder.close();
    }
    const ProbedVideo video = probeVideo(file);
    ASSERT_TRUE(video.opened) << video.error;
    ASSERT_EQ(video.pts.size(), 4u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(video.pts[std::size_t(k)], 3 * k);
}

TEST_F(TempFolder, CodecSettingsFollowTheFields)
{
    VideoEncoder mov(path("a.mov"), 801, 600, RATE, 800, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(mov.width(), 802);
    EXPECT_EQ(mov.codecBitRate(), 6553600);
    EXPECT_TRUE(mov.globalHeader());
    EXPECT_EQ(mov.pixelFormat(), AV_PIX_FMT_YUV420P);
    mov.close();

    VideoEncoder avi(path("a.avi"), 64, 48, RATE, 10, AV_CODEC_ID_MSMPEG4V2);
    EXPECT_FALSE(avi.globalHeader());
    EXPECT_EQ(avi.codecBitRate(), 81920);
    avi.close();

    // The extension is matched in any case; no codec: the container's own.
    VideoEncoder upper(path("b.MOV"), 64, 48, RATE, 800, AV_CODEC_ID_NONE);
    EXPECT_STREQ(upper.formatName(), "mov");
    EXPECT_TRUE(upper.globalHeader());
    upper.close();

    VideoEncoder huff(path("c.avi"), 64, 48, RATE, 800, AV_CODEC_ID_HUFFYUV);
    EXPECT_EQ(huff.pixelFormat(), AV_PIX_FMT_YUV422P);
    huff.close();
}

TEST_F(TempFolder, RowOrderAndChannelsOfBothGrabs)
{
    // Red on the top half; BGRA is stored top row first, RGBA bottom first.
    auto redTop = [](GLenum format) {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(64, 48, 1, format, GL_UNSIGNED_BYTE);
        for (int row = 0; row < 48; ++row) {
            const int shown = format == GL_RGBA ? 47 - row : row;
            unsigned char* p = image->data(0, unsigned(row));
            for (int x = 0; x < 64; ++x, p += 4) {
                const unsigned char red = shown < 24 ? 255 : 0;
                p[0] = format == GL_RGBA ? red : 0;
                p[1] = 0;
                p[2] = format == GL_RGBA ? 0 : red;
                p[3] = 255;
            }
        }
        return image;
    };
    for (GLenum format : {GLenum(GL_BGRA), GLenum(GL_RGBA)}) {
        const std::string file = path(format == GL_BGRA ? "bgra.avi" : "rgba.avi");
        {
            VideoEncoder encoder(file, 64, 48, RATE, 800, AV_CODEC_ID_HUFFYUV);
            osg::ref_ptr<osg::Image> image = redTop(format);
            encoder.setInputImage(*image);
            encoder.encodeFrame(1.0 / RATE);
            encoder.close();
        }
        const ProbedVideo video = probeVideo(file);
        ASSERT_EQ(video.pictures.size(), 1u) << video.error;
        const auto& picture = video.pictures[0];
        SCOPED_TRACE(format == GL_BGRA ? "BGRA" : "RGBA");
        EXPECT_GT(picture.at(picture.v, 32, 5), 200) << "red on top";
        EXPECT_LT(picture.at(picture.u, 32, 5), 128) << "not blue";
        EXPECT_NEAR(picture.at(picture.y, 32, 40), 16, 4) << "black below";
    }
}

TEST_F(TempFolder, LargerImagesAreScaledToTheVideoSize)
{
    const std::string file = path("scaled.mp4");
    {
        VideoEncoder encoder(file, 80, 60, RATE, 800, AV_CODEC_ID_MPEG4);
        osg::ref_ptr<osg::Image> image = frameImage(160, 120, 5);
        encoder.setInputImage(*image, false);
        encoder.encodeFrame(1.0 / RATE);
        encoder.close();
    }
    const ProbedVideo video = probeVideo(file);
    ASSERT_EQ(video.pictures.size(), 1u) << video.error;
    EXPECT_EQ(video.width, 80);
    EXPECT_NEAR(video.pictures[0].at(video.pictures[0].y, 40, 5), lumaOf(120), 8);
    EXPECT_NEAR(video.pictures[0].at(video.pictures[0].y, 40, 55), 16, 8);
}

struct Failure
{
    const char* name;
    const char* file; // under the test folder unless absolute
    GLenum pixels;
    const char* message;
};

const Failure FAILURES[] = {
    {"unknown_extension", "film.xyz", GL_BGRA, "could not find suitable output format"},
    {"missing_folder", "/nonexistent-orvane-folder/film.mp4", GL_BGRA,
     "could not write to file: '/nonexistent-orvane-folder/film.mp4'"},
    {"rgb_pixels", "film.mp4", GL_RGB, "unsupported pixel format"},
};

void PrintTo(const Failure& row, std::ostream* out)
{
    *out << row.name;
}

class Failures : public TempFolder, public ::testing::WithParamInterface<Failure>
{
};

TEST_P(Failures, ThrowTheMessageAndLeaveTheCallerRunning)
{
    const Failure& row = GetParam();
    const std::string file = row.file[0] == '/' ? row.file : path(row.file);
    try {
        VideoEncoder encoder(file, 64, 48, RATE, 800, AV_CODEC_ID_MPEG4);
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(64, 48, 1, row.pixels, GL_UNSIGNED_BYTE);
        encoder.setInputImage(*image);
        encoder.encodeFrame(1.0 / RATE);
        FAIL() << "no failure";
    } catch (const VideoEncoderError& error) {
        EXPECT_EQ(std::string(error.what()), row.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoder, Failures, ::testing::ValuesIn(FAILURES),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(VideoEncoderFailure, AFullDiskIsReportedNotFatal)
{
    // The format from the name, the bytes to /dev/full through a link: the
    // open succeeds and every write fails.
    bool failed = false;
    try {
        QTemporaryDir folder;
        const std::string link = folder.filePath("full.avi").toStdString();
        ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);
        VideoEncoder encoder(link, 320, 240, RATE, 800, AV_CODEC_ID_HUFFYUV);
        for (int k = 0; k < 40; ++k) {
            osg::ref_ptr<osg::Image> image = frameImage(320, 240, k % 10);
            encoder.setInputImage(*image);
            encoder.encodeFrame(1.0 / RATE);
        }
        encoder.close();
    } catch (const VideoEncoderError& error) {
        failed = true;
        EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_TRUE(failed);
}

TEST(VideoCodecs, NumbersOfTheCodecTable)
{
    const std::vector<std::pair<int, AVCodecID>> expected = {
        {13, AV_CODEC_ID_MPEG4}, {16, AV_CODEC_ID_MSMPEG4V2}, {19, AV_CODEC_ID_WMV2},
        {22, AV_CODEC_ID_FLV1},  {26, AV_CODEC_ID_HUFFYUV},   {0, AV_CODEC_ID_NONE}};
    for (const auto& [number, codec] : expected) {
        bool known = false;
        EXPECT_EQ(codecFromNumber(number, &known), codec) << number;
        EXPECT_TRUE(known) << number;
    }
    bool known = true;
    EXPECT_EQ(codecFromNumber(12, &known), AV_CODEC_ID_NONE);
    EXPECT_FALSE(known);
    for (const VideoCodecEntry& entry : VIDEO_CODECS) {
        EXPECT_NE(codecFromNumber(entry.codecNumber), AV_CODEC_ID_NONE) << entry.item;
        EXPECT_EQ(VIDEO_CODECS[std::size_t(codecIndex(entry.item))].item, entry.item);
    }
    EXPECT_EQ(codecIndex("MPEG4 (ISO Standard)"), 2);
    EXPECT_EQ(codecIndex("mpeg4 (iso standard)"), -1);
}

} // namespace

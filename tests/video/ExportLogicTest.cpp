// What the export decides without drawing: the checks before it starts,
// the presets in the settings store, how many frames a range makes, and the
// encoding thread's order and failures.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <atomic>
#include <ostream>
#include <string>

#include <osg/GL>
#include <osg/Image>

#include "PresetFields.h"
#include "VideoProbe.h"
#include "settings/Settings.h"
#include "video/EncodingThread.h"
#include "video/ExportChecks.h"
#include "video/ReplayVideoExport.h"
#include "video/VideoPresets.h"

using namespace video;

namespace {

struct CheckRow
{
    const char* name;
    const char* file;
    const char* codec;
    double start;
    double end;
    const char* warning; // empty: passes
};

void PrintTo(const CheckRow& row, std::ostream* out)
{
    *out << row.name;
}

// The replay runs from 1.0 to 5.0 s.
const CheckRow CHECKS[] = {
    {"no_name", "", "MPEG4 (ISO Standard)", 0.0, 9.0, "No filename given!"},
    {"huffyuv_in_wmv", "a.wmv", "Huff YUV (lossless compression)", 1.0, 5.0,
     "\"Windows Media Video (wmv)\" file format is incompatible to \"Huff YUV\" video codec!"},
    {"huffyuv_in_mov", "a.mov", "Huff YUV (lossless compression)", 1.0, 5.0,
     "\"QuickTime (mov)\" file format is incompatible to \"Huff YUV\" and \"FLV\" video codec!"},
    {"flv_in_mov", "a.mov", "FlashVideo (Online publishing)", 1.0, 5.0,
     "\"QuickTime (mov)\" file format is incompatible to \"Huff YUV\" and \"FLV\" video codec!"},
    {"mpeg4_in_flv", "a.flv", "MPEG4 (ISO Standard)", 1.0, 5.0,
     "\"Flash Vid (flv)\" file format requires \"FLV\" video codec!"},
    {"start_too_low", "a.mp4", "MPEG4 (ISO Standard)", 0.5, 5.0,
     "Start time set to low!\nNo Data available for this time stamp"},
    {"end_too_high", "a.mp4", "MPEG4 (ISO Standard)", 1.0, 5.5,
     "Stop time set to high!\nNo Data available for this time stamp"},
    {"start_after_end", "a.mp4", "MPEG4 (ISO Standard)", 4.0, 2.0,
     "Start time stamp after end time stamp!"},
    // The extension tests see the letter case as typed.
    {"huffyuv_in_capital_mov", "a.MOV", "Huff YUV (lossless compression)", 1.0, 5.0, ""},
    {"mpeg4_in_capital_flv", "a.FLV", "MPEG4 (ISO Standard)", 1.0, 5.0, ""},
    {"flv_in_flv", "a.flv", "FlashVideo (Online publishing)", 1.0, 5.0, ""},
    {"huffyuv_in_avi", "a.avi", "Huff YUV (lossless compression)", 1.0, 5.0, ""},
    {"whole_replay", "a.mp4", "MPEG4 (ISO Standard)", 1.0, 5.0, ""},
    {"single_instant", "a.mp4", "MPEG4 (ISO Standard)", 3.0, 3.0, ""},
};

class Checks : public ::testing::TestWithParam<CheckRow>
{
};

TEST_P(Checks, GiveTheFirstFailingWarning)
{
    const CheckRow& row = GetParam();
    ExportRequest request;
    request.fileName = row.file;
    request.codecItem = row.codec;
    request.start = row.start;
    request.end = row.end;
    request.firstTime = 1.0;
    request.lastTime = 5.0;
    EXPECT_EQ(exportCheckFailure(request).toStdString(), row.warning);
}

INSTANTIATE_TEST_SUITE_P(Export, Checks, ::testing::ValuesIn(CHECKS),
                         [](const auto& row) { return std::string(row.param.name); });

class Presets : public ::testing::Test
{
protected:
    QTemporaryDir _folder;
    QSettings _store{_folder.filePath("Orvane.ini"), QSettings::IniFormat};
};

TEST_F(Presets, AnEmptyStoreGetsTheSixDefaults)
{
    EXPECT_TRUE(writeDefaultPresetsIfEmpty(_store));
    EXPECT_EQ(presetNames(_store).size(), 6);
    const std::optional<VideoPreset> huv =
        loadPreset(_store, "Uncompressed HUV - for postprocessing");
    ASSERT_TRUE(huv);
    EXPECT_EQ(videotest::presetFields(*huv),
              (std::vector<std::string>{"Huff YUV (lossless compression)", "3000", "100", "1280",
                                        "1024"}));
    _store.sync();
    // Stored as text under the preset's group.
    QSettings reread(_folder.filePath("Orvane.ini"), QSettings::IniFormat);
    EXPECT_EQ(reread.value("Presets/MPeg4 - Low Quality/Framerate").toString(), "24");
    EXPECT_EQ(reread.value("Presets/Flash Video - for online publishing/Codec").toString(),
              "FlashVideo (Online publishing)");

    // Written once: a deleted default stays deleted while others remain.
    deletePreset(_store, "MPeg4 - High Quality");
    EXPECT_FALSE(writeDefaultPresetsIfEmpty(_store));
    EXPECT_EQ(presetNames(_store).size(), 5);
    EXPECT_FALSE(loadPreset(_store, "MPeg4 - High Quality"));
}

TEST_F(Presets, SavedOverwrittenAndDeleted)
{
    savePreset(_store, {"Mine", "WMV2 (compatible to PowerPoint)", "123", "30", "640", "480"});
    EXPECT_FALSE(writeDefaultPresetsIfEmpty(_store)) << "a user's preset keeps the defaults out";
    EXPECT_EQ(presetNames(_store), QStringList{"Mine"});
    savePreset(_store, {"Mine", "MPEG4 (ISO Standard)", "456", "25", "320", "240"});
    const std::optional<VideoPreset> mine = loadPreset(_store, "Mine");
    ASSERT_TRUE(mine);
    EXPECT_EQ(videotest::presetFields(*mine),
              (std::vector<std::string>{"MPEG4 (ISO Standard)", "456", "25", "320", "240"}));
    // Another case is another preset name: only the exact one is loaded.
    EXPECT_FALSE(loadPreset(_store, "mine"));
    deletePreset(_store, "Mine");
    EXPECT_TRUE(presetNames(_store).isEmpty());
    // Names that the store would split into groups are refused.
    EXPECT_FALSE(validPresetName("a/b"));
    EXPECT_FALSE(validPresetName("a\\b"));
    EXPECT_FALSE(validPresetName("  "));
    EXPECT_TRUE(validPresetName("High - 60 fps"));
}

TEST(FrameCount, FramesOfARange)
{
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 1.0, 2.0, 25), 12);
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 1.0, 1.0, 25), 25);
    // An end exactly one step away makes one frame; just short of it none.
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 0.04, 1.0, 25), 1);
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 0.039, 1.0, 25), 0);
    EXPECT_EQ(ReplayVideoExport::frameCount(3.0, 3.0, 1.0, 25), 0);
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 1000.0, 1.0, 25), 25000);
    EXPECT_EQ(ReplayVideoExport::frameCount(0.3, 0.9, 0.1, 10), 60);
    EXPECT_NEAR(ReplayVideoExport::frameTime(0.3, 2.0, 25, 7), 0.86, 1e-12);
}

osg::ref_ptr<osg::Image> greyImage(int grey, GLenum format = GL_BGRA)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(64, 48, 1, format, GL_UNSIGNED_BYTE);
    std::fill(image->data(), image->data() + image->getTotalSizeInBytes(),
              static_cast<unsigned char>(grey));
    return image;
}

TEST(EncodingThread, EncodesInOrderAndGivesEveryImageBack)
{
    QTemporaryDir folder;
    const std::string file = folder.filePath("order.avi").toStdString();
    std::atomic<int> recycled = 0;
    {
        VideoEncoder encoder(file, 64, 48, 25, 800, AV_CODEC_ID_HUFFYUV);
        EncodingThread thread(encoder, 1.0 / 25, true, 2,
                              [&](osg::ref_ptr<osg::Image>) { ++recycled; });
        for (int k = 0; k < 20; ++k)
            ASSERT_TRUE(thread.submit(greyImage(10 * k)));
        thread.finish();
        encoder.close();
    }
    EXPECT_EQ(recycled, 20);
    const videotest::ProbedVideo video = videotest::probeVideo(file);
    ASSERT_EQ(video.pictures.size(), 20u) << video.error;
    for (int k = 1; k < 20; ++k)
        EXPECT_GT(video.pictures[std::size_t(k)].y[0], video.pictures[std::size_t(k - 1)].y[0])
            << "frame " << k;
}

TEST(EncodingThread, AFailureStopsItAndIsRethrownOnce)
{
    QTemporaryDir folder;
    VideoEncoder encoder(folder.filePath("fail.avi").toStdString(), 64, 48, 25, 800,
                         AV_CODEC_ID_HUFFYUV);
    EncodingThread thread(encoder, 1.0 / 25, true, 1);
    EXPECT_TRUE(thread.submit(greyImage(50)));
    thread.submit(greyImage(50, GL_RGB));
    // Once the failure is seen, nothing more is taken.
    bool refused = false;
    for (int k = 0; k < 100 && !refused; ++k)
        refused = !thread.submit(greyImage(60));
    EXPECT_TRUE(refused);
    EXPECT_TRUE(thread.failed());
    try {
        thread.finish();
        ADD_FAILURE() << "the failure was not rethrown";
    } catch (const VideoEncoderError& error) {
        EXPECT_STREQ(error.what(), "unsupported pixel format");
    }
    EXPECT_NO_THROW(thread.finish());
    EXPECT_NO_THROW(encoder.close());
    EXPECT_EQ(encoder.framesEncoded(), 1);
}

} // namespace

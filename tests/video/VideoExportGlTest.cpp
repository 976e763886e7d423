// The whole conversion on the X display: a recording played frame by frame
// into an off-screen buffer, encoded, and read back from the file. The
// recording's background tells each frame's replay time.
#include <gtest/gtest.h>

#include <osg/GraphicsContext>

#include <vector>

#include "ExportFixture.h"
#include "VideoProbe.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "video/ReplayVideoExport.h"

using namespace video;
using namespace videotest;

namespace {

ExportParameters parameters(const std::string& file, AVCodecID codec)
{
    ExportParameters p;
    p.fileName = file;
    p.width = 160;
    p.height = 120;
    p.bitRate = 800;
    p.frameRate = 25;
    p.codec = codec;
    p.speed = 1.0;
    p.start = 0.0;
    p.end = 1.0;
    return p;
}

// Exports the host's replay with `p` to the end and reads the file back.
ProbedVideo exported(ReplayExportHost& host, const ExportParameters& p)
{
    ReplayVideoExport conversion(host.viewer(), host.objects(), host.clock());
    const ExportResult result = conversion.run(p);
    EXPECT_EQ(result.outcome, ExportResult::Finished) << result.error;
    return probeVideo(p.fileName);
}

// Each picture shows the replay time of its frame: `first` on, 0.04 s apart.
void expectFrameTimesFrom(const ProbedVideo& video, double first)
{
    for (std::size_t j = 0; j < video.pictures.size(); ++j) {
        const auto& picture = video.pictures[j];
        EXPECT_NEAR(picture.at(picture.v, 80, 60), chromaOfRed(redAt(first + 0.04 * double(j))), 2)
            << "frame " << j;
    }
}

TEST_F(ExportTest, SpeedTwoAt25FramesASecondShows008SecondsOfReplayPerFrame)
{
    const std::string file = path("speed2.avi");
    ExportParameters p = parameters(file, AV_CODEC_ID_HUFFYUV);
    p.speed = 2.0;
    std::vector<double> times;
    ReplayVideoExport conversion(_host->viewer(), _host->objects(), _host->clock());
    const ExportResult result = conversion.run(p, [&](double t, std::int64_t frames) {
        times.push_back(t);
        EXPECT_EQ(frames, std::int64_t(times.size()));
        return true;
    });
    ASSERT_EQ(result.outcome, ExportResult::Finished) << result.error;
    // 0, 0.08, ... 0.88: the frame after 0.88 would start at 1.04 > 1.0.
    EXPECT_EQ(result.frames, 12);
    EXPECT_EQ(ReplayVideoExport::frameCount(0.0, 1.0, 2.0, 25), 12);
    ASSERT_EQ(times.size(), 12u);
    for (std::size_t j = 0; j < times.size(); ++j)
        EXPECT_NEAR(times[j], 0.08 * double(j + 1), 1e-6) << "frame " << j;

    const ProbedVideo video = probeVideo(file);
    ASSERT_EQ(video.pictures.size(), 12u) << video.error;
    EXPECT_EQ(video.width, 160);
    for (std::size_t j = 0; j < video.pictures.size(); ++j) {
        const auto& picture = video.pictures[j];
        const int red = redAt(0.08 * double(j));
        EXPECT_EQ(red, int(20 * j));
        EXPECT_NEAR(picture.at(picture.y, 80, 60), lumaOfRed(red), 2) << "frame " << j;
        EXPECT_NEAR(picture.at(picture.v, 80, 60), chromaOfRed(red), 2) << "frame " << j;
    }

    // Afterwards the replay plays on screen again from its beginning.
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);
    ASSERT_NE(_host->objects().replay(), nullptr);
    EXPECT_EQ(_host->objects().replay()->fileName(), _replay);
    EXPECT_EQ(_host->viewer().offscreenContext(), nullptr);
}

TEST_F(ExportTest, AnOddWidthIsRoundedUpAndDrawnAtTwiceTheSize)
{
    const std::string file = path("odd.mp4");
    ExportParameters p = parameters(file, AV_CODEC_ID_MPEG4);
    p.width = 801;
    p.height = 301;
    p.end = 0.2;
    int bufferWidth = 0, bufferHeight = 0;
    ReplayVideoExport conversion(_host->viewer(), _host->objects(), _host->clock());
    const ExportResult result = conversion.run(p, [&](double, std::int64_t) {
        const osg::GraphicsContext* context = _host->viewer().offscreenContext();
        bufferWidth = context ? context->getTraits()->width : 0;
        bufferHeight = context ? context->getTraits()->height : 0;
        return true;
    });
    ASSERT_EQ(result.outcome, ExportResult::Finished) << result.error;
    EXPECT_EQ(bufferWidth, 1604);
    EXPECT_EQ(bufferHeight, 604);
    const ProbedVideo video = probeVideo(file);
    EXPECT_EQ(video.width, 802);
    EXPECT_EQ(video.height, 302);
    EXPECT_EQ(video.pictures.size(), 5u);
}

TEST_F(ExportTest, AStopMidWayLeavesAPlayableFile)
{
    const std::string file = path("stopped.mp4");
    ReplayVideoExport conversion(_host->viewer(), _host->objects(), _host->clock());
    const ExportResult result =
        conversion.run(parameters(file, AV_CODEC_ID_MPEG4),
                       [&](double, std::int64_t frames) { return frames < 5; });
    EXPECT_EQ(result.outcome, ExportResult::Stopped);
    EXPECT_EQ(result.frames, 5);
    const ProbedVideo video = probeVideo(file);
    ASSERT_TRUE(video.opened) << video.error;
    ASSERT_EQ(video.pictures.size(), 5u);
    const auto& last = video.pictures.back();
    EXPECT_NEAR(last.at(last.v, 80, 60), chromaOfRed(redAt(0.16)), 4);
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);
}

TEST_F(ExportTest, AFailureIsReportedAndTheNextExportWorks)
{
    ReplayVideoExport conversion(_host->viewer(), _host->objects(), _host->clock());
    const std::string unwritable = "/nonexistent-orvane-folder/film.mp4";
    bool called = false;
    const ExportResult failed =
        conversion.run(parameters(unwritable, AV_CODEC_ID_MPEG4), [&](double, std::int64_t) {
            called = true;
            return true;
        });
    EXPECT_EQ(failed.outcome, ExportResult::Failed);
    EXPECT_EQ(failed.error, "could not write to file: '" + unwritable + "'");
    EXPECT_FALSE(called);
    EXPECT_EQ(_host->viewer().offscreenContext(), nullptr);
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);

    const std::string file = path("after.flv");
    ExportParameters p = parameters(file, AV_CODEC_ID_FLV1);
    p.end = 0.2;
    const ExportResult result = conversion.run(p);
    EXPECT_EQ(result.outcome, ExportResult::Finished) << result.error;
    EXPECT_EQ(probeVideo(file).pictures.size(), 5u);
}

TEST_F(ExportTest, TheFirstFrameShowsTheStartTimeWhereverTheReplayWas)
{
    // The scene was left at the end of the replay.
    _host->clock().setTime(1.0);
    _host->objects().setReplayFeedPause(0);
    _host->objects().replayTick(1.0f);
    const std::string file = path("from04.avi");
    ExportParameters p = parameters(file, AV_CODEC_ID_HUFFYUV);
    p.start = 0.4;
    p.end = 0.6;
    const ProbedVideo video = exported(*_host, p);
    ASSERT_EQ(video.pictures.size(), 5u) << video.error;
    expectFrameTimesFrom(video, 0.4);
}

class ExportInGlWidget : public ExportTest
{
protected:
    Embedding embedding() const override { return Embedding::GLWidget; }
};

TEST_F(ExportInGlWidget, ShowsEachFramesTimeAsTheNativeWindowDoes)
{
    const std::string file = path("widget.avi");
    ExportParameters p = parameters(file, AV_CODEC_ID_HUFFYUV);
    p.end = 0.3;
    const ProbedVideo video = exported(*_host, p);
    ASSERT_EQ(video.pictures.size(), 7u) << video.error;
    expectFrameTimesFrom(video, 0.0);
    EXPECT_EQ(_host->viewer().offscreenContext(), nullptr);
}

} // namespace

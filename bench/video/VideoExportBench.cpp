// The video export's speed: a 10-second replay exported at 800 x 600, 25
// frames a second, MPEG-4 (250 frames), and its parts.
//
//   BM_FfmpegTool        baseline: the ffmpeg command-line tool encoding the
//                        same 250 raw BGRA frames (piped in) with the same
//                        codec, bit rate and group of pictures
//   BM_EncodeOnly        VideoEncoder on the same frames (convert + encode
//                        + write), on the calling thread
//   BM_EncodeSupersampled  the same from frames of twice the size each way,
//                        scaled down by the encoder as in the export
//   BM_ScaleOnly         only that scaling and colour conversion
//   BM_RenderAndReadback the replay's scene drawn off-screen at 1600 x 1200
//                        and read back halved to 800 x 600 as the export
//                        reads it (on the GPU, or on the processor where
//                        the renderer draws there), without encoding;
//                        gpu_shrink:1 shrinks on the GPU also where the
//                        renderer draws on the processor (which the export
//                        does not: it measured slower there)
//   BM_WholePipeline     ReplayVideoExport: draw, read back, scale, encode
//                        (on its thread), advance the replay
//   headless:0 / headless:1  the two GL benchmarks on the X display's pixel
//                        buffer and on EGL without a display (the device
//                        display of a GPU where there is one, else Mesa's
//                        surfaceless platform), in one run
//
// Goals: BM_EncodeOnly at least 80 % of BM_FfmpegTool's frames/s;
// BM_WholePipeline/headless:1 at least BM_WholePipeline/headless:0's
// frames/s, and both at least half BM_FfmpegTool's. The X11 benchmarks need an X display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" env LIBGL_ALWAYS_SOFTWARE=1
//     build/bench/video/bench_video --benchmark_counters_tabular=true
// (one command line). On a shared machine the ratios move with the load of
// the moment; repetitions in random order spread it over all of them:
//   ... --benchmark_filter='FfmpegTool|WholePipeline'
//       --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <osg/GL>
#include <osg/Image>

extern "C" {
#include <libswscale/swscale.h>
}

#include "gnp2/Packet.h"
#include "objects/ShapeObjects.h"
#include "replay/Recorder.h"
#include "scene/ObjectManager.h"
#include "video/FFmpegHandles.h"
#include "video/ReplayExportHost.h"
#include "video/ReplayVideoExport.h"
#include "video/VideoEncoder.h"
#include "view/CompositeViewerQOSG.h"
#include "view/FrameGrabber.h"
#include "view/ViewObjects.h"

namespace {

constexpr int WIDTH = 800;
constexpr int HEIGHT = 600;
constexpr int RATE = 25;
constexpr int FRAMES = 250;                           // 10 s
constexpr int BITRATE = WIDTH * HEIGHT / 30000 * 100; // the dialog's default: 1600
constexpr int DISTINCT = 25;                          // distinct synthetic frames, cycled

// Frames with moving gradients and bars, so that the encoder has work.
const std::vector<osg::ref_ptr<osg::Image>>& frames(int width, int height)
{
    static std::vector<osg::ref_ptr<osg::Image>> made[2];
    std::vector<osg::ref_ptr<osg::Image>>& list = made[width == WIDTH ? 0 : 1];
    if (!list.empty())
        return list;
    for (int k = 0; k < DISTINCT; ++k) {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(width, height, 1, GL_BGRA, GL_UNSIGNED_BYTE);
        for (int y = 0; y < height; ++y) {
            unsigned char* p = image->data(0, unsigned(y));
            for (int x = 0; x < width; ++x, p += 4) {
                const int bar = ((x + 8 * k) / 40) % 2;
                p[0] = static_cast<unsigned char>((x + 4 * k) & 255);
                p[1] = static_cast<unsigned char>((y * 255) / height);
                p[2] = static_cast<unsigned char>(bar ? 220 : (x ^ y) & 255);
                p[3] = 255;
            }
        }
        list.push_back(image);
    }
    return list;
}

void setFrameRate(benchmark::State& state, std::int64_t frames)
{
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void BM_FfmpegTool(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::string out = folder.filePath("tool.mp4").toStdString();
    const std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgra -s " +
                                std::to_string(WIDTH) + "x" + std::to_string(HEIGHT) + " -r " +
                                std::to_string(RATE) + " -i - -c:v mpeg4 -b:v " +
                                std::to_string(std::int64_t(BITRATE) << 13) + " -g 12 " + out;
    const auto& images = frames(WIDTH, HEIGHT);
    std::int64_t done = 0;
    for (auto _ : state) {
        std::FILE* tool = popen(command.c_str(), "w");
        if (!tool) {
            state.SkipWithError("ffmpeg cannot be started");
            return;
        }
        for (int k = 0; k < FRAMES; ++k) {
            const osg::Image& image = *images[std::size_t(k % DISTINCT)];
            std::fwrite(image.data(), 1, image.getTotalSizeInBytes(), tool);
        }
        if (pclose(tool) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        done += FRAMES;
    }
    setFrameRate(state, done);
}

void encode(benchmark::State& state, int width, int height)
{
    QTemporaryDir folder;
    const std::string out = folder.filePath("encoder.mp4").toStdString();
    const auto& images = frames(width, height);
    std::int64_t done = 0;
    for (auto _ : state) {
        video::VideoEncoder encoder(out, WIDTH, HEIGHT, RATE, BITRATE, AV_CODEC_ID_MPEG4);
        for (int k = 0; k < FRAMES; ++k) {
            encoder.setInputImage(*images[std::size_t(k % DISTINCT)], false);
            encoder.encodeFrame(1.0 / RATE);
        }
        encoder.close();
        done += FRAMES;
    }
    setFrameRate(state, done);
}

void BM_EncodeOnly(benchmark::State& state)
{
    encode(state, WIDTH, HEIGHT);
}

void BM_EncodeSupersampled(benchmark::State& state)
{
    encode(state, 2 * WIDTH, 2 * HEIGHT);
}

void BM_ScaleOnly(benchmark::State& state)
{
    const auto& images = frames(2 * WIDTH, 2 * HEIGHT);
    video::ScaleContextPtr scale(sws_getContext(2 * WIDTH, 2 * HEIGHT, AV_PIX_FMT_BGRA, WIDTH,
                                                HEIGHT, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                                nullptr, nullptr));
    video::FramePtr picture(av_frame_alloc());
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = WIDTH;
    picture->height = HEIGHT;
    av_frame_get_buffer(picture.get(), 0);
    std::int64_t done = 0;
    for (auto _ : state) {
        const osg::Image& image = *images[std::size_t(done % DISTINCT)];
        const std::uint8_t* source[4] = {image.data(), nullptr, nullptr, nullptr};
        const int stride[4] = {int(image.getRowStepInBytes()), 0, 0, 0};
        sws_scale(scale.get(), source, stride, 0, 2 * HEIGHT, picture->data, picture->linesize);
        ++done;
    }
    setFrameRate(state, done);
}

// A 10-second recording: 24 shapes moving and turning, recorded 25 times a
// second.
std::string writeReplay(const QTemporaryDir& folder)
{
    const std::string path = folder.filePath("ten-seconds.dat").toStdString();
    ReplayRecorder recorder;
    if (!recorder.open(path).empty())
        return {};
    for (int step = 0; step <= 10 * RATE; ++step) {
        const float t = float(step) / RATE;
        for (int o = 1; o <= 24; ++o) {
            GNP2::Packet p;
            p.setHeader(GNP2::makeHeader(std::uint32_t(o), TYPE_VisBaseObject));
            p.setFloatVector(0, {t});
            p.setIntVector(13, {0});
            p.setIntVector(5, {1 + o % 5});
            const float x = float((o - 1) % 6) * 2.5f - 6.f + std::sin(t + float(o)) * 0.5f;
            const float y = float((o - 1) / 6) * 2.5f - 4.f;
            p.setFloatVector(1, {x, y, std::cos(2.f * t + float(o))});
            p.setFloatVector(4, {1.2f, 1.2f, 1.2f});
            p.setIntVector(44, {40 * (o % 6), 255 - 10 * o, 60 + 8 * o});
            recorder.record(p);
        }
    }
    recorder.close();
    return path;
}

// The export host with the recording loaded and the camera framing it.
struct Scene
{
    QTemporaryDir folder;
    ObjectFactory factory;
    std::unique_ptr<video::ReplayExportHost> host;
    bool ready = false;

    explicit Scene(Embedding embedding)
    {
        const std::string replay = writeReplay(folder);
        registerShapeObjects(factory);
        registerViewObjects(factory);
        host = std::make_unique<video::ReplayExportHost>(new osg::Group, factory, embedding);
        if (replay.empty() || !host->loadReplay(QString::fromStdString(replay)).empty())
            return;
        rewind();
        host->viewer().homeView();
        ready = true;
    }

    // The scene at the replay's start; an export leaves the replay loaded
    // afresh, with no objects until it is played.
    void rewind()
    {
        host->objects().setReplayFeedPause(0);
        host->objects().replayTick(0.f);
        while (!host->objects().receiveRing().empty())
            host->objects().updateCallback().runOnce();
    }
};

// The scene of the X11 path (argument 0) or of the headless one (1).
Scene& scene(const benchmark::State& state)
{
    if (state.range(0) == 0) {
        static Scene x11(Embedding::NativeWindow);
        return x11;
    }
    static Scene headless(Embedding::Headless);
    return headless;
}

void BM_RenderAndReadback(benchmark::State& state)
{
    Scene& s = scene(state);
    if (!s.ready) {
        state.SkipWithError("no scene");
        return;
    }
    s.rewind();
    ViewerManager& viewer = s.host->viewer();
    if (!viewer.beginOffscreen(2 * WIDTH, 2 * HEIGHT)) {
        state.SkipWithError("no off-screen buffer");
        return;
    }
    // Read back as the export reads, into recycled images.
    osg::ref_ptr<view::FrameGrabber> readback = new view::FrameGrabber;
    if (state.range(1) != 0)
        readback->setShrinkPlace(view::FrameGrabber::ShrinkPlace::Gpu);
    viewer.offscreenContext()->setSwapCallback(readback.get());
    auto drawOne = [&] {
        readback->arm(2 * WIDTH, 2 * HEIGHT, GL_BGRA, 2);
        viewer.viewer()->frame();
        osg::ref_ptr<osg::Image> image = readback->take();
        benchmark::DoNotOptimize(image.get());
        readback->recycle(std::move(image));
    };
    // The first frames compile the scene's drawing state.
    for (int i = 0; i < 5; ++i)
        drawOne();
    std::int64_t done = 0;
    for (auto _ : state) {
        drawOne();
        ++done;
    }
    viewer.endOffscreen();
    setFrameRate(state, done);
}

void BM_WholePipeline(benchmark::State& state)
{
    Scene& s = scene(state);
    if (!s.ready) {
        state.SkipWithError("no scene");
        return;
    }
    const std::string out = s.folder.filePath("export.mp4").toStdString();
    std::int64_t done = 0;
    for (auto _ : state) {
        video::ExportParameters p;
        p.fileName = out;
        p.width = WIDTH;
        p.height = HEIGHT;
        p.bitRate = BITRATE;
        p.frameRate = RATE;
        p.codec = AV_CODEC_ID_MPEG4;
        p.start = 0.0;
        p.end = 10.0;
        video::ReplayVideoExport conversion(s.host->viewer(), s.host->objects(), s.host->clock());
        const video::ExportResult result = conversion.run(p);
        if (result.outcome != video::ExportResult::Finished) {
            state.SkipWithError(result.error.c_str());
            return;
        }
        done += result.frames;
    }
    setFrameRate(state, done);
}

BENCHMARK(BM_FfmpegTool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_EncodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_EncodeSupersampled)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ScaleOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderAndReadback)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(50)
    ->ArgNames({"headless", "gpu_shrink"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1});
BENCHMARK(BM_WholePipeline)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->ArgName("headless")
    ->Arg(0)
    ->Arg(1);

} // namespace

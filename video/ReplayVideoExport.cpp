#include "video/ReplayVideoExport.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <osg/GraphicsContext>

#include "net/PacketRing.h"
#include "replay/ReplayClock.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "video/EncodingThread.h"
#include "video/VideoEncoder.h"
#include "view/CompositeViewerQOSG.h"
#include "view/FrameGrabber.h"
#include "view/ViewerManager.h"

namespace video {

namespace {

int evenUp(int value)
{
    return value + (value & 1);
}

double stepOf(double speed, int frameRate)
{
    return (1.0 / frameRate) * speed;
}

// Whether frame k is made: the time after it does not pass the end. The
// tolerance keeps an end that is a whole number of steps away inside.
bool frameInRange(double start, double end, double speed, int frameRate, std::int64_t k)
{
    const double next = ReplayVideoExport::frameTime(start, speed, frameRate, k + 1);
    return next <= end + 1e-9 * std::max(1.0, std::abs(end));
}

// Runs `undo` when the scope ends, however it ends.
template <typename F> class Restore
{
public:
    explicit Restore(F undo) : _undo(std::move(undo)) {}
    ~Restore() { _undo(); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    F _undo;
};

} // namespace

ReplayVideoExport::ReplayVideoExport(ViewerManager& viewer, ObjectManager& objects,
                                     ReplayClock& clock)
    : _viewer(viewer), _objects(objects), _clock(clock)
{
}

double ReplayVideoExport::frameTime(double start, double speed, int frameRate, std::int64_t k)
{
    return start + double(k) * stepOf(speed, frameRate);
}

std::int64_t ReplayVideoExport::frameCount(double start, double end, double speed, int frameRate)
{
    if (frameRate <= 0 || !(speed > 0.0) || !(end >= start))
        return 0;
    // Times so large that a step does not change them have no frames.
    if (!(frameTime(start, speed, frameRate, 1) > start))
        return 0;
    std::int64_t k = std::int64_t(std::floor((end - start) / stepOf(speed, frameRate)));
    k = std::max<std::int64_t>(0, k - 1);
    while (frameInRange(start, end, speed, frameRate, k))
        ++k;
    return k;
}

void ReplayVideoExport::moveTo(double t)
{
    _clock.setTime(t);
    // The feed stops when the ring is full; what is left goes in once the
    // callback has taken the rest, so that the frame shows all of t.
    const float time = float(t);
    _objects.replayTick(time);
    while (!_objects.receiveRing().empty()) {
        _objects.updateCallback().runOnce();
        _objects.replayTick(time);
    }
}

ExportResult ReplayVideoExport::run(const ExportParameters& parameters, const FrameDone& frameDone)
{
    ExportResult result;
    const ReplayManager* replay = _objects.replay();
    if (!replay) {
        result.outcome = ExportResult::Failed;
        result.error = "No replay is loaded.";
        return result;
    }
    if (parameters.frameRate <= 0 || !(parameters.speed > 0.0) || parameters.width <= 0 ||
        parameters.height <= 0) {
        result.outcome = ExportResult::Failed;
        result.error = "The video needs a size, a frame rate and a replay speed above 0.";
        return result;
    }
    const std::string replayPath = replay->fileName();
    const int width = evenUp(parameters.width);
    const int height = evenUp(parameters.height);
    const int bufferWidth = int(SUPERSAMPLING * width);
    const int bufferHeight = int(SUPERSAMPLING * height);

    // The export sets the time itself and applies each feed at once.
    const int feedPause = _objects.replayFeedPause();
    _objects.setReplayFeedPause(0);
    _clock.pause();
    Restore restoreReplay([&] {
        _objects.setReplayFeedPause(feedPause);
        // A simulation that connected meanwhile keeps its live scene.
        if (_objects.state() != ObjectManager::Online)
            _objects.startReplay(QString::fromStdString(replayPath));
    });
    moveTo(parameters.start);

    if (!_viewer.beginOffscreen(bufferWidth, bufferHeight)) {
        result.outcome = ExportResult::Failed;
        result.error = "No off-screen buffer of " + std::to_string(bufferWidth) + " x " +
                       std::to_string(bufferHeight) + " pixels could be made" +
                       (_viewer.offscreenError().empty() ? "." : ": " + _viewer.offscreenError());
        return result;
    }
    Restore endOffscreen([&] { _viewer.endOffscreen(); });
    ExportCamera camera(_viewer, _objects, parameters.camera);
    // Images are BGRA, bottom row first, exactly as OpenGL reads them: the
    // encoder reads them upwards, so nothing is flipped.
    osg::ref_ptr<view::FrameGrabber> readback = new view::FrameGrabber;
    _viewer.offscreenContext()->setSwapCallback(readback.get());

    std::unique_ptr<VideoEncoder> encoder;
    try {
        encoder =
            std::make_unique<VideoEncoder>(parameters.fileName, width, height, parameters.frameRate,
                                           parameters.bitRate, parameters.codec);
    } catch (const VideoEncoderError& error) {
        result.outcome = ExportResult::Failed;
        result.error = error.what();
        return result;
    }

    {
        EncodingThread encoding(
            *encoder, 1.0 / parameters.frameRate, true, 2,
            [readback](osg::ref_ptr<osg::Image> image) { readback->recycle(std::move(image)); });
        const std::int64_t total =
            frameCount(parameters.start, parameters.end, parameters.speed, parameters.frameRate);
        for (std::int64_t k = 0; k < total; ++k) {
            if (std::string why = camera.beforeFrame(bufferWidth, bufferHeight); !why.empty()) {
                result.outcome = ExportResult::Failed;
                result.error = std::move(why);
                result.cameraUnavailable = true;
                break;
            }
            readback->arm(bufferWidth, bufferHeight, GL_BGRA, int(SUPERSAMPLING));
            _viewer.viewer()->frame();
            osg::ref_ptr<osg::Image> image = readback->take();
            if (!image || readback->readFailed()) {
                result.outcome = ExportResult::Failed;
                result.error = "The off-screen buffer could not be read.";
                break;
            }
            if (!encoding.submit(std::move(image)))
                break; // the encoder failed; finish() says why
            ++result.frames;
            moveTo(frameTime(parameters.start, parameters.speed, parameters.frameRate, k + 1));
            const bool goOn = !frameDone || frameDone(_clock.time(), result.frames);
            if (_objects.state() != ObjectManager::Replay) {
                result.outcome = ExportResult::Failed;
                result.error = "A simulation connected, which ended the replay: the export "
                               "stopped after " +
                               std::to_string(result.frames) + " frames.";
                break;
            }
            if (!goOn) {
                result.outcome = ExportResult::Stopped;
                break;
            }
        }
        try {
            encoding.finish();
        } catch (const VideoEncoderError& error) {
            result.outcome = ExportResult::Failed;
            result.error = error.what();
        }
    }
    try {
        encoder->close();
    } catch (const VideoEncoderError& error) {
        if (result.outcome != ExportResult::Failed) {
            result.outcome = ExportResult::Failed;
            result.error = error.what();
        }
    }
    return result;
}

Picture ReplayVideoExport::picture(double t, int width, int height, const CameraChoice& choice)
{
    Picture result;
    if (!_objects.replay()) {
        result.error = "No replay is loaded.";
        return result;
    }
    const int bufferWidth = int(SUPERSAMPLING * width);
    const int bufferHeight = int(SUPERSAMPLING * height);
    const int feedPause = _objects.replayFeedPause();
    _objects.setReplayFeedPause(0);
    _clock.pause();
    Restore restoreFeed([&] { _objects.setReplayFeedPause(feedPause); });
    moveTo(t);
    if (!_viewer.beginOffscreen(bufferWidth, bufferHeight)) {
        result.error = "No off-screen buffer of " + std::to_string(bufferWidth) + " x " +
                       std::to_string(bufferHeight) + " pixels could be made" +
                       (_viewer.offscreenError().empty() ? "." : ": " + _viewer.offscreenError());
        return result;
    }
    Restore endOffscreen([&] { _viewer.endOffscreen(); });
    ExportCamera camera(_viewer, _objects, choice);
    if (std::string why = camera.beforeFrame(bufferWidth, bufferHeight); !why.empty()) {
        result.error = std::move(why);
        result.cameraUnavailable = true;
        return result;
    }
    osg::ref_ptr<view::FrameGrabber> readback = new view::FrameGrabber;
    _viewer.offscreenContext()->setSwapCallback(readback.get());
    readback->arm(bufferWidth, bufferHeight, GL_BGRA, int(SUPERSAMPLING));
    _viewer.viewer()->frame();
    result.image = readback->take();
    if (!result.image || readback->readFailed()) {
        result.image = nullptr;
        result.error = "The off-screen buffer could not be read.";
    }
    return result;
}

} // namespace video

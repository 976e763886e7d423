#pragma once
// Turns a time range of the loaded replay into a video file: the export
// dialog and the command line both run this one conversion.
//
// The replay clock is paused and set to the start time, and the scene is
// brought to it. Every view then draws into an off-screen buffer of twice
// the video's size each way; per frame the buffer is drawn, scaled down to
// the video's size on the GPU (each pixel the mean of the 2 x 2 it covers)
// and read back, the picture goes to the encoding thread (which converts
// and compresses it while the next frame is drawn; where the renderer draws
// on the processor, the same means are taken there as the buffer is read),
// and the replay moves on by the frame duration times the replay speed. The
// replay records up to the new time are applied in full before the next
// frame is drawn, so every frame shows the replay's state at its time.
//
// Frame k (from 0) shows the replay at start + k x step, step = speed /
// frame rate, for as long as start + (k + 1) x step does not pass the end.
//
// Afterwards, whatever happened - finished, stopped, or failed - the views
// draw on screen again, the encoder is closed (a stopped file is complete
// and playable) and the replay file is loaded again, which rebuilds the
// scene from its beginning.
//
// Threading: GUI thread (the caller's), except for the encoding thread it
// starts and joins within run().

#include <cstdint>
#include <functional>
#include <string>

#include <osg/Image>
#include <osg/ref_ptr>

#include "video/ExportCamera.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

class ObjectManager;
class ReplayClock;
class ViewerManager;

namespace video {

struct ExportParameters
{
    std::string fileName;
    int width = 0;   // rounded up to an even number
    int height = 0;  // rounded up to an even number
    int bitRate = 0; // kBit/s field: the codec gets bitRate x 8192 bit/s
    int frameRate = 25;
    AVCodecID codec = AV_CODEC_ID_NONE;
    double speed = 1.0; // replay seconds per video second
    double start = 0.0;
    double end = 0.0;
    CameraChoice camera; // none: the views draw as in the window
};

struct ExportResult
{
    enum Outcome
    {
        Finished, // the end time was reached
        Stopped,  // the caller asked to stop; the file holds the frames so far
        Failed,   // `error` says why; the program carries on
    };
    Outcome outcome = Finished;
    std::int64_t frames = 0; // frames handed to the encoder
    std::string error;
    bool cameraUnavailable = false; // the camera choice names what the replay lacks
};

// One picture of the scene: BGRA, bottom row first, drawn as a video frame
// is, of the asked size; null with `error` when it could not be drawn.
struct Picture
{
    osg::ref_ptr<osg::Image> image;
    std::string error;
    bool cameraUnavailable = false; // the camera choice names what the replay lacks
};

class ReplayVideoExport
{
public:
    // The off-screen buffer's size is this times the video's.
    static constexpr double SUPERSAMPLING = 2.0;

    // Called after each frame with the replay time reached and the frames
    // made so far; returning false stops the export before the next frame.
    using FrameDone = std::function<bool(double replayTime, std::int64_t frames)>;

    ReplayVideoExport(ViewerManager& viewer, ObjectManager& objects, ReplayClock& clock);

    ExportResult run(const ExportParameters& parameters, const FrameDone& frameDone = {});

    // The scene as it is at replay time t, drawn as a frame of a
    // width x height video is. The scene stays at t.
    Picture picture(double t, int width, int height, const CameraChoice& camera = {});

    // How many frames run() makes of a range.
    static std::int64_t frameCount(double start, double end, double speed, int frameRate);
    // The replay time of frame k.
    static double frameTime(double start, double speed, int frameRate, std::int64_t k);

private:
    // Sets the clock to t and applies the replay's records up to t.
    void moveTo(double t);

    ViewerManager& _viewer;
    ObjectManager& _objects;
    ReplayClock& _clock;
};

} // namespace video

#pragma once
// Writes rendered frames into a video file through FFmpeg. The container
// comes from the file name's extension, the video codec from the caller;
// frames arrive as 8-bit BGRA (or RGBA) images and are converted, and
// scaled where their size differs, to the codec's first pixel format.
//
// One encoder is one file: the constructor opens the file and writes the
// container header, setInputImage()/encodeFrame() add one frame each, and
// close() drains the frames the codec still holds, writes the trailer and
// closes the file. Every failure throws VideoEncoderError with a one-line
// message. A failed constructor or close() leaves nothing open; after a
// failed encodeFrame() the encoder stays open, so that close() can still
// finish the file with the frames written before.
//
// Presentation times: every frame lasts round(frameRate x timeStep) codec
// ticks of 1/frameRate (at least one); the first frame is presented at 0,
// each next one when the previous ends.
//
// Threading: not thread-safe; one thread at a time (the export hands the
// encoder to its encoding thread and takes it back to close it).

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>

#include <osg/Image>
#include <osg/ref_ptr>

#include "video/FFmpegHandles.h"

namespace video {

class VideoEncoderError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class VideoEncoder
{
public:
    // Opens `fileName` for a video of width x height (each rounded up to an
    // even number) at `frameRate` frames per second and a bit rate of
    // `bitRate` x 8192 bit/s (the export dialog's kBit/s field). A codec id
    // of AV_CODEC_ID_NONE keeps the container's default video codec.
    VideoEncoder(const std::string& fileName, int width, int height, int frameRate, int bitRate,
                 AVCodecID codecId);
    // Closes a file that close() did not, ignoring failures.
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // The image of the next frame, held until the next call. GL_BGRA or
    // GL_RGBA, 8 bits per channel, any size (scaled to the video's). The
    // one-argument form takes BGRA rows top first and RGBA rows bottom
    // first, as the viewer's two grabs deliver them; the other says it.
    void setInputImage(const osg::Image& image);
    void setInputImage(const osg::Image& image, bool bottomRowFirst);
    // Converts the input image and encodes it as the next frame lasting
    // `timeStep` seconds (the export passes 1 / frame rate).
    void encodeFrame(double timeStep);
    // Drains the codec, writes the trailer and closes the file; later calls
    // do nothing.
    void close();

    bool isOpen() const { return static_cast<bool>(_format); }
    const std::string& fileName() const { return _fileName; }
    int width() const { return _width; }
    int height() const { return _height; }
    int frameRate() const { return _frameRate; }
    // What the codec was opened with.
    std::int64_t codecBitRate() const;
    bool globalHeader() const;
    AVPixelFormat pixelFormat() const;
    const char* formatName() const;
    // Frames encoded so far, and packets written to the file.
    std::int64_t framesEncoded() const { return _framesEncoded; }
    std::int64_t packetsWritten() const { return _packetsWritten; }

private:
    void open(AVCodecID codecId);
    // Sends `frame` (null: the end) and writes every packet the codec returns.
    void sendAndWrite(const AVFrame* frame);
    void release();

    std::string _fileName;
    int _width;
    int _height;
    int _frameRate;
    int _bitRate;

    OutputContextPtr _format;
    AVStream* _stream = nullptr; // owned by _format
    CodecContextPtr _codec;
    PacketPtr _packet;
    FramePtr _picture; // in the codec's pixel format
    ScaleContextPtr _scale;

    osg::ref_ptr<const osg::Image> _input;
    bool _inputBottomRowFirst = false;
    AVPixelFormat _inputFormat = AV_PIX_FMT_BGRA;

    std::int64_t _nextPts = 0; // codec ticks
    // Durations (codec ticks) of the frames sent and not yet written, in
    // order: the codecs used here do not reorder frames.
    std::deque<std::int64_t> _durations;
    std::int64_t _framesEncoded = 0;
    std::int64_t _packetsWritten = 0;
};

} // namespace video

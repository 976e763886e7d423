#include "video/VideoEncoder.h"

#include <algorithm>
#include <cmath>
#include <string_view>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
}

#include <osg/GL>

namespace video {

namespace {

[[noreturn]] void fail(const std::string& message)
{
    throw VideoEncoderError(message);
}

int evenUp(int value)
{
    return value + (value & 1);
}

// Containers whose codecs keep their set-up data in the file header rather
// than in the stream.
bool needsGlobalHeader(const AVOutputFormat* format)
{
    const std::string_view name = format->name;
    return name == "mp4" || name == "mov" || name == "3gp" ||
           (format->flags & AVFMT_GLOBALHEADER) != 0;
}

} // namespace

VideoEncoder::VideoEncoder(const std::string& fileName, int width, int height, int frameRate,
                           int bitRate, AVCodecID codecId)
    : _fileName(fileName), _width(evenUp(width)), _height(evenUp(height)), _frameRate(frameRate),
      _bitRate(bitRate)
{
    try {
        open(codecId);
    } catch (...) {
        release();
        throw;
    }
}

VideoEncoder::~VideoEncoder()
{
    try {
        close();
    } catch (const VideoEncoderError&) {
        // A destructor cannot report; close() is the place to learn of it.
    }
}

void VideoEncoder::open(AVCodecID codecId)
{
    av_log_set_level(AV_LOG_FATAL);

    const AVOutputFormat* format = av_guess_format(nullptr, _fileName.c_str(), nullptr);
    if (!format)
        fail("could not find suitable output format");

    AVFormatContext* context = nullptr;
    if (avformat_alloc_output_context2(&context, format, nullptr, _fileName.c_str()) < 0 ||
        !context)
        fail("memory error");
    _format.reset(context);
    if (codecId == AV_CODEC_ID_NONE)
        codecId = format->video_codec;

    _stream = avformat_new_stream(context, nullptr);
    if (!_stream)
        fail("could not allocate video output stream");
    _stream->id = 0;

    const AVCodec* codec = avcodec_find_encoder(codecId);
    if (!codec)
        fail("codec not found");
    if (!codec->pix_fmts || codec->pix_fmts[0] == AV_PIX_FMT_NONE)
        fail("automatic video pixel format determination failed");

    _codec.reset(avcodec_alloc_context3(codec));
    if (!_codec)
        fail("memory error");
    _codec->codec_id = codecId;
    _codec->codec_type = AVMEDIA_TYPE_VIDEO;
    _codec->bit_rate = std::int64_t(_bitRate) << 13;
    _codec->width = _width;
    _codec->height = _height;
    _codec->time_base = AVRational{1, _frameRate};
    _codec->framerate = AVRational{_frameRate, 1};
    _codec->gop_size = 12;
    _codec->pix_fmt = codec->pix_fmts[0];
    // As many threads as the codec can use on this machine.
    _codec->thread_count = 0;
    if (needsGlobalHeader(format))
        _codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    if (avcodec_open2(_codec.get(), codec, nullptr) < 0)
        fail("could not open codec");
    if (avcodec_parameters_from_context(_stream->codecpar, _codec.get()) < 0)
        fail("could not open codec");
    _stream->time_base = _codec->time_base;

    _packet.reset(av_packet_alloc());
    if (!_packet)
        fail("could not allocate video outbuf");

    _picture.reset(av_frame_alloc());
    if (!_picture)
        fail("could not allocate picture");
    _picture->format = _codec->pix_fmt;
    _picture->width = _width;
    _picture->height = _height;
    if (av_frame_get_buffer(_picture.get(), 0) < 0)
        fail("could not allocate picture");

    if (!(format->flags & AVFMT_NOFILE) &&
        avio_open(&context->pb, _fileName.c_str(), AVIO_FLAG_WRITE) < 0)
        fail("could not write to file: '" + _fileName + "'");

    // The muxer may choose its own stream time base here (1/12800 in
    // mp4 and mov, 1/1000 in asf and flv); packets are rescaled to it.
    if (avformat_write_header(context, nullptr) < 0)
        fail("could not write the header of '" + _fileName + "'");
}

void VideoEncoder::setInputImage(const osg::Image& image)
{
    setInputImage(image, image.getPixelFormat() == GL_RGBA);
}

void VideoEncoder::setInputImage(const osg::Image& image, bool bottomRowFirst)
{
    if (image.getDataType() != GL_UNSIGNED_BYTE ||
        (image.getPixelFormat() != GL_BGRA && image.getPixelFormat() != GL_RGBA))
        fail("unsupported pixel format");
    if (!image.data() || image.s() <= 0 || image.t() <= 0)
        fail("empty input image");
    _inputFormat = image.getPixelFormat() == GL_BGRA ? AV_PIX_FMT_BGRA : AV_PIX_FMT_RGBA;
    _inputBottomRowFirst = bottomRowFirst;
    _input = &image;
}

void VideoEncoder::encodeFrame(double timeStep)
{
    if (!isOpen())
        fail("the video file is closed");
    if (!_input)
        fail("no image to encode");

    const int sourceWidth = _input->s();
    const int sourceHeight = _input->t();
    _scale.reset(sws_getCachedContext(_scale.release(), sourceWidth, sourceHeight, _inputFormat,
                                      _width, _height, _codec->pix_fmt, SWS_BICUBIC, nullptr,
                                      nullptr, nullptr));
    if (!_scale)
        fail("Cannot initialize the conversion context!");

    // Rows are read top first: a picture stored bottom row first is read
    // from its last row upwards.
    const int rowStep = int(_input->getRowStepInBytes());
    const std::uint8_t* top = _input->data();
    int stride = rowStep;
    if (_inputBottomRowFirst) {
        top += std::ptrdiff_t(rowStep) * (sourceHeight - 1);
        stride = -rowStep;
    }
    // The codec may still hold the previous picture.
    if (av_frame_make_writable(_picture.get()) < 0)
        fail("could not allocate picture");
    const std::uint8_t* const source[4] = {top, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {stride, 0, 0, 0};
    sws_scale(_scale.get(), source, sourceStride, 0, sourceHeight, _picture->data,
              _picture->linesize);

    const std::int64_t duration =
        std::max<std::int64_t>(1, std::llround(double(_frameRate) * timeStep));
    _picture->pts = _nextPts;
    _nextPts += duration;
    _durations.push_back(duration);
    sendAndWrite(_picture.get());
    ++_framesEncoded;
}

void VideoEncoder::sendAndWrite(const AVFrame* frame)
{
    if (avcodec_send_frame(_codec.get(), frame) < 0)
        fail("could not encode video frame");
    for (;;) {
        const int received = avcodec_receive_packet(_codec.get(), _packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        if (received < 0)
            fail("could not encode video frame");
        std::int64_t duration = 1;
        if (!_durations.empty()) {
            duration = _durations.front();
            _durations.pop_front();
        }
        // Without a duration mp4 and mov drop the last frame.
        _packet->duration = duration;
        av_packet_rescale_ts(_packet.get(), _codec->time_base, _stream->time_base);
        _packet->stream_index = _stream->index;
        const int written = av_interleaved_write_frame(_format.get(), _packet.get());
        av_packet_unref(_packet.get());
        if (written < 0)
            fail("error writing video frame");
        ++_packetsWritten;
    }
}

void VideoEncoder::close()
{
    if (!isOpen())
        return;
    try {
        sendAndWrite(nullptr);
        if (av_write_trailer(_format.get()) < 0)
            fail("could not write the end of '" + _fileName + "'");
        if (_format->pb && !(_format->oformat->flags & AVFMT_NOFILE) &&
            avio_closep(&_format->pb) < 0)
            fail("could not write to file: '" + _fileName + "'");
    } catch (...) {
        release();
        throw;
    }
    release();
}

void VideoEncoder::release()
{
    _scale.reset();
    _picture.reset();
    _packet.reset();
    _codec.reset();
    _stream = nullptr;
    _format.reset();
    _input = nullptr;
    _durations.clear();
}

std::int64_t VideoEncoder::codecBitRate() const
{
    return _codec ? _codec->bit_rate : 0;
}

bool VideoEncoder::globalHeader() const
{
    return _codec && (_codec->flags & AV_CODEC_FLAG_GLOBAL_HEADER) != 0;
}

AVPixelFormat VideoEncoder::pixelFormat() const
{
    return _codec ? _codec->pix_fmt : AV_PIX_FMT_NONE;
}

const char* VideoEncoder::formatName() const
{
    return _format ? _format->oformat->name : "";
}

} // namespace video

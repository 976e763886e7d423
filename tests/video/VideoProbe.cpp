#include "VideoProbe.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "video/FFmpegHandles.h"

namespace videotest {

namespace {

struct InputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

// The picture as YUV 4:4:4, so that every format reads the same way.
DecodedPicture toPicture(const AVFrame& frame)
{
    DecodedPicture picture;
    picture.width = frame.width;
    picture.height = frame.height;
    const std::size_t size = std::size_t(frame.width) * std::size_t(frame.height);
    picture.y.resize(size);
    picture.u.resize(size);
    picture.v.resize(size);
    video::ScaleContextPtr scale(
        sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format), frame.width,
                       frame.height, AV_PIX_FMT_YUV444P, SWS_POINT, nullptr, nullptr, nullptr));
    std::uint8_t* planes[4] = {picture.y.data(), picture.u.data(), picture.v.data(), nullptr};
    const int strides[4] = {frame.width, frame.width, frame.width, 0};
    sws_scale(scale.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return picture;
}

} // namespace

ProbedVideo probeVideo(const std::string& path)
{
    ProbedVideo probed;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        probed.error = "cannot open " + path;
        return probed;
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams != 1) {
        probed.error = "no single stream in " + path;
        return probed;
    }
    const AVStream* stream = input->streams[0];
    probed.opened = true;
    probed.format = input->iformat->name;
    probed.codec = stream->codecpar->codec_id;
    probed.width = stream->codecpar->width;
    probed.height = stream->codecpar->height;
    probed.extradata = stream->codecpar->extradata_size > 0;
    probed.timeBase = stream->time_base;

    const AVCodec* decoder = avcodec_find_decoder(probed.codec);
    video::CodecContextPtr codec(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec.get(), stream->codecpar);
    if (!decoder || avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        probed.error = "no decoder for " + path;
        return probed;
    }
    video::PacketPtr packet(av_packet_alloc());
    video::FramePtr frame(av_frame_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0)
            probed.pictures.push_back(toPicture(*frame));
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        // Empty packets are the AVI muxer's way to skip a frame's time.
        if (packet->size == 0)
            ++probed.emptyPackets;
        else {
            probed.pts.push_back(packet->pts);
            probed.durations.push_back(packet->duration);
            avcodec_send_packet(codec.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    receive();
    return probed;
}

} // namespace videotest

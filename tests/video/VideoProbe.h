#pragma once
// What a video file holds, read back with libavformat and libavcodec: the
// stream's codec, size and time base, each packet's presentation time, and
// the pictures the decoder makes of them.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/rational.h>
}

namespace videotest {

struct DecodedPicture
{
    int width = 0;
    int height = 0;
    // Luma (Y) and the two chroma planes at full size, top row first.
    std::vector<std::uint8_t> y, u, v;
    int at(const std::vector<std::uint8_t>& plane, int x, int row) const
    {
        return plane[std::size_t(row) * std::size_t(width) + std::size_t(x)];
    }
};

struct ProbedVideo
{
    bool opened = false;
    std::string error;
    std::string format;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    bool extradata = false;
    AVRational timeBase{0, 1};
    std::vector<std::int64_t> pts;        // packets in file order, stream ticks
    std::vector<std::int64_t> durations;  // the same packets' durations
    int emptyPackets = 0;                 // packets without data (skipped frame times)
    std::vector<DecodedPicture> pictures; // every decoded picture, in order
};

ProbedVideo probeVideo(const std::string& path);

} // namespace videotest

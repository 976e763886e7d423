#pragma once
// The codecs the video export offers: the text of each entry of its codec
// list (in list order), the codec's number as export presets and older
// files of this program name it, and the file filter its file dialog offers.
//
// Threading: constant data.

#include <array>
#include <string_view>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace video {

struct VideoCodecEntry
{
    std::string_view item;
    int codecNumber;
    std::string_view filter;
};

inline constexpr std::array<VideoCodecEntry, 6> VIDEO_CODECS = {{
    {"FlashVideo (Online publishing)", 22, "FlashVideo (*.flv);;"},
    {"MPEG4 (Apple Quicktime)", 13, "Apple QuickTime Video (*.mov);;"},
    {"MPEG4 (ISO Standard)", 13, "ISO MPEG4 Container (*.mp4);;"},
    {"Huff YUV (lossless compression)", 26, "Audio Video Interleave (*.avi);;"},
    {"MS MPEG4 v2 (Windows Media Player 8+)", 16,
     "Audio Video Interleave (*.avi);;Windows Media Video (*.wmv);;"},
    {"WMV2 (compatible to PowerPoint)", 19, "Windows Media Video (*.wmv);;"},
}};

inline constexpr std::string_view HUFFYUV_ITEM = "Huff YUV (lossless compression)";
inline constexpr std::string_view FLASH_ITEM = "FlashVideo (Online publishing)";

// The FFmpeg codec of a codec number: 13 MPEG-4 part 2, 16 MS-MPEG4 v2,
// 19 WMV2, 22 FLV1, 26 HuffYUV; 0 the container's default
// (AV_CODEC_ID_NONE); any other number AV_CODEC_ID_NONE as well, and
// `known` (when given) false.
AVCodecID codecFromNumber(int number, bool* known = nullptr);

// The index of the entry whose text is exactly `item`, or -1.
int codecIndex(std::string_view item);

} // namespace video

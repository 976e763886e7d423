#include "video/VideoCodecs.h"

namespace video {

AVCodecID codecFromNumber(int number, bool* known)
{
    AVCodecID codec = AV_CODEC_ID_NONE;
    bool found = true;
    switch (number) {
    case 0:
        break;
    case 13:
        codec = AV_CODEC_ID_MPEG4;
        break;
    case 16:
        codec = AV_CODEC_ID_MSMPEG4V2;
        break;
    case 19:
        codec = AV_CODEC_ID_WMV2;
        break;
    case 22:
        codec = AV_CODEC_ID_FLV1;
        break;
    case 26:
        codec = AV_CODEC_ID_HUFFYUV;
        break;
    default:
        found = false;
    }
    if (known)
        *known = found;
    return codec;
}

int codecIndex(std::string_view item)
{
    for (std::size_t i = 0; i < VIDEO_CODECS.size(); ++i)
        if (VIDEO_CODECS[i].item == item)
            return int(i);
    return -1;
}

} // namespace video

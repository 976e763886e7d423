#pragma once
// A stored preset's fields as text, in the dialog's order (codec, bit rate,
// frame rate, width, height), so that a test compares a whole preset at once
// and a failure prints every field.

#include <string>
#include <vector>

#include "video/VideoPresets.h"

namespace videotest {

inline std::vector<std::string> presetFields(const video::VideoPreset& preset)
{
    return {preset.codec.toStdString(), preset.bitrate.toStdString(),
            preset.framerate.toStdString(), preset.width.toStdString(),
            preset.height.toStdString()};
}

} // namespace videotest

#include "tests/support/ColourReplay.h"

#include <cmath>

#include "gnp2/Packet.h"
#include "protocol/Items.h"
#include "replay/Recorder.h"
#include "tests/support/Packets.h"

namespace testsupport {

namespace {

float recordTime(int k)
{
    return k == 0 ? 0.0f : float(0.04 * k - 0.01);
}

} // namespace

int colourReplayRedAt(double t)
{
    int k = 0;
    while (k + 1 < COLOUR_RECORDS && double(recordTime(k + 1)) <= t)
        ++k;
    return 10 * k;
}

std::string writeColourReplay(const std::string& path)
{
    ReplayRecorder recorder;
    if (std::string error = recorder.open(path); !error.empty())
        return error;
    for (int k = 0; k < COLOUR_RECORDS; ++k) {
        auto packet = viewPacket(1, {10 * k, 0, 0}, {0.f, 0.f}, {1.f, 1.f});
        packet->setFloatVector(item::every::Time, {recordTime(k)});
        recorder.record(*packet);
    }
    recorder.close();
    return {};
}

int lumaOfRed(int red)
{
    return int(std::lround(16 + 65.481 * red / 255.0));
}

int chromaOfRed(int red)
{
    return int(std::lround(128 + 112.0 * red / 255.0));
}

} // namespace testsupport

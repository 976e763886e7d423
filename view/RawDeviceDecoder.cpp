#include "view/RawDeviceDecoder.h"

namespace view {

namespace {

std::int32_t signed16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
}

void readAxes(std::span<const std::uint8_t> report, std::int32_t (&axes)[3])
{
    for (std::size_t i = 0; i < 3; ++i)
        axes[i] = signed16(report, 1 + 2 * i);
}

} // namespace

RawDeviceDecoder& RawDeviceDecoder::shared()
{
    static RawDeviceDecoder decoder;
    return decoder;
}

void RawDeviceDecoder::reset()
{
    *this = RawDeviceDecoder();
}

RawDeviceDecoder::Result RawDeviceDecoder::decode(std::span<const std::uint8_t> report)
{
    Result result;
    if (report.empty())
        return result;
    result.handled = true;

    // A report too short for its id is a broken read: nothing of it is used,
    // rather than values made of whatever the buffer held.
    switch (report[0]) {
    case TRANSLATION_REPORT:
        if (report.size() >= AXES_REPORT_SIZE) {
            readAxes(report, _translation);
            _translationPending = true;
        }
        break;
    case ROTATION_REPORT:
        if (report.size() >= AXES_REPORT_SIZE) {
            readAxes(report, _rotation);
            _rotationPending = true;
        }
        break;
    case BUTTON_REPORT: {
        osg::ref_ptr<rawDeviceEvent> buttons = new rawDeviceEvent;
        buttons->type = rawDeviceEvent::BUTTON;
        buttons->button0 = report.size() > 1 ? report[1] : 0;
        buttons->button1 = report.size() > 2 ? report[2] : 0;
        buttons->button2 = report.size() > 3 ? report[3] : 0;
        result.event = buttons;
        return result; // a button report never completes a motion
    }
    default:
        break;
    }

    if (_translationPending && _rotationPending) {
        _translationPending = false;
        _rotationPending = false;
        osg::ref_ptr<rawDeviceEvent> motion = new rawDeviceEvent;
        motion->type = rawDeviceEvent::MOTION;
        motion->tx = _translation[0];
        motion->ty = _translation[1];
        motion->tz = _translation[2];
        motion->rx = _rotation[0];
        motion->ry = _rotation[1];
        motion->rz = _rotation[2];
        result.event = motion;
    }
    return result;
}

} // namespace view

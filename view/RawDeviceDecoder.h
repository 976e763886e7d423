#pragma once
// The decoding of a 3D mouse's HID reports into the user events the camera
// manipulator reads (rawDeviceEvent). The device sends its state as three
// kinds of report, the report id in the first byte:
//  - 1, translation: three signed 16-bit little-endian values (x, y, z);
//  - 2, rotation: the same for the three rotation axes;
//  - 3, buttons: a bit mask in the bytes that follow.
// A button report becomes a button event at once. Translation and rotation
// are kept as pending values; a motion event is made only when both a
// translation and a rotation report have arrived since the last motion
// event, and it carries the latest values of both. One decoder is shared by
// every widget of the process (there is one 3D mouse): shared().
//
// Threading: GUI thread only.

#include <cstddef>
#include <cstdint>
#include <span>

#include <osg/ref_ptr>

#include "view/RawDeviceEvent.h"

namespace view {

class RawDeviceDecoder
{
public:
    static constexpr std::uint8_t TRANSLATION_REPORT = 1;
    static constexpr std::uint8_t ROTATION_REPORT = 2;
    static constexpr std::uint8_t BUTTON_REPORT = 3;
    // Report id and three 16-bit values.
    static constexpr std::size_t AXES_REPORT_SIZE = 7;

    struct Result
    {
        // Whether the bytes were a HID report at all (an empty read is not).
        bool handled = false;
        // The event to deliver, or null.
        osg::ref_ptr<rawDeviceEvent> event;
    };

    // The process-wide decoder.
    static RawDeviceDecoder& shared();

    // Decodes one report, report id first.
    Result decode(std::span<const std::uint8_t> report);

    bool translationPending() const { return _translationPending; }
    bool rotationPending() const { return _rotationPending; }
    // Forgets the pending values (tests, a device that went away).
    void reset();

private:
    std::int32_t _translation[3] = {0, 0, 0};
    std::int32_t _rotation[3] = {0, 0, 0};
    bool _translationPending = false;
    bool _rotationPending = false;
};

} // namespace view

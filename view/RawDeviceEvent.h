#pragma once
// The payload of the user events that carry 3D-mouse input into a graphics
// window's event queue (osgGA::EventQueue::userEvent). A button report is
// delivered at once; a motion event carries the latest translation and
// rotation after both have arrived. The camera manipulator consumes both.
//
// Threading: created and consumed on the GUI thread.

#include <cstdint>

#include <osg/Referenced>

class rawDeviceEvent : public osg::Referenced
{
public:
    enum Type : std::int32_t
    {
        BUTTON = 0,
        MOTION = 1,
    };

    std::int32_t type = BUTTON;
    // Translation then rotation; filled for MOTION only.
    std::int32_t tx = 0, ty = 0, tz = 0;
    std::int32_t rx = 0, ry = 0, rz = 0;
    // The first three payload bytes of a button report; filled for BUTTON only.
    std::uint8_t button0 = 0, button1 = 0, button2 = 0;

protected:
    ~rawDeviceEvent() override = default;
};

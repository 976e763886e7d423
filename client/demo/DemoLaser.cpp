#include "client/demo/DemoLaser.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "client/demo/DemoPacket.h"
#include "orvane/Protocol.h"

namespace {

using demo::address;

namespace item = orvane::item;

constexpr float LENGTH = 12.f;

} // namespace

void DemoLaser::reset()
{
    _distance.reset();
    _answered = false;
    _readoutChanged = true;
}

void DemoLaser::step(orvane::SimulationClient& client, float motion, bool created)
{
    // From the front edge of the floor, slightly downwards, swinging 55
    // degrees to either side every 16 seconds.
    const float swing = 0.96f * std::sin(motion * 0.39f);
    const float startX = 0.f, startY = -5.f, startZ = 0.9f;
    GNP2::Packet laser;
    address(laser, LASER, orvane::kind::Intersector);
    if (!created) {
        laser.setFloatVector(item::intersector::MarkerSize, {0.04f});
        laser.setIntVector(item::intersector::DisplayMode, {1}); // the line and the marker
        laser.setFloatVector(item::intersector::Start, {startX, startY, startZ});
    }
    laser.setFloatVector(item::intersector::End,
                         {startX + LENGTH * std::sin(swing), startY + LENGTH * std::cos(swing),
                          startZ - 0.06f * LENGTH});
    client.queue(laser);

    if (!created || _readoutChanged) {
        GNP2::Packet readout;
        address(readout, READOUT, orvane::kind::Hud);
        if (!created) {
            readout.setIntVector(item::hud::Element, {item::hud::TEXT});
            readout.setFloatVector(item::hud::Position, {40.f, 510.f});
            readout.setFloatVector(item::hud::Rotation, {0.f});
            readout.setString(item::hud::FileName, "arial.ttf");
            readout.setFloatVector(item::hud::Size, {22.f});
            readout.setIntVector(item::hud::Colour, {255, 90, 80});
        }
        std::string text = "Laser: waiting";
        if (_answered) {
            char line[64];
            if (_distance)
                std::snprintf(line, sizeof line, "Laser hits at %.2f", double(*_distance));
            else
                std::snprintf(line, sizeof line, "Laser hits nothing");
            text = line;
        }
        readout.setString(item::hud::Text, text);
        client.queue(readout);
        _readoutChanged = false;
    }
}

bool DemoLaser::answer(const GNP2::Packet& packet)
{
    if (GNP2::objectNumber(packet.header()) != std::uint32_t(LASER) ||
        !packet.hasItem(item::reply::intersector_result::Hit))
        return false;
    std::optional<float> distance;
    try {
        const std::vector<int> hit = packet.getIntVector(item::reply::intersector_result::Hit);
        if (!hit.empty() && hit[0] == 1 &&
            packet.hasItem(item::reply::intersector_result::Distance)) {
            const std::vector<float> value =
                packet.getFloatVector(item::reply::intersector_result::Distance);
            if (!value.empty())
                distance = std::round(value[0] * 100.f) / 100.f;
        }
    } catch (const GNP2::GNP2Exception&) {
        return true; // the laser's, but not as expected: keep the last reading
    }
    if (!_answered || distance != _distance)
        _readoutChanged = true;
    _answered = true;
    _distance = distance;
    return true;
}

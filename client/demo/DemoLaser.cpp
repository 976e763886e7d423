#include "client/demo/DemoLaser.h"
#include "client/demo/DemoItems.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using namespace demo;

constexpr std::uint32_t INTERSECTOR = 14;
constexpr int START = 14;
constexpr int END = 15;
constexpr int MARKER_SIZE = 17;
constexpr int DISPLAY_MODE = 45;
constexpr int HIT = 92;
constexpr int DISTANCE = 93;

// Head-up display text: kind, place, turn, font, size, text.
constexpr int HUD_KIND = 45;
constexpr int HUD_POSITION = 1;
constexpr int HUD_ANGLE = 2;
constexpr int HUD_FILE = 12;
constexpr int HUD_SIZE = 46;
constexpr int HUD_TEXT = 39;
constexpr int HUD_COLOUR = 48;
constexpr int TEXT_ELEMENT = 2;

constexpr float LENGTH = 12.f;

void address(GNP2::Packet& p, int objectNumber, std::uint32_t typeCode)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), typeCode));
}

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
    address(laser, LASER, INTERSECTOR);
    if (!created) {
        laser.setFloatVector(MARKER_SIZE, {0.04f});
        laser.setIntVector(DISPLAY_MODE, {1}); // the line and the marker
        laser.setFloatVector(START, {startX, startY, startZ});
    }
    laser.setFloatVector(END, {startX + LENGTH * std::sin(swing), startY + LENGTH * std::cos(swing),
                               startZ - 0.06f * LENGTH});
    client.queue(laser);

    if (!created || _readoutChanged) {
        GNP2::Packet readout;
        address(readout, READOUT, HUD);
        if (!created) {
            readout.setIntVector(HUD_KIND, {TEXT_ELEMENT});
            readout.setFloatVector(HUD_POSITION, {40.f, 510.f});
            readout.setFloatVector(HUD_ANGLE, {0.f});
            readout.setString(HUD_FILE, "arial.ttf");
            readout.setFloatVector(HUD_SIZE, {22.f});
            readout.setIntVector(HUD_COLOUR, {255, 90, 80});
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
        readout.setString(HUD_TEXT, text);
        client.queue(readout);
        _readoutChanged = false;
    }
}

bool DemoLaser::answer(const GNP2::Packet& packet)
{
    if (GNP2::objectNumber(packet.header()) != std::uint32_t(LASER) || !packet.hasItem(HIT))
        return false;
    std::optional<float> distance;
    try {
        const std::vector<int> hit = packet.getIntVector(HIT);
        if (!hit.empty() && hit[0] == 1 && packet.hasItem(DISTANCE)) {
            const std::vector<float> value = packet.getFloatVector(DISTANCE);
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

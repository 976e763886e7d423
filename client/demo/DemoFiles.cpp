#include "client/demo/DemoFiles.h"

#include <cmath>
#include <vector>

#include "orvane/Protocol.h"

namespace {

namespace item = orvane::item;

struct Arm
{
    float x;
    float speed; // turns about z, radians per second
    float phase;
    std::vector<int> colour;
};

const Arm ARMS[DemoFiles::ARM_COUNT] = {
    {-4.5f, 0.6f, 0.0f, {230, 120, 30}},
    {-1.5f, -0.9f, 1.0f, {40, 110, 220}},
    {1.5f, 1.3f, 2.0f, {60, 180, 80}},
    {4.5f, -0.4f, 3.0f, {200, 60, 160}},
};

void address(GNP2::Packet& p, int objectNumber)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), orvane::kind::ModelFile));
}

} // namespace

void DemoFiles::step(orvane::SimulationClient& client, float t, bool created)
{
    for (int i = 0; i < ARM_COUNT; ++i) {
        const Arm& arm = ARMS[i];
        GNP2::Packet p;
        address(p, FIRST_ARM + i);
        if (!created) {
            p.setString(item::model_file::FileName, ARM_MODEL);
            p.setFloatVector(item::model_file::Position, {arm.x, -4.0f, 0.0f});
            p.setIntVector(item::model_file::Colour, arm.colour);
        }
        const float angle = arm.phase + arm.speed * t;
        const float c = std::cos(angle), s = std::sin(angle);
        p.setFloatVector(item::model_file::Orientation, {c, s, 0.0f, -s, c, 0.0f});
        client.queue(p);
    }
    if (!created) {
        // Hills behind the scene at half their size.
        GNP2::Packet hills;
        address(hills, TERRAIN);
        hills.setString(item::model_file::FileName, TERRAIN_FILE);
        hills.setFloatVector(item::model_file::Position, {0.0f, 11.0f, -0.2f});
        hills.setFloatVector(item::model_file::Scale, {0.5f, 0.5f, 0.5f});
        client.queue(hills);
    }
}

#include "client/demo/DemoScene.h"

#include <cmath>

namespace {

// Type codes of the viewer's object kinds.
constexpr std::uint32_t TIME_PACKET = 1;
constexpr std::uint32_t SHAPE = 2;

// Items shared by all 3D objects.
constexpr int POSITION = 1;
constexpr int ORIENTATION = 3;
constexpr int SCALE = 4;
constexpr int SHAPE_KIND = 5;
constexpr int ALPHA = 10;
constexpr int SHAPE_PARAMETERS = 11;
constexpr int COLOUR = 44;

void address(GNP2::Packet& p, int objectNumber, std::uint32_t typeCode)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), typeCode));
}

// An orientation item turning the object by `angle` about z.
std::vector<float> aboutZ(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    return {c, s, 0.f, -s, c, 0.f};
}

std::vector<int> rainbow(float t)
{
    auto channel = [&](float phase) { return int(127.5f + 127.5f * std::sin(t + phase)); };
    return {channel(0.f), channel(2.094f), channel(4.189f)};
}

} // namespace

void DemoScene::step(orvane::SimulationClient& client, float t)
{
    GNP2::Packet time;
    address(time, TIME_OBJECT, TIME_PACKET);
    time.setFloatVector(0, {t});
    client.queue(time);
    shapes(client, t);
    _created = true;
}

void DemoScene::shapes(orvane::SimulationClient& client, float t)
{
    // Kinds 1-5 (box, sphere, cylinder, cone, capsule) in a row, bobbing and
    // turning; kind 6 a coordinate marker at the origin.
    for (int kind = 1; kind <= 5; ++kind) {
        GNP2::Packet p;
        address(p, kind, SHAPE);
        const float x = float(kind - 3) * 1.5f;
        p.setFloatVector(POSITION, {x, 0.f, 0.5f + 0.25f * std::sin(t * 2.f + float(kind))});
        p.setFloatVector(ORIENTATION, aboutZ(t * 0.5f * float(kind)));
        if (!_created) {
            p.setIntVector(SHAPE_KIND, {kind});
            p.setFloatVector(SCALE, {0.8f, 0.8f, 0.8f});
        }
        p.setIntVector(COLOUR, rainbow(t + float(kind)));
        if (kind == 2) // the sphere fades in and out
            p.setFloatVector(ALPHA, {0.55f + 0.45f * std::sin(t)});
        client.queue(p);
    }
    if (!_created) {
        GNP2::Packet axes;
        address(axes, 6, SHAPE);
        axes.setIntVector(SHAPE_KIND, {6});
        axes.setFloatVector(POSITION, {0.f, -2.5f, 0.f});
        axes.setFloatVector(SCALE, {1.f, 1.f, 1.f});
        client.queue(axes);
    }

    // A spring stretching between 1 and 2 units.
    GNP2::Packet spring;
    address(spring, 7, SHAPE);
    if (!_created) {
        spring.setIntVector(SHAPE_KIND, {7});
        spring.setFloatVector(SHAPE_PARAMETERS, {8.f, 0.03f});
        spring.setFloatVector(POSITION, {-3.f, 2.5f, 0.f});
        spring.setIntVector(COLOUR, {200, 200, 40});
    }
    spring.setFloatVector(SCALE, {1.5f + 0.5f * std::sin(t * 3.f), 0.2f, 0.2f});
    client.queue(spring);

    // Two meshing gears: an external one turning, an internal ring around it.
    for (int i = 0; i < 2; ++i) {
        GNP2::Packet gear;
        address(gear, 8 + i, SHAPE);
        if (!_created) {
            gear.setIntVector(SHAPE_KIND, {8});
            gear.setFloatVector(SCALE, {1.f, 1.f, 0.2f});
            gear.setFloatVector(SHAPE_PARAMETERS,
                                {i == 0 ? 0.f : 0.3f, i == 0 ? 12.f : -24.f, 20.f});
            gear.setFloatVector(POSITION, {0.f, 2.5f, 0.f});
            gear.setIntVector(COLOUR, i == 0 ? std::vector<int>{180, 180, 190}
                                             : std::vector<int>{90, 90, 110});
        }
        gear.setFloatVector(ORIENTATION, aboutZ(i == 0 ? t : t * 0.5f));
        client.queue(gear);
    }

    if (!_created) {
        // A pipe, a floor grid and a beam.
        GNP2::Packet pipe;
        address(pipe, 10, SHAPE);
        pipe.setIntVector(SHAPE_KIND, {9});
        pipe.setFloatVector(SHAPE_PARAMETERS, {0.f, 0.6f, 0.5f});
        pipe.setFloatVector(SCALE, {0.5f, 0.5f, 1.5f});
        pipe.setFloatVector(POSITION, {3.f, 2.5f, 0.f});
        pipe.setIntVector(COLOUR, {60, 140, 220});
        client.queue(pipe);

        GNP2::Packet grid;
        address(grid, 11, SHAPE);
        grid.setIntVector(SHAPE_KIND, {10});
        grid.setFloatVector(SCALE, {10.f, 10.f, 1.f});
        grid.setFloatVector(SHAPE_PARAMETERS, {0.5f});
        grid.setIntVector(COLOUR, {120, 120, 120});
        client.queue(grid);
    }
    GNP2::Packet beam;
    address(beam, 12, SHAPE);
    if (!_created) {
        beam.setIntVector(SHAPE_KIND, {11});
        beam.setFloatVector(POSITION, {-4.f, -2.5f, 0.f});
        beam.setIntVector(COLOUR, {220, 120, 40});
    }
    beam.setFloatVector(SCALE, {1.5f + std::sin(t), 0.3f, 0.2f});
    client.queue(beam);
}

#include "client/demo/DemoEffects.h"
#include "client/demo/DemoItems.h"

#include <cmath>
#include <vector>

namespace {

using namespace demo;

// Text items.
constexpr int TEXT_STRING = 39;
constexpr int TEXT_NUMBER = 40;
constexpr int TEXT_WITH_NUMBER = 41;
constexpr int TEXT_SIZE = 42;
constexpr int TEXT_FONT = 43;
constexpr int TEXT_ALIGNMENT = 38;
// Light items.
constexpr int AMBIENT = 34;
constexpr int DIFFUSE = 6;
constexpr int SPECULAR = 7;
constexpr int SPOT_CUTOFF = 31;
constexpr int DIRECTIONAL = 32;
// Particle and weather items.
constexpr int FIRE_KIND = 89;
constexpr int INTENSITY = 53;
constexpr int PARTICLE_DURATION = 90;
constexpr int EFFECT_SCALE = 91;
constexpr int WIND = 54;
constexpr int WEATHER_KIND = 49;
constexpr int FOG_START = 50;
constexpr int FOG_END = 51;
constexpr int FOG_ON = 52;
// Shape items.
constexpr int SHAPE_KIND = 5;
constexpr int CYLINDER = 3;

void address(GNP2::Packet& p, int objectNumber, std::uint32_t typeCode)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), typeCode));
}

// Item 3 that turns an object's x axis to the unit direction d. The item
// holds the first two rows of the rotation; its first column is the image of
// x, so rows r1 = (d0, ., .), ... are built from an orthonormal frame whose
// first column is d: columns d, e, d x e with e perpendicular to d.
std::vector<float> pointXAlong(float dx, float dy, float dz)
{
    const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    dx /= length, dy /= length, dz /= length;
    // e: d crossed with z (or with x when d is nearly vertical), normalised.
    float ex = dy, ey = -dx, ez = 0.f;
    if (std::fabs(dz) > 0.99f)
        ex = 0.f, ey = dz, ez = -dy;
    const float el = std::sqrt(ex * ex + ey * ey + ez * ez);
    ex /= el, ey /= el, ez /= el;
    const float fx = dy * ez - dz * ey, fy = dz * ex - dx * ez;
    // Columns (d, e, f = d x e): row 0 = (dx, ex, fx), row 1 = (dy, ey, fy);
    // the viewer completes row 2 as their cross product.
    return {dx, ex, fx, dy, ey, fy};
}

float phase(float t)
{
    return std::fmod(t, DemoEffects::CYCLE);
}

// Rain or snow whose intensity rises and falls over [from, until) of the
// cycle, 0 outside. In steps of 0.1: the viewer sets its precipitation up
// anew for each new intensity, while a new wind only turns it.
float showerIntensity(float p, float from, float until)
{
    if (p < from || p >= until)
        return 0.f;
    return std::round(8.f * std::sin(3.14159265f * (p - from) / (until - from))) / 10.f;
}

} // namespace

void DemoEffects::step(orvane::SimulationClient& client, float t, bool created)
{
    labels(client, t, created);
    lights(client, t, created);
    particles(client, t, created);
    weather(client, t, created);
}

void DemoEffects::labels(orvane::SimulationClient& client, float t, bool created)
{
    // "t = " followed by the time, facing the viewer above the scene.
    GNP2::Packet clock;
    address(clock, CLOCK_LABEL, TEXT);
    if (!created) {
        clock.setString(TEXT_FONT, "arial.ttf");
        clock.setString(TEXT_STRING, "t = ");
        clock.setIntVector(TEXT_WITH_NUMBER, {1});
        clock.setIntVector(TEXT_ALIGNMENT, {0});
        clock.setFloatVector(TEXT_SIZE, {0.4f});
        clock.setIntVector(COLOUR, {255, 255, 255});
        clock.setFloatVector(ALPHA, {1.f});
        clock.setFloatVector(POSITION, {-1.f, 0.f, 2.5f});
    }
    clock.setFloatVector(TEXT_NUMBER, {std::round(t * 10.f) / 10.f});
    client.queue(clock);

    if (!created) {
        // A title lying on the floor in front of the shapes (xy plane).
        GNP2::Packet title;
        address(title, TITLE, TEXT);
        title.setString(TEXT_FONT, "TIMES.TTF");
        title.setString(TEXT_STRING, "Orvane demo");
        title.setIntVector(TEXT_WITH_NUMBER, {0});
        title.setIntVector(TEXT_ALIGNMENT, {1});
        title.setFloatVector(TEXT_SIZE, {0.6f});
        title.setIntVector(COLOUR, {250, 210, 60});
        title.setFloatVector(ALPHA, {1.f});
        title.setFloatVector(POSITION, {-1.8f, -1.6f, 0.01f});
        client.queue(title);
    }
}

void DemoEffects::lights(orvane::SimulationClient& client, float t, bool created)
{
    if (!created) {
        // A sun (directional: it shines along its x axis) from above, in
        // front and to the left, with some ambient light so that shaded sides
        // stay visible; with shadows on, the objects' shadows fall to the
        // right and back, where the camera sees them.
        GNP2::Packet sun;
        address(sun, SUN, LIGHT);
        sun.setIntVector(DIRECTIONAL, {1});
        sun.setIntVector(AMBIENT, {70, 70, 70});
        sun.setIntVector(DIFFUSE, {170, 170, 160});
        sun.setIntVector(SPECULAR, {255, 255, 255});
        sun.setFloatVector(ORIENTATION, pointXAlong(0.55f, 0.45f, -0.7f));
        client.queue(sun);
    }
    // A warm spot light high above the middle of the scene, sweeping across
    // the hills behind it.
    GNP2::Packet spot;
    address(spot, SPOT, LIGHT);
    const float eyeX = 0.f, eyeY = 2.f, eyeZ = 9.f;
    if (!created) {
        spot.setIntVector(DIRECTIONAL, {0});
        spot.setIntVector(AMBIENT, {0, 0, 0});
        spot.setIntVector(DIFFUSE, {255, 170, 60});
        spot.setIntVector(SPECULAR, {255, 200, 120});
        spot.setFloatVector(SPOT_CUTOFF, {12.f});
        spot.setFloatVector(POSITION, {eyeX, eyeY, eyeZ});
    }
    const float targetX = 5.f * std::sin(t * 0.6f);
    spot.setFloatVector(ORIENTATION, pointXAlong(targetX - eyeX, 11.f - eyeY, 1.f - eyeZ));
    client.queue(spot);
}

void DemoEffects::particles(orvane::SimulationClient& client, float t, bool created)
{
    if (!created) {
        // A chimney, 2 high, on the floor's right back corner; the smoke
        // leaves its top and drifts with the wind.
        GNP2::Packet chimney;
        address(chimney, CHIMNEY, SHAPE);
        chimney.setIntVector(SHAPE_KIND, {CYLINDER});
        chimney.setFloatVector(SCALE, {0.5f, 0.5f, 2.f});
        chimney.setFloatVector(POSITION, {4.5f, 4.5f, 1.f});
        chimney.setIntVector(COLOUR, {150, 70, 50});
        client.queue(chimney);

        GNP2::Packet smoke;
        address(smoke, SMOKE, PARTICLES);
        smoke.setIntVector(FIRE_KIND, {0});
        smoke.setFloatVector(INTENSITY, {4.f});
        smoke.setFloatVector(PARTICLE_DURATION, {4.f});
        smoke.setFloatVector(EFFECT_SCALE, {0.5f});
        smoke.setFloatVector(POSITION, {4.5f, 4.5f, 2.05f});
        client.queue(smoke);
    }
    GNP2::Packet smoke;
    address(smoke, SMOKE, PARTICLES);
    smoke.setFloatVector(WIND, {0.8f + 0.5f * std::sin(t * 0.2f), 0.3f, 0.f});
    client.queue(smoke);

    // A flickering fire on the floor at the chimney's foot, in front of it.
    GNP2::Packet fire;
    address(fire, FIRE, PARTICLES);
    if (!created) {
        fire.setIntVector(FIRE_KIND, {1});
        fire.setFloatVector(PARTICLE_DURATION, {0.8f});
        fire.setFloatVector(EFFECT_SCALE, {1.f});
        fire.setFloatVector(POSITION, {4.5f, 3.2f, 0.f});
        fire.setFloatVector(WIND, {0.f, 0.f, 0.f});
    }
    fire.setFloatVector(INTENSITY, {3.f + std::sin(t * 7.f) + 0.5f * std::sin(t * 13.f)});
    client.queue(fire);
}

void DemoEffects::weather(orvane::SimulationClient& client, float t, bool created)
{
    const float p = phase(t);
    // Rain slanting with a wind that turns slowly.
    GNP2::Packet rain;
    address(rain, RAIN, WEATHER);
    if (!created) {
        rain.setIntVector(WEATHER_KIND, {0});
        rain.setIntVector(COLOUR, {170, 180, 210});
    }
    rain.setFloatVector(INTENSITY, {showerIntensity(p, RAIN_FROM, RAIN_UNTIL)});
    rain.setFloatVector(WIND, {2.f * std::sin(t * 0.3f), 1.f, 0.f});
    client.queue(rain);

    // Snow drifting with a slow wind that turns in all three directions.
    GNP2::Packet snow;
    address(snow, SNOW, WEATHER);
    if (!created) {
        snow.setIntVector(WEATHER_KIND, {1});
        snow.setIntVector(COLOUR, {245, 245, 255});
    }
    snow.setFloatVector(INTENSITY, {showerIntensity(p, SNOW_FROM, SNOW_UNTIL)});
    snow.setFloatVector(WIND, {0.6f * std::sin(t * 0.2f), 0.3f * std::cos(t * 0.25f), -0.2f});
    client.queue(snow);

    // Grey fog from 8 to 35 units, switched on and off by item 52.
    GNP2::Packet fog;
    address(fog, FOG, WEATHER);
    if (!created) {
        fog.setIntVector(WEATHER_KIND, {2});
        fog.setIntVector(COLOUR, {190, 190, 200});
        fog.setFloatVector(FOG_START, {8.f});
        fog.setFloatVector(FOG_END, {35.f});
    }
    fog.setIntVector(FOG_ON, {p >= FOG_FROM && p < FOG_UNTIL ? 1 : 0});
    client.queue(fog);
}

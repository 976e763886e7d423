#include "client/demo/DemoEffects.h"

#include <cmath>
#include <vector>

#include "client/demo/DemoPacket.h"
#include "orvane/Protocol.h"

namespace {

using demo::address;
using demo::PI;

namespace item = orvane::item;

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
    return std::round(8.f * std::sin(PI * (p - from) / (until - from))) / 10.f;
}

// A weather object's packet: its kind and colour go with the creating one.
GNP2::Packet weatherPacket(int objectNumber, int weatherKind, std::vector<int> colour, bool created)
{
    GNP2::Packet p;
    address(p, objectNumber, orvane::kind::Weather);
    if (!created) {
        p.setIntVector(item::weather::WeatherKind, {weatherKind});
        p.setIntVector(item::weather::Colour, colour);
    }
    return p;
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
    address(clock, CLOCK_LABEL, orvane::kind::Text);
    if (!created) {
        clock.setString(item::text::Font, "arial.ttf");
        clock.setString(item::text::Text, "t = ");
        clock.setIntVector(item::text::ShowValue, {1});
        clock.setIntVector(item::text::Alignment, {0});
        clock.setFloatVector(item::text::Height, {0.4f});
        clock.setIntVector(item::text::Colour, {255, 255, 255});
        clock.setFloatVector(item::text::Opacity, {1.f});
        clock.setFloatVector(item::text::Position, {-1.f, 0.f, 2.5f});
    }
    clock.setFloatVector(item::text::Value, {std::round(t * 10.f) / 10.f});
    client.queue(clock);

    if (!created) {
        // A title lying on the floor in front of the shapes (xy plane).
        GNP2::Packet title;
        address(title, TITLE, orvane::kind::Text);
        title.setString(item::text::Font, "TIMES.TTF");
        title.setString(item::text::Text, "Orvane demo");
        title.setIntVector(item::text::ShowValue, {0});
        title.setIntVector(item::text::Alignment, {1});
        title.setFloatVector(item::text::Height, {0.6f});
        title.setIntVector(item::text::Colour, {250, 210, 60});
        title.setFloatVector(item::text::Opacity, {1.f});
        title.setFloatVector(item::text::Position, {-1.8f, -1.6f, 0.01f});
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
        address(sun, SUN, orvane::kind::Light);
        sun.setIntVector(item::light::Directional, {1});
        sun.setIntVector(item::light::Ambient, {70, 70, 70});
        sun.setIntVector(item::light::Diffuse, {170, 170, 160});
        sun.setIntVector(item::light::Specular, {255, 255, 255});
        sun.setFloatVector(item::light::Orientation, pointXAlong(0.55f, 0.45f, -0.7f));
        client.queue(sun);
    }
    // A warm spot light high above the middle of the scene, sweeping across
    // the hills behind it.
    GNP2::Packet spot;
    address(spot, SPOT, orvane::kind::Light);
    const float eyeX = 0.f, eyeY = 2.f, eyeZ = 9.f;
    if (!created) {
        spot.setIntVector(item::light::Directional, {0});
        spot.setIntVector(item::light::Ambient, {0, 0, 0});
        spot.setIntVector(item::light::Diffuse, {255, 170, 60});
        spot.setIntVector(item::light::Specular, {255, 200, 120});
        spot.setFloatVector(item::light::SpotCutoff, {12.f});
        spot.setFloatVector(item::light::Position, {eyeX, eyeY, eyeZ});
    }
    const float targetX = 5.f * std::sin(t * 0.6f);
    spot.setFloatVector(item::light::Orientation,
                        pointXAlong(targetX - eyeX, 11.f - eyeY, 1.f - eyeZ));
    client.queue(spot);
}

void DemoEffects::particles(orvane::SimulationClient& client, float t, bool created)
{
    if (!created) {
        // A chimney, 2 high, on the floor's right back corner; the smoke
        // leaves its top and drifts with the wind.
        GNP2::Packet chimney;
        address(chimney, CHIMNEY, orvane::kind::Shape);
        chimney.setIntVector(item::shape::ShapeKind, {item::shape::KIND_CYLINDER});
        chimney.setFloatVector(item::shape::Scale, {0.5f, 0.5f, 2.f});
        chimney.setFloatVector(item::shape::Position, {4.5f, 4.5f, 1.f});
        chimney.setIntVector(item::shape::Colour, {150, 70, 50});
        client.queue(chimney);

        GNP2::Packet smoke;
        address(smoke, SMOKE, orvane::kind::ParticleEffect);
        smoke.setIntVector(item::particle_effect::Effect, {0});
        smoke.setFloatVector(item::particle_effect::Intensity, {4.f});
        smoke.setFloatVector(item::particle_effect::LifeTime, {4.f});
        smoke.setFloatVector(item::particle_effect::EffectScale, {0.5f});
        smoke.setFloatVector(item::particle_effect::Position, {4.5f, 4.5f, 2.05f});
        client.queue(smoke);
    }
    GNP2::Packet smoke;
    address(smoke, SMOKE, orvane::kind::ParticleEffect);
    smoke.setFloatVector(item::particle_effect::Wind,
                         {0.8f + 0.5f * std::sin(t * 0.2f), 0.3f, 0.f});
    client.queue(smoke);

    // A flickering fire on the floor at the chimney's foot, in front of it.
    GNP2::Packet fire;
    address(fire, FIRE, orvane::kind::ParticleEffect);
    if (!created) {
        fire.setIntVector(item::particle_effect::Effect, {item::particle_effect::FIRE});
        fire.setFloatVector(item::particle_effect::LifeTime, {0.8f});
        fire.setFloatVector(item::particle_effect::EffectScale, {1.f});
        fire.setFloatVector(item::particle_effect::Position, {4.5f, 3.2f, 0.f});
        fire.setFloatVector(item::particle_effect::Wind, {0.f, 0.f, 0.f});
    }
    fire.setFloatVector(item::particle_effect::Intensity,
                        {3.f + std::sin(t * 7.f) + 0.5f * std::sin(t * 13.f)});
    client.queue(fire);
}

void DemoEffects::weather(orvane::SimulationClient& client, float t, bool created)
{
    const float p = phase(t);
    // Rain slanting with a wind that turns slowly.
    GNP2::Packet rain = weatherPacket(RAIN, item::weather::KIND_RAIN, {170, 180, 210}, created);
    rain.setFloatVector(item::weather::Intensity, {showerIntensity(p, RAIN_FROM, RAIN_UNTIL)});
    rain.setFloatVector(item::weather::Wind, {2.f * std::sin(t * 0.3f), 1.f, 0.f});
    client.queue(rain);

    // Snow drifting with a slow wind that turns in all three directions.
    GNP2::Packet snow = weatherPacket(SNOW, item::weather::KIND_SNOW, {245, 245, 255}, created);
    snow.setFloatVector(item::weather::Intensity, {showerIntensity(p, SNOW_FROM, SNOW_UNTIL)});
    snow.setFloatVector(item::weather::Wind,
                        {0.6f * std::sin(t * 0.2f), 0.3f * std::cos(t * 0.25f), -0.2f});
    client.queue(snow);

    // Grey fog from 8 to 35 units, switched on and off by item 52.
    GNP2::Packet fog = weatherPacket(FOG, item::weather::KIND_FOG, {190, 190, 200}, created);
    if (!created) {
        fog.setFloatVector(item::weather::FogStart, {8.f});
        fog.setFloatVector(item::weather::FogEnd, {35.f});
    }
    fog.setIntVector(item::weather::FogOn, {p >= FOG_FROM && p < FOG_UNTIL ? 1 : 0});
    client.queue(fog);
}

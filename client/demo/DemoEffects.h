#pragma once
// The demo's labels, lights, particles and weather: a label counting the
// simulation time above the scene and a title lying on the floor, a sun and
// a spot light sweeping along the row of shapes, smoke rising from a chimney
// and a fire at its foot, and every 45 seconds a short rain shower, then
// snow, then fog that comes and goes.
//
// Threading: one thread (the demo's main loop).

#include "client/SimulationClient.h"

class DemoEffects
{
public:
    static constexpr int CLOCK_LABEL = 200;
    static constexpr int TITLE = 201;
    static constexpr int SUN = 210;
    static constexpr int SPOT = 211;
    static constexpr int CHIMNEY = 220; // a cylinder (type code 2) under the smoke
    static constexpr int SMOKE = 221;
    static constexpr int FIRE = 222;
    static constexpr int RAIN = 230;
    static constexpr int FOG = 231;
    static constexpr int SNOW = 232;
    // One weather cycle: rain in [RAIN_FROM, RAIN_UNTIL), snow in
    // [SNOW_FROM, SNOW_UNTIL), fog in [FOG_FROM, FOG_UNTIL).
    static constexpr float CYCLE = 45.f;
    static constexpr float RAIN_FROM = 6.f;
    static constexpr float RAIN_UNTIL = 16.f;
    static constexpr float SNOW_FROM = 17.f;
    static constexpr float SNOW_UNTIL = 29.f;
    static constexpr float FOG_FROM = 27.f;
    static constexpr float FOG_UNTIL = 40.f;

    // Queues this part's packets for time t; `created` says whether the
    // objects exist already (then only what changes is sent).
    void step(orvane::SimulationClient& client, float t, bool created);

private:
    void labels(orvane::SimulationClient& client, float t, bool created);
    void lights(orvane::SimulationClient& client, float t, bool created);
    void particles(orvane::SimulationClient& client, float t, bool created);
    void weather(orvane::SimulationClient& client, float t, bool created);
};

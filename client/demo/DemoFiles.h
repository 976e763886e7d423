#pragma once
// The demo's model files (type code 4): four instances of the robot arm the
// project ships, each turning on its own and coloured its own way, and the
// sample terrain of rolling hills behind the scene. The names are relative:
// the viewer finds them in its data folder.
//
// Threading: one thread (the demo's main loop).

#include "client/SimulationClient.h"

class DemoFiles
{
public:
    static constexpr int FIRST_ARM = 100;
    static constexpr int ARM_COUNT = 4;
    static constexpr int TERRAIN = 110;
    static constexpr const char* ARM_MODEL = "models/robot-arm.obj";
    static constexpr const char* TERRAIN_FILE = "terrain/hills.wb";

    // Queues this part's packets for time t; `created` says whether the
    // objects exist already (then only what moves is sent).
    void step(orvane::SimulationClient& client, float t, bool created);
};

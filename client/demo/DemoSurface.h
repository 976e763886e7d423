#pragma once
// The demo's flexible surface (type code 11): a square sheet of water
// behind the row of shapes, crossed by two travelling waves. Every step
// sends the heights of all its vertices and a colour per vertex from deep
// blue in the troughs to white on the crests.
//
// Threading: one thread (the demo's main loop).

#include <vector>

#include "client/SimulationClient.h"

class DemoSurface
{
public:
    static constexpr int SHEET = 130;
    static constexpr int ROWS = 32;    // along y
    static constexpr int COLUMNS = 32; // along x
    static constexpr float SIZE = 3.0f;
    // Where the sheet's first vertex lies.
    static constexpr float X = 2.0f, Y = 5.0f, Z = 0.4f;

    // Queues this part's packets for time t; `created` says whether the
    // sheet exists already (then only heights and colours are sent).
    void step(orvane::SimulationClient& client, float t, bool created);

    // The height of vertex (r, c) at time t, within +-AMPLITUDE.
    static constexpr float AMPLITUDE = 0.25f;
    static float height(int r, int c, float t);
    // The packed colour (red 1000000 + green 1000 + blue) of a height.
    static int colour(float height);
};

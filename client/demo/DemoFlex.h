#pragma once
// The demo's flexible body (type code 10): the slender beam the project
// ships, clamped at one end and swinging up and down and sideways like a
// diving board. Its nodes lie along the beam's top and bottom centre lines;
// every step sends their displacements from a cantilever's bending line,
// the top and bottom nodes moving apart along the beam as its cross
// sections turn, and asks for the normals to follow the shape.
//
// Threading: one thread (the demo's main loop).

#include <vector>

#include "client/SimulationClient.h"

class DemoFlex
{
public:
    static constexpr int BEAM = 120;
    static constexpr const char* BEAM_MODEL = "models/flex-beam.obj";
    static constexpr float LENGTH = 4.0f;      // the beam runs along x from 0
    static constexpr float HALF_HEIGHT = 0.1f; // its top and bottom are at z = +-0.1
    static constexpr int STATIONS = 9;         // node pairs along the beam
    // Where the clamped end stands.
    static constexpr float X = -2.5f, Y = 5.5f, Z = 1.6f;

    // The tip's deflection at time t, up (z) and sideways (y).
    static float vertical(float t);
    static float lateral(float t);

    // Queues this part's packets for time t; `created` says whether the
    // body exists already (then only the displacements are sent).
    void step(orvane::SimulationClient& client, float t, bool created);

    // The nodes' reference positions (planar: the x, then y, then z values)
    // and their displacements for a tip deflection of (lateral, vertical).
    static std::vector<float> referenceNodes();
    static std::vector<float> displacements(float lateral, float vertical);
};

#pragma once
// The demo's flow pipes (type code 3): a small closed circuit in front of
// the shapes, to the right. A straight pipe, a half-turn bend, a straight
// pipe that narrows to less than half its width and a Bézier U-turn that
// widens again carry a row of cones round and round. The simulation sends
// only the flow position to the first pipe; the cones speed up in the
// narrowing pipe and slow down in the widening bend after it.
//
// Threading: one thread (the demo's main loop).

#include "client/SimulationClient.h"

class DemoPipes
{
public:
    static constexpr int STRAIGHT = 410; // the chain's first pipe
    static constexpr int BEND = 411;
    static constexpr int NARROWING = 412;
    static constexpr int U_TURN = 413; // the chain's last pipe, a Bézier curve
    // Where the circuit starts, heading along +x.
    static constexpr float X = 3.2f, Y = -2.8f, Z = 0.5f;
    // Flow position per second: the speed at the inlet of the first pipe.
    static constexpr float SPEED = 0.45f;

    // Queues this part's packets for time t: all four pipes when they are
    // not `created` yet, then the first pipe's flow position.
    void step(orvane::SimulationClient& client, float t, bool created);
};

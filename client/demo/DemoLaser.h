#pragma once
// The demo's laser: an intersector (type code 14) whose segment sweeps from
// in front of the scene across the row of shapes and the gears behind them,
// drawn as a red line with the marker standing on whatever it hits. The
// viewer answers every packet with the hit (item 92), its distance (93) and
// normal (94); a line of the head-up display, under the panel, shows the
// distance of the latest answer, or that the laser hits nothing.
//
// Threading: one thread (the demo's main loop).

#include <optional>

#include "client/SimulationClient.h"

class DemoLaser
{
public:
    static constexpr int LASER = 330;   // the intersector
    static constexpr int READOUT = 331; // its HUD text

    // Queues this step's segment (and, at creation, the marker size and the
    // display mode) and the readout when the answer changed it.
    void step(orvane::SimulationClient& client, float motion, bool created);

    // Takes a packet the viewer sent; returns whether it was the laser's answer.
    bool answer(const GNP2::Packet& packet);

    // The distance of the latest answer; empty when it hit nothing.
    const std::optional<float>& distance() const { return _distance; }

    void reset();

private:
    std::optional<float> _distance;
    bool _answered = false;
    bool _readoutChanged = true;
};

#include "client/demo/DemoFlex.h"

#include <cmath>

#include "orvane/Protocol.h"

namespace {

namespace item = orvane::item;

constexpr int NODES = 2 * DemoFlex::STATIONS;

// Node k: station k % STATIONS along the beam, on the bottom (k < STATIONS)
// or the top centre line.
float nodeX(int k)
{
    return DemoFlex::LENGTH * float(k % DemoFlex::STATIONS) / float(DemoFlex::STATIONS - 1);
}
float nodeZ(int k)
{
    return k < DemoFlex::STATIONS ? -DemoFlex::HALF_HEIGHT : DemoFlex::HALF_HEIGHT;
}

} // namespace

std::vector<float> DemoFlex::referenceNodes()
{
    std::vector<float> planar(3 * NODES, 0.0f);
    for (int k = 0; k < NODES; ++k) {
        planar[k] = nodeX(k);
        planar[2 * NODES + k] = nodeZ(k);
    }
    return planar;
}

std::vector<float> DemoFlex::displacements(float lateral, float vertical)
{
    // A cantilever under a load at its tip: deflection s^2 (3 - s) / 2 of
    // the tip's (s = x / L), its slope 3 s (2 - s) / (2 L). A cross section
    // turns with the slope, so points above the centre line move back along
    // x as the beam bends up.
    std::vector<float> planar(3 * NODES, 0.0f);
    for (int k = 0; k < NODES; ++k) {
        const float s = nodeX(k) / LENGTH;
        const float shape = s * s * (3.0f - s) / 2.0f;
        const float slope = 3.0f * s * (2.0f - s) / (2.0f * LENGTH);
        planar[k] = -nodeZ(k) * vertical * slope;
        planar[NODES + k] = lateral * shape;
        planar[2 * NODES + k] = vertical * shape;
    }
    return planar;
}

float DemoFlex::vertical(float t)
{
    return 0.9f * std::sin(1.7f * t);
}

float DemoFlex::lateral(float t)
{
    return 0.5f * std::sin(0.6f * t);
}

void DemoFlex::step(orvane::SimulationClient& client, float t, bool created)
{
    GNP2::Packet p;
    p.setHeader(GNP2::makeHeader(std::uint32_t(BEAM), orvane::kind::FlexBody));
    if (!created) {
        p.setString(item::flex_body::FileName, BEAM_MODEL);
        p.setIntVector(item::flex_body::NodeCount, {NODES});
        p.setFloatVector(item::flex_body::Nodes, referenceNodes());
        p.setFloatVector(item::flex_body::Position, {X, Y, Z});
        p.setIntVector(item::flex_body::Colour, {230, 190, 50});
    }
    p.setFloatVector(item::flex_body::Displacements, displacements(lateral(t), vertical(t)));
    p.setIntVector(item::flex_body::RecomputeNormals, {1});
    client.queue(p);
}

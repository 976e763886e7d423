#include "client/demo/DemoPipes.h"
#include "client/demo/DemoItems.h"

#include <vector>

namespace {

using namespace demo;

// Items of the flow pipe.
constexpr int START = 14;
constexpr int END = 15;
constexpr int LENGTH = 16;
constexpr int INLET_RADIUS = 17;
constexpr int OUTLET_RADIUS = 18;
constexpr int BEND_ANGLE = 19;
constexpr int BEND_RADIUS = 20;
constexpr int DENSITY = 21;
constexpr int DIRECTION = 22;
constexpr int INDICATOR_COLOUR = 23;
constexpr int INDICATOR_SIZE = 24;
constexpr int TUBE_COLOUR = 25;
constexpr int OPACITY = 26;
constexpr int KIND = 27;
constexpr int END_DIRECTION = 80;
constexpr int EXACT_CURVE = 81;
constexpr int UPSTREAM = 82;
constexpr int DOWNSTREAM = 83;
constexpr int FLOW_POSITION = 84;

constexpr float PI = 3.14159265f;
constexpr float WIDE = 0.16f, NARROW = 0.07f;
constexpr float RUN = 1.6f;         // the straight pipes' length
constexpr float TURN_RADIUS = 0.6f; // the half-turn's bend radius

// Orientations (item 3): the pipe's own +x along world +x, or along world −x.
const std::vector<float> ALONG_X = {1.f, 0.f, 0.f, 0.f, 1.f, 0.f};
const std::vector<float> BACK_ALONG_X = {-1.f, 0.f, 0.f, 0.f, -1.f, 0.f};

// The items every pipe of the circuit is created with.
void describe(GNP2::Packet& p, int number, int kind, int up, int down, float rIn, float rOut,
              std::vector<float> start, const std::vector<float>& orientation)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(number), FLOW_PIPE));
    p.setIntVector(KIND, {kind});
    p.setIntVector(UPSTREAM, {up});
    p.setIntVector(DOWNSTREAM, {down});
    p.setFloatVector(INLET_RADIUS, {rIn});
    p.setFloatVector(OUTLET_RADIUS, {rOut});
    p.setFloatVector(START, start);
    p.setFloatVector(ORIENTATION, orientation);
    p.setIntVector(TUBE_COLOUR, {170, 210, 255});
    p.setIntVector(OPACITY, {1}); // alpha 0.5
    p.setIntVector(INDICATOR_COLOUR, {255, 200, 40});
    p.setFloatVector(INDICATOR_SIZE, {0.7f});
}

} // namespace

void DemoPipes::step(orvane::SimulationClient& client, float t, bool created)
{
    if (!created) {
        // Along +x, then half a turn to the left.
        GNP2::Packet straight;
        describe(straight, STRAIGHT, 1, -1, BEND, WIDE, WIDE, {X, Y, Z}, ALONG_X);
        straight.setFloatVector(LENGTH, {RUN});
        straight.setFloatVector(DENSITY, {4.f}); // cones per unit length at the inlet
        straight.setFloatVector(DIRECTION, {1.f});
        client.queue(straight);

        GNP2::Packet bend;
        describe(bend, BEND, 2, STRAIGHT, NARROWING, WIDE, WIDE, {X + RUN, Y, Z}, ALONG_X);
        bend.setFloatVector(BEND_RADIUS, {TURN_RADIUS});
        bend.setFloatVector(BEND_ANGLE, {PI});
        client.queue(bend);

        // Back along −x, narrowing: the cones run faster and shrink.
        GNP2::Packet narrowing;
        describe(narrowing, NARROWING, 1, BEND, U_TURN, WIDE, NARROW,
                 {X + RUN, Y + 2.f * TURN_RADIUS, Z}, BACK_ALONG_X);
        narrowing.setFloatVector(LENGTH, {RUN});
        narrowing.setIntVector(INDICATOR_COLOUR, {255, 70, 40});
        client.queue(narrowing);

        // A Bézier U-turn back to the start, arriving along +x, widening.
        GNP2::Packet uTurn;
        describe(uTurn, U_TURN, 3, NARROWING, -1, NARROW, WIDE, {X, Y + 2.f * TURN_RADIUS, Z},
                 BACK_ALONG_X);
        uTurn.setFloatVector(END, {X, Y, Z});
        uTurn.setFloatVector(END_DIRECTION, {1.f, 0.f, 0.f});
        uTurn.setIntVector(EXACT_CURVE, {1});
        uTurn.setIntVector(INDICATOR_COLOUR, {120, 255, 90});
        client.queue(uTurn);
    }
    GNP2::Packet flow;
    flow.setHeader(GNP2::makeHeader(std::uint32_t(STRAIGHT), FLOW_PIPE));
    flow.setFloatVector(FLOW_POSITION, {SPEED * t});
    client.queue(flow);
}

#include "client/demo/DemoPipes.h"

#include <vector>

#include "client/demo/DemoPacket.h"
#include "orvane/Protocol.h"

namespace {

using demo::PI;

namespace item = orvane::item;

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
    p.setHeader(GNP2::makeHeader(std::uint32_t(number), orvane::kind::FlowPipe));
    p.setIntVector(item::flow_pipe::PipeKind, {kind});
    p.setIntVector(item::flow_pipe::Upstream, {up});
    p.setIntVector(item::flow_pipe::Downstream, {down});
    p.setFloatVector(item::flow_pipe::InletRadius, {rIn});
    p.setFloatVector(item::flow_pipe::OutletRadius, {rOut});
    p.setFloatVector(item::flow_pipe::Start, start);
    p.setFloatVector(item::flow_pipe::Orientation, orientation);
    p.setIntVector(item::flow_pipe::TubeColour, {170, 210, 255});
    p.setIntVector(item::flow_pipe::TubeOpacity, {1}); // alpha 0.5
    p.setIntVector(item::flow_pipe::IndicatorColour, {255, 200, 40});
    p.setFloatVector(item::flow_pipe::IndicatorSize, {0.7f});
}

} // namespace

void DemoPipes::step(orvane::SimulationClient& client, float t, bool created)
{
    if (!created) {
        // Along +x, then half a turn to the left.
        GNP2::Packet straight;
        describe(straight, STRAIGHT, item::flow_pipe::KIND_STRAIGHT, -1, BEND, WIDE, WIDE,
                 {X, Y, Z}, ALONG_X);
        straight.setFloatVector(item::flow_pipe::Length, {RUN});
        straight.setFloatVector(item::flow_pipe::IndicatorDensity,
                                {4.f}); // cones per unit length at the inlet
        straight.setFloatVector(item::flow_pipe::FlowDirection, {1.f});
        client.queue(straight);

        GNP2::Packet bend;
        describe(bend, BEND, item::flow_pipe::KIND_CURVED, STRAIGHT, NARROWING, WIDE, WIDE,
                 {X + RUN, Y, Z}, ALONG_X);
        bend.setFloatVector(item::flow_pipe::BendRadius, {TURN_RADIUS});
        bend.setFloatVector(item::flow_pipe::BendAngle, {PI});
        client.queue(bend);

        // Back along −x, narrowing: the cones run faster and shrink.
        GNP2::Packet narrowing;
        describe(narrowing, NARROWING, item::flow_pipe::KIND_STRAIGHT, BEND, U_TURN, WIDE, NARROW,
                 {X + RUN, Y + 2.f * TURN_RADIUS, Z}, BACK_ALONG_X);
        narrowing.setFloatVector(item::flow_pipe::Length, {RUN});
        narrowing.setIntVector(item::flow_pipe::IndicatorColour, {255, 70, 40});
        client.queue(narrowing);

        // A Bézier U-turn back to the start, arriving along +x, widening.
        GNP2::Packet uTurn;
        describe(uTurn, U_TURN, item::flow_pipe::KIND_BEZIER, NARROWING, -1, NARROW, WIDE,
                 {X, Y + 2.f * TURN_RADIUS, Z}, BACK_ALONG_X);
        uTurn.setFloatVector(item::flow_pipe::End, {X, Y, Z});
        uTurn.setFloatVector(item::flow_pipe::EndDirection, {1.f, 0.f, 0.f});
        uTurn.setIntVector(item::flow_pipe::ExactCurve, {1});
        uTurn.setIntVector(item::flow_pipe::IndicatorColour, {120, 255, 90});
        client.queue(uTurn);
    }
    GNP2::Packet flow;
    flow.setHeader(GNP2::makeHeader(std::uint32_t(STRAIGHT), orvane::kind::FlowPipe));
    flow.setFloatVector(item::flow_pipe::FlowPosition, {SPEED * t});
    client.queue(flow);
}

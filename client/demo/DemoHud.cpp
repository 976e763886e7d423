#include "client/demo/DemoHud.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "client/demo/DemoPacket.h"
#include "orvane/Protocol.h"

namespace {

using demo::address;
using demo::PI;

namespace item = orvane::item;

const std::vector<std::vector<int>> PALETTE = {
    {80, 220, 255}, {250, 210, 60}, {120, 255, 120}, {255, 120, 200}};

// A new HUD element: its kind, place and turn.
void element(GNP2::Packet& p, int objectNumber, int kind, float x, float y)
{
    address(p, objectNumber, orvane::kind::Hud);
    p.setIntVector(item::hud::Element, {kind});
    p.setFloatVector(item::hud::Position, {x, y});
    p.setFloatVector(item::hud::Rotation, {0.f});
}

void label(GNP2::Packet& p, int objectNumber, float x, float y, float height, const char* text)
{
    element(p, objectNumber, item::hud::TEXT, x, y);
    p.setString(item::hud::FileName, "arial.ttf");
    p.setFloatVector(item::hud::Size, {height});
    p.setString(item::hud::Text, text);
}

// The vertical speed of the box, which bobs as 0.25 sin(2t + 1).
// A line's packet: how it looks goes with the creating one.
GNP2::Packet linePacket(int objectNumber, std::vector<int> colour, int lineKind, float width,
                        int pointCount, bool created)
{
    GNP2::Packet p;
    address(p, objectNumber, orvane::kind::Line);
    if (!created) {
        p.setIntVector(item::line::Colour, colour);
        p.setFloatVector(item::line::Opacity, {1.f});
        p.setIntVector(item::line::LineKind, {lineKind});
        p.setFloatVector(item::line::Width, {width});
        p.setIntVector(item::line::PointCount, {pointCount});
    }
    return p;
}

float boxSpeed(float motion, bool paused)
{
    return paused ? 0.f : 0.5f * std::cos(2.f * motion + 1.f);
}

} // namespace

void DemoHud::reset()
{
    _paused = false;
    _palette = 0;
    _buttonsChanged = true;
}

void DemoHud::step(orvane::SimulationClient& client, float t, float motion, bool created)
{
    if (!created)
        panel(client, created);
    values(client, t, motion, created);
    buttons(client, created);
    lines(client, motion, created);
}

void DemoHud::panel(orvane::SimulationClient& client, bool)
{
    // In HUD units: the view's height is 1000 units (aspect mode 0), the
    // origin its lower left corner. The panel spans x 20-370, y 545-985.
    GNP2::Packet frame;
    element(frame, FRAME, item::hud::LINE, 0.f, 0.f);
    frame.setIntVector(item::hud::PointCount, {5});
    frame.setFloatVector(item::hud::Points,
                         {20.f, 545.f, 370.f, 545.f, 370.f, 985.f, 20.f, 985.f, 20.f, 545.f});
    frame.setIntVector(item::hud::Colour, {150, 160, 190});
    frame.setFloatVector(item::hud::Size, {2.f});
    client.queue(frame);

    GNP2::Packet title;
    label(title, TITLE, 40.f, 945.f, 26.f, "Orvane HUD demo");
    title.setIntVector(item::hud::Colour, PALETTE[0]);
    client.queue(title);

    // "Box speed" followed by the live value (kind 3 writes "<39> <47>").
    GNP2::Packet speed;
    label(speed, SPEED, 40.f, 890.f, 22.f, "Box speed");
    speed.setIntVector(item::hud::Element, {item::hud::VALUE_TEXT});
    speed.setFloatVector(item::hud::Value, {0.f});
    client.queue(speed);

    GNP2::Packet bar;
    element(bar, BAR, item::hud::BAR, 40.f, 858.f);
    bar.setFloatVector(item::hud::Size, {250.f, 16.f});
    client.queue(bar);

    GNP2::Packet arrow;
    element(arrow, ARROW, item::hud::FACE, 305.f, 858.f);
    arrow.setIntVector(item::hud::PointCount, {3});
    arrow.setFloatVector(item::hud::Points, {0.f, -14.f, 26.f, 0.f, 0.f, 14.f});
    arrow.setIntVector(item::hud::Colour, {255, 140, 40});
    arrow.setFloatVector(item::hud::Value, {0.f});
    client.queue(arrow);

    GNP2::Packet dial;
    element(dial, DIAL, item::hud::PICTURE, 320.f, 930.f);
    dial.setString(item::hud::FileName, "Images/dial.png");
    dial.setFloatVector(item::hud::Size, {64.f, 64.f});
    client.queue(dial);

    // A strip chart 300 x 130 with its time labels below it.
    GNP2::Packet graph;
    element(graph, GRAPH, item::hud::GRAPH, 45.f, 680.f);
    graph.setFloatVector(item::hud::Size, {300.f, 130.f});
    graph.setIntVector(item::hud::Colour, PALETTE[0]);
    client.queue(graph);
}

void DemoHud::values(orvane::SimulationClient& client, float t, float motion, bool)
{
    const float speed = boxSpeed(motion, _paused);
    GNP2::Packet value;
    address(value, SPEED, orvane::kind::Hud);
    value.setFloatVector(item::hud::Value, {std::round(speed * 100.f) / 100.f});
    client.queue(value);

    // The bar fills with the speed's size and turns from green to red.
    const float fill = std::fabs(speed) / 0.5f;
    GNP2::Packet bar;
    address(bar, BAR, orvane::kind::Hud);
    bar.setFloatVector(item::hud::Value, {fill});
    bar.setIntVector(item::hud::Colour, {int(255.f * fill), int(255.f * (1.f - fill)), 40});
    client.queue(bar);

    // The arrow is clear while the box stands and solid at full speed.
    GNP2::Packet arrow;
    address(arrow, ARROW, orvane::kind::Hud);
    arrow.setFloatVector(item::hud::Value, {std::round((1.f - fill) * 20.f) / 20.f});
    client.queue(arrow);

    // The signal: the speed with a faster ripple on top, from -1 to 1.
    GNP2::Packet graph;
    address(graph, GRAPH, orvane::kind::Hud);
    graph.setFloatVector(item::hud::Value, {0.8f * speed / 0.5f + 0.2f * std::sin(t * 9.f)});
    client.queue(graph);

    // The dial turns once every 8 seconds of motion (moving and turning an
    // element takes three values in item 1).
    GNP2::Packet dial;
    address(dial, DIAL, orvane::kind::Hud);
    dial.setFloatVector(item::hud::Position, {320.f, 930.f, 0.f});
    dial.setFloatVector(item::hud::Rotation, {-2.f * PI * motion / 8.f});
    client.queue(dial);
}

void DemoHud::buttons(orvane::SimulationClient& client, bool created)
{
    if (!created) {
        // Visible (half-transparent green) buttons, 130 x 44 units, with
        // their labels over them.
        for (const auto& [number, x] :
             {std::pair{PAUSE_BUTTON, 110.f}, std::pair{COLOUR_BUTTON, 280.f}}) {
            GNP2::Packet b;
            element(b, number, item::hud::BUTTON, x, 590.f);
            b.setFloatVector(item::hud::Size, {130.f, 44.f});
            b.setFloatVector(item::hud::Value, {1.f});
            client.queue(b);
        }
        GNP2::Packet pauseLabel, colourLabel;
        label(pauseLabel, PAUSE_LABEL, 80.f, 582.f, 20.f, "Pause");
        label(colourLabel, COLOUR_LABEL, 245.f, 582.f, 20.f, "Colour");
        client.queue(pauseLabel);
        client.queue(colourLabel);
    }
    if (!_buttonsChanged)
        return;
    GNP2::Packet pause;
    address(pause, PAUSE_LABEL, orvane::kind::Hud);
    pause.setString(item::hud::Text, _paused ? "Run" : "Pause");
    client.queue(pause);
    const std::vector<int>& colour = PALETTE[std::size_t(_palette) % PALETTE.size()];
    for (int number : {GRAPH, TITLE}) {
        GNP2::Packet coloured;
        address(coloured, number, orvane::kind::Hud);
        coloured.setIntVector(item::hud::Colour, colour);
        client.queue(coloured);
    }
    _buttonsChanged = false;
}

void DemoHud::lines(orvane::SimulationClient& client, float motion, bool created)
{
    // A wave of 40 points running along the front of the scene.
    constexpr int WAVE_POINTS = 40;
    GNP2::Packet wave =
        linePacket(WAVE, {255, 230, 60}, item::line::KIND_POLYLINE, 2.f, WAVE_POINTS, created);
    std::vector<float> points;
    for (int i = 0; i < WAVE_POINTS; ++i) {
        const float x = -6.f + 12.f * float(i) / float(WAVE_POINTS - 1);
        points.insert(points.end(), {x, -4.f, 0.4f + 0.3f * std::sin(1.5f * x - 3.f * motion)});
    }
    wave.setFloatVector(item::line::Points, points);
    client.queue(wave);

    // An arch over the shapes from four control points; its top sways.
    GNP2::Packet arch = linePacket(ARCH, {230, 80, 255}, item::line::KIND_BEZIER, 3.f, 4, created);
    const float sway = std::sin(motion * 0.8f);
    arch.setFloatVector(item::line::Points, {-4.5f, 0.f, 0.f, -2.f + sway, 0.f, 3.5f, 2.f + sway,
                                             0.f, 3.5f, 4.5f, 0.f, 0.f});
    client.queue(arch);
}

bool DemoHud::answer(const GNP2::Packet& packet)
{
    const int object = int(GNP2::objectNumber(packet.header()));
    if ((object != PAUSE_BUTTON && object != COLOUR_BUTTON) ||
        !packet.hasItem(item::reply::button_event::Event))
        return false;
    const std::vector<int> code = packet.getIntVector(item::reply::button_event::Event);
    if (code.empty() || code[0] != RELEASED)
        return true; // hovering, pressing, dragging, leaving: nothing to do
    if (object == PAUSE_BUTTON) {
        _paused = !_paused;
        std::printf("orvane-demo: %s\n", _paused ? "paused" : "running again");
    } else {
        ++_palette;
        std::printf("orvane-demo: the graph takes colour %d\n", _palette % int(PALETTE.size()) + 1);
    }
    _buttonsChanged = true;
    return true;
}

#pragma once
// The demo's head-up display and lines. A panel in the upper left corner of
// the view: a title, the speed of the bobbing shapes as a live value and a
// bar, a scrolling graph of a simulated signal, a turning dial picture, an
// arrow face that fades with the speed, a frame line around it all, and two
// buttons the user can click: "Pause" stops the shapes' motion (and "Run"
// starts it again), "Colour" gives the graph and the title another colour.
// In the scene: a polyline waving in front of the shapes and a Bézier arch
// over them.
//
// Threading: one thread (the demo's main loop).

#include "client/SimulationClient.h"

class DemoHud
{
public:
    static constexpr int TITLE = 300;
    static constexpr int SPEED = 301;
    static constexpr int BAR = 302;
    static constexpr int GRAPH = 303;
    static constexpr int DIAL = 304;
    static constexpr int ARROW = 305;
    static constexpr int FRAME = 306;
    static constexpr int PAUSE_BUTTON = 310;
    static constexpr int PAUSE_LABEL = 311;
    static constexpr int COLOUR_BUTTON = 312;
    static constexpr int COLOUR_LABEL = 313;
    static constexpr int WAVE = 320; // a polyline (type code 12, kind 1)
    static constexpr int ARCH = 321; // a Bézier curve (type code 12, kind 2)

    // Button event codes (item 30 of the packets the viewer sends).
    static constexpr int PRESSED = 1;
    static constexpr int RELEASED = 2;

    // Queues this part's packets: `t` is the simulation time, `motion` the
    // time the moving things follow (it stands still while paused);
    // `created` says whether the objects exist already.
    void step(orvane::SimulationClient& client, float t, float motion, bool created);

    // Takes a packet the viewer sent. A click (a release over the button
    // that was pressed) on a button of this panel acts on it; returns whether
    // the packet was a button event of this panel.
    bool answer(const GNP2::Packet& packet);

    bool paused() const { return _paused; }
    // Back to running, first colour (a new connection starts afresh).
    void reset();

private:
    void panel(orvane::SimulationClient& client, bool created);
    void values(orvane::SimulationClient& client, float t, float motion, bool created);
    void buttons(orvane::SimulationClient& client, bool created);
    void lines(orvane::SimulationClient& client, float motion, bool created);

    bool _paused = false;
    int _palette = 0;
    bool _buttonsChanged = true; // labels and colours to send at the next step
};

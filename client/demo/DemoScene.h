#pragma once
// The demo simulation's scene: a small animated world that shows what the
// viewer can display. Every object kind the viewer learns gets a part here,
// so that the demo always shows everything there is.
//
// Threading: one thread (the demo's main loop).

#include <cstdint>
#include <vector>

#include "client/SimulationClient.h"
#include "client/demo/DemoEffects.h"
#include "client/demo/DemoFiles.h"
#include "client/demo/DemoFlex.h"
#include "client/demo/DemoHud.h"
#include "client/demo/DemoPipes.h"
#include "client/demo/DemoLaser.h"
#include "client/demo/DemoSurface.h"

class DemoScene
{
public:
    // Object numbers: one range per kind so that parts never clash.
    static constexpr int TIME_OBJECT = 4000;
    static constexpr int VIEW_OBJECT = 4001;
    static constexpr int FLOOR = 13; // a shape, after the shapes 1-12

    // Queues the packets of one simulation step at time t (seconds): the
    // time packet first, then every object's state. The first step creates
    // the objects with everything they need; later steps send what moves.
    void step(orvane::SimulationClient& client, float t);

    // Forget what was sent, so that the next step creates everything again
    // (after a reconnect the viewer starts from an empty scene), and run.
    void reset();

    // Takes a packet the viewer sent back: a click on a head-up display
    // button acts on the scene (pausing its motion, recolouring); the
    // laser's answer goes to its readout. Returns whether the packet was one
    // of these.
    bool answer(const GNP2::Packet& packet) { return _hud.answer(packet) || _laser.answer(packet); }

private:
    void shapes(orvane::SimulationClient& client, float t);
    void view(orvane::SimulationClient& client);

    DemoFiles _files;
    DemoEffects _effects;
    DemoFlex _flex;
    DemoHud _hud;
    DemoSurface _surface;
    DemoPipes _pipes;
    DemoLaser _laser;
    bool _created = false;
    // The motion stands still while the head-up display's pause is on: it
    // follows the time minus the time spent paused.
    float _pausedFor = 0.f;
    float _lastTime = 0.f;
};

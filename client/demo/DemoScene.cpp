#include "client/demo/DemoScene.h"

#include <cmath>

#include "client/demo/DemoPacket.h"
#include "orvane/Protocol.h"

namespace {

using demo::address;
using demo::PI;

namespace item = orvane::item;

// Items of the shape object.

// An orientation item turning the object by `angle` about z. The item's two
// vectors are the rotation's first two columns, and points are row vectors,
// so (cos, sin, 0), (-sin, cos, 0) turns clockwise seen from +z.
std::vector<float> clockwise(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    return {c, s, 0.f, -s, c, 0.f};
}

std::vector<int> rainbow(float t)
{
    auto channel = [&](float phase) { return int(127.5f + 127.5f * std::sin(t + phase)); };
    return {channel(0.f), channel(2.094f), channel(4.189f)};
}

} // namespace

void DemoScene::reset()
{
    _created = false;
    _pausedFor = 0.f;
    _hud.reset();
    _laser.reset();
}

void DemoScene::step(orvane::SimulationClient& client, float t)
{
    if (_created && _hud.paused())
        _pausedFor += t - _lastTime;
    _lastTime = t;
    const float motion = t - _pausedFor;

    GNP2::Packet time;
    address(time, TIME_OBJECT, orvane::kind::Time);
    time.setFloatVector(item::time::Time, {t});
    client.queue(time);
    if (!_created)
        view(client);
    shapes(client, motion);
    _files.step(client, motion, _created);
    _effects.step(client, motion, _created);
    _hud.step(client, t, motion, _created);
    _flex.step(client, motion, _created);
    _surface.step(client, motion, _created);
    _pipes.step(client, motion, _created);
    _laser.step(client, motion, _created);
    _created = true;
}

void DemoScene::view(orvane::SimulationClient& client)
{
    // One view over the whole window whose camera is left to the user
    // (item 55 = 0); its home position looks at the scene from the front and
    // above, and "Camera to home position" returns there. The viewer answers
    // camera moves with the camera's pose.
    GNP2::Packet v;
    address(v, VIEW_OBJECT, orvane::kind::View);
    v.setIntVector(item::view::CameraControl, {0});           // camera left to the user
    v.setFloatVector(item::view::Centre, {0.f, 1.5f, 0.5f});  // centre looked at
    v.setFloatVector(item::view::HomeEye, {0.f, -13.f, 7.f}); // home eye, relative to the centre
    v.setFloatVector(item::view::ViewportOrigin, {0.f, 0.f}); // viewport origin and size
    v.setFloatVector(item::view::ViewportSize, {1.f, 1.f});
    v.setIntVector(item::view::OwnWindow, {0}); // in the main window
    v.setIntVector(item::view::Screen, {0});
    v.setIntVector(item::view::Background, {25, 35, 90}); // background
    v.setFloatVector(item::view::Near, {0.1f});           // near and far planes, field of view
    v.setFloatVector(item::view::Far, {500.f});
    v.setFloatVector(item::view::FieldOfView, {40.f});
    v.setIntVector(item::view::ShowHud, {1}); // shows the head-up display
    v.setIntVector(item::view::HudAspect, {0});
    client.queue(v);
}

void DemoScene::shapes(orvane::SimulationClient& client, float t)
{
    // Kinds 1-5 (box, sphere, cylinder, cone, capsule) in a row, bobbing,
    // turning and changing colour; item 4 gives their size. The sphere fades
    // in and out, the capsule turns to wireframe every other 3 seconds.
    // Kind 6, a coordinate marker, in front; item 4 sizes its labels.
    for (int kind = item::shape::KIND_BOX; kind <= item::shape::KIND_CAPSULE; ++kind) {
        GNP2::Packet p;
        address(p, kind, orvane::kind::Shape);
        const float x = float(kind - 3) * 1.5f;
        p.setFloatVector(item::shape::Position,
                         {x, 0.f, 0.5f + 0.25f * std::sin(t * 2.f + float(kind))});
        p.setFloatVector(item::shape::Orientation, clockwise(t * 0.5f * float(kind)));
        if (!_created) {
            p.setIntVector(item::shape::ShapeKind, {kind});
            p.setFloatVector(item::shape::Scale, {0.8f, 0.8f, 0.8f});
        }
        p.setIntVector(item::shape::Colour, rainbow(t + float(kind)));
        if (kind == item::shape::KIND_SPHERE)
            p.setFloatVector(item::shape::Opacity, {0.55f + 0.45f * std::sin(t)});
        if (kind == item::shape::KIND_CAPSULE)
            p.setIntVector(item::shape::Wireframe, {int(t / 3.f) % 2});
        client.queue(p);
    }
    if (!_created) {
        GNP2::Packet axes;
        address(axes, 6, orvane::kind::Shape);
        axes.setIntVector(item::shape::ShapeKind, {item::shape::KIND_COORD_SYSTEM});
        axes.setFloatVector(item::shape::Position, {0.f, -2.5f, 0.f});
        axes.setFloatVector(item::shape::Scale, {1.f, 1.f, 1.f});
        client.queue(axes);
    }

    // A spring stretching between 1 and 2 units: item 4 is its length, coil
    // radius and an unused third value; item 11 its windings and wire radius.
    GNP2::Packet spring;
    address(spring, 7, orvane::kind::Shape);
    if (!_created) {
        spring.setIntVector(item::shape::ShapeKind, {item::shape::KIND_SPRING});
        spring.setFloatVector(item::shape::Parameters, {8.f, 0.03f});
        spring.setFloatVector(item::shape::Position, {-3.f, 2.5f, 0.f});
        spring.setIntVector(item::shape::Colour, {200, 200, 40});
    }
    spring.setFloatVector(item::shape::Scale, {1.5f + 0.5f * std::sin(t * 3.f), 0.2f, 0.2f});
    client.queue(spring);

    // A gear of 12 teeth rolling inside a ring gear of 24. Both are built at
    // diameter 1; the ring is scaled by 2 so that their teeth have the same
    // size, and the gear sits half a unit off the ring's centre, touching it
    // on the +x side. The ring turns at half the gear's speed, the same way.
    // The phases put a tooth of the gear into a gap of the ring at the
    // contact point: the outer part of a tooth profile, 0.35 of a pitch into
    // it, is a tooth of an external gear and a gap of an internal one.
    const float spin = t;
    for (int i = 0; i < 2; ++i) {
        const bool ring = i == 1;
        const float pitch = 2.f * PI / (ring ? 24.f : 12.f);
        const float contactPhase = 0.5f * PI - 0.35f * pitch;
        GNP2::Packet gear;
        address(gear, 8 + i, orvane::kind::Shape);
        if (!_created) {
            gear.setIntVector(item::shape::ShapeKind, {item::shape::KIND_GEAR});
            // Item 4: scale, and 4[2] the thickness. Item 11: ring parameter
            // k, tooth count n (negative: internal), flank angle in degrees.
            gear.setFloatVector(item::shape::Scale, ring ? std::vector<float>{2.f, 2.f, 0.2f}
                                                         : std::vector<float>{1.f, 1.f, 0.2f});
            gear.setFloatVector(item::shape::Parameters, ring
                                                             ? std::vector<float>{0.3f, -24.f, 0.f}
                                                             : std::vector<float>{0.4f, 12.f, 0.f});
            gear.setFloatVector(item::shape::Position, {ring ? 0.f : 0.5f, 2.5f, 0.f});
            gear.setIntVector(item::shape::Colour, ring ? std::vector<int>{90, 90, 110}
                                                        : std::vector<int>{180, 180, 190});
        }
        gear.setFloatVector(item::shape::Orientation,
                            clockwise(contactPhase + (ring ? spin * 0.5f : spin)));
        client.queue(gear);
    }

    if (!_created) {
        // A tapered pipe (item 11: unused, bore 0.6, end ratio 0.5; item 4
        // only scales it) and a floor grid (item 4: extents 10 x 10, also
        // its scale; item 11: a line every 0.5).
        GNP2::Packet pipe;
        address(pipe, 10, orvane::kind::Shape);
        pipe.setIntVector(item::shape::ShapeKind, {item::shape::KIND_PIPE});
        pipe.setFloatVector(item::shape::Parameters, {0.f, 0.6f, 0.5f});
        pipe.setFloatVector(item::shape::Scale, {0.5f, 0.5f, 1.5f});
        pipe.setFloatVector(item::shape::Position, {3.f, 2.5f, 0.f});
        pipe.setIntVector(item::shape::Colour, {60, 140, 220});
        client.queue(pipe);

        GNP2::Packet grid;
        address(grid, 11, orvane::kind::Shape);
        grid.setIntVector(item::shape::ShapeKind, {item::shape::KIND_GRID});
        grid.setFloatVector(item::shape::Scale, {10.f, 10.f, 1.f});
        grid.setFloatVector(item::shape::Parameters, {0.5f});
        grid.setIntVector(item::shape::Colour, {90, 95, 110});
        client.queue(grid);

        // The floor under the grid, a flat box whose top lies just below
        // it: the ground the shapes stand on and cast their shadows onto
        // when shadows are switched on (View > Shadows).
        GNP2::Packet floor;
        address(floor, FLOOR, orvane::kind::Shape);
        floor.setIntVector(item::shape::ShapeKind, {item::shape::KIND_BOX});
        floor.setFloatVector(item::shape::Scale, {11.f, 11.f, 0.1f});
        floor.setFloatVector(item::shape::Position, {0.f, 0.f, -0.051f});
        floor.setIntVector(item::shape::Colour, {215, 225, 205});
        client.queue(floor);
    }
    // A beam growing and shrinking: item 4 is its length, width and height.
    GNP2::Packet beam;
    address(beam, 12, orvane::kind::Shape);
    if (!_created) {
        beam.setIntVector(item::shape::ShapeKind, {item::shape::KIND_BEAM});
        beam.setFloatVector(item::shape::Position, {-4.f, -2.5f, 0.f});
        beam.setIntVector(item::shape::Colour, {220, 120, 40});
    }
    beam.setFloatVector(item::shape::Scale, {1.5f + std::sin(t), 0.3f, 0.2f});
    client.queue(beam);
}

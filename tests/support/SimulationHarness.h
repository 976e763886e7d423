#pragma once
// A viewer with a simulation connected to it, end to end: a shown main
// window with a viewer manager (the native child window, as the orvane
// program embeds it), an object manager listening on an ephemeral port whose
// factory knows the kinds a test registers, and the client library connected
// to it as the simulation. The test queues packets on client(), pumps until
// what it waits for has happened, and reads the scene, the pictures and what
// the simulation received.

#include <QMainWindow>
#include <QSize>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>

#include <osg/Group>
#include <osg/ref_ptr>

#include "client/SimulationClient.h"
#include "scene/ObjectKinds.h"
#include "scene/ObjectManager.h"
#include "view/ViewerManager.h"

namespace testsupport {

class SimulationHarness
{
public:
    // Shows the window, starts the manager and connects the simulation;
    // ready() says whether all of it worked.
    SimulationHarness(QSize windowSize, const std::function<void(ObjectFactory&)>& registerKinds);
    // The simulation leaves first, then the manager and the viewer.
    ~SimulationHarness();

    // The window came on screen and the manager is online with the simulation.
    bool ready() const { return _ready; }

    // Runs the manager's status poll (and the replay, once it replays), Qt's
    // events and the viewer's frames, whose update traversals apply the
    // packets, until `done` holds or `timeout` passes; returns `done()`.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Pumps for `duration`.
    void settle(std::chrono::milliseconds duration);

    QMainWindow& window() { return _window; }
    osg::Group* scene() const { return _scene.get(); }
    osg::Group* hud() const { return _hud.get(); }
    ViewerManager& views() { return *_views; }
    ObjectManager& manager() { return *_manager; }
    orvane::SimulationClient& client() { return _client; }

private:
    QTemporaryDir _workDir;
    QMainWindow _window;
    osg::ref_ptr<osg::Group> _scene = new osg::Group;
    osg::ref_ptr<osg::Group> _hud = new osg::Group;
    std::unique_ptr<ViewerManager> _views;
    ObjectFactory _factory;
    std::unique_ptr<ObjectManager> _manager;
    orvane::SimulationClient _client;
    bool _ready = false;
};

} // namespace testsupport

#pragma once
// What the GL test programs share besides pictures: the collector of the
// OpenGL errors the scene graph reports, pumping Qt's events and the
// viewer's frames, grabbing the viewer's picture, and a shown main window
// with a viewer manager whose views are made from packets.

#include <QImage>
#include <QSize>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <osg/ref_ptr>

#include "scene/ObjectKinds.h"
#include "tests/support/FreePort.h"
#include "tests/support/GlErrorCollector.h"
#include "view/ViewerManager.h"

class PacketSink;
class QMainWindow;
class VisObject;
class VisViewObject;
namespace GNP2 {
class Packet;
}
namespace osg {
class Group;
}

namespace testsupport {

// The process's collector of OpenGL errors, with the scene graph's notices
// shown; the GL main installs it before any context exists.
GlErrorCollector& glErrors();
// Fails the running test if OpenGL errors were reported, and forgets them.
void expectNoGlErrors();
// Makes every context of the manager's viewer (and its off-screen context)
// check for OpenGL errors after every attribute.
void checkGlErrors(ViewerManager& manager);

// Processes Qt's events (and deferred deletions) until `done` holds or
// `timeout` passes; returns `done()`.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Processes Qt's events for `duration`.
void spin(std::chrono::milliseconds duration);

// The viewer's window picture now (drawing one frame), top row first; null
// when nothing could be grabbed.
QImage grabPicture(ViewerManager& manager);

// A shown main window of the given size with a viewer manager in it, and
// views made from packets as the object manager makes them. Every context
// looks for OpenGL errors.
class ViewerHarness
{
public:
    ViewerHarness(Embedding embedding, QSize windowSize, osg::Group* sceneRoot,
                  osg::Group* hudRoot);
    ~ViewerHarness();

    ViewerManager& manager() { return *_manager; }
    QMainWindow& window() { return *_window; }
    // Whether the window came on screen.
    bool exposed() const { return _exposed; }

    // Handles the pending Qt events and draws, `frames` times.
    void settle(int frames = 2);
    // A view object from its creating packet, delivered as the object manager
    // delivers a new object's first packet.
    VisViewObject* create(const GNP2::Packet& packet, PacketSink* sendQueue = nullptr);

private:
    std::unique_ptr<QMainWindow> _window;
    std::unique_ptr<ViewerManager> _manager;
    ObjectFactory _factory;
    std::vector<osg::ref_ptr<VisObject>> _objects;
    bool _exposed = false;
};

} // namespace testsupport

#pragma once
// What the viewer tests under X share: an application set up the way the
// program sets itself up, a collector of OpenGL errors, pixel access to
// grabbed pictures, view packets, and a sink that records what views send.

#include <QSize>
#include <QString>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/Vec2f>
#include <osg/Vec3f>

#include "gnp2/Packet.h"
#include "scene/ObjectKinds.h"
#include "scene/PacketSink.h"
#include "tests/support/GlErrorCollector.h"
#include "view/ViewerManager.h"

class QMainWindow;
class VisObject;
class VisViewObject;
namespace osg {
class Group;
}

namespace viewtest {

// The shared collector of OpenGL errors, installed on the first call with
// the scene graph's notices shown.
testsupport::GlErrorCollector& glErrors();

// Makes every context of the manager's viewer check for OpenGL errors.
void checkGlErrors(ViewerManager& manager);

struct Rgb
{
    int r = 0, g = 0, b = 0;
};
// A pixel of a grabbed picture, x from the left and y from the top.
// `bottomUp`: the first row of the image is the bottom row.
Rgb pixel(const osg::Image& image, int x, int y, bool bottomUp);
bool near(const Rgb& a, const Rgb& b, int tolerance = 3);
std::string text(const Rgb& c);
Rgb rgbOf(int r, int g, int b);
Rgb rgbOfColour(const osg::Vec4f& colour);

// Writes a picture for a person to look at (under the working directory).
void keepPicture(const osg::Image& image, const std::string& name);

// A view's creating packet: object number, background colour, viewport
// origin and size, no own screen, no head-up display, camera control 0.
std::unique_ptr<GNP2::Packet> viewPacket(int object, std::array<int, 3> colour, osg::Vec2f origin,
                                         osg::Vec2f size);
void setVec3(GNP2::Packet& packet, int item, const osg::Vec3f& value);

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
    // A view object from its creating packet (initialize, then update).
    VisViewObject* create(const GNP2::Packet& packet, PacketSink* sendQueue = nullptr);

private:
    std::unique_ptr<QMainWindow> _window;
    std::unique_ptr<ViewerManager> _manager;
    ObjectFactory _factory;
    std::vector<osg::ref_ptr<VisObject>> _objects;
    bool _exposed = false;
};

// Fails the running test if OpenGL errors were reported, and forgets them.
void expectNoGlErrors();

class RecordingSink : public PacketSink
{
public:
    void send(GNP2::Packet* packet) override { packets.emplace_back(packet); }
    std::vector<std::unique_ptr<GNP2::Packet>> packets;
};

} // namespace viewtest

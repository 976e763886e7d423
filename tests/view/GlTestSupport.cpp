#include "GlTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include <osg/GraphicsContext>
#include <osg/State>
#include <osgDB/WriteFile>

#include "scene/ObjectKinds.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewParameters.h"
#include "view/ViewObjects.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

namespace viewtest {

testsupport::GlErrorCollector& glErrors()
{
    static testsupport::GlErrorCollector& collector = []() -> testsupport::GlErrorCollector& {
        // The viewer tests show the scene graph's notices.
        osg::setNotifyLevel(osg::NOTICE);
        return testsupport::glErrorCollector();
    }();
    return collector;
}

void checkGlErrors(ViewerManager& manager)
{
    glErrors();
    osgViewer::ViewerBase::Contexts contexts;
    manager.viewer()->getContexts(contexts);
    if (manager.offscreenContext())
        contexts.push_back(manager.offscreenContext());
    for (osg::GraphicsContext* context : contexts)
        context->getState()->setCheckForGLErrors(osg::State::ONCE_PER_ATTRIBUTE);
}

Rgb pixel(const osg::Image& image, int x, int y, bool bottomUp)
{
    const int row = bottomUp ? image.t() - 1 - y : y;
    const unsigned char* p = image.data(x, row);
    if (image.getPixelFormat() == GL_BGRA)
        return {p[2], p[1], p[0]};
    return {p[0], p[1], p[2]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::string text(const Rgb& c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) +
           ")";
}

Rgb rgbOf(int r, int g, int b)
{
    return {r, g, b};
}

Rgb rgbOfColour(const osg::Vec4f& colour)
{
    return {int(colour.r() * 255.0f + 0.5f), int(colour.g() * 255.0f + 0.5f),
            int(colour.b() * 255.0f + 0.5f)};
}

void keepPicture(const osg::Image& image, const std::string& name)
{
    QDir().mkpath("pictures");
    osgDB::writeImageFile(image, "pictures/" + name + ".png");
}

std::unique_ptr<GNP2::Packet> viewPacket(int object, std::array<int, 3> colour, osg::Vec2f origin,
                                         osg::Vec2f size)
{
    using namespace view::viewItems;
    auto p = std::make_unique<GNP2::Packet>();
    p->setHeader(GNP2::makeHeader(std::uint32_t(object), TYPE_VisViewObject));
    p->setFloatVector(0, {0.0f});
    p->setIntVector(13, {0});
    p->setIntVector(CAMERA_CONTROL, {0});
    p->setFloatVector(VIEWPORT_ORIGIN, {origin.x(), origin.y()});
    p->setFloatVector(VIEWPORT_SIZE, {size.x(), size.y()});
    p->setIntVector(OWN_SCREEN, {0});
    p->setIntVector(SCREEN, {0});
    p->setIntVector(BACKGROUND, {colour[0], colour[1], colour[2]});
    p->setFloatVector(NEAR_PLANE, {0.1f});
    p->setFloatVector(FAR_PLANE, {1000.0f});
    p->setFloatVector(FIELD_OF_VIEW, {30.0f});
    p->setIntVector(HAS_HUD, {0});
    p->setIntVector(HUD_ASPECT_MODE, {0});
    return p;
}

void setVec3(GNP2::Packet& packet, int item, const osg::Vec3f& value)
{
    packet.setFloatVector(item, {value.x(), value.y(), value.z()});
}

ViewerHarness::ViewerHarness(Embedding embedding, QSize windowSize, osg::Group* sceneRoot,
                             osg::Group* hudRoot)
    : _window(std::make_unique<QMainWindow>())
{
    glErrors().clear();
    _window->resize(windowSize);
    _manager = std::make_unique<ViewerManager>(_window.get(), sceneRoot, hudRoot, embedding);
    registerViewObjects(_factory);
    _window->show();
    _exposed = QTest::qWaitForWindowExposed(_window.get());
    settle();
    checkGlErrors(*_manager);
}

ViewerHarness::~ViewerHarness()
{
    _objects.clear();
    _manager.reset();
    _window.reset();
}

void ViewerHarness::settle(int frames)
{
    for (int i = 0; i < frames; ++i) {
        QCoreApplication::processEvents();
        _manager->viewer()->frame();
    }
}

VisViewObject* ViewerHarness::create(const GNP2::Packet& packet, PacketSink* sendQueue)
{
    ObjectContext context;
    context.sendQueue = sendQueue;
    context.services.viewHost = _manager.get();
    osg::ref_ptr<VisObject> object = _factory.create(TYPE_VisViewObject, context);
    if (!object)
        return nullptr;
    object->initialize(packet);
    object->update(packet);
    _objects.push_back(object);
    checkGlErrors(*_manager); // windows made for the view
    return dynamic_cast<VisViewObject*>(object.get());
}

void expectNoGlErrors()
{
    const std::vector<std::string> errors = glErrors().errors();
    EXPECT_TRUE(errors.empty()) << errors.size() << " OpenGL errors, first: "
                                << (errors.empty() ? "" : errors.front());
    glErrors().clear();
}

} // namespace viewtest

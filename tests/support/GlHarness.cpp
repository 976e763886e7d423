#include "GlHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <osg/GraphicsContext>
#include <osg/Image>
#include <osg/State>

#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewObjects.h"
#include "view/VisViewObject.h"

namespace testsupport {

GlErrorCollector& glErrors()
{
    static GlErrorCollector& collector = []() -> GlErrorCollector& {
        osg::setNotifyLevel(osg::NOTICE);
        return glErrorCollector();
    }();
    return collector;
}

void expectNoGlErrors()
{
    const std::vector<std::string> errors = glErrors().errors();
    EXPECT_TRUE(errors.empty()) << errors.size() << " OpenGL errors, first: "
                                << (errors.empty() ? "" : errors.front());
    glErrors().clear();
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

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void spin(std::chrono::milliseconds duration)
{
    waitFor([] { return false; }, duration);
}

QImage grabPicture(ViewerManager& manager)
{
    osg::ref_ptr<osg::Image> image = manager.grabWindowImage();
    return image.valid() ? toQImage(*image) : QImage();
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
    deliver(*object, packet, true);
    _objects.push_back(object);
    checkGlErrors(*_manager); // windows made for the view
    return dynamic_cast<VisViewObject*>(object.get());
}

} // namespace testsupport

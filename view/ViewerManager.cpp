#include "view/ViewerManager.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMainWindow>
#include <QScreen>
#include <QSurfaceFormat>

#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <osg/DisplaySettings>
#include <osg/GraphicsContext>
#include <osg/Group>
#include <osg/Light>
#include <osg/OperationThread>
#include <osg/State>
#include <osgGA/EventQueue>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/View>

#include "log/Log.h"
#include "scene/LightNumbers.h"
#include "view/AdapterWidget.h"
#include "view/CompositeViewerQOSG.h"
#include "view/EglWindow.h"
#include "view/FrameGrabber.h"
#include "view/QOSGWidget.h"
#include "view/RawDeviceReader.h"
#include "view/RawDeviceRegistration.h"
#include "view/ResizedCallback.h"
#include "view/StereoLights.h"
#include "view/ViewSettings.h"
#include "view/VisViewObject.h"
#include "view/X11Support.h"

using namespace view;

// Stops the viewer's drawing threads for the life of the object and starts
// them again afterwards, so that cameras and contexts can change.
class ViewerManager::ThreadPause
{
public:
    explicit ThreadPause(osgViewer::ViewerBase& viewer)
        : _viewer(viewer), _wasRunning(viewer.areThreadsRunning())
    {
        if (_wasRunning)
            _viewer.stopThreading();
    }
    ~ThreadPause()
    {
        if (_wasRunning)
            _viewer.startThreading();
    }
    ThreadPause(const ThreadPause&) = delete;
    ThreadPause& operator=(const ThreadPause&) = delete;

private:
    osgViewer::ViewerBase& _viewer;
    const bool _wasRunning;
};

namespace {

// Keeps freed memory in the process while an off-screen buffer is drawn. A
// software renderer allocates the vertices of every draw anew and frees them
// after it; with the C library's default limits, blocks of a few hundred
// kilobytes are mapped and unmapped each time, or the heap's free top is
// handed back, so every exported frame faults in fresh zeroed pages
// (measured: a tenth of the export's time, half of it in the kernel). While
// the buffer is drawn, blocks up to 32 MiB come from the heap and up to
// 256 MiB of its free top stay; afterwards the library's default limits
// apply again and what is free goes back to the system.
void keepFreedMemory(bool keep)
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, keep ? 32 << 20 : 128 << 10);
    mallopt(M_TRIM_THRESHOLD, keep ? 256 << 20 : 128 << 10);
    if (!keep)
        malloc_trim(0);
#else
    (void)keep;
#endif
}

// Sets OpenGL lights on or off in a context at its next frame, where the
// context is current, and tells the context's state so that the scene's
// own light modes are applied again afterwards.
class LightModes : public osg::GraphicsOperation
{
public:
    LightModes(unsigned int first, unsigned int count, bool on)
        : osg::GraphicsOperation("LightModes", false), _first(first), _count(count), _on(on)
    {
    }
    void operator()(osg::GraphicsContext* context) override
    {
        osg::State* state = context->getState();
        if (!state)
            return;
        for (unsigned int i = _first; i < _first + _count; ++i)
            state->applyMode(GL_LIGHT0 + i, _on);
    }

private:
    const unsigned int _first;
    const unsigned int _count;
    const bool _on;
};

QScreen* screenOf(int screen)
{
    QScreen* found = QGuiApplication::screens().value(screen);
    return found ? found : QGuiApplication::primaryScreen();
}

} // namespace

void ViewerManager::prepareProcess(Embedding embedding)
{
    if (embedding == Embedding::Headless) {
        // No window is ever shown and no X server may be asked.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return;
    }
    if (embedding == Embedding::NativeWindow) {
        // The scene graph draws on its own threads through its own Xlib
        // connection, on the X window Qt made.
        x11::initThreads();
        qputenv("QT_QPA_PLATFORM", "xcb");
        return;
    }
    // The scene graph draws with the fixed-function pipeline: a core profile
    // would draw nothing.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
}

ViewerManager::ViewerManager(QMainWindow* mainWindow, osg::Group* sceneRoot, osg::Group* hudRoot,
                             Embedding embedding, const ObjectServices& services)
    : _embedding(embedding), _sceneRoot(sceneRoot), _hudRoot(hudRoot)
{
    if (embedding == Embedding::Headless) {
        // The size the views have between exports.
        _headless = std::make_unique<HeadlessEmbedding>(640, 480);
        _widgetEmbedding = _headless.get();
    } else if (embedding == Embedding::NativeWindow) {
        auto* widget = new QOSGWidget(mainWindow, {}, false);
        _widgetEmbedding = widget;
        _widget = widget;
    } else {
        auto* widget = new AdapterWidget(mainWindow, {});
        widget->setFrameRenderer([this] { _viewer->frame(); });
        _widgetEmbedding = widget;
        _widget = widget;
    }
    _viewer = new CompositeViewerQOSG(_widgetEmbedding);
    if (_widget)
        QObject::connect(_widget, &QObject::destroyed,
                         [viewer = osg::observer_ptr<CompositeViewerQOSG>(_viewer)] {
                             if (osg::ref_ptr<CompositeViewerQOSG> alive; viewer.lock(alive))
                                 alive->detachEmbedding();
                         });

    osgViewer::GraphicsWindow* window = graphicsWindow();
    if (window) {
        // A window of its own is cleared after every swap. The GL widget's
        // window must not be: its "swap" does nothing, and a clear would
        // wipe the frame before Qt shows it.
        if (embedding == Embedding::NativeWindow) {
            window->setClearMask(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            window->setClearColor(osg::Vec4(0.08f, 0.08f, 0.5f, 1.0f));
        }
        _windowGrabber = new FrameGrabber;
        window->setSwapCallback(_windowGrabber.get());
    }

    // The scene graph's stereo assumes eyes 5 cm apart half a metre from
    // the screen and puts the point of zero parallax at the camera's
    // centre; a scene around that centre then has objects in front of it
    // split by a tenth of the picture's width, more than eyes fuse without
    // strain. A third of that keeps the disparities within about 3 % of the
    // width. OSG_EYE_SEPARATION still chooses another value.
    if (qEnvironmentVariableIsEmpty("OSG_EYE_SEPARATION"))
        osg::DisplaySettings::instance()->setEyeSeparation(MAIN_WINDOW_EYE_SEPARATION);

    _viewer->setThreadingModel(embedding == Embedding::NativeWindow
                                   ? osgViewer::ViewerBase::CullDrawThreadPerContext
                                   : osgViewer::ViewerBase::SingleThreaded);
    _viewer->setEndBarrierPosition(osgViewer::ViewerBase::AfterSwapBuffers);
    _viewer->setKeyEventSetsDone(0);
    _viewer->setQuitEventSetsDone(false);
    _viewer->setFrameStart([this] {
        // The orthographic width follows the camera's distance.
        if (_orthographic)
            applyProjections();
        separateEyeLights(*_viewer);
    });

    if (_widget) {
        if (mainWindow)
            mainWindow->setCentralWidget(_widget);
        _widget->setMouseTracking(true);
        _widget->show();
    }

    ObjectContext mainContext{.services = services};
    mainContext.services.viewHost = this;
    _mainView = new VisViewObject(this, true, false, mainContext);
    // Drawn before any simulation view on the same window.
    _mainView->camera()->setRenderOrder(osg::Camera::NESTED_RENDER, -1);
    _viewer->addView(_mainView->view());

    if (window)
        window->setResizedCallback(new ResizedCallback);

    _rawDevices = std::make_unique<RawDeviceReader>(
        [this]() -> osgGA::EventQueue* {
            VisViewObject* active = activeView();
            return active ? active->view()->getEventQueue() : nullptr;
        },
        [] { return QApplication::activeWindow() != nullptr; });
    for (const rawinput::RegisteredDevice& device :
         rawinput::RawDeviceRegistry::instance().devices())
        _rawDevices->watch(device.fd, device.name + " (" + device.node + ")");

    if (embedding == Embedding::GLWidget) {
        QObject* owner = mainWindow ? static_cast<QObject*>(mainWindow) : _widget.data();
        _homeAction = new QAction(QIcon(":/Resources/camhome.png"),
                                  QObject::tr("Camera to home position"), owner);
        QObject::connect(_homeAction, &QAction::triggered, [this] { homeView(); });
        _orthographicAction = new QAction(QObject::tr("Orthographic Mode"), owner);
        _orthographicAction->setShortcut(QKeySequence(QObject::tr("Ctrl+O")));
        _orthographicAction->setCheckable(true);
        QObject::connect(_orthographicAction, &QAction::toggled,
                         [this](bool on) { setOrthographicMode(on); });
    }
}

ViewerManager::~ViewerManager()
{
    if (_offscreenContext)
        endOffscreen();
    _viewer->stopThreading();
    for (const osg::ref_ptr<VisViewObject>& view : _views) {
        _viewer->removeView(view->view());
        view->detachCamera();
    }
    _views.clear();
    _viewer->removeView(_mainView->view());
    _mainView->detachCamera();
    closeScreenWindows();
    _viewer->detachEmbedding();
    if (_headless)
        _headless->closeWindow();
    if (_widget) {
        _widgetEmbedding->closeWindow();
        if (!_widget->parent())
            delete _widget.data();
    }
    delete _homeAction.data();
    delete _orthographicAction.data();
}

CompositeViewerQOSG* ViewerManager::viewer() const
{
    return _viewer.get();
}

QWidget* ViewerManager::viewerWidget() const
{
    return _widget.data();
}

osgViewer::GraphicsWindow* ViewerManager::graphicsWindow() const
{
    return _widget || _headless ? _widgetEmbedding->graphicsWindow() : nullptr;
}

QSize ViewerManager::viewerPixelSize() const
{
    return _widget || _headless ? _widgetEmbedding->pixelSize() : QSize();
}

QAction* ViewerManager::homeAction() const
{
    return _homeAction.data();
}

QAction* ViewerManager::orthographicAction() const
{
    return _orthographicAction.data();
}

VisViewObject* ViewerManager::activeView() const
{
    return _activeView.get();
}

void ViewerManager::setActiveView(VisViewObject* view)
{
    _activeView = view;
}

void ViewerManager::addView(VisViewObject* view)
{
    if (!view)
        return;
    _viewer->addView(view->view());
    _views.push_back(view);
    if (_mainView)
        _mainView->camera()->setCullMask(0);
}

VisObject* ViewerManager::createView(const ObjectContext& context)
{
    return new VisViewObject(this, false, false, context);
}

void ViewerManager::resetViews()
{
    ThreadPause pause(*_viewer);

    osg::ref_ptr<osg::Light> light = new osg::Light(0);
    light->setAmbient(osg::Vec4(0.0f, 0.0f, 0.0f, 1.0f));
    light->setDiffuse(osg::Vec4(0.8f, 0.8f, 0.8f, 1.0f));
    light->setSpecular(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    _mainView->view()->setLight(light.get());
    _mainView->view()->setLightingMode(osg::View::HEADLIGHT);
    if (_sceneRoot)
        _sceneRoot->getOrCreateStateSet()->setMode(GL_LIGHT0, osg::StateAttribute::ON);
    osgViewer::ViewerBase::Contexts contexts;
    _viewer->getContexts(contexts);
    for (osg::GraphicsContext* context : contexts)
        context->add(new LightModes(0, 1, true));
    // The scene's lights are gone with it: the next light object is light 0 again.
    LightNumbers::reset();

    for (const osg::ref_ptr<VisViewObject>& view : _views) {
        _viewer->removeView(view->view());
        view->detachCamera();
        if (_activeView.get() == view.get())
            _activeView = nullptr;
    }
    _views.clear();

    closeScreenWindows();
    _mainView->camera()->setCullMask(0xFFFFFFFFu);
}

void ViewerManager::switchLightsOff()
{
    osgViewer::ViewerBase::Contexts contexts;
    _viewer->getContexts(contexts);
    for (osg::GraphicsContext* context : contexts)
        context->add(new LightModes(0, 8, false));
}

void ViewerManager::closeScreenWindows()
{
    for (QPointer<QOSGWidget>& window : _screenWindows) {
        if (!window)
            continue;
        window->closeWindow();
        window->close();
        delete window.data();
        window = nullptr;
    }
}

osgViewer::GraphicsWindow* ViewerManager::screenWindow(int screen)
{
    if (!hasScreenWindows())
        return nullptr;
    if (screen < 0 || screen >= SCREEN_WINDOW_COUNT) {
        console::writeLine(console::LEVEL_8, "[ViewerManager] There is no screen " +
                                                 std::to_string(screen) +
                                                 "; the view is shown in the main window");
        return nullptr;
    }
    QPointer<QOSGWidget>& entry = _screenWindows[std::size_t(screen)];
    if (!entry) {
        ThreadPause pause(*_viewer);
        QScreen* target = screenOf(screen);
        auto* window = new QOSGWidget(nullptr, {}, true, target);
        window->setGeometry(target->geometry());
        window->setMouseTracking(true);
        window->showFullScreen();
        if (osgViewer::GraphicsWindow* graphics = window->graphicsWindow()) {
            graphics->setResizedCallback(new ResizedCallback);
            graphics->setSwapCallback(new FrameGrabber);
            // Windows of a viewer that has started are not realized by it.
            if (_viewer->hasRendered())
                graphics->realize();
        }
        entry = window;
    }
    return entry->graphicsWindow();
}

QSize ViewerManager::screenPixelSize(int screen) const
{
    const QScreen* target = screenOf(screen);
    return target->geometry().size() * target->devicePixelRatio();
}

QWidget* ViewerManager::screenWidget(int screen) const
{
    if (screen < 0 || screen >= SCREEN_WINDOW_COUNT)
        return nullptr;
    return _screenWindows[std::size_t(screen)].data();
}

osg::ref_ptr<osg::Image> ViewerManager::grabWindowImage()
{
    if ((!_widget && !_headless) || !_widgetEmbedding->readyToRender() || !_windowGrabber)
        return nullptr;
    const QSize pixels = viewerPixelSize();
    _windowGrabber->arm(pixels.width(), pixels.height(), GL_RGB);
    _viewer->frame();
    return _windowGrabber->take();
}

bool ViewerManager::beginOffscreen(int width, int height)
{
    if (_offscreenContext || width <= 0 || height <= 0)
        return false;
    _offscreenError.clear();
    osg::ref_ptr<osg::GraphicsContext> context;
    if (_headless) {
        osg::ref_ptr<EglWindow> window = new EglWindow(width, height);
        _offscreenError = window->creationError();
        if (window->created())
            context = window;
    } else {
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        if (traits->displayNum < 0)
            traits->displayNum = 0;
        traits->x = 0;
        traits->y = 0;
        traits->width = width;
        traits->height = height;
        // With an alpha channel the buffer's pixels are stored as the export
        // reads them (BGRA), so reading them back is a copy rather than a
        // conversion pixel by pixel; a display that offers no such buffer
        // gives one without.
        traits->alpha = 8;
        traits->pbuffer = true;
        traits->vsync = true;
        traits->doubleBuffer = true;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        if (!context) {
            traits->alpha = 0;
            context = osg::GraphicsContext::createGraphicsContext(traits.get());
        }
    }
    if (!context || !context->realize()) {
        console::writeLine(console::LEVEL_16,
                           "[ViewerManager] No off-screen buffer of " + std::to_string(width) +
                               " x " + std::to_string(height) + " pixels could be made" +
                               (_offscreenError.empty() ? "" : ": ") + _offscreenError);
        console::show();
        return false;
    }

    // The buffer is drawn on the GUI thread, between whose frames the
    // export reads it.
    _threadingBeforeOffscreen = _viewer->getThreadingModel();
    _viewer->setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
    closeScreenWindows();
    _offscreenGrabber = new FrameGrabber;
    context->setSwapCallback(_offscreenGrabber.get());
    for (unsigned int i = 0; i < _viewer->getNumViews(); ++i) {
        osgViewer::View* view = _viewer->getView(i);
        view->getCamera()->setGraphicsContext(context.get());
        if (VisViewObject* object = VisViewObject::fromView(view))
            object->resize(width, height);
    }
    _offscreenContext = context;
    keepFreedMemory(true);
    return true;
}

osg::ref_ptr<osg::Image> ViewerManager::grabOffscreenImage()
{
    if (!_offscreenContext)
        return nullptr;
    const osg::GraphicsContext::Traits* traits = _offscreenContext->getTraits();
    _offscreenGrabber->arm(traits->width, traits->height, GL_BGRA);
    _viewer->frame();
    osg::ref_ptr<osg::Image> image = _offscreenGrabber->take();
    if (image)
        image->flipVertical();
    return image;
}

void ViewerManager::endOffscreen()
{
    if (!_offscreenContext)
        return;
    osgViewer::GraphicsWindow* window = graphicsWindow();
    const QSize pixels = viewerPixelSize();
    for (unsigned int i = 0; i < _viewer->getNumViews(); ++i) {
        osgViewer::View* view = _viewer->getView(i);
        view->getCamera()->setGraphicsContext(window);
        if (VisViewObject* object = VisViewObject::fromView(view))
            object->resize(pixels.width(), pixels.height());
    }
    _offscreenContext->close();
    _offscreenContext = nullptr;
    _offscreenGrabber = nullptr;
    keepFreedMemory(false);
    _viewer->setThreadingModel(
        static_cast<osgViewer::ViewerBase::ThreadingModel>(_threadingBeforeOffscreen));
}

void ViewerManager::forEachViewObject(const std::function<void(VisViewObject&)>& f) const
{
    if (_mainView)
        f(*_mainView);
    for (const osg::ref_ptr<VisViewObject>& view : _views)
        f(*view);
}

void ViewerManager::homeView()
{
    const CameraHomeSettings settings = cameraHomeSettings();
    forEachViewObject([&](VisViewObject& view) {
        view.goHome(settings.autoCalculate, settings.standardPosition);
    });
}

void ViewerManager::setOrthographicMode(bool on)
{
    _orthographic = on;
    if (_orthographicAction && _orthographicAction->isChecked() != on)
        _orthographicAction->setChecked(on);
    applyProjections();
}

void ViewerManager::applyProjections()
{
    forEachViewObject([](VisViewObject& view) { view.applyProjection(); });
}

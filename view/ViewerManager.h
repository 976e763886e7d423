#pragma once
// The owner of the 3D view: the composite viewer and its widget in the main
// window, the default view, the views the simulation adds, up to 16
// full-screen windows (one per screen) and the off-screen buffer of the
// video export. The main window creates one after its scene roots and
// before the object manager, whose ViewHost it is.
//
// The viewer is embedded in one of two ways, chosen when the program starts
// (both are built into this library):
//  - Embedding::NativeWindow (the program "orvane"): a native child window
//    on which the scene graph creates its own GLX context; the viewer culls
//    and draws on one thread per context. The process must call
//    prepareProcess() before creating the QApplication (it initialises Xlib
//    for threads and selects the xcb platform).
//  - Embedding::GLWidget (the program "orvane-gl"): a QOpenGLWidget whose
//    context the scene graph borrows, single threaded. prepareProcess()
//    asks for a compatibility-profile context. This embedding has no
//    full-screen windows (views meant for another screen are shown in the
//    viewer widget) and two extra controls for the main window:
//    homeAction() ("Camera to home position") and orthographicAction()
//    ("Orthographic Mode", Ctrl+O).
//  - Embedding::Headless (the export commands without a display): no
//    widget at all; the viewer draws into an EGL pixel buffer, single
//    threaded, and the off-screen buffer of the export is one too.
//    prepareProcess() selects Qt's offscreen platform, so nothing needs X.
//
// While simulation views exist the default view draws nothing (it only
// clears the window); when the scene is cleared they are removed and it
// draws again.
//
// Threading: GUI thread only. With the threaded model the scene graph's
// threads run only inside viewer()->frame(); everything here that changes
// cameras or contexts pauses them first.

#include <QPointer>
#include <QRect>
#include <QSize>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "scene/ObjectServices.h"
#include "scene/ViewHost.h"

class QAction;
class QMainWindow;
class QWidget;
class VisViewObject;

namespace osg {
class GraphicsContext;
class Group;
} // namespace osg
namespace osgViewer {
class GraphicsWindow;
}
namespace view {
class CompositeViewerQOSG;
class FrameGrabber;
class HeadlessEmbedding;
class QOSGWidget;
class RawDeviceReader;
class ViewerEmbedding;
} // namespace view

class ViewerManager : public ViewHost
{
public:
    enum class Embedding
    {
        NativeWindow, // the program "orvane"
        GLWidget,     // the program "orvane-gl"
        Headless,     // either program, exporting without a display
    };

    static constexpr int SCREEN_WINDOW_COUNT = 16;
    // The eye separation (in the scene graph's units: metres of eyes half a
    // metre from the screen) of the main window's stereo switch, unless
    // OSG_EYE_SEPARATION gives another. Stereo pairs of views on their own
    // screens take theirs from the simulation.
    static constexpr float MAIN_WINDOW_EYE_SEPARATION = 0.015f;

    // What the process must do before its QApplication exists.
    static void prepareProcess(Embedding embedding);

    // Creates the viewer and its widget as the main window's central widget,
    // and the default view, which gets the services (its view host is this
    // manager whatever `services` says).
    ViewerManager(QMainWindow* mainWindow, osg::Group* sceneRoot, osg::Group* hudRoot,
                  Embedding embedding, const ObjectServices& services = {});
    ~ViewerManager() override;
    ViewerManager(const ViewerManager&) = delete;
    ViewerManager& operator=(const ViewerManager&) = delete;

    // The viewer; the main window's timer calls its frame().
    view::CompositeViewerQOSG* viewer() const;
    Embedding embedding() const { return _embedding; }
    QWidget* viewerWidget() const;
    // The scene graph's window on the viewer widget.
    osgViewer::GraphicsWindow* graphicsWindow() const;
    // The viewer widget's size in pixels.
    QSize viewerPixelSize() const;
    osg::Group* sceneRoot() const { return _sceneRoot.get(); }
    osg::Group* hudRoot() const { return _hudRoot.get(); }

    VisViewObject* mainView() const { return _mainView.get(); }
    // The view in which a mouse button was last released (null at first).
    VisViewObject* activeView() const;
    void setActiveView(VisViewObject* view);
    // Reads the registered 3D mice and hands their events to the active
    // view (its own event queue, so that no other view sees them), while
    // the program's window has the focus.
    view::RawDeviceReader& rawDeviceReader() const { return *_rawDevices; }
    // The simulation's views, in order of addition.
    const std::vector<osg::ref_ptr<VisViewObject>>& views() const { return _views; }

    // A view created by the simulation joins the viewer; the default view
    // stops drawing.
    void addView(VisViewObject* view);
    // Removes the simulation's views and closes the full-screen windows; the
    // default view draws again, lit by a head light on light 0.
    VisObject* createView(const ObjectContext& context) override;
    void resetViews() override;
    // Switches GL_LIGHT0..GL_LIGHT7 off in every context at its next frame.
    void switchLightsOff() override;

    // Whether views can have full-screen windows of their own.
    bool hasScreenWindows() const { return _embedding == Embedding::NativeWindow; }
    // The graphics window of the full-screen window on `screen` (0-15),
    // created on the first request. A screen number the system lacks gets
    // the primary screen. Null for a number outside 0-15 and in the GL-widget
    // embedding.
    osgViewer::GraphicsWindow* screenWindow(int screen);
    // The size in pixels of a screen (the primary one for a number the
    // system lacks).
    QSize screenPixelSize(int screen) const;
    // The full-screen window on `screen`, or null.
    QWidget* screenWidget(int screen) const;

    // Draws one frame and returns the viewer widget's picture (RGB, bottom
    // row first); null when the widget cannot draw yet.
    osg::ref_ptr<osg::Image> grabWindowImage();

    // The off-screen rendering of the video export: every view draws into a
    // pixel buffer of width x height until endOffscreen(). Returns false
    // (and changes nothing) when no buffer can be made.
    bool beginOffscreen(int width, int height);
    // Why the last beginOffscreen() failed.
    const std::string& offscreenError() const { return _offscreenError; }
    // Draws one frame into the buffer and returns it (BGRA, top row first);
    // null outside beginOffscreen/endOffscreen.
    osg::ref_ptr<osg::Image> grabOffscreenImage();
    void endOffscreen();
    osg::GraphicsContext* offscreenContext() const { return _offscreenContext.get(); }

    // Returns every view to its home position as the settings "Camera/..."
    // describe: with automatic home the camera frames the scene, otherwise
    // it stands at the standard position looking at the origin.
    void homeView();
    // While on, every view projects orthographically: the width is the
    // manipulator's distance to its centre.
    void setOrthographicMode(bool on);
    bool orthographicMode() const { return _orthographic; }
    // The GL-widget controls (null in the native embedding), owned by the
    // main window: "Camera to home position" calls homeView(); the
    // checkable "Orthographic Mode" (Ctrl+O) switches the mode.
    QAction* homeAction() const;
    QAction* orthographicAction() const;

private:
    class ThreadPause;

    void closeScreenWindows();
    void applyProjections();
    void forEachViewObject(const std::function<void(VisViewObject&)>& f) const;

    const Embedding _embedding;
    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    view::ViewerEmbedding* _widgetEmbedding = nullptr;
    std::unique_ptr<view::HeadlessEmbedding> _headless; // Embedding::Headless only
    QPointer<QWidget> _widget;
    osg::ref_ptr<view::CompositeViewerQOSG> _viewer;
    osg::ref_ptr<view::FrameGrabber> _windowGrabber;
    osg::ref_ptr<VisViewObject> _mainView;
    osg::observer_ptr<VisViewObject> _activeView;
    std::vector<osg::ref_ptr<VisViewObject>> _views;
    std::array<QPointer<view::QOSGWidget>, SCREEN_WINDOW_COUNT> _screenWindows;
    osg::ref_ptr<osg::GraphicsContext> _offscreenContext;
    osg::ref_ptr<view::FrameGrabber> _offscreenGrabber;
    std::string _offscreenError;
    int _threadingBeforeOffscreen = 0;
    bool _orthographic = false;
    QPointer<QAction> _homeAction;
    QPointer<QAction> _orthographicAction;
    std::unique_ptr<view::RawDeviceReader> _rawDevices;
};

// The embedding names as the program spells them.
using Embedding = ViewerManager::Embedding;

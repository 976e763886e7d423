#pragma once
// How the viewer is embedded in a widget. The program is built with two
// embeddings that share everything else:
//  - a native child window (QOSGWidget): the scene graph creates its own
//    OpenGL context on the widget's X window and may draw on its own threads;
//  - a GL widget (AdapterWidget): the scene graph draws with the widget's
//    context into the widget's framebuffer object, on the GUI thread.
// Both translate the widget's Qt input into the graphics window's event queue
// and forward resizes. The viewer calls beginFrame() and endFrame() around
// every frame.
//
// Threading: GUI thread only.

#include <QSize>

class QWidget;

namespace osgViewer {
class GraphicsWindow;
}

namespace view {

class ViewerEmbedding
{
public:
    virtual ~ViewerEmbedding() = default;

    virtual QWidget* widget() = 0;
    // The scene graph's window on this widget; null when the context could
    // not be created.
    virtual osgViewer::GraphicsWindow* graphicsWindow() const = 0;
    // Whether a frame can be drawn now (the GL widget has no context before
    // it is first shown).
    virtual bool readyToRender() const = 0;
    virtual void beginFrame() {}
    virtual void endFrame() {}
    // The widget's size in device pixels.
    virtual QSize pixelSize() const = 0;
    // Closes the graphics window; the widget stays.
    virtual void closeWindow() = 0;
};

} // namespace view

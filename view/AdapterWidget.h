#pragma once
// The GL-widget embedding: the scene graph draws with the widget's own
// OpenGL context into the widget's framebuffer object, which Qt then
// composes into the window. The scene graph sees an embedded graphics
// window whose "make current" makes the widget's context current; the
// framebuffer object is named to it before every frame, since Qt recreates
// it on resize. Everything draws on the GUI thread (the viewer runs single
// threaded in this embedding).
//
// A frame drawn outside paintGL stays in the framebuffer object (partial
// updates keep it), and endFrame() asks Qt to show it. After a resize the
// framebuffer object is new and empty, so the next paint draws a frame.
//
// Threading: GUI thread only.

#include <QOpenGLWidget>

#include <functional>

#include <osg/ref_ptr>
#include <osgViewer/GraphicsWindow>

#include "view/ForwardingWidget.h"
#include "view/ViewerEmbedding.h"

namespace view {

class AdapterWidget : public ForwardingWidget<QOpenGLWidget>, public ViewerEmbedding
{
public:
    AdapterWidget(QWidget* parent, Qt::WindowFlags flags);
    ~AdapterWidget() override;

    // What draws one frame of the viewer (called by paintGL when the
    // framebuffer object holds none).
    void setFrameRenderer(std::function<void()> render) { _render = std::move(render); }

    QWidget* widget() override { return this; }
    osgViewer::GraphicsWindow* graphicsWindow() const override { return _graphicsWindow.get(); }
    bool readyToRender() const override;
    void beginFrame() override;
    void endFrame() override;
    QSize pixelSize() const override;
    void closeWindow() override;

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    osgGA::EventQueue* eventQueue() const override;

private:
    osg::ref_ptr<osgViewer::GraphicsWindow> _graphicsWindow;
    std::function<void()> _render;
    bool _stale = true; // the framebuffer object holds no frame
};

} // namespace view

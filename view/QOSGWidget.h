#pragma once
// The native embedding: a plain widget with its own X window, on which the
// scene graph creates its graphics window and OpenGL context. Qt does not
// paint it (no paint engine, no background), so what the scene graph draws
// stays on screen. The widget forwards its resizes and translates Qt's mouse,
// wheel and key events into the graphics window's event queue (the window
// receives no X input of its own: Qt already holds the button events).
//
// A widget may be the viewer's main widget or a full-screen window on one
// screen. The graphics window is closed before the widget goes.
//
// Threading: GUI thread only. The graphics window may draw on the viewer's
// threads; Qt never draws here.

#include <QWidget>

#include <osg/ref_ptr>
#include <osgViewer/GraphicsWindow>

#include "view/ForwardingWidget.h"
#include "view/ViewerEmbedding.h"

class QScreen;

namespace view {

class QOSGWidget : public ForwardingWidget<QWidget>, public ViewerEmbedding
{
public:
    // Creates the native window (on `screen`, when given) and the graphics
    // window on it. With `overrideTraits` the context's traits take the
    // widget's geometry once more after the context exists.
    QOSGWidget(QWidget* parent, Qt::WindowFlags flags, bool overrideTraits,
               QScreen* screen = nullptr);
    ~QOSGWidget() override;

    QPaintEngine* paintEngine() const override { return nullptr; }

    QWidget* widget() override { return this; }
    osgViewer::GraphicsWindow* graphicsWindow() const override { return _graphicsWindow.get(); }
    bool readyToRender() const override;
    QSize pixelSize() const override;
    void closeWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    osgGA::EventQueue* eventQueue() const override;

private:
    void createContext();

    osg::ref_ptr<osgViewer::GraphicsWindow> _graphicsWindow;
    const bool _overrideTraits;
};

} // namespace view

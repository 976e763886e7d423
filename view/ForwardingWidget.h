#pragma once
// The input half shared by both embeddings: a widget (QWidget or
// QOpenGLWidget) whose mouse, wheel and key events go into a graphics
// window's event queue, translated as InputTranslation.h describes. Keys
// without a code of their own are left to the widget's parent.
//
// Threading: GUI thread only.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <osgGA/EventQueue>

#include "view/InputTranslation.h"

namespace view {

template <typename Widget> class ForwardingWidget : public Widget
{
public:
    using Widget::Widget;

protected:
    // Where the input goes; null while there is no graphics window.
    virtual osgGA::EventQueue* eventQueue() const = 0;

    void mousePressEvent(QMouseEvent* event) override
    {
        if (osgGA::EventQueue* queue = eventQueue())
            forwardMousePress(*queue, *event, this->devicePixelRatioF());
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (osgGA::EventQueue* queue = eventQueue())
            forwardMouseRelease(*queue, *event, this->devicePixelRatioF());
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (osgGA::EventQueue* queue = eventQueue())
            forwardMouseMove(*queue, *event, this->devicePixelRatioF());
    }
    void wheelEvent(QWheelEvent* event) override
    {
        if (osgGA::EventQueue* queue = eventQueue())
            forwardWheel(*queue, *event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        osgGA::EventQueue* queue = eventQueue();
        if (!queue || !forwardKey(*queue, *event, true))
            Widget::keyPressEvent(event);
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        osgGA::EventQueue* queue = eventQueue();
        if (!queue || !forwardKey(*queue, *event, false))
            Widget::keyReleaseEvent(event);
    }
};

} // namespace view

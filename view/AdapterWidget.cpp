#include "view/AdapterWidget.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>

#include <osgGA/EventQueue>
#include <osgViewer/GraphicsWindow>

#include "view/InputTranslation.h"

namespace view {

namespace {

// An embedded graphics window bound to a GL widget's context. The widget may
// go before the window (a camera can still hold the window), hence the
// guarded pointer.
class WidgetWindow : public osgViewer::GraphicsWindowEmbedded
{
public:
    WidgetWindow(QOpenGLWidget* widget, int width, int height)
        : osgViewer::GraphicsWindowEmbedded(0, 0, width, height), _widget(widget)
    {
    }

    bool makeCurrentImplementation() override
    {
        // Without its context (before the widget is first shown) nothing may
        // draw: the scene graph would read the capabilities of no context.
        if (!_widget || !_widget->context())
            return false;
        _widget->makeCurrent();
        return true;
    }
    bool releaseContextImplementation() override { return true; }
    void swapBuffersImplementation() override {}
    void closeImplementation() override { _widget = nullptr; }
    // A closed window is skipped by the viewer.
    bool valid() const override { return !_widget.isNull(); }

private:
    QPointer<QOpenGLWidget> _widget;
};

} // namespace

AdapterWidget::AdapterWidget(QWidget* parent, Qt::WindowFlags flags)
    : ForwardingWidget<QOpenGLWidget>(parent, flags)
{
    // Frames drawn outside paintGL must survive until Qt composes them.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    const QSize pixels = pixelSize();
    _graphicsWindow =
        new WidgetWindow(this, std::max(1, pixels.width()), std::max(1, pixels.height()));
    prepareEventQueue(*_graphicsWindow->getEventQueue(), std::max(1, pixels.width()),
                      std::max(1, pixels.height()));
    setFocusPolicy(Qt::ClickFocus);
}

AdapterWidget::~AdapterWidget()
{
    closeWindow();
}

bool AdapterWidget::readyToRender() const
{
    return context() != nullptr && _graphicsWindow.valid();
}

void AdapterWidget::beginFrame()
{
    makeCurrent();
    _graphicsWindow->setDefaultFboId(defaultFramebufferObject());
}

void AdapterWidget::endFrame()
{
    _stale = false;
    update();
}

QSize AdapterWidget::pixelSize() const
{
    return size() * devicePixelRatioF();
}

void AdapterWidget::closeWindow()
{
    if (_graphicsWindow.valid())
        _graphicsWindow->close();
}

void AdapterWidget::initializeGL()
{
    _stale = true;
}

void AdapterWidget::resizeGL(int, int)
{
    const QSize pixels = pixelSize();
    _graphicsWindow->getEventQueue()->windowResize(0, 0, pixels.width(), pixels.height());
    _graphicsWindow->resized(0, 0, pixels.width(), pixels.height());
    QOpenGLFunctions* gl = context()->functions();
    gl->glClearColor(0.0f, 0.0f, 0.5f, 0.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    _stale = true;
}

void AdapterWidget::paintGL()
{
    if (_stale && _render)
        _render();
}

osgGA::EventQueue* AdapterWidget::eventQueue() const
{
    return _graphicsWindow->getEventQueue();
}

} // namespace view

#include "view/QOSGWidget.h"

#include <QResizeEvent>
#include <QScreen>
#include <QWindow>

#include <osg/DisplaySettings>
#include <osg/GraphicsContext>
#include <osgGA/EventQueue>

#include "view/InputTranslation.h"
#include "view/X11Support.h"

namespace view {

QOSGWidget::QOSGWidget(QWidget* parent, Qt::WindowFlags flags, bool overrideTraits, QScreen* screen)
    : ForwardingWidget<QWidget>(parent, flags), _overrideTraits(overrideTraits)
{
    setAttribute(Qt::WA_NativeWindow);
    if (screen && !parent)
        setScreen(screen);
    createContext();
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

QOSGWidget::~QOSGWidget()
{
    closeWindow();
}

void QOSGWidget::createContext()
{
    osg::DisplaySettings* settings = osg::DisplaySettings::instance().get();
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->readDISPLAY();
    if (traits->displayNum < 0)
        traits->displayNum = 0;

    const WId window = winId(); // creates the native window
    traits->windowName = "osgViewerQt";
    // The context's visual must come from the screen that holds the window.
    traits->screenNum = std::max(0, x11::screenOfWindow(window));
    const double scale = devicePixelRatioF();
    traits->x = int(x() * scale);
    traits->y = int(y() * scale);
    traits->width = std::max(1, int(width() * scale));
    traits->height = std::max(1, int(height() * scale));
    traits->alpha = settings->getMinimumNumAlphaBits();
    traits->stencil = settings->getMinimumNumStencilBits();
    traits->windowDecoration = false;
    traits->doubleBuffer = true;
    traits->sharedContext = nullptr;
    traits->sampleBuffers = settings->getMultiSamples() ? 1 : 0;
    traits->samples = settings->getNumMultiSamples();
    traits->inheritedWindowData = x11::inheritedWindowData(window);

    if (settings->getStereo()) {
        switch (settings->getStereoMode()) {
        case osg::DisplaySettings::QUAD_BUFFER:
            traits->quadBufferStereo = true;
            break;
        case osg::DisplaySettings::HORIZONTAL_INTERLACE:
        case osg::DisplaySettings::VERTICAL_INTERLACE:
        case osg::DisplaySettings::CHECKERBOARD:
            traits->stencil = 8;
            break;
        default:
            break;
        }
    }

    osg::ref_ptr<osg::GraphicsContext> context =
        osg::GraphicsContext::createGraphicsContext(traits.get());
    _graphicsWindow = dynamic_cast<osgViewer::GraphicsWindow*>(context.get());
    if (!_graphicsWindow)
        return;
    prepareEventQueue(*_graphicsWindow->getEventQueue(), traits->width, traits->height);

    if (_overrideTraits) {
        traits->x = int(x() * scale);
        traits->y = int(y() * scale);
        traits->width = std::max(1, int(width() * scale));
        traits->height = std::max(1, int(height() * scale));
    }
}

bool QOSGWidget::readyToRender() const
{
    return _graphicsWindow.valid() && _graphicsWindow->valid();
}

QSize QOSGWidget::pixelSize() const
{
    return size() * devicePixelRatioF();
}

void QOSGWidget::closeWindow()
{
    if (_graphicsWindow.valid() && _graphicsWindow->valid())
        _graphicsWindow->close();
}

void QOSGWidget::paintEvent(QPaintEvent*)
{
    // The scene graph draws this window.
}

void QOSGWidget::resizeEvent(QResizeEvent* event)
{
    if (!_graphicsWindow.valid())
        return;
    const QSize pixels = event->size() * devicePixelRatioF();
    _graphicsWindow->getEventQueue()->windowResize(0, 0, pixels.width(), pixels.height());
    _graphicsWindow->resized(0, 0, pixels.width(), pixels.height());
}

osgGA::EventQueue* QOSGWidget::eventQueue() const
{
    return _graphicsWindow.valid() ? _graphicsWindow->getEventQueue() : nullptr;
}

} // namespace view

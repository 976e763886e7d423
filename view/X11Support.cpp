#include "view/X11Support.h"

#include <QGuiApplication>

#include <osgViewer/api/X11/GraphicsWindowX11>

namespace view::x11 {

void initThreads()
{
    XInitThreads();
}

osg::ref_ptr<osg::Referenced> inheritedWindowData(unsigned long window)
{
    return new osgViewer::GraphicsWindowX11::WindowData(static_cast<Window>(window));
}

int screenOfWindow(unsigned long window)
{
    auto* application =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = application ? application->display() : nullptr;
    if (!display || window == 0)
        return -1;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, static_cast<Window>(window), &attributes))
        return -1;
    return XScreenNumberOfScreen(attributes.screen);
}

} // namespace view::x11

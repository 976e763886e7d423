#pragma once
// The few X11 calls the native embedding needs, kept in one file so that no
// other file sees Xlib's macros.
//
// Threading: initThreads() before anything else touches Xlib; the rest on
// the GUI thread.

#include <osg/Referenced>
#include <osg/ref_ptr>

namespace view::x11 {

// Makes Xlib safe for the scene graph's drawing threads.
void initThreads();
// The data that makes the scene graph draw into an existing X window.
osg::ref_ptr<osg::Referenced> inheritedWindowData(unsigned long window);
// The X screen that holds a window, or -1 when it cannot be asked.
int screenOfWindow(unsigned long window);

} // namespace view::x11

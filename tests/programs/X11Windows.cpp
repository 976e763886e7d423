#include "X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace programtest {

namespace {

// The _NET_WM_PID of a window, or -1.
long processOf(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None)
        return -1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &remaining, &data) == Success &&
        data && count == 1 && format == 32)
        pid = long(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

bool titled(Display* display, Window window, const char* title)
{
    char* name = nullptr;
    const bool match = XFetchName(display, window, &name) && name && std::strcmp(name, title) == 0;
    if (name)
        XFree(name);
    return match;
}

} // namespace

bool closeMainWindowOf(const std::string& displayName, std::int64_t pid)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return false;
    Window root = DefaultRootWindow(display), parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    bool sent = false;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !sent; ++i) {
            if (processOf(display, children[i]) != pid ||
                !titled(display, children[i], "Pellam Orvane"))
                continue;
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = children[i];
            event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
            event.xclient.format = 32;
            event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
            event.xclient.data.l[1] = CurrentTime;
            sent = XSendEvent(display, children[i], False, NoEventMask, &event) != 0;
        }
        if (children)
            XFree(children);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
}

ScreenPicture grabScreen(const std::string& displayName)
{
    ScreenPicture picture;
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return picture;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    if (XImage* image = XGetImage(display, root, 0, 0, unsigned(attributes.width),
                                  unsigned(attributes.height), AllPlanes, ZPixmap)) {
        picture.width = attributes.width;
        picture.height = attributes.height;
        picture.pixels.resize(std::size_t(picture.width) * picture.height);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                picture.pixels[std::size_t(y) * picture.width + x] =
                    std::uint32_t(XGetPixel(image, x, y)) & 0xFFFFFFu;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return picture;
}

} // namespace programtest

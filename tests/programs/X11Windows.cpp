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

// Calls `visit` for each shown top-level window of process `pid` titled
// `title` until it returns true; returns whether one did.
template <typename Visit>
bool forWindowsOf(Display* display, std::int64_t pid, const char* title, Visit visit)
{
    Window root = DefaultRootWindow(display), parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    bool done = false;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !done; ++i) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, children[i], &attributes) ||
                attributes.map_state != IsViewable || processOf(display, children[i]) != pid ||
                !titled(display, children[i], title))
                continue;
            done = visit(children[i]);
        }
        if (children)
            XFree(children);
    }
    return done;
}

} // namespace

bool closeWindowOf(const std::string& displayName, std::int64_t pid, const std::string& title)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return false;
    const bool sent = forWindowsOf(display, pid, title.c_str(), [&](Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        return XSendEvent(display, window, False, NoEventMask, &event) != 0;
    });
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
}

bool closeMainWindowOf(const std::string& display, std::int64_t pid)
{
    return closeWindowOf(display, pid, "Pellam Orvane");
}

bool hasWindowOf(const std::string& displayName, std::int64_t pid, const std::string& title)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return false;
    const bool found = forWindowsOf(display, pid, title.c_str(), [](Window) { return true; });
    XCloseDisplay(display);
    return found;
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

#include "view/EglWindow.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <osg/GL>

namespace view {

namespace {

bool hasToken(const char* list, const char* token)
{
    if (!list)
        return false;
    const std::size_t length = std::strlen(token);
    for (const char* at = std::strstr(list, token); at; at = std::strstr(at + 1, token))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

std::string hex(EGLint code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", unsigned(code));
    return text;
}

// The one EGL display of the process, its configuration for pixel buffers,
// and what it is.
struct Display
{
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    std::string description;
    std::string error;
    std::mutex rendererMutex;
    std::string renderer; // protected by rendererMutex
};

// Initialises `display` and finds a pixel-buffer configuration of 8 bits a
// colour and depth 24 for desktop OpenGL; empty on success. Nothing draws
// with a stencil, and a buffer without one is cheaper to clear: where depth
// and stencil share their words, clearing the depth alone keeps the stencil
// bits of every pixel, which a software renderer does pixel by pixel
// (choosing the smallest stencil makes that a plain fill).
std::string initialise(EGLDisplay display, EGLConfig& config)
{
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY)
        return "no display";
    if (!eglInitialize(display, &major, &minor))
        return "eglInitialize failed (" + hex(eglGetError()) + ")";
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_ALPHA_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 24,
                                 EGL_STENCIL_SIZE,
                                 0,
                                 EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) {
        eglTerminate(display);
        return "no OpenGL pixel-buffer configuration with 8-bit colours and depth 24";
    }
    return {};
}

void open(Display& result)
{
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!client || !getPlatformDisplay) {
        result.error = "this EGL library offers no platform displays (EGL_EXT_platform_base)";
        return;
    }
    std::string tried;
    auto note = [&](const std::string& what, const std::string& why) {
        tried += (tried.empty() ? "" : "; ") + what + ": " + why;
    };

    // A GPU first. Mesa's software device draws what the surfaceless
    // platform draws, which is tried last under its own name.
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
        eglGetProcAddress("eglQueryDeviceStringEXT"));
    EGLint deviceCount = 0;
    EGLDeviceEXT devices[16];
    if (hasToken(client, "EGL_EXT_platform_device") && queryDevices && queryDeviceString &&
        queryDevices(16, devices, &deviceCount)) {
        for (EGLint i = 0; i < deviceCount; ++i) {
            const char* extensions = queryDeviceString(devices[i], EGL_EXTENSIONS);
            if (hasToken(extensions, "EGL_MESA_device_software"))
                continue;
            std::string name = "EGL device " + std::to_string(i);
            if (hasToken(extensions, "EGL_EXT_device_drm"))
                if (const char* file = queryDeviceString(devices[i], EGL_DRM_DEVICE_FILE_EXT))
                    name += std::string(" (") + file + ")";
            const EGLDisplay display =
                getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
            const std::string why = initialise(display, result.config);
            if (why.empty()) {
                result.display = display;
                result.description = name;
                return;
            }
            note(name, why);
        }
    }
    if (deviceCount == 0)
        note("GPU devices", "none found");

    if (hasToken(client, "EGL_MESA_platform_surfaceless")) {
        const EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        const std::string why = initialise(display, result.config);
        if (why.empty()) {
            result.display = display;
            result.description = "Mesa's surfaceless EGL platform";
            return;
        }
        note("Mesa's surfaceless platform", why);
    } else {
        note("Mesa's surfaceless platform", "not offered (EGL_MESA_platform_surfaceless)");
    }
    result.error = "EGL cannot start: " + tried;
}

Display& display()
{
    static Display* opened = [] {
        // Kept for the life of the process: contexts may be closed as late
        // as static destruction.
        auto* made = new Display;
        open(*made);
        return made;
    }();
    return *opened;
}

osg::GraphicsContext::Traits* pixelBufferTraits(int width, int height)
{
    auto* traits = new osg::GraphicsContext::Traits;
    traits->x = 0;
    traits->y = 0;
    traits->width = width;
    traits->height = height;
    traits->red = traits->green = traits->blue = traits->alpha = 8;
    traits->depth = 24;
    traits->stencil = 0;
    traits->pbuffer = true;
    // A pixel buffer is drawn in its back buffer.
    traits->doubleBuffer = true;
    return traits;
}

} // namespace

EglWindow::EglWindow(int width, int height)
    : osgViewer::GraphicsWindowEmbedded(pixelBufferTraits(width, height))
{
    Display& egl = display();
    if (!egl.error.empty()) {
        _error = egl.error;
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        _error = "EGL cannot draw with desktop OpenGL (" + hex(eglGetError()) + ")";
        return;
    }
    const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(egl.display, egl.config, EGL_NO_CONTEXT, compatibility);
    if (context == EGL_NO_CONTEXT) // an EGL without profiles gives the compatible one
        context = eglCreateContext(egl.display, egl.config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        _error = "no OpenGL context on " + egl.description + " (" + hex(eglGetError()) + ")";
        return;
    }
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(egl.display, egl.config, size);
    if (surface == EGL_NO_SURFACE) {
        _error = "no pixel buffer of " + std::to_string(width) + " x " + std::to_string(height) +
                 " on " + egl.description + " (" + hex(eglGetError()) + ")";
        eglDestroyContext(egl.display, context);
        return;
    }
    _context = context;
    _surface = surface;
}

EglWindow::~EglWindow()
{
    close(true);
}

std::string EglWindow::displayError()
{
    return display().error;
}

std::string EglWindow::description()
{
    Display& egl = display();
    const std::lock_guard lock(egl.rendererMutex);
    return egl.renderer.empty() ? egl.description : egl.description + ", " + egl.renderer;
}

bool EglWindow::realizeImplementation()
{
    if (!created())
        return false;
    _realized = true;
    if (!makeCurrentImplementation())
        return true;
    Display& egl = display();
    {
        const std::lock_guard lock(egl.rendererMutex);
        if (egl.renderer.empty()) {
            const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
            if (renderer && version)
                egl.renderer = std::string(renderer) + ", OpenGL " + version;
        }
    }
    releaseContextImplementation();
    return true;
}

void EglWindow::closeImplementation()
{
    if (!created())
        return;
    const EGLDisplay egl = display().display;
    if (eglGetCurrentContext() == _context)
        eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(egl, _surface);
    eglDestroyContext(egl, _context);
    _surface = nullptr;
    _context = nullptr;
    _realized = false;
}

bool EglWindow::makeCurrentImplementation()
{
    if (!created())
        return false;
    eglBindAPI(EGL_OPENGL_API);
    return eglMakeCurrent(display().display, _surface, _surface, _context) == EGL_TRUE;
}

bool EglWindow::releaseContextImplementation()
{
    if (!created())
        return false;
    return eglMakeCurrent(display().display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) ==
           EGL_TRUE;
}

HeadlessEmbedding::HeadlessEmbedding(int width, int height)
    : _window(new EglWindow(width, height)), _size(width, height)
{
    if (!_window->created())
        _window = nullptr;
}

osgViewer::GraphicsWindow* HeadlessEmbedding::graphicsWindow() const
{
    return _window.get();
}

void HeadlessEmbedding::closeWindow()
{
    if (_window)
        _window->close();
    _window = nullptr;
}

} // namespace view

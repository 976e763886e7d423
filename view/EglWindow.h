#pragma once
// An OpenGL context that needs no display: an EGL pixel buffer that the
// scene graph draws into as into any of its windows. The process opens one
// EGL display, the first time a window is made, and keeps it: a GPU's
// device display when the machine has one that can draw (it says which),
// else Mesa's surfaceless platform (llvmpipe, on the CPU). Each window has a
// context and a pixel buffer of its own; the context is compatibility
// profile, as the scene graph draws with the fixed-function pipeline.
//
// HeadlessEmbedding puts such a window where the viewer otherwise has its
// widget: the viewer draws into it and nothing asks for a widget or an X
// server.
//
// Threading: a window is made current by the thread that draws it; with one
// context per window and the single-threaded viewer that is the GUI thread.
// The display is opened once under the C++ static-initialisation lock.

#include <string>

#include <osgViewer/GraphicsWindow>

#include "view/ViewerEmbedding.h"

namespace view {

class EglWindow : public osgViewer::GraphicsWindowEmbedded
{
public:
    // Makes the context and a pixel buffer of width x height; check
    // created() (the reason is then in creationError()).
    EglWindow(int width, int height);

    bool created() const { return _context != nullptr; }
    const std::string& creationError() const { return _error; }

    // Empty when EGL can draw in this process, else why not (opens the
    // display on the first call).
    static std::string displayError();
    // Which display draws ("EGL device /dev/dri/renderD128", "Mesa's
    // surfaceless EGL platform"), and once a window has been realized, the
    // renderer OpenGL names.
    static std::string description();

    bool valid() const override { return created(); }
    bool realizeImplementation() override;
    bool isRealizedImplementation() const override { return _realized; }
    void closeImplementation() override;
    bool makeCurrentImplementation() override;
    bool releaseContextImplementation() override;
    // A pixel buffer has no front buffer to show: a frame is done when its
    // drawing is.
    void swapBuffersImplementation() override {}

protected:
    ~EglWindow() override;

private:
    void* _context = nullptr; // EGLContext
    void* _surface = nullptr; // EGLSurface
    bool _realized = false;
    std::string _error;
};

class HeadlessEmbedding : public ViewerEmbedding
{
public:
    HeadlessEmbedding(int width, int height);

    QWidget* widget() override { return nullptr; }
    osgViewer::GraphicsWindow* graphicsWindow() const override;
    bool readyToRender() const override { return _window.valid(); }
    QSize pixelSize() const override { return _size; }
    void closeWindow() override;

private:
    osg::ref_ptr<EglWindow> _window;
    QSize _size;
};

} // namespace view

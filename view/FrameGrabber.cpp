#include "view/FrameGrabber.h"

#include <osg/GLExtensions>
#include <osg/State>

namespace view {

void FrameGrabber::arm(int width, int height, GLenum format)
{
    std::lock_guard lock(_mutex);
    _armed = true;
    _width = width;
    _height = height;
    _format = format;
    _readFailed = false;
    _image = nullptr;
}

osg::ref_ptr<osg::Image> FrameGrabber::take()
{
    std::lock_guard lock(_mutex);
    _armed = false;
    osg::ref_ptr<osg::Image> image = std::move(_image);
    _image = nullptr;
    return image;
}

void FrameGrabber::recycle(osg::ref_ptr<osg::Image> image)
{
    if (!image)
        return;
    std::lock_guard lock(_mutex);
    _free.push_back(std::move(image));
}

bool FrameGrabber::readFailed() const
{
    std::lock_guard lock(_mutex);
    return _readFailed;
}

int FrameGrabber::imagesMade() const
{
    std::lock_guard lock(_mutex);
    return _made;
}

void FrameGrabber::swapBuffersImplementation(osg::GraphicsContext* gc)
{
    osg::State* state = gc->getState();
    // Where errors are looked for, an error of the frame's last drawing is
    // reported here rather than in some later frame.
    if (state && state->getCheckForGLErrors() != osg::State::NEVER_CHECK_GL_ERRORS)
        state->checkGLErrors("at the end of a frame");
    std::unique_lock lock(_mutex);
    if (_armed && _width > 0 && _height > 0) {
        const int width = _width, height = _height;
        const GLenum format = _format;
        osg::ref_ptr<osg::Image> image;
        if (!_free.empty()) {
            image = std::move(_free.back());
            _free.pop_back();
        } else {
            image = new osg::Image;
            ++_made;
        }
        lock.unlock();
        // A context drawing into a framebuffer object of its host (the GL
        // widget) keeps its frame there, not in the window's buffer.
        const GLuint fbo = gc->getDefaultFboId();
        osg::GLExtensions* extensions =
            state ? osg::GLExtensions::Get(state->getContextID(), true) : nullptr;
        if (fbo != 0 && extensions && extensions->isFrameBufferObjectSupported)
            extensions->glBindFramebuffer(GL_READ_FRAMEBUFFER_EXT, fbo);
        // Reuses the image's memory when the size is unchanged.
        image->readPixels(0, 0, width, height, format, GL_UNSIGNED_BYTE);
        const bool failed = state && state->checkGLErrors("reading a frame back");
        lock.lock();
        _readFailed = _readFailed || failed;
        _image = std::move(image);
        _armed = false;
    }
    lock.unlock();
    gc->swapBuffersImplementation();
}

} // namespace view

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

bool FrameGrabber::readFailed() const
{
    std::lock_guard lock(_mutex);
    return _readFailed;
}

void FrameGrabber::swapBuffersImplementation(osg::GraphicsContext* gc)
{
    osg::State* state = gc->getState();
    // Where errors are looked for, an error of the frame's last drawing is
    // reported here rather than in some later frame.
    if (state && state->getCheckForGLErrors() != osg::State::NEVER_CHECK_GL_ERRORS)
        state->checkGLErrors("at the end of a frame");
    {
        std::lock_guard lock(_mutex);
        if (_armed && _width > 0 && _height > 0) {
            // A context drawing into a framebuffer object of its host (the
            // GL widget) keeps its frame there, not in the window's buffer.
            const GLuint fbo = gc->getDefaultFboId();
            osg::GLExtensions* extensions =
                state ? osg::GLExtensions::Get(state->getContextID(), true) : nullptr;
            if (fbo != 0 && extensions && extensions->isFrameBufferObjectSupported)
                extensions->glBindFramebuffer(GL_READ_FRAMEBUFFER_EXT, fbo);
            osg::ref_ptr<osg::Image> image = new osg::Image;
            image->readPixels(0, 0, _width, _height, _format, GL_UNSIGNED_BYTE);
            if (state && state->checkGLErrors("reading a frame back"))
                _readFailed = true;
            _image = image;
            _armed = false;
        }
    }
    gc->swapBuffersImplementation();
}

} // namespace view

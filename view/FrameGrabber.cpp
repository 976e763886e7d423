#include "view/FrameGrabber.h"

#include <algorithm>
#include <cstring>

#include <osg/GLExtensions>
#include <osg/State>

#include "view/ImageShrink.h"

namespace view {

void FrameGrabber::arm(int width, int height, GLenum format, int shrink)
{
    std::lock_guard lock(_mutex);
    _armed = true;
    _shrink = shrink > 1 ? shrink : 1;
    _width = width;
    _height = height;
    _format = format;
    _readFailed = false;
    _image = nullptr;
}

void FrameGrabber::setShrinkPlace(ShrinkPlace place)
{
    std::lock_guard lock(_mutex);
    _shrinkPlace = place;
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

bool FrameGrabber::shrinkOnGpu(osg::GLExtensions& gl, unsigned int contextId, GLuint source,
                               int width, int height, int smallWidth, int smallHeight)
{
    if (!gl.isFrameBufferObjectSupported || !gl.glBlitFramebuffer || smallWidth <= 0 ||
        smallHeight <= 0)
        return false;
    // One framebuffer object of the small size per grabber, made in the
    // context that reads; it goes with the context.
    if (_shrinkContext != contextId || _shrinkWidth != smallWidth || _shrinkHeight != smallHeight ||
        _shrinkFbo == 0) {
        if (_shrinkFbo != 0 && _shrinkContext == contextId) {
            gl.glDeleteFramebuffers(1, &_shrinkFbo);
            gl.glDeleteRenderbuffers(1, &_shrinkColour);
        }
        gl.glGenFramebuffers(1, &_shrinkFbo);
        gl.glGenRenderbuffers(1, &_shrinkColour);
        gl.glBindRenderbuffer(GL_RENDERBUFFER_EXT, _shrinkColour);
        gl.glRenderbufferStorage(GL_RENDERBUFFER_EXT, GL_RGBA8, smallWidth, smallHeight);
        gl.glBindFramebuffer(GL_FRAMEBUFFER_EXT, _shrinkFbo);
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                     GL_RENDERBUFFER_EXT, _shrinkColour);
        const bool complete =
            gl.glCheckFramebufferStatus(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
        gl.glBindFramebuffer(GL_FRAMEBUFFER_EXT, source);
        _shrinkContext = contextId;
        _shrinkWidth = smallWidth;
        _shrinkHeight = smallHeight;
        if (!complete) {
            gl.glDeleteFramebuffers(1, &_shrinkFbo);
            gl.glDeleteRenderbuffers(1, &_shrinkColour);
            _shrinkFbo = 0;
            return false;
        }
    }
    // A linear blit at a whole ratio averages the source pixels around each
    // target pixel's centre: at 2:1 exactly the 2 x 2 pixels it covers.
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER_EXT, source);
    gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER_EXT, _shrinkFbo);
    gl.glBlitFramebuffer(0, 0, width, height, 0, 0, smallWidth, smallHeight, GL_COLOR_BUFFER_BIT,
                         GL_LINEAR);
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER_EXT, _shrinkFbo);
    return true;
}

void FrameGrabber::readHalved(int width, int height, GLenum format, osg::Image& image)
{
    const int halfWidth = width / 2, halfHeight = height / 2;
    if (image.s() != halfWidth || image.t() != halfHeight || image.r() != 1 ||
        image.getPixelFormat() != format || image.getDataType() != GL_UNSIGNED_BYTE ||
        image.getPacking() != 1 || !image.data())
        image.allocateImage(halfWidth, halfHeight, 1, format, GL_UNSIGNED_BYTE, 1);
    // Strips of rows small enough to stay in the processor's cache between
    // being read and being averaged: reading the whole buffer first and
    // averaging it afterwards measured twice the memory traffic.
    const int stripRows = std::max(2, int(STRIP_BYTES / (4 * std::size_t(width))) & ~1);
    _strip.resize(std::size_t(width) * 4 * std::size_t(stripRows));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    for (int row = 0; row < 2 * halfHeight; row += stripRows) {
        const int rows = std::min(stripRows, 2 * halfHeight - row);
        glReadPixels(0, row, width, rows, format, GL_UNSIGNED_BYTE, _strip.data());
        halveRows(_strip.data(), std::size_t(width) * 4, image.data(0, unsigned(row / 2)),
                  image.getRowStepInBytes(), halfWidth, rows / 2);
    }
    image.dirty();
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
        int width = _width, height = _height;
        const int shrink = _shrink;
        const ShrinkPlace place = _shrinkPlace;
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
        const unsigned int contextId = state ? state->getContextID() : ~0u;
        if (shrink > 1 && place == ShrinkPlace::Fastest && _rendererContext != contextId) {
            const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            _softwareRenderer = renderer && (std::strstr(renderer, "llvmpipe") != nullptr ||
                                             std::strstr(renderer, "softpipe") != nullptr);
            _rendererContext = contextId;
        }
        const bool shrunk =
            shrink > 1 && extensions && state &&
            (place == ShrinkPlace::Gpu || (place == ShrinkPlace::Fastest && !_softwareRenderer)) &&
            shrinkOnGpu(*extensions, state->getContextID(), fbo, width, height, width / shrink,
                        height / shrink);
        if (shrunk) {
            width /= shrink;
            height /= shrink;
        }
        if (!shrunk && shrink == 2 && (format == GL_BGRA || format == GL_RGBA) && width >= 2 &&
            height >= 2) {
            readHalved(width, height, format, *image);
        } else {
            // Reuses the image's memory when the size is unchanged.
            image->readPixels(0, 0, width, height, format, GL_UNSIGNED_BYTE);
        }
        if (shrunk)
            extensions->glBindFramebuffer(GL_FRAMEBUFFER_EXT, fbo);
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

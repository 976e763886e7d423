#include "video/OffscreenReadback.h"

#include <osg/GL>
#include <osg/State>

namespace video {

void OffscreenReadback::arm(int width, int height)
{
    std::lock_guard lock(_mutex);
    _armed = true;
    _width = width;
    _height = height;
    _result = nullptr;
}

osg::ref_ptr<osg::Image> OffscreenReadback::take()
{
    std::lock_guard lock(_mutex);
    _armed = false;
    osg::ref_ptr<osg::Image> image = std::move(_result);
    _result = nullptr;
    return image;
}

void OffscreenReadback::recycle(osg::ref_ptr<osg::Image> image)
{
    if (!image)
        return;
    std::lock_guard lock(_mutex);
    _free.push_back(std::move(image));
}

bool OffscreenReadback::readFailed() const
{
    std::lock_guard lock(_mutex);
    return _readFailed;
}

int OffscreenReadback::imagesMade() const
{
    std::lock_guard lock(_mutex);
    return _made;
}

void OffscreenReadback::swapBuffersImplementation(osg::GraphicsContext* gc)
{
    osg::State* state = gc->getState();
    {
        std::unique_lock lock(_mutex);
        if (_armed && _width > 0 && _height > 0) {
            osg::ref_ptr<osg::Image> image;
            if (!_free.empty()) {
                image = std::move(_free.back());
                _free.pop_back();
            } else {
                image = new osg::Image;
                ++_made;
            }
            lock.unlock();
            // Reuses the image's memory when the size is unchanged.
            image->readPixels(0, 0, _width, _height, GL_BGRA, GL_UNSIGNED_BYTE);
            const bool failed = state && state->checkGLErrors("reading a video frame back");
            lock.lock();
            _readFailed = _readFailed || failed;
            _result = image;
            _armed = false;
        }
    }
    gc->swapBuffersImplementation();
}

} // namespace video

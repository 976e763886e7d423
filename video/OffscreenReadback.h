#pragma once
// Reads the video export's off-screen buffer after each drawn frame, into
// images taken from a small pool: the export's images are large (twice the
// video's size each way) and one is in flight on the encoding thread while
// the next is read, so they are used again instead of allocated per frame.
// Images are BGRA, bottom row first, exactly as OpenGL reads them; the
// encoder reads them upwards, so nothing is flipped here.
//
// Installed as the buffer's swap callback, it reads when every camera has
// drawn and before the swap.
//
// Threading: arm() and take() on the GUI thread, the read on the thread that
// swaps the buffer (the GUI thread: the export draws single threaded),
// recycle() on any thread; _mutex protects the pool and the result.

#include <mutex>
#include <vector>

#include <osg/GraphicsContext>
#include <osg/Image>
#include <osg/ref_ptr>

namespace video {

class OffscreenReadback : public osg::GraphicsContext::SwapCallback
{
public:
    // The next swap reads width x height pixels.
    void arm(int width, int height);
    // The image read since arm(), or null; disarms.
    osg::ref_ptr<osg::Image> take();
    // Gives an image back to the pool.
    void recycle(osg::ref_ptr<osg::Image> image);
    // Whether OpenGL reported an error while reading.
    bool readFailed() const;
    // Images made so far (the pool's size).
    int imagesMade() const;

    void swapBuffersImplementation(osg::GraphicsContext* gc) override;

protected:
    ~OffscreenReadback() override = default;

private:
    mutable std::mutex _mutex;
    bool _armed = false;
    int _width = 0;
    int _height = 0;
    bool _readFailed = false;
    int _made = 0;
    osg::ref_ptr<osg::Image> _result;
    std::vector<osg::ref_ptr<osg::Image>> _free;
};

} // namespace video

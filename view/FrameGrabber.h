#pragma once
// Reads a graphics context's finished frame. Installed as the context's
// swap callback, it copies the colour buffer when every camera has drawn and
// before the buffers swap (after the swap the back buffer holds nothing
// defined). A read is armed before a frame and collected after it; frames
// without an armed read pass straight through. Where the context's state
// looks for OpenGL errors, the grabber looks once more at the end of every
// frame, so that an error of the frame's last drawing is reported with it.
//
// Images come from a small pool when their users give them back
// (recycle()): the video export reads large images (twice the video's size
// each way) while the one before is in flight on the encoding thread, so
// they are used again instead of allocated per frame. Images no one gives
// back are simply new for every read.
//
// Threading: arm() and take() run on the GUI thread; the read runs on the
// thread that swaps the context (the GUI thread, or the context's drawing
// thread when the viewer draws on threads); recycle() on any thread. The
// request, the pool and the image are protected by _mutex, which is not held
// while the pixels are read. A threaded viewer has swapped by the time
// frame() returns, so take() after frame() finds the image.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include <osg/GL>
#include <osg/GraphicsContext>
#include <osg/Image>
#include <osg/ref_ptr>

namespace osg {
class GLExtensions;
}

namespace view {

class FrameGrabber : public osg::GraphicsContext::SwapCallback
{
public:
    // The next swap reads the rectangle (0, 0, width, height) in `format`
    // (GL_RGB, GL_BGRA, ...) as unsigned bytes, bottom row first. With
    // `shrink` above 1 the rectangle is first scaled down by that factor on
    // the GPU (a linear blit into a framebuffer object of the smaller size),
    // so that only the small picture crosses to the processor. Where the
    // renderer draws on the processor (Mesa's llvmpipe and softpipe) the
    // blit is a shader run pixel by pixel, which measured slower than
    // reading the rectangle and averaging it there (view/ImageShrink.h):
    // such a context reads and halves it in strips. So does a context that
    // cannot blit, for a shrink of 2 in GL_RGBA or GL_BGRA; for others the
    // image is then the whole rectangle.
    void arm(int width, int height, GLenum format, int shrink = 1);
    // Where a shrink is made: the faster place for the context's renderer
    // (the default), or always on the GPU, or always on the processor.
    enum class ShrinkPlace
    {
        Fastest,
        Gpu,
        Processor,
    };
    void setShrinkPlace(ShrinkPlace place);
    // The image read since arm(), or null (and disarms).
    osg::ref_ptr<osg::Image> take();
    // Gives an image back to the pool, for a later read to fill.
    void recycle(osg::ref_ptr<osg::Image> image);
    // Whether a GL error was raised while reading since arm().
    bool readFailed() const;
    // Images made so far (those in the pool and those given out).
    int imagesMade() const;

    void swapBuffersImplementation(osg::GraphicsContext* gc) override;

protected:
    ~FrameGrabber() override = default;

private:
    // Blits (0, 0, width, height) of the framebuffer `source` down into the
    // grabber's own framebuffer object and leaves that bound for reading;
    // false (nothing changed) where the context cannot.
    bool shrinkOnGpu(osg::GLExtensions& gl, unsigned int contextId, GLuint source, int width,
                     int height, int smallWidth, int smallHeight);

    // Reads (0, 0, width, height) into `image` halved each way on the
    // processor, strip by strip.
    void readHalved(int width, int height, GLenum format, osg::Image& image);

    static constexpr std::size_t STRIP_BYTES = 256 * 1024;

    mutable std::mutex _mutex;
    bool _armed = false;
    int _width = 0;
    int _height = 0;
    GLenum _format = GL_RGB;
    int _shrink = 1;
    ShrinkPlace _shrinkPlace = ShrinkPlace::Fastest;
    // Whether the reading context's renderer draws on the processor, found
    // once per context: reading thread only.
    unsigned int _rendererContext = ~0u;
    bool _softwareRenderer = false;
    std::vector<std::uint8_t> _strip; // rows read before halving: reading thread only
    // The framebuffer object of the shrunk picture: reading thread only.
    unsigned int _shrinkContext = ~0u;
    GLuint _shrinkFbo = 0;
    GLuint _shrinkColour = 0;
    int _shrinkWidth = 0;
    int _shrinkHeight = 0;
    bool _readFailed = false;
    int _made = 0;
    osg::ref_ptr<osg::Image> _image;
    std::vector<osg::ref_ptr<osg::Image>> _free;
};

} // namespace view

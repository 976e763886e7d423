#pragma once
// Halving a picture on the processor: the same mean of 2 x 2 pixels that the
// off-screen buffer's shrink on the GPU makes (view/FrameGrabber.h). It is
// used where the renderer itself draws on the processor: there a blit is a
// shader run pixel by pixel, which costs more than averaging the pixels read
// back whole, and the averaging can run on another thread while the next
// frame is drawn.
//
// Threading: a plain function; any thread, one call per target at a time.

#include <cstddef>
#include <cstdint>

#include <osg/Image>

namespace view {

// Halves `rows` x 2 rows of `width` x 2 pixels of four 8-bit channels each
// way: target row y is the mean of source rows 2y and 2y + 1, pixel x of
// source pixels 2x and 2x + 1, rounded to the nearest level. Strides are in
// bytes.
void halveRows(const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
               std::size_t targetStride, int width, int rows);

// Halves `source` (8 bits a channel, GL_RGBA or GL_BGRA) each way into
// `target`: pixel (x, y) of the result is the mean, rounded to the nearest
// level, of source pixels (2x .. 2x + 1, 2y .. 2y + 1). An odd last column or
// row of the source is left out. Rows keep their order and the format is
// kept; `target`'s memory is used again when its size and format already
// fit. False (target unchanged) for any other format or an empty source.
bool halveImage(const osg::Image& source, osg::Image& target);

} // namespace view

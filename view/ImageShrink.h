#pragma once
// Halving a picture on the processor: the same mean of 2 x 2 pixels that the
// off-screen buffer's shrink on the GPU makes (view/FrameGrabber.h), for
// renderers that draw on the processor themselves: there a blit is a shader
// run pixel by pixel, which costs more than averaging the pixels as they
// are read back.
//
// Threading: a plain function; any thread, one call per target at a time.

#include <cstddef>
#include <cstdint>

namespace view {

// Halves `rows` x 2 rows of `width` x 2 pixels of four 8-bit channels each
// way: target row y is the mean of source rows 2y and 2y + 1, pixel x of
// source pixels 2x and 2x + 1, rounded to the nearest level. Strides are in
// bytes.
void halveRows(const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
               std::size_t targetStride, int width, int rows);

} // namespace view

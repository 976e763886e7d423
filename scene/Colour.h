#pragma once
// Colours in packets are three 32-bit integers from 0 to 255; the scene
// graph wants floats from 0 to 1. One scale for every object kind, so that
// the same bytes give the same colour everywhere.
//
// Threading: pure functions.

#include <osg/Vec4>

namespace colour {

// 1/255, as the packet format defines it.
constexpr float SCALE = 0.003921569f;

inline osg::Vec4 fromBytes(int red, int green, int blue, float alpha = 1.0f)
{
    return {float(red) * SCALE, float(green) * SCALE, float(blue) * SCALE, alpha};
}

} // namespace colour

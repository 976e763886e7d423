#pragma once
// The OpenGL light numbers of the simulation's lights. OpenGL offers eight
// lights; every new light object takes the next number from one counter for
// the whole process, modulo 8, so the ninth light shares its number with the
// first. The counter only grows, except that clearing the scene (the viewer
// manager resetting its views) starts it again at 0.
//
// It lives in the scene layer because both the light objects and the viewer
// manager reach it.
//
// Threading: called on the GUI thread (the thread that applies packets and
// clears the scene); the counter is atomic so that a stray reader elsewhere
// sees a whole value.

#include <cstdint>

class LightNumbers
{
public:
    static constexpr int LIGHT_COUNT = 8;

    // The number for a new light (counter mod 8); the counter then grows by one.
    static int take();
    // How many numbers have been taken since the last reset.
    static std::uint32_t issued();
    // Starts the numbering again at 0.
    static void reset();
};

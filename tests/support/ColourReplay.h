#pragma once
// A recording for the video export's tests: one view (object 1) whose
// background grows redder with time - record k at 0.04 k - 0.01 s (the
// first at 0), red 10 k - so that each exported frame shows which replay
// time it was drawn at.

#include <string>

namespace testsupport {

constexpr int COLOUR_RECORDS = 26; // 0 .. 0.99 s

// The red of the background at replay time t.
int colourReplayRedAt(double t);
// Writes the recording; empty on success, else why not.
std::string writeColourReplay(const std::string& path);
// Studio-range luma and red-difference chroma of a pure red, as a decoded
// video frame holds it.
int lumaOfRed(int red);
int chromaOfRed(int red);

} // namespace testsupport

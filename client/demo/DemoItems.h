#pragma once
// Type codes and item numbers the demo's parts share, as the viewer reads them.
#include <cstdint>

namespace demo {

// Type codes of the viewer's object kinds.
constexpr std::uint32_t TIME_PACKET = 1;
constexpr std::uint32_t SHAPE = 2;
constexpr std::uint32_t FLOW_PIPE = 3;
constexpr std::uint32_t FILE_OBJECT = 4;
constexpr std::uint32_t LIGHT = 5;
constexpr std::uint32_t TEXT = 6;
constexpr std::uint32_t HUD = 7;
constexpr std::uint32_t WEATHER = 8;
constexpr std::uint32_t VIEW = 9;
constexpr std::uint32_t FLEX_BODY = 10;
constexpr std::uint32_t FLEX_SURFACE = 11;
constexpr std::uint32_t LINE = 12;
constexpr std::uint32_t PARTICLES = 13;

// Items shared by all 3D objects.
constexpr int POSITION = 1;
constexpr int ORIENTATION = 3;
constexpr int SCALE = 4;
constexpr int ALPHA = 10;
constexpr int WIREFRAME = 29;
constexpr int COLOUR = 44;

} // namespace demo

#pragma once
// What the parts of the demo share to build their packets.

#include <cstdint>

#include "gnp2/Packet.h"

namespace demo {

constexpr float PI = 3.14159265f;

// Values of item 45, a head-up display element's kind.
enum HudElement
{
    LINE_ELEMENT = 1,
    TEXT_ELEMENT = 2,
    VALUE_ELEMENT = 3,
    PICTURE_ELEMENT = 4,
    BAR_ELEMENT = 5,
    GRAPH_ELEMENT = 6,
    FACE_ELEMENT = 7,
    BUTTON_ELEMENT = 8,
};

// Addresses `p` to object `objectNumber` of the kind `typeCode`.
inline void address(GNP2::Packet& p, int objectNumber, std::uint32_t typeCode)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), typeCode));
}

} // namespace demo

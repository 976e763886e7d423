#pragma once
// What the parts of the demo share to build their packets.

#include <cstdint>

#include "gnp2/Packet.h"

namespace demo {

constexpr float PI = 3.14159265f;

// Addresses `p` to object `objectNumber` of the kind `typeCode`.
inline void address(GNP2::Packet& p, int objectNumber, std::uint32_t typeCode)
{
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), typeCode));
}

} // namespace demo

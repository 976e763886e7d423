#pragma once
// Texts in packets (labels, font and file names) are sent as C strings by
// many simulations and carry their terminating zero; the text ends there.
//
// Threading: pure function.

#include <algorithm>
#include <string>

#include "gnp2/Packet.h"

// A string item up to its first zero. Throws the packet exception when the
// item is missing or is not a string.
inline std::string stringItem(const GNP2::Packet& packet, int index)
{
    std::string text = packet.getString(index);
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

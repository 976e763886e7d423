#pragma once
// Packets for the text and light object tests, built from item tables and
// handed to an object the way the object manager does it.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "scene/VisObject.h"

namespace textlight {

struct Items
{
    std::map<int, std::vector<float>> floats;
    std::map<int, std::vector<int>> ints;
    std::map<int, std::string> strings;
};

inline std::unique_ptr<GNP2::Packet> makePacket(const Items& items)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(GNP2::makeHeader(9, 0));
    packet->setIntVector(items::CONNECTION, {0});
    for (const auto& [index, values] : items.floats)
        packet->setFloatVector(index, values);
    for (const auto& [index, values] : items.ints)
        packet->setIntVector(index, values);
    for (const auto& [index, text] : items.strings)
        packet->setString(index, text);
    return packet;
}

// What the object manager does with a packet: initialize a new object, then
// update, then clear the state's changed flags.
inline void deliver(VisObject& object, const Items& items, bool isNew)
{
    const std::unique_ptr<GNP2::Packet> packet = makePacket(items);
    if (isNew)
        object.initialize(*packet);
    object.update(*packet);
    object.getPacket().clearChanged();
}

// What a call writes to standard output. An exception from the call passes
// on, after the capture has ended.
template <typename F> std::string printedBy(F&& call)
{
    ::testing::internal::CaptureStdout();
    try {
        call();
    } catch (...) {
        ::testing::internal::GetCapturedStdout();
        throw;
    }
    return ::testing::internal::GetCapturedStdout();
}

// The lines a packet exception writes when it is made, for a missing item.
inline std::string exceptionLines(int item)
{
    return std::string(GNP2::ACCESSOR_ERROR) + "\nErrorNr: " + std::to_string(item) + "\n";
}

} // namespace textlight

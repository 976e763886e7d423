#pragma once
// The two items every packet reserves, read and written here only: item 0,
// the time stamp in seconds (one float, written by the viewer as it applies
// the packet), and item 13, the number of the connection the packet came
// from (one int, written by the link).
//
// Standard library only and C++17, like Packet.h: the client's tools use it.

#include <cstdint>
#include <cstring>
#include <optional>

#include "gnp2/Packet.h"

namespace GNP2 {

// A packet without a usable connection number (item 13 absent, not ints, or
// empty) reads as NO_CONNECTION. Connection numbers are never negative, so
// this value stands apart from every real connection: the link delivers it to
// no connection, the object manager refuses such a packet, and the replay
// keeps such records as objects of their own, apart from those of connection
// 0.
constexpr std::int32_t NO_CONNECTION = -1;

// The first int of item 13, or NO_CONNECTION.
inline std::int32_t connectionOf(const Packet& packet)
{
    const Item& item = packet.item(ITEM_CONNECTION);
    if (item.type != TYPE_INT || item.count < 1)
        return NO_CONNECTION;
    std::int32_t connection;
    std::memcpy(&connection, item.data, sizeof connection);
    return connection;
}

// Item 13 := {connection} (compare first: the same value changes nothing).
inline void setConnection(Packet& packet, std::int32_t connection)
{
    packet.setRaw(ITEM_CONNECTION, TYPE_INT, 1, &connection);
}

// The first float of item 0, or nothing when the packet carries no time.
inline std::optional<float> timeOf(const Packet& packet)
{
    const Item& item = packet.item(ITEM_TIME);
    if (item.type != TYPE_FLOAT || item.count < 1)
        return std::nullopt;
    float time;
    std::memcpy(&time, item.data, sizeof time);
    return time;
}

// Item 0 := {time} (compare first).
inline void setTime(Packet& packet, float time)
{
    packet.setRaw(ITEM_TIME, TYPE_FLOAT, 1, &time);
}

} // namespace GNP2

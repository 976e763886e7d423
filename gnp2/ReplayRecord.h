#pragma once
// One record of a replay file: the viewer's recorder writes them, its replay
// reader indexes and reads them, and orvane-replay looks inside them.
//
// A replay file is records back to back, no file header, little-endian:
//
//   offset 0   float32  time stamp: item 0 of the recorded state packet
//   offset 4   uint32   packet length L, counting itself
//   offset 8   uint32   header word of the state packet
//   offset 12  L - 8    item records, in ascending index order
//
// so a record is 4 + L bytes and its bytes from offset 4 are the packet's
// wire frame. Each record is a whole snapshot of one object's state packet,
// so any record alone rebuilds its object.
//
// Header only, standard library only, C++17: the client's tools use it as
// well as the viewer.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gnp2/ReservedItems.h"

namespace GNP2::replayRecord {

constexpr std::size_t TIME_OFFSET = 0;
constexpr std::size_t FRAME_OFFSET = 4;  // the wire frame, length word first
constexpr std::size_t HEADER_OFFSET = 8; // the packet's header word
constexpr std::size_t ITEMS_OFFSET = 12; // the first item record
// The least a record takes: time stamp, length word and header word.
constexpr std::size_t MIN_SIZE = ITEMS_OFFSET;
// The least a length word can say: itself and the header word.
constexpr std::uint32_t MIN_LENGTH = std::uint32_t(FRAME_HEADER_SIZE);

inline float time(const unsigned char* record)
{
    const std::uint32_t bits = readU32(record + TIME_OFFSET);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void writeTime(unsigned char* record, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeU32(record + TIME_OFFSET, bits);
}

// The packet length L of a record whose first 8 bytes are at `record`.
inline std::uint32_t length(const unsigned char* record)
{
    return readU32(record + FRAME_OFFSET);
}

// The header word of a record whose first 12 bytes are at `record`.
inline std::uint32_t header(const unsigned char* record)
{
    return readU32(record + HEADER_OFFSET);
}

// The bytes of a record whose packet length is L.
constexpr std::uint64_t size(std::uint32_t length)
{
    return FRAME_OFFSET + std::uint64_t(length);
}

// The bytes write() takes for `state`.
inline std::size_t size(const Packet& state)
{
    return FRAME_OFFSET + state.serializedSize();
}

// Writes the record of `state` stamped with `time` into `out`, which holds
// size(state) bytes; clears the changed flags of the state. Returns the
// bytes written.
inline std::size_t write(Packet& state, float time, unsigned char* out)
{
    writeTime(out, time);
    return FRAME_OFFSET + state.serialize(out + FRAME_OFFSET);
}

// The same with the state's own time stamp (item 0; 0 when it has none), as
// the recorder writes it.
inline std::size_t write(Packet& state, unsigned char* out)
{
    return write(state, timeOf(state).value_or(0.0f), out);
}

} // namespace GNP2::replayRecord

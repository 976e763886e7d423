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
#include <vector>

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

// The record of one state kept from one record to the next (the recorder
// keeps one per object): while the state's items stay where they are in the
// wire form, its next record is this one with the dirty items' bytes, the
// header word and the time stamp brought up to date - a state of many items
// of which an update changed two is not written item by item.
class Image
{
public:
    // Brings the image up to `state` stamped with `time`: wholly when the
    // image was made from another packet or the items moved since, else the
    // dirty items. Cleans the dirty items; the changed flags are the
    // caller's. Returns the record's size.
    std::size_t update(Packet& state, float time)
    {
        if (_packet != &state || _layout != state.layout() || _bytes.empty()) {
            rebuild(state, time);
            return _bytes.size();
        }
        unsigned char* bytes = _bytes.data();
        state.takeDirty([&](int index, const Item& item) {
            std::memcpy(bytes + _offsets[std::size_t(index)], item.data, item.byteSize());
        });
        writeU32(bytes + HEADER_OFFSET, state.header());
        writeTime(bytes, time);
        return _bytes.size();
    }
    const unsigned char* data() const { return _bytes.data(); }
    // Asks the processor to fetch the image ahead of an update.
    void prefetch() const
    {
        __builtin_prefetch(_bytes.data());
        __builtin_prefetch(_bytes.data() + 64);
        __builtin_prefetch(_offsets.data());
    }

private:
    void rebuild(Packet& state, float time);

    std::vector<unsigned char> _bytes;
    std::vector<std::uint32_t> _offsets; // by item index: where its bytes lie in the record
    const Packet* _packet = nullptr;     // the state the image was made from
    std::uint64_t _layout = 0;           // its layout then
};

} // namespace GNP2::replayRecord

inline void GNP2::replayRecord::Image::rebuild(Packet& state, float time)
{
    _bytes.resize(size(state));
    write(state, time, _bytes.data());
    state.takeDirty([](int, const Item&) {});
    std::size_t at = ITEMS_OFFSET;
    state.forEachItem([&](int index, const Item& item) {
        if (_offsets.size() <= std::size_t(index))
            _offsets.resize(std::size_t(index) + 1);
        _offsets[std::size_t(index)] = std::uint32_t(at + RECORD_HEADER_SIZE);
        at += RECORD_HEADER_SIZE + item.byteSize();
    });
    _packet = &state;
    _layout = state.layout();
}

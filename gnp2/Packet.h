#pragma once
// The packet: the one kind of message between a simulation and the viewer.
//
// A packet is a fixed table of 98 numbered data items plus a 32-bit header
// word (bits 0-11 object number, 12-23 carried unchanged, 24-31 object type
// code). Each item holds an element count, an element type code, a data block
// and a changed flag. The same packet is what the link decodes, what a
// scene object accumulates as its state, what the recorder writes and what
// objects send back.
//
// Wire form (little-endian, packed): uint32 frame length (counting itself),
// uint32 header word, then item records {uint8 index, int32 count, uint8 type,
// count x elementSize(type) bytes}.
//
// Threading: a packet has no lock. It is built by one thread, handed over
// through a ring and from then on touched only by its consumer.
//
// Installed with the client library: simulations compile it with their own
// settings, so it keeps to C++17.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "gnp2/GNP2Exception.h"

namespace GNP2 {

enum ElementType : std::int32_t
{
    TYPE_NONE = 0,
    TYPE_CHAR = 1,
    TYPE_INT = 3,
    TYPE_FLOAT = 5,
};

constexpr int ITEM_COUNT = 98;
// The two items every packet reserves: the time stamp in seconds (one
// float, written by the viewer as it applies the packet) and the number of
// the connection it came from (one int, written by the link).
constexpr int ITEM_TIME = 0;
constexpr int ITEM_CONNECTION = 13;
constexpr int MAX_TYPE_CODE = 6;
constexpr std::size_t FRAME_HEADER_SIZE = 8;  // length word + header word
constexpr std::size_t RECORD_HEADER_SIZE = 6; // index + count + type

// Element size in bytes for each type code 0..6.
constexpr std::size_t ELEMENT_SIZE[MAX_TYPE_CODE + 1] = {0, 1, 2, 4, 8, 4, 8};

// Header word fields.
constexpr std::uint32_t objectNumber(std::uint32_t header)
{
    return header & 0xFFFu;
}
constexpr std::uint32_t typeCode(std::uint32_t header)
{
    return header >> 24;
}
constexpr std::uint32_t makeHeader(std::uint32_t objectNumber, std::uint32_t typeCode)
{
    return (objectNumber & 0xFFFu) | (typeCode << 24);
}

// An item does not free its block itself: the packet that holds it does,
// visiting only its present items (a packet holds 98 items and typically
// carries four, and packets are freed at the full stream rate).
//
// A packet keeps the data of its first few small items in storage of its own
// (`inPacket`), so that decoding a typical update allocates nothing; such a
// block is freed with the packet. An item that changes size leaves its block
// and gets a new one.
struct Item
{
    Item() = default;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    std::size_t byteSize() const { return std::size_t(count) * ELEMENT_SIZE[type]; }
    bool present() const { return data != nullptr; }
    // Frees the data block (unless it lies in the packet); the item becomes absent.
    void reset();
    // Replaces the content with a copy of `bytes` and sets the changed flag.
    // A block of the same size is overwritten in place, else the item gets a
    // heap block of its own.
    void assign(std::int32_t newCount, std::int32_t newType, const void* bytes);
    // True when count, type and all bytes equal the given content.
    bool equals(std::int32_t otherCount, std::int32_t otherType, const void* bytes) const;

    std::int32_t count = 0;
    std::int32_t type = TYPE_NONE;
    unsigned char* data = nullptr; // owned unless inPacket; null when the item is absent
    bool changed = false;
    // The data lies in the packet's own storage: freed with the packet, never alone.
    bool inPacket = false;
};

// What parse() found; ok() is false for a malformed body, with a message
// naming what was wrong and where.
struct ParseResult
{
    bool ok() const { return error.empty(); }
    std::string error;
};

// Memory: packets are created and freed at the full stream rate, usually on
// two different threads, so a packet costs as little as possible. `new
// Packet` takes a recycled block from the PacketPool instead of the heap; the
// item table is not initialised (item i exists only while bit i of the
// presence mask is set, and item() answers an empty item for the others), so
// a new packet touches only the cache lines of the items it gets; and the data
// of its first items lie in a small block inside the packet, so decoding a
// typical update makes no allocation at all.
class Packet
{
public:
    // Bytes of item data a packet keeps in itself before items get heap blocks.
    static constexpr std::size_t INLINE_BYTES = 256;

    Packet() = default;
    // Frees the data block of every item.
    ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    // Moving hands over the header and every item, blocks included (the data
    // kept inside the packet is copied along); the source is left empty, as
    // after clear(). So a packet can be returned from a function or kept in
    // a container.
    Packet(Packet&& other) noexcept;
    Packet& operator=(Packet&& other) noexcept;

    // Packets on the heap come from the packet pool; a packet may be freed
    // on any thread.
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size) noexcept;

    // Fills this (empty) packet from a body: the header word followed by item
    // records, `length` bytes in all. A malformed body (item index >= 98, type
    // code > 6, negative count, a size that overflows, a record running past
    // the end, a body shorter than the header word) is rejected as a whole:
    // the packet is left empty and the result says why.
    ParseResult parse(const unsigned char* body, std::size_t length);

    // The number of bytes serialize() writes, length word included. Kept as
    // a running total of the item bytes, so asking costs no walk over the
    // items (the recorder asks for every packet it records).
    std::size_t serializedSize() const
    {
        const auto items =
            std::size_t(__builtin_popcountll(_present[0]) + __builtin_popcountll(_present[1]));
        return FRAME_HEADER_SIZE + RECORD_HEADER_SIZE * items + _itemBytes;
    }
    // Writes the wire form, length word included, into `out` (which must hold
    // serializedSize() bytes) and returns the length. Clears the changed flag
    // of every item written.
    std::size_t serialize(unsigned char* out);

    // Merges `incoming` into this state packet: the header word is copied;
    // each item of `incoming` with data and a non-zero count replaces this
    // packet's item unless byte-identical, in which case only the changed flag
    // is cleared.
    void update(const Packet& incoming);

    // Frees every item and zeroes the header.
    void clear();

    std::vector<float> getFloatVector(int index) const;
    std::vector<int> getIntVector(int index) const;
    std::string getString(int index) const;
    const float* getFloatArray(int index) const;
    const int* getIntArray(int index) const;
    bool hasItem(int index) const { return validIndex(index) && isPresent(index); }
    bool isChanged(int index) const { return hasItem(index) && slot(index).changed; }
    // Element count of a present item of the given type, or throws.
    int count(int index) const;

    // Setters compare first: the same type, count and values change nothing
    // (the changed flag included).
    void setFloatVector(int index, const std::vector<float>& values);
    void setIntVector(int index, const std::vector<int>& values);
    void setString(int index, const std::string& text);
    // Clears the changed flag of every item.
    void clearChanged();

    std::uint32_t header() const { return _header; }
    bool empty() const { return _present[0] == 0 && _present[1] == 0; }
    void setHeader(std::uint32_t header) { _header = header; }

    // Read access to an item (count, type, data, changed flag); an absent
    // item (or an index outside 0..97) reads as an empty one. The reference
    // is meant for reading at once: an absent item that is set later is not
    // seen through it. Items are only changed through the operations above,
    // which keep the presence mask.
    const Item& item(int index) const { return hasItem(index) ? slot(index) : ABSENT; }
    // Asks the processor to fetch the parts of the packet that applying it
    // reads first - the presence bits and header, the start of the inline
    // data, the slots of the time, the first items and the connection
    // number - without waiting for them: for a packet decoded on another
    // core, whose lines are not in this core's cache.
    void prefetch() const
    {
        __builtin_prefetch(_present);
        __builtin_prefetch(_inline + 48);
        __builtin_prefetch(_itemStorage + ITEM_TIME * sizeof(Item));
        __builtin_prefetch(_itemStorage + 2 * sizeof(Item) - 1);
        __builtin_prefetch(_itemStorage + ITEM_CONNECTION * sizeof(Item));
    }
    // For keeping a copy of the wire form up to date without writing it
    // anew (the recorder's image of an object's state). layout() changes
    // whenever an item is added or removed or gets another count or element
    // type - whenever items move in the wire form - and never returns to an
    // earlier value. The dirty items are those whose bytes were written
    // since the last takeDirty(); nothing else clears them (the changed
    // flags are cleared by every serialize() and merge).
    std::uint64_t layout() const { return _layout; }
    // Visits the dirty items in ascending index order and cleans them.
    template <typename F> void takeDirty(F&& f)
    {
        for (int word = 0; word < 2; ++word) {
            std::uint64_t bits = _dirty[word];
            _dirty[word] = 0;
            while (bits) {
                const int index = word * 64 + __builtin_ctzll(bits);
                bits &= bits - 1;
                f(index, std::as_const(slot(index)));
            }
        }
    }
    // Sets an item to raw elements of any type code 0..6 (for the element
    // types that have no typed setter), with the compare-first rule.
    void setRaw(int index, std::int32_t type, std::int32_t count, const void* bytes);
    // Removes an item.
    void removeItem(int index);

    // Visits present items in ascending index order.
    template <typename F> void forEachItem(F&& f) const
    {
        for (int word = 0; word < 2; ++word) {
            std::uint64_t bits = _present[word];
            while (bits) {
                const int index = word * 64 + __builtin_ctzll(bits);
                bits &= bits - 1;
                f(index, slot(index));
            }
        }
    }

private:
    static const Item ABSENT;

    static bool validIndex(int index) { return index >= 0 && index < ITEM_COUNT; }
    bool isPresent(int index) const { return (_present[index >> 6] >> (index & 63)) & 1u; }
    void markPresent(int index) { _present[index >> 6] |= std::uint64_t(1) << (index & 63); }
    void markAbsent(int index) { _present[index >> 6] &= ~(std::uint64_t(1) << (index & 63)); }
    // The item object of a present index.
    const Item& slot(int index) const
    {
        return *std::launder(
            reinterpret_cast<const Item*>(_itemStorage + std::size_t(index) * sizeof(Item)));
    }
    Item& slot(int index)
    {
        return *std::launder(
            reinterpret_cast<Item*>(_itemStorage + std::size_t(index) * sizeof(Item)));
    }

    const Item& checked(int index, std::int32_t type) const;
    // Sets item `index` (valid) to a copy of the elements, reusing its block
    // when the size is the same, and marks it present and changed.
    void store(int index, std::int32_t count, std::int32_t type, const void* bytes);
    // A block for `size` bytes of item data: from the inline storage while it
    // lasts (inPacket true), else from the heap.
    unsigned char* allocateBlock(std::size_t size, bool& inPacket);
    // Frees the blocks of all present items that have their own.
    void freeBlocks();
    // Takes over the content of `other` into this empty packet and empties it.
    void take(Packet& other) noexcept;

    // Bit i set exactly when item i exists and is present: lets construction,
    // destruction, serialize and merge touch only the items a packet carries
    // instead of all 98.
    std::uint64_t _present[2] = {0, 0};
    std::uint64_t _dirty[2] = {0, 0}; // see takeDirty(); a subset of _present
    std::uint64_t _layout = 0;
    std::uint32_t _header = 0;
    std::uint32_t _inlineUsed = 0; // bytes of _inline handed out since the last clear()
    std::size_t _itemBytes = 0;    // data bytes of all present items together
    // Item data of the first items; not initialised.
    alignas(8) unsigned char _inline[INLINE_BYTES];
    // Storage of the 98 items; item i is constructed when it becomes present.
    // Not initialised: a new packet writes only the mask above.
    alignas(Item) unsigned char _itemStorage[ITEM_COUNT * sizeof(Item)];
};

// Reads and writes little-endian words (the wire's byte order on any host).
inline std::uint32_t readU32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline void writeU32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

} // namespace GNP2

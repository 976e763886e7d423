#include "gnp2/Packet.h"

#include "gnp2/PacketPool.h"

#include <cstring>

namespace GNP2 {

namespace {

// Allocates a heap block for `size` bytes; never null, so that an item of
// zero elements is still present.
unsigned char* allocate(std::size_t size)
{
    return new unsigned char[size == 0 ? 1 : size];
}

// `size` bytes (from one to two words) as two possibly overlapping words,
// the first and the last, both read before either is written.
template <class Word>
inline void copyHeadAndTail(unsigned char* out, const unsigned char* in, std::size_t size)
{
    Word head, tail;
    std::memcpy(&head, in, sizeof head);
    std::memcpy(&tail, in + size - sizeof tail, sizeof tail);
    std::memcpy(out, &head, sizeof head);
    std::memcpy(out + size - sizeof tail, &tail, sizeof tail);
}

struct SixteenBytes
{
    unsigned char bytes[16];
};

// Copies item bytes. Most items of a stream are a few numbers: those are
// copied with two overlapping fixed-size moves instead of a library call.
inline void copyItemBytes(unsigned char* out, const unsigned char* in, std::size_t size)
{
    if (size > 32) {
        std::memcpy(out, in, size);
    } else if (size > 16) {
        copyHeadAndTail<SixteenBytes>(out, in, size);
    } else if (size >= 8) {
        copyHeadAndTail<std::uint64_t>(out, in, size);
    } else if (size >= 4) {
        copyHeadAndTail<std::uint32_t>(out, in, size);
    } else {
        for (std::size_t i = 0; i < size; ++i)
            out[i] = in[i];
    }
}

} // namespace

const Item Packet::ABSENT;

void Item::reset()
{
    if (!inPacket)
        delete[] data;
    data = nullptr;
    count = 0;
    type = TYPE_NONE;
    changed = false;
    inPacket = false;
}

void Item::assign(std::int32_t newCount, std::int32_t newType, const void* bytes)
{
    const std::size_t size = std::size_t(newCount) * ELEMENT_SIZE[newType];
    if (!data || byteSize() != size) {
        if (!inPacket)
            delete[] data;
        data = nullptr; // stays consistent should the allocation throw
        inPacket = false;
        data = allocate(size);
    }
    if (size)
        std::memcpy(data, bytes, size);
    count = newCount;
    type = newType;
    changed = true;
}

bool Item::equals(std::int32_t otherCount, std::int32_t otherType, const void* bytes) const
{
    if (!data || count != otherCount || type != otherType)
        return false;
    const std::size_t size = byteSize();
    return size == 0 || std::memcmp(data, bytes, size) == 0;
}

void* Packet::operator new(std::size_t size)
{
    // A larger size would be a class derived from Packet: not pooled.
    return size == sizeof(Packet) ? PacketPool::allocate(size) : ::operator new(size);
}

void Packet::operator delete(void* block, std::size_t size) noexcept
{
    if (size == sizeof(Packet))
        PacketPool::deallocate(block, size);
    else
        ::operator delete(block);
}

Packet::~Packet()
{
    freeBlocks();
}

void Packet::freeBlocks()
{
    forEachItem([](int, const Item& item) {
        if (!item.inPacket)
            delete[] item.data;
    });
}

unsigned char* Packet::allocateBlock(std::size_t size, bool& inPacket)
{
    // Inline blocks start 8-byte aligned, so that every element type can be
    // read in place; a zero-size block still takes 8 bytes, so that no two
    // items share an address.
    const std::size_t rounded = size == 0 ? 8 : (size + 7) & ~std::size_t(7);
    if (size <= INLINE_BYTES && rounded <= INLINE_BYTES - _inlineUsed) {
        unsigned char* block = _inline + _inlineUsed;
        _inlineUsed += static_cast<std::uint32_t>(rounded);
        inPacket = true;
        return block;
    }
    inPacket = false;
    return allocate(size);
}

void Packet::store(int index, std::int32_t count, std::int32_t type, const void* bytes)
{
    const std::size_t size = std::size_t(count) * ELEMENT_SIZE[type];
    Item* item = nullptr;
    if (isPresent(index)) {
        item = &slot(index);
        if (item->byteSize() != size) {
            // The old block does not fit: let it go. A block inside the
            // packet is not reused for another size; its bytes stay unused
            // until the packet is cleared.
            _itemBytes -= item->byteSize();
            item->reset();
            markAbsent(index); // until the new block is there, should allocation throw
            _dirty[index >> 6] &= ~(std::uint64_t(1) << (index & 63));
            item = nullptr;
        }
    }
    if (!item) {
        bool inPacket = false;
        unsigned char* block = allocateBlock(size, inPacket);
        item = ::new (static_cast<void*>(_itemStorage + std::size_t(index) * sizeof(Item))) Item;
        item->data = block;
        item->inPacket = inPacket;
        markPresent(index);
        _itemBytes += size;
        ++_layout;
    } else if (item->count != count || item->type != type) {
        ++_layout;
    }
    _dirty[index >> 6] |= std::uint64_t(1) << (index & 63);
    if (size)
        std::memcpy(item->data, bytes, size);
    item->count = count;
    item->type = type;
    item->changed = true;
}

ParseResult Packet::parse(const unsigned char* body, std::size_t length)
{
    clear();
    if (length < 4)
        return {"body of " + std::to_string(length) +
                " bytes is shorter than the 4-byte header word"};

    const std::uint32_t header = readU32(body);
    std::size_t offset = 4;
    while (offset < length) {
        const auto fail = [&](const std::string& what) {
            clear();
            return ParseResult{"item record at byte " + std::to_string(offset) + " " + what};
        };
        if (length - offset < RECORD_HEADER_SIZE)
            return fail("runs past the end of the " + std::to_string(length) + "-byte body");
        const int index = body[offset];
        const std::int32_t count = static_cast<std::int32_t>(readU32(body + offset + 1));
        const int type = body[offset + 5];
        if (index >= ITEM_COUNT)
            return fail("has item index " + std::to_string(index) + " (at most 97)");
        if (type > MAX_TYPE_CODE)
            return fail("has element type " + std::to_string(type) + " (at most 6)");
        if (count < 0)
            return fail("has negative count " + std::to_string(count));
        // count is at most 2^31 - 1 and an element at most 8 bytes: the
        // product fits into 64 bits, so only the remaining length matters.
        const std::uint64_t size = std::uint64_t(count) * ELEMENT_SIZE[type];
        if (size > length - offset - RECORD_HEADER_SIZE)
            return fail("with " + std::to_string(count) + " elements of " +
                        std::to_string(ELEMENT_SIZE[type]) + " bytes runs past the end of the " +
                        std::to_string(length) + "-byte body");
        store(index, count, type, body + offset + RECORD_HEADER_SIZE);
        offset += RECORD_HEADER_SIZE + std::size_t(size);
    }
    _header = header;
    return {};
}

std::size_t Packet::serialize(unsigned char* out)
{
    std::size_t offset = FRAME_HEADER_SIZE;
    writeU32(out + 4, _header);
    forEachItem([&](int index, const Item& item) {
        const std::size_t size = item.byteSize();
        out[offset] = static_cast<unsigned char>(index);
        writeU32(out + offset + 1, static_cast<std::uint32_t>(item.count));
        out[offset + 5] = static_cast<unsigned char>(item.type);
        copyItemBytes(out + offset + RECORD_HEADER_SIZE, item.data, size);
        offset += RECORD_HEADER_SIZE + size;
        slot(index).changed = false;
    });
    writeU32(out, static_cast<std::uint32_t>(offset));
    return offset;
}

void Packet::update(const Packet& incoming)
{
    _header = incoming._header;
    incoming.forEachItem([&](int index, const Item& source) {
        if (source.count == 0)
            return;
        if (isPresent(index)) {
            Item& target = slot(index);
            if (target.equals(source.count, source.type, source.data)) {
                target.changed = false;
                return;
            }
        }
        store(index, source.count, source.type, source.data);
    });
}

void Packet::clear()
{
    freeBlocks();
    _present[0] = _present[1] = 0;
    _dirty[0] = _dirty[1] = 0;
    ++_layout;
    _header = 0;
    _inlineUsed = 0;
    _itemBytes = 0;
}

Packet::Packet(Packet&& other) noexcept
{
    take(other);
}

Packet& Packet::operator=(Packet&& other) noexcept
{
    if (this != &other) {
        clear();
        take(other);
    }
    return *this;
}

void Packet::take(Packet& other) noexcept
{
    _header = other._header;
    _itemBytes = other._itemBytes;
    _inlineUsed = other._inlineUsed;
    std::memcpy(_inline, other._inline, other._inlineUsed);
    other.forEachItem([&](int index, const Item& from) {
        Item* item =
            ::new (static_cast<void*>(_itemStorage + std::size_t(index) * sizeof(Item))) Item;
        item->count = from.count;
        item->type = from.type;
        item->changed = from.changed;
        item->inPacket = from.inPacket;
        // Data inside the other packet lies at the same offset inside this one.
        item->data = from.inPacket ? _inline + (from.data - other._inline) : from.data;
        markPresent(index);
    });
    _dirty[0] = other._dirty[0];
    _dirty[1] = other._dirty[1];
    ++_layout;
    other._present[0] = other._present[1] = 0;
    other._dirty[0] = other._dirty[1] = 0;
    ++other._layout;
    other._header = 0;
    other._inlineUsed = 0;
    other._itemBytes = 0;
}

const Item& Packet::checked(int index, std::int32_t type) const
{
    if (!hasItem(index) || slot(index).type != type)
        throw GNP2Exception(ACCESSOR_ERROR, index);
    return slot(index);
}

namespace {

// The elements of a numeric item, copied out of the packet.
template <class Element> std::vector<Element> elementsOf(const Item& item)
{
    std::vector<Element> values(std::size_t(item.count));
    if (item.count)
        std::memcpy(values.data(), item.data, item.byteSize());
    return values;
}

} // namespace

std::vector<float> Packet::getFloatVector(int index) const
{
    return elementsOf<float>(checked(index, TYPE_FLOAT));
}

std::vector<int> Packet::getIntVector(int index) const
{
    return elementsOf<int>(checked(index, TYPE_INT));
}

std::string Packet::getString(int index) const
{
    const Item& item = checked(index, TYPE_CHAR);
    return std::string(reinterpret_cast<const char*>(item.data), std::size_t(item.count));
}

const float* Packet::getFloatArray(int index) const
{
    return reinterpret_cast<const float*>(checked(index, TYPE_FLOAT).data);
}

const int* Packet::getIntArray(int index) const
{
    return reinterpret_cast<const int*>(checked(index, TYPE_INT).data);
}

int Packet::count(int index) const
{
    if (!hasItem(index))
        throw GNP2Exception(ACCESSOR_ERROR, index);
    return slot(index).count;
}

void Packet::setRaw(int index, std::int32_t type, std::int32_t count, const void* bytes)
{
    if (!validIndex(index) || type < 0 || type > MAX_TYPE_CODE || count < 0)
        throw GNP2Exception(ACCESSOR_ERROR, index);
    if (isPresent(index) && slot(index).equals(count, type, bytes))
        return;
    store(index, count, type, bytes);
}

void Packet::setFloatVector(int index, const std::vector<float>& values)
{
    setRaw(index, TYPE_FLOAT, static_cast<std::int32_t>(values.size()), values.data());
}

void Packet::setIntVector(int index, const std::vector<int>& values)
{
    setRaw(index, TYPE_INT, static_cast<std::int32_t>(values.size()), values.data());
}

void Packet::setString(int index, const std::string& text)
{
    setRaw(index, TYPE_CHAR, static_cast<std::int32_t>(text.size()), text.data());
}

void Packet::removeItem(int index)
{
    if (!hasItem(index))
        return;
    _itemBytes -= slot(index).byteSize();
    slot(index).reset();
    markAbsent(index);
    _dirty[index >> 6] &= ~(std::uint64_t(1) << (index & 63));
    ++_layout;
}

void Packet::clearChanged()
{
    forEachItem([&](int index, const Item&) { slot(index).changed = false; });
}

} // namespace GNP2

// Feeds arbitrary bodies to the packet decoder. Whatever parses must
// serialize to a frame that parses again into an equal packet, and merge
// into a state packet as an equal set of items.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gnp2/Packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GNP2::Packet packet;
    if (!packet.parse(data, size).ok()) {
        if (!packet.empty() || packet.header() != 0)
            std::abort(); // a rejected body must leave the packet empty
        return 0;
    }
    std::vector<unsigned char> frame(packet.serializedSize());
    const std::size_t length = packet.serialize(frame.data());
    if (length != frame.size() || GNP2::readU32(frame.data()) != length)
        std::abort();

    GNP2::Packet again;
    if (!again.parse(frame.data() + 4, length - 4).ok())
        std::abort();
    if (again.header() != packet.header())
        std::abort();
    for (int i = 0; i < GNP2::ITEM_COUNT; ++i) {
        const GNP2::Item& a = packet.item(i);
        const GNP2::Item& b = again.item(i);
        if (a.present() != b.present())
            std::abort();
        if (a.present() && !b.equals(a.count, a.type, a.data))
            std::abort();
    }

    // Merge it into a state packet whose items have other sizes, so that every
    // carried item moves to a new block: the state must then hold the
    // packet's items, and keep its own where the packet's are empty.
    GNP2::Packet state;
    std::vector<unsigned char> filler;
    packet.forEachItem([&](int index, const GNP2::Item& item) {
        // Larger for some items, smaller for others (never the same size).
        const std::size_t size = item.byteSize();
        filler.assign(index % 2 || size == 0 ? size + 1 : size / 2,
                      static_cast<unsigned char>(index));
        state.setRaw(index, GNP2::TYPE_CHAR, static_cast<std::int32_t>(filler.size()),
                     filler.data());
    });
    state.update(again);
    bool consistent = state.header() == packet.header();
    packet.forEachItem([&](int index, const GNP2::Item& item) {
        const GNP2::Item& merged = state.item(index);
        if (item.count > 0)
            consistent = consistent && merged.equals(item.count, item.type, item.data);
        else
            consistent = consistent && merged.type == GNP2::TYPE_CHAR && merged.count == 1;
    });
    if (!consistent)
        std::abort();
    return 0;
}

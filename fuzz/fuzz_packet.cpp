// Feeds arbitrary bodies to the packet decoder. Whatever parses must
// serialize to a frame that parses again into an equal packet.
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
    return 0;
}

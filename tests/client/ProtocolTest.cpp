// The one list of kinds and items is well formed, and the C++ client's frames
// match the test vectors the Python client's test reads too.
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "orvane/Protocol.h"
#include "orvane/ProtocolTable.h"

namespace {

TEST(ProtocolList, ItemsOfAKindAreUniqueInRangeAndNamedOnce)
{
    for (const auto& kind : orvane::protocol::KINDS) {
        std::set<int> indices;
        std::set<std::string> names;
        for (int i = 0; i < kind.itemCount; ++i) {
            const auto& item = kind.items[i];
            EXPECT_TRUE(indices.insert(item.index).second) << kind.name << " item " << item.index;
            EXPECT_TRUE(names.insert(item.name).second) << kind.name << " field " << item.name;
            EXPECT_GE(item.index, 0);
            EXPECT_LT(item.index, GNP2::ITEM_COUNT);
            EXPECT_NE(item.index, GNP2::ITEM_CONNECTION) << kind.name;
        }
        EXPECT_GT(kind.itemCount, 0) << kind.name;
    }
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(trim(part));
    return parts;
}

TEST(ProtocolVectors, TheCxxClientWritesTheSharedFramesByteForByte)
{
    std::ifstream file(ORVANE_PROTOCOL_VECTORS);
    ASSERT_TRUE(file) << ORVANE_PROTOCOL_VECTORS;
    int vectors = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto fields = split(line, '|');
        ASSERT_EQ(fields.size(), 4u) << line;
        std::istringstream address(fields[1]);
        std::uint32_t object = 0, type = 0;
        address >> object >> type;
        GNP2::Packet packet;
        packet.setHeader(GNP2::makeHeader(object, type));
        for (const auto& item : split(fields[2], ';')) {
            if (item.empty())
                continue;
            std::istringstream values(item);
            int index;
            char elementType;
            values >> index >> elementType;
            if (elementType == 'c') {
                values.get();
                packet.setString(index, std::string(std::istreambuf_iterator<char>(values), {}));
            } else if (elementType == 'i') {
                std::vector<int> ints;
                for (int v; values >> v;)
                    ints.push_back(v);
                packet.setIntVector(index, ints);
            } else {
                std::vector<float> floats;
                for (float v; values >> v;)
                    floats.push_back(v);
                packet.setFloatVector(index, floats);
            }
        }
        std::vector<unsigned char> frame(packet.serializedSize());
        packet.serialize(frame.data());
        std::string hex;
        char digits[3];
        for (unsigned char byte : frame) {
            std::snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        EXPECT_EQ(hex, fields[3]) << fields[0];
        ++vectors;
    }
    EXPECT_GE(vectors, 5);
}

} // namespace

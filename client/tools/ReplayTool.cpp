#include "client/tools/ReplayTool.h"

#include <algorithm>
#include <compare>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <stdexcept>

#include "client/tools/McapExport.h"
#include "gnp2/ReplayRecord.h"
#include "orvane/ProtocolTable.h"

namespace orvane::replaytool {

namespace {

// The time stamp and the length word, read before the rest of a record.
constexpr std::size_t RECORD_HEAD = GNP2::replayRecord::HEADER_OFFSET;

float readFloat(const unsigned char* p)
{
    const std::uint32_t bits = GNP2::readU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Decodes the packet of a sound record (the scan checked that it parses).
void decode(const Record& record, GNP2::Packet& packet)
{
    const auto result = packet.parse(record.frame.data() + 4, record.frame.size() - 4);
    if (!result.ok())
        throw std::logic_error("a scanned record does not decode: " + result.error);
}

// An object is told apart by its connection (item 13) and its number, as
// the viewer's replay tells them apart: records without a connection belong
// to objects of their own.
struct ObjectKey
{
    std::int32_t connection;
    std::uint32_t number;
    auto operator<=>(const ObjectKey&) const = default;
};

ObjectKey objectKey(const GNP2::Packet& packet)
{
    return {GNP2::connectionOf(packet), GNP2::objectNumber(packet.header())};
}

std::string number(double value)
{
    if (!std::isfinite(value))
        return "null"; // JSON has no NaN or infinity
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

void jsonString(std::ostream& out, const unsigned char* p, std::size_t n)
{
    out << '"';
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\')
            out << '\\' << char(c);
        else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out << escaped;
        } else
            out << char(c);
    }
    out << '"';
}

void dumpRecord(std::ostream& out, const Record& record)
{
    GNP2::Packet packet;
    decode(record, packet);
    const std::uint32_t type = GNP2::typeCode(packet.header());
    const auto* kind = kindOf(type);
    out << "{\"offset\":" << record.offset << ",\"time\":" << number(record.time)
        << ",\"connection\":" << GNP2::connectionOf(packet)
        << ",\"object\":" << GNP2::objectNumber(packet.header()) << ",\"type\":" << type;
    if (kind)
        out << ",\"kind\":\"" << kind->name << '"';
    out << ",\"items\":[";
    bool first = true;
    packet.forEachItem([&](int index, const GNP2::Item& item) {
        out << (first ? "" : ",") << "{\"index\":" << index;
        first = false;
        if (const char* name = itemName(kind, index))
            out << ",\"name\":\"" << name << '"';
        switch (item.type) {
        case GNP2::TYPE_CHAR:
            out << ",\"type\":\"char\",\"text\":";
            jsonString(out, item.data, std::size_t(item.count));
            break;
        case GNP2::TYPE_INT:
        case GNP2::TYPE_FLOAT: {
            const bool isInt = item.type == GNP2::TYPE_INT;
            out << ",\"type\":\"" << (isInt ? "int" : "float") << "\",\"values\":[";
            for (std::int32_t i = 0; i < item.count; ++i) {
                const unsigned char* p = item.data + 4 * std::size_t(i);
                out << (i ? "," : "");
                if (isInt)
                    out << std::int32_t(GNP2::readU32(p));
                else
                    out << number(readFloat(p));
            }
            out << ']';
            break;
        }
        default: {
            out << ",\"type\":" << item.type << ",\"bytes\":\"";
            char hex[4];
            for (std::size_t i = 0; i < item.byteSize(); ++i) {
                std::snprintf(hex, sizeof hex, "%02x", item.data[i]);
                out << hex;
            }
            out << '"';
        }
        }
        out << '}';
    });
    out << "]}\n";
}

int info(const std::string& path, std::ostream& out, std::ostream& err)
{
    std::size_t records = 0, frames = 0;
    float first = 0.f, last = 0.f, lowest = 0.f, highest = 0.f;
    std::map<std::uint32_t, std::set<ObjectKey>> objectsByType;
    std::map<std::uint32_t, std::size_t> recordsByType;
    std::uint64_t size = 0;
    const auto damage = scanReplay(path, [&](const Record& record) {
        GNP2::Packet packet;
        decode(record, packet);
        const std::uint32_t type = GNP2::typeCode(packet.header());
        objectsByType[type].insert(objectKey(packet));
        ++recordsByType[type];
        if (records == 0 || record.time != last)
            ++frames;
        if (records == 0)
            first = lowest = highest = record.time;
        last = record.time;
        lowest = std::min(lowest, record.time);
        highest = std::max(highest, record.time);
        ++records;
        size = record.offset + GNP2::replayRecord::size(std::uint32_t(record.frame.size()));
    });
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    out << "file: " << path << "\nsize: " << std::uint64_t(file.tellg()) << " bytes\n"
        << "records: " << records << "\nframes: " << frames << '\n';
    if (records)
        out << "time: " << number(first) << " to " << number(last) << " s"
            << (lowest != first || highest != last
                    ? " (lowest " + number(lowest) + ", highest " + number(highest) + ")"
                    : std::string())
            << '\n';
    std::size_t objects = 0;
    for (const auto& [type, keys] : objectsByType)
        objects += keys.size();
    out << "objects: " << objects << '\n';
    for (const auto& [type, keys] : objectsByType) {
        const auto* kind = kindOf(type);
        out << "  type " << type << " (" << (kind ? kind->name : "unknown") << "): " << keys.size()
            << (keys.size() == 1 ? " object, " : " objects, ") << recordsByType[type]
            << (recordsByType[type] == 1 ? " record\n" : " records\n");
    }
    if (damage) {
        err << path << ": bad record at offset " << damage->offset << ": " << damage->reason << " ("
            << size << " bytes before it are sound)\n";
        return 1;
    }
    return 0;
}

int dump(const std::string& path, std::ostream& out, std::ostream& err)
{
    const auto damage = scanReplay(path, [&](const Record& record) { dumpRecord(out, record); });
    if (damage) {
        err << path << ": bad record at offset " << damage->offset << ": " << damage->reason
            << '\n';
        return 1;
    }
    return 0;
}

int check(const std::string& path, std::ostream& out, std::ostream& err)
{
    std::size_t records = 0;
    const auto damage = scanReplay(path, [&](const Record&) { ++records; });
    if (damage) {
        err << path << ": bad record at offset " << damage->offset << ": " << damage->reason
            << " (after " << records << (records == 1 ? " good record)\n" : " good records)\n");
        return 1;
    }
    out << path << ": " << records << (records == 1 ? " record" : " records") << ", no damage\n";
    return 0;
}

// A record carrying `packet` stamped with `time` (record and item 0).
std::vector<unsigned char> restamped(GNP2::Packet& packet, float time)
{
    GNP2::setTime(packet, time);
    std::vector<unsigned char> bytes(GNP2::replayRecord::size(packet));
    GNP2::replayRecord::write(packet, time, bytes.data());
    return bytes;
}

bool parseTime(const std::string& text, float& value)
{
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

int cut(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::optional<float> from, to;
    std::vector<std::string> files;
    bool force = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--force") {
            force = true;
        } else if (args[i] == "--from" || args[i] == "--to") {
            float value;
            if (i + 1 >= args.size() || !parseTime(args[i + 1], value)) {
                err << "orvane-replay cut: " << args[i] << " needs a time in seconds\n";
                return 2;
            }
            (args[i] == "--from" ? from : to) = value;
            ++i;
        } else
            files.push_back(args[i]);
    }
    if (!from || !to || files.size() != 2) {
        err << "usage: orvane-replay cut --from T0 --to T1 [--force] FILE OUT\n";
        return 2;
    }
    if (*from > *to) {
        err << "orvane-replay cut: --from " << number(*from) << " is after --to " << number(*to)
            << '\n';
        return 2;
    }
    if (files[0] == files[1]) {
        err << "orvane-replay cut: OUT must not be the file being cut\n";
        return 2;
    }
    std::error_code missing;
    if (!force && std::filesystem::exists(files[1], missing)) {
        err << "orvane-replay cut: " << files[1]
            << " exists; nothing written (--force overwrites it)\n";
        return 1;
    }
    // Time stamps that go back are applied where they were live: at the
    // latest time before them (as the viewer's replay indexes them).
    float latest = -INFINITY;
    std::map<ObjectKey, Record> stateAtFrom; // latest record per object up to T0
    std::vector<unsigned char> inRange;      // records after T0 up to T1
    std::size_t kept = 0;
    std::optional<float> first;
    const auto damage = scanReplay(files[0], [&](const Record& record) {
        if (!first)
            first = record.time;
        latest = std::max(latest, record.time);
        if (latest <= *from) {
            GNP2::Packet packet;
            decode(record, packet);
            stateAtFrom[objectKey(packet)] = record;
        } else if (latest <= *to) {
            unsigned char stamp[GNP2::replayRecord::FRAME_OFFSET];
            GNP2::replayRecord::writeTime(stamp, record.time);
            inRange.insert(inRange.end(), stamp, stamp + GNP2::replayRecord::FRAME_OFFSET);
            inRange.insert(inRange.end(), record.frame.begin(), record.frame.end());
            ++kept;
        }
    });
    if (damage) {
        err << files[0] << ": bad record at offset " << damage->offset << ": " << damage->reason
            << "; nothing written\n";
        return 1;
    }
    // A range that meets no record would be a file of nothing or of mere
    // leftovers: most likely the times were mistyped.
    if (!first) {
        err << "orvane-replay cut: " << files[0] << " holds no records; nothing written\n";
        return 1;
    }
    if (*from > latest || *to < *first) {
        err << "orvane-replay cut: the range " << number(*from) << " to " << number(*to)
            << " s lies " << (*from > latest ? "after" : "before")
            << " the recording, which runs from " << number(*first) << " to " << number(latest)
            << " s; nothing written\n";
        return 1;
    }
    // The objects' states at T0 first, in the order they were last recorded.
    std::vector<const Record*> states;
    for (const auto& [key, record] : stateAtFrom)
        states.push_back(&record);
    std::sort(states.begin(), states.end(),
              [](const Record* a, const Record* b) { return a->offset < b->offset; });
    std::ofstream file(files[1], std::ios::binary | std::ios::trunc);
    for (const Record* record : states) {
        GNP2::Packet packet;
        decode(*record, packet);
        const auto bytes = restamped(packet, *from);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    file.write(reinterpret_cast<const char*>(inRange.data()), std::streamsize(inRange.size()));
    file.close();
    if (!file) {
        err << "orvane-replay cut: cannot write " << files[1] << '\n';
        return 1;
    }
    out << files[1] << ": " << states.size() << " object states at " << number(*from) << " s and "
        << kept << " records up to " << number(*to) << " s\n";
    return 0;
}

const char* const USAGE = "usage: orvane-replay info FILE\n"
                          "       orvane-replay dump FILE\n"
                          "       orvane-replay cut --from T0 --to T1 [--force] FILE OUT\n"
                          "       orvane-replay check FILE\n"
                          "       orvane-replay export-mcap FILE OUT [--from T0 --to T1]\n"
                          "                                 [--compression none|zstd|lz4]\n";

} // namespace

const protocol::KindInfo* kindOf(std::uint32_t code)
{
    for (const auto& kind : protocol::KINDS)
        if (kind.code == code)
            return &kind;
    return nullptr;
}

const char* itemName(const protocol::KindInfo* kind, int index)
{
    if (kind)
        for (int i = 0; i < kind->itemCount; ++i)
            if (kind->items[i].index == index)
                return kind->items[i].name;
    for (const auto& item : protocol::EVERY_PACKET)
        if (item.index == index)
            return item.name;
    return nullptr;
}

std::optional<Damage> scanReplay(const std::string& path,
                                 const std::function<void(const Record&)>& visit)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    const std::uint64_t size = std::uint64_t(file.tellg());
    file.seekg(0);
    Record record;
    std::uint64_t offset = 0;
    while (offset < size) {
        const std::uint64_t left = size - offset;
        if (left < GNP2::replayRecord::MIN_SIZE)
            return Damage{offset, "the record is cut short: " + std::to_string(left) +
                                      " bytes left, a record needs at least 12"};
        unsigned char head[RECORD_HEAD];
        if (!file.read(reinterpret_cast<char*>(head), RECORD_HEAD))
            return Damage{offset, "the file cannot be read here"};
        const float time = GNP2::replayRecord::time(head);
        const std::uint32_t length = GNP2::replayRecord::length(head);
        if (std::isnan(time))
            return Damage{offset, "the time stamp is not a number"};
        if (length < GNP2::replayRecord::MIN_LENGTH)
            return Damage{offset, "packet length " + std::to_string(length) +
                                      " is below 8, the least a packet takes"};
        if (GNP2::replayRecord::size(length) > left)
            return Damage{offset, "packet length " + std::to_string(length) +
                                      " runs past the end of the file (" +
                                      std::to_string(left - GNP2::replayRecord::FRAME_OFFSET) +
                                      " bytes left)"};
        record.offset = offset;
        record.time = time;
        record.frame.resize(length);
        std::memcpy(record.frame.data(), head + GNP2::replayRecord::FRAME_OFFSET, 4);
        if (!file.read(reinterpret_cast<char*>(record.frame.data() + 4), length - 4))
            return Damage{offset, "the file cannot be read here"};
        GNP2::Packet packet;
        const auto parsed = packet.parse(record.frame.data() + 4, length - 4);
        if (!parsed.ok())
            return Damage{offset, "the packet is malformed: " + parsed.error};
        visit(record);
        offset += GNP2::replayRecord::size(length);
    }
    return std::nullopt;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << USAGE;
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    try {
        if (command == "cut")
            return cut(args, out, err);
        if (command == "export-mcap")
            return exportMcap(args, out, err);
        if (args.size() != 2 || (command != "info" && command != "dump" && command != "check")) {
            err << (command == "info" || command == "dump" || command == "check"
                        ? "orvane-replay " + command + ": needs exactly one FILE\n"
                        : "orvane-replay: unknown command '" + command + "'\n")
                << USAGE;
            return 2;
        }
        if (command == "info")
            return info(args[1], out, err);
        if (command == "dump")
            return dump(args[1], out, err);
        return check(args[1], out, err);
    } catch (const std::runtime_error& error) {
        err << "orvane-replay " << command << ": " << error.what() << '\n';
        return 1;
    }
}

} // namespace orvane::replaytool

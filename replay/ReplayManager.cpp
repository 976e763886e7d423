#include "replay/ReplayManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "log/Log.h"
#include "gnp2/Packet.h"

namespace {

constexpr std::size_t RECORD_HEAD = 12; // time stamp, length word, header word
constexpr std::size_t CHUNK = std::size_t(4) << 20;
constexpr int CONNECTION_ITEM = 13;

float floatAt(const unsigned char* p)
{
    const std::uint32_t bits = GNP2::readU32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Reads a file front to back through one large buffer; bytes at any offset
// at or after the current window start can be asked for.
class ChunkReader
{
public:
    explicit ChunkReader(std::ifstream& in, std::uint64_t size) : _in(in), _size(size)
    {
        _data.resize(std::size_t(std::min<std::uint64_t>(CHUNK, size)));
    }

    // Pointer to `n` bytes at `offset`, or null when the file has fewer.
    const unsigned char* at(std::uint64_t offset, std::size_t n)
    {
        if (offset + n > _size)
            return nullptr;
        if (offset < _start || offset + n > _start + _filled) {
            if (n > _data.size())
                _data.resize(n);
            _in.clear();
            _in.seekg(std::streamoff(offset));
            const std::uint64_t want = std::min<std::uint64_t>(_data.size(), _size - offset);
            _in.read(reinterpret_cast<char*>(_data.data()), std::streamsize(want));
            _start = offset;
            _filled = std::size_t(_in.gcount());
            if (n > _filled)
                return nullptr;
        }
        return _data.data() + (offset - _start);
    }

private:
    std::ifstream& _in;
    std::uint64_t _size;
    std::vector<unsigned char> _data;
    std::uint64_t _start = 0;
    std::size_t _filled = 0;
};

} // namespace

ReplayManager::ReplayManager(const std::string& path) : _fileName(path)
{
    console::writeLine(console::LEVEL_4, "Starting replay using file: " + path);
    openAndIndex();
}

ReplayManager::~ReplayManager() = default;

void ReplayManager::openAndIndex()
{
    _index.clear();
    _fileSize = 0;
    _objectStart.clear();
    _objectRecords.clear();
    _objects = 0;
    open(_fileName, std::ios::binary);
    if (!is_open()) {
        console::writeLine(console::LEVEL_16, "[ReplayManager] unable to open file!");
        console::show();
        return;
    }
    buildIndex();
    clear();
}

void ReplayManager::buildIndex()
{
    seekg(0, std::ios::end);
    const std::streamoff fileEnd = tellg();
    if (fileEnd <= 0) {
        clear();
        seekg(0);
        return;
    }
    const std::uint64_t size = std::uint64_t(fileEnd);
    _fileSize = size;
    ChunkReader reader(*this, size);
    _index.reserve(std::size_t(size / 64));

    // Object numbers: a direct table for the usual connection numbers (one
    // block of 4096 per connection, made when the connection first shows
    // up: a file is usually one connection's, and a damaged file is
    // indexed again after each read error), a map for the rest.
    constexpr std::int64_t DIRECT_CONNECTIONS = 64;
    std::vector<std::vector<std::int32_t>> direct(DIRECT_CONNECTIONS);
    std::unordered_map<std::uint64_t, std::uint32_t> others;
    std::uint32_t objects = 0;
    auto objectOf = [&](std::int64_t connection, std::uint32_t number) {
        if (connection >= -1 && connection < DIRECT_CONNECTIONS - 1) {
            std::vector<std::int32_t>& block = direct[std::size_t(connection + 1)];
            if (block.empty())
                block.assign(std::size_t(1) << 12, -1);
            std::int32_t& slot = block[number];
            if (slot < 0)
                slot = std::int32_t(objects++);
            return std::uint32_t(slot);
        }
        auto [found, added] =
            others.try_emplace((std::uint64_t(connection + 1) << 12) | number, objects);
        if (added)
            ++objects;
        return found->second;
    };

    std::string stop; // why the file stops being readable, if it does
    std::uint64_t position = 0;
    // The latest time stamp so far. A record stamped earlier is indexed at
    // this time, in file order: the index stays sorted for the searches, and
    // the record replays right after those written before it, in the order
    // it was applied live.
    float latest = -INFINITY;
    std::size_t backwards = 0;
    while (position < size) {
        const unsigned char* head = reader.at(position, RECORD_HEAD);
        if (!head) {
            if (size - position >= 8) {
                // Time stamp and length are there, the header word is not:
                // index it like any record cut short.
                head = reader.at(position, 8);
            } else {
                stop = "the record at byte " + std::to_string(position) + " is cut short after " +
                       std::to_string(size - position) + " bytes";
                break;
            }
        }
        const float time = floatAt(head);
        const std::uint32_t length = GNP2::readU32(head + 4);
        if (length < 8) {
            stop = "the record at byte " + std::to_string(position) + " has length " +
                   std::to_string(length) + ", below the minimum of 8";
            break;
        }
        if (std::isnan(time)) {
            stop =
                "the record at byte " + std::to_string(position) + " has no valid time stamp (NaN)";
            break;
        }
        if (time < latest)
            ++backwards;
        else
            latest = time;

        // The object: header bits 0-11 and the connection number (item 13),
        // found by hopping over the item records that come before it.
        const std::uint64_t recordEnd = position + 4 + length;
        const std::uint64_t available = std::min(recordEnd, size) - position;
        std::uint32_t number = 0;
        std::int64_t connection = -1;
        if (available >= RECORD_HEAD) {
            // Usually the whole record is in the buffer: hop in memory.
            const unsigned char* record =
                available <= CHUNK ? reader.at(position, std::size_t(available)) : nullptr;
            auto bytesAt = [&](std::uint64_t offset, std::size_t n) -> const unsigned char* {
                if (offset + n > available)
                    return nullptr;
                return record ? record + offset : reader.at(position + offset, n);
            };
            number = GNP2::objectNumber(GNP2::readU32(bytesAt(8, 4)));
            std::uint64_t item = RECORD_HEAD;
            while (const unsigned char* r = bytesAt(item, 6)) {
                if (r[0] > CONNECTION_ITEM || r[5] > GNP2::MAX_TYPE_CODE)
                    break;
                const std::int32_t count = std::int32_t(GNP2::readU32(r + 1));
                if (count < 0)
                    break;
                if (r[0] == CONNECTION_ITEM) {
                    const unsigned char* value =
                        r[5] == GNP2::TYPE_INT && count >= 1 ? bytesAt(item + 6, 4) : nullptr;
                    if (value)
                        connection = std::int32_t(GNP2::readU32(value));
                    break;
                }
                item += 6 + std::uint64_t(count) * GNP2::ELEMENT_SIZE[r[5]];
            }
        }
        _index.push_back({latest, objectOf(connection, number), position});

        if (recordEnd > size)
            break; // cut in the middle of its data: indexed, reading it will fail
        position = recordEnd;
    }
    if (backwards > 0)
        console::writeLine(console::LEVEL_8,
                           "[ReplayManager] " + _fileName + ": the time goes backwards at " +
                               std::to_string(backwards) +
                               (backwards == 1 ? " record" : " records") +
                               "; each is replayed in file order at the time before it");
    if (!stop.empty())
        console::writeLine(console::LEVEL_16, "[ReplayManager] " + _fileName +
                                                  " is readable up to byte " +
                                                  std::to_string(position) + ": " + stop);
    _objects = objects;
    clear();
    seekg(0);
}

void ReplayManager::groupRecordsByObject(std::size_t objects)
{
    if (_objectStart.size() == objects + 1)
        return;
    // Counting sort of the record numbers by object: one flat array.
    _objectStart.assign(objects + 1, 0);
    for (const ReplayIndexEntry& entry : _index)
        ++_objectStart[entry.object + 1];
    for (std::size_t o = 0; o < objects; ++o)
        _objectStart[o + 1] += _objectStart[o];
    _objectRecords.resize(_index.size());
    std::vector<std::uint32_t> fill(_objectStart.begin(), _objectStart.end() - 1);
    for (std::size_t i = 0; i < _index.size(); ++i)
        _objectRecords[fill[_index[i].object]++] = std::uint32_t(i);
}

float ReplayManager::firstTime() const
{
    return _index.empty() ? 0.0f : _index.front().time;
}

float ReplayManager::lastTime() const
{
    return _index.empty() ? 0.0f : _index.back().time;
}

std::size_t ReplayManager::findRecord(float t) const
{
    if (_index.empty() || t < firstTime())
        return 0;
    if (t > lastTime())
        return _index.size();
    std::ptrdiff_t i = lastAtOrBefore(t);
    while (i > 0 && _index[std::size_t(i - 1)].time >= _index[std::size_t(i)].time)
        --i;
    return std::size_t(i);
}

std::ptrdiff_t ReplayManager::lastAtOrBefore(float t) const
{
    return std::ptrdiff_t(firstAfter(t)) - 1;
}

std::size_t ReplayManager::firstAfter(float t) const
{
    const auto it = std::upper_bound(_index.begin(), _index.end(), t,
                                     [](float v, const ReplayIndexEntry& e) { return v < e.time; });
    return std::size_t(it - _index.begin());
}

std::vector<GNP2::Packet*> ReplayManager::getPackets(float t)
{
    std::vector<GNP2::Packet*> packets;
    if (_index.empty())
        return packets;
    std::size_t i = std::min(findRecord(t), _index.size() - 1);
    const float frame = _index[i].time;
    while (i < _index.size() && _index[i].time == frame) {
        readInto(i, packets);
        ++i;
    }
    return packets;
}

std::vector<GNP2::Packet*> ReplayManager::getPacketsForMove(std::optional<float> from, float to)
{
    std::vector<GNP2::Packet*> packets;
    if (_index.empty())
        return packets;
    // The per-object lists are built on the first move, not while indexing:
    // opening a long recording stays as fast as reading it.
    groupRecordsByObject(_objects);
    to = std::max(to, firstTime());

    // The objects updated in (low, high]; all objects when there is no start.
    std::vector<std::uint32_t> changed;
    if (!from) {
        changed.resize(objectCount());
        for (std::uint32_t o = 0; o < changed.size(); ++o)
            changed[o] = o;
    } else {
        const float low = std::min(*from, to), high = std::max(*from, to);
        const std::size_t begin = firstAfter(low);
        const std::size_t stop = firstAfter(high);
        if (begin >= stop)
            return packets;
        if (stop - begin > objectCount()) {
            // A long jump: ask each object instead of walking the records.
            for (std::uint32_t o = 0; o < objectCount(); ++o) {
                const Records list = recordsOf(o);
                const std::uint32_t* it =
                    std::lower_bound(list.begin, list.end, std::uint32_t(begin));
                if (it != list.end && *it < stop)
                    changed.push_back(o);
            }
        } else {
            std::vector<bool> seen(objectCount());
            for (std::size_t i = begin; i < stop; ++i)
                if (!seen[_index[i].object]) {
                    seen[_index[i].object] = true;
                    changed.push_back(_index[i].object);
                }
        }
    }

    // Each changed object's latest record at or before `to`.
    const std::ptrdiff_t last = lastAtOrBefore(to);
    std::vector<std::uint32_t> records;
    for (std::uint32_t o : changed) {
        const Records list = recordsOf(o);
        const std::uint32_t* it = std::upper_bound(list.begin, list.end, std::uint32_t(last));
        if (it != list.begin)
            records.push_back(*(it - 1));
    }
    std::sort(records.begin(), records.end());
    for (std::uint32_t r : records)
        readInto(r, packets);
    return packets;
}

void ReplayManager::readInto(std::size_t i, std::vector<GNP2::Packet*>& packets)
{
    auto* packet = new GNP2::Packet;
    if (readRecord(i, *packet)) {
        packets.push_back(packet);
        return;
    }
    delete packet;
    console::writeLine(console::LEVEL_4, "[ReplayManager] File read error!");
    clear();
    close();
    openAndIndex();
}

bool ReplayManager::readRecord(std::size_t i, GNP2::Packet& packet)
{
    if (i >= _index.size())
        return false;
    if (!good())
        reportStreamError();
    clear();
    seekg(std::streamoff(_index[i].position) + 4);
    unsigned char lengthWord[4];
    if (!read(reinterpret_cast<char*>(lengthWord), 4))
        return false;
    const std::uint32_t length = GNP2::readU32(lengthWord);
    // A length running past the end of the file (a record cut short, or
    // damaged) cannot be read: no buffer is made for it.
    if (length < 8 || _index[i].position + 4 + length > _fileSize)
        return false;
    _buffer.resize(length - 4);
    if (!read(reinterpret_cast<char*>(_buffer.data()), std::streamsize(_buffer.size())))
        return false;
    ++_recordsRead;
    return packet.parse(_buffer.data(), _buffer.size()).ok();
}

void ReplayManager::reportStreamError()
{
    console::writeLine(console::LEVEL_16, "[ReplayManager] File error present!");
    console::show();
}

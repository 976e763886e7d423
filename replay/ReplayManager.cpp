#include "replay/ReplayManager.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "log/Log.h"
#include "gnp2/ReplayRecord.h"

namespace {

constexpr std::size_t RECORD_HEAD =
    GNP2::replayRecord::MIN_SIZE; // time stamp, length word, header word
// The block the index is built from: large enough that a read costs little
// beside its bytes, small enough to stay in the processor's cache while the
// records in it are hopped over.
constexpr std::size_t BLOCK = std::size_t(256) << 10;
// Records to read back lying at most FETCH_GAP bytes apart are fetched with
// one read of at most FETCH_SPAN bytes: reading a small gap costs less than
// another read call.
constexpr std::uint64_t FETCH_GAP = 16 << 10;
constexpr std::uint64_t FETCH_SPAN = std::uint64_t(1) << 20;
constexpr int CONNECTION_ITEM = GNP2::ITEM_CONNECTION;

// Reads a file front to back through one block-sized buffer; bytes at any
// offset can be asked for, those at or after the current block come without
// a read.
class BlockReader
{
public:
    BlockReader(std::ifstream& in, std::uint64_t size, std::vector<unsigned char>& buffer)
        : _in(in), _size(size), _data(buffer)
    {
        _data.resize(std::size_t(std::min<std::uint64_t>(BLOCK, size)));
    }

    // Pointer to `n` bytes at `offset`, or null when the file has fewer.
    const unsigned char* at(std::uint64_t offset, std::size_t n)
    {
        if (offset >= _start && offset + n <= _start + _filled)
            return _data.data() + (offset - _start);
        return fill(offset, n);
    }

    // The block read last: its first byte's offset in the file, its bytes.
    std::uint64_t start() const { return _start; }
    std::size_t filled() const { return _filled; }
    const unsigned char* data() const { return _data.data(); }

private:
    const unsigned char* fill(std::uint64_t offset, std::size_t n)
    {
        if (offset + n > _size)
            return nullptr;
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
        return _data.data();
    }

    std::ifstream& _in;
    std::uint64_t _size;
    std::vector<unsigned char>& _data;
    std::uint64_t _start = 0;
    std::size_t _filled = 0;
};

// The connection number (item 13) of a record, found by hopping over the
// item records before it; GNP2::NO_CONNECTION when the record has none or
// is damaged before it. `bytesAt(offset, n)` gives n bytes at an offset into the record, or
// null past its end.
template <class Bytes> std::int64_t connectionOf(Bytes&& bytesAt)
{
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
            return value ? std::int32_t(GNP2::readU32(value)) : GNP2::NO_CONNECTION;
        }
        item += 6 + std::uint64_t(count) * GNP2::ELEMENT_SIZE[r[5]];
    }
    return GNP2::NO_CONNECTION;
}

// The connection numbers of records wholly in memory, found without a walk
// for most of them. A walk from item to item is a chain of dependent reads,
// each waiting for the count before it; but the records of one object type
// usually share their layout up to item 13. So the item headers (index,
// count, element type: 6 bytes each) that the last walk over a record of a
// type met, and where, are kept; a record of that type showing the same
// headers at the same places leads a walk to the same item 13, whose value
// is then read directly - the headers compared independently of each other.
// Any difference, and the record is walked and its layout kept instead.
class ConnectionFinder
{
public:
    // `record` holds `bytes` bytes, at least RECORD_HEAD.
    [[gnu::always_inline]] std::int64_t operator()(const unsigned char* record, std::size_t bytes)
    {
        const Layout& layout = _layouts[record[11]]; // header bits 24-31: the type code
        if (bytes >= layout.needed) {
            // Four at a time: the layout repeats its last header up to a
            // multiple of four.
            std::uint64_t differ = 0;
            for (std::size_t k = 0; k < layout.count; k += 4)
                differ |= (load64(record + layout.offsets[k]) ^ layout.heads[k]) |
                          (load64(record + layout.offsets[k + 1]) ^ layout.heads[k + 1]) |
                          (load64(record + layout.offsets[k + 2]) ^ layout.heads[k + 2]) |
                          (load64(record + layout.offsets[k + 3]) ^ layout.heads[k + 3]);
            if ((differ & HEAD_BITS) == 0)
                return std::int32_t(GNP2::readU32(record + layout.needed - 4));
        }
        return walk(record, bytes);
    }

private:
    // Walks the record and keeps its layout for its type.
    [[gnu::noinline]] std::int64_t walk(const unsigned char* record, std::size_t bytes)
    {
        Layout& layout = _layouts[record[11]];
        std::uint32_t offsets[MAX_ITEMS];
        std::size_t visited = 0;
        const std::int64_t connection =
            connectionOf([&](std::uint64_t offset, std::size_t n) -> const unsigned char* {
                if (offset + n > bytes)
                    return nullptr;
                if (n == 6 && visited++ < MAX_ITEMS)
                    offsets[visited - 1] = std::uint32_t(offset);
                return record + offset;
            });
        // Kept when the walk read a value at item 13 within MAX_ITEMS items.
        layout.needed = std::size_t(-1);
        if (visited == 0 || visited > MAX_ITEMS)
            return connection;
        const unsigned char* last = record + offsets[visited - 1];
        if (last[0] != CONNECTION_ITEM || last[5] != GNP2::TYPE_INT ||
            std::int32_t(GNP2::readU32(last + 1)) < 1 || offsets[visited - 1] + 10u > bytes)
            return connection;
        layout.count = (visited + 3) / 4 * 4;
        for (std::size_t k = 0; k < layout.count; ++k) {
            layout.offsets[k] = offsets[std::min(k, visited - 1)];
            layout.heads[k] = load64(record + layout.offsets[k]) & HEAD_BITS;
        }
        layout.needed = offsets[visited - 1] + 10u;
        return connection;
    }

    // Items 0 to 13 once each: more is a damaged record, walked every time.
    static constexpr std::size_t MAX_ITEMS = CONNECTION_ITEM + 1;
    // The 6 bytes of an item header in 8 bytes loaded at its start.
    static constexpr std::uint64_t HEAD_BITS = std::endian::native == std::endian::little
                                                   ? 0x0000'FFFF'FFFF'FFFFu
                                                   : 0xFFFF'FFFF'FFFF'0000u;

    // 8 bytes at p, in the host's order; the 2 after a header are masked off.
    static std::uint64_t load64(const unsigned char* p)
    {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }

    struct Layout
    {
        std::size_t needed = std::size_t(-1); // record bytes it applies to at least; none yet
        std::size_t count = 0;
        std::uint32_t offsets[(MAX_ITEMS + 3) / 4 * 4];
        std::uint64_t heads[(MAX_ITEMS + 3) / 4 * 4];
    };
    std::vector<Layout> _layouts = std::vector<Layout>(256);
};

// Object numbers for (connection, object number) pairs, handed out in order
// of first appearance: a direct table for the usual connection numbers (one
// block of 4096 per connection, made when the connection first shows up: a
// file is usually one connection's, and a damaged file is indexed again after
// each read error), a map for the rest.
class ObjectNumbers
{
public:
    static constexpr std::uint32_t UNKNOWN = std::uint32_t(-1);
    // The number of a pair seen before on the connection of the last pair
    // handed out, or UNKNOWN.
    [[gnu::always_inline]] std::uint32_t known(std::int64_t connection, std::uint32_t number) const
    {
        return connection == _lastConnection && _lastBlock ? std::uint32_t(_lastBlock[number])
                                                           : UNKNOWN;
    }
    // The number of any pair, handed out now when it is new.
    [[gnu::noinline]] std::uint32_t add(std::int64_t connection, std::uint32_t number)
    {
        if (connection != _lastConnection) {
            _lastConnection = connection;
            _lastBlock = nullptr;
            if (connection >= -1 && connection < DIRECT_CONNECTIONS - 1) {
                std::vector<std::int32_t>& block = _direct[std::size_t(connection + 1)];
                if (block.empty())
                    block.assign(std::size_t(1) << 12, -1);
                _lastBlock = block.data();
            }
        }
        if (_lastBlock) {
            std::int32_t& slot = _lastBlock[number];
            if (slot < 0)
                slot = std::int32_t(_count++);
            return std::uint32_t(slot);
        }
        auto [found, added] =
            _others.try_emplace((std::uint64_t(connection + 1) << 12) | number, _count);
        if (added)
            ++_count;
        return found->second;
    }
    std::size_t count() const { return _count; }

private:
    static constexpr std::int64_t DIRECT_CONNECTIONS = 64;
    std::vector<std::vector<std::int32_t>> _direct{DIRECT_CONNECTIONS};
    std::unordered_map<std::uint64_t, std::uint32_t> _others;
    std::int64_t _lastConnection = INT64_MIN;
    std::int32_t* _lastBlock = nullptr;
    std::uint32_t _count = 0;
};

} // namespace

ReplayManager::ReplayManager(const std::string& path, Progress progress)
    : _fileName(path), _progress(std::move(progress))
{
    console::writeLine(console::LEVEL_4, "Starting replay using file: " + path);
    openAndIndex();
}

ReplayManager::~ReplayManager() = default;

void ReplayManager::openAndIndex()
{
    _index.clear();
    _undecodable.clear();
    _fileSize = 0;
    _damage.clear();
    _soundBytes = 0;
    _objects = 0;
    _spacing = CHECKPOINT_SPACING;
    _checkpoints.clear();
    _checkpointStart.assign(1, 0);
    _bufferFilled = 0;
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
    BlockReader reader(*this, size, _buffer);

    if (_progress)
        _progress(0, size);
    ObjectNumbers objects;
    ConnectionFinder findConnection;
    // Each object's latest record so far: the next checkpoint's content.
    std::vector<std::int32_t> latestRecord;
    std::size_t nextCheckpoint = _spacing;
    std::uint64_t nextProgress = PROGRESS_STEP;
    std::size_t backwards = 0;
    ReplayIndex::Writer index(_index);
    // Indexes the next record. A record stamped earlier than the latest
    // time so far is indexed at that time, in file order: the index stays
    // sorted for the searches, and the record replays right after those
    // written before it, in the order it was applied live.
    auto add = [&](float time, std::int64_t connection, std::uint32_t number,
                   std::uint64_t position) __attribute__((always_inline))
    {
        std::uint32_t object = objects.known(connection, number);
        if (object == ObjectNumbers::UNKNOWN) {
            object = objects.add(connection, number);
            if (object == latestRecord.size())
                latestRecord.push_back(-1);
        }
        latestRecord[object] = std::int32_t(index.size());
        backwards += index.append(time, object, position);
        if (index.size() == nextCheckpoint)
            nextCheckpoint = takeCheckpoint(latestRecord, index.size(), index.room());
    };

    std::string stop; // why the file stops being readable, if it does
    std::string cut;  // the last record, indexed, runs past the end of the file
    std::uint64_t position = 0;
    while (position < size) {
        if (_progress && position >= nextProgress) {
            _progress(position, size);
            nextProgress = position + PROGRESS_STEP;
        }
        // Room for as many records as the next block can hold (one per 12
        // bytes) and the one after it, and when that runs out for those the
        // rest of the file likely holds, by the mean record size so far - at
        // least half again as many as there are, so that a mean misled by
        // large records first costs few copies of the index.
        const std::size_t blockRecords =
            std::size_t(std::min<std::uint64_t>(BLOCK, size - position) / RECORD_HEAD + 2);
        if (index.room() < blockRecords) {
            const std::uint64_t mean =
                index.size() == 0 ? 64
                                  : std::max<std::uint64_t>(position / index.size(), RECORD_HEAD);
            index.reserve(index.size() + std::max({blockRecords, index.size() / 2,
                                                   std::size_t((size - position) / mean * 9 / 8)}));
        }
        // The records wholly inside the block read last and sound, hopped
        // over in memory: nearly every record of a file.
        if (position >= reader.start() && position < reader.start() + reader.filled() &&
            index.size() + blockRecords <= std::size_t(INT32_MAX)) {
            const unsigned char* const block = reader.data();
            const unsigned char* const blockEnd = block + reader.filled();
            const unsigned char* record = block + (position - reader.start());
            while (std::size_t(blockEnd - record) >= RECORD_HEAD) {
                const std::uint32_t length = GNP2::replayRecord::length(record);
                // Past the block, or below 8 (which wraps around): left to
                // the checks below.
                if (std::size_t(length - GNP2::replayRecord::MIN_LENGTH) >
                    std::size_t(blockEnd - record) - RECORD_HEAD)
                    break;
                const float time = GNP2::replayRecord::time(record);
                if (std::isnan(time))
                    break;
                const std::size_t bytes = std::size_t(GNP2::replayRecord::size(length));
                add(time, findConnection(record, bytes),
                    GNP2::objectNumber(GNP2::replayRecord::header(record)),
                    reader.start() + std::uint64_t(record - block));
                record += bytes;
            }
            position = reader.start() + std::uint64_t(record - block);
            if (position >= size)
                break;
        }

        // One record at a time where a block ends, where a record is larger
        // than a block, cut short or damaged. Time stamp and length; a
        // record whose header word is cut off is indexed like any record
        // cut short.
        const unsigned char* head = reader.at(position, 8);
        if (!head) {
            stop = "the record at byte " + std::to_string(position) + " is cut short after " +
                   std::to_string(size - position) + " bytes";
            break;
        }
        const float time = GNP2::replayRecord::time(head);
        const std::uint32_t length = GNP2::replayRecord::length(head);
        if (length < GNP2::replayRecord::MIN_LENGTH) {
            stop = "the record at byte " + std::to_string(position) + " has length " +
                   std::to_string(length) + ", below the minimum of 8";
            break;
        }
        if (std::isnan(time)) {
            stop =
                "the record at byte " + std::to_string(position) + " has no valid time stamp (NaN)";
            break;
        }
        if (index.size() >= std::size_t(INT32_MAX)) {
            stop = "the record at byte " + std::to_string(position) + " is beyond the " +
                   std::to_string(INT32_MAX) + " records one replay can index";
            break;
        }

        // The object: header bits 0-11 and the connection number.
        const std::uint64_t recordEnd = position + GNP2::replayRecord::size(length);
        const std::uint64_t available = std::min(recordEnd, size) - position;
        std::uint32_t number = 0;
        std::int64_t connection = GNP2::NO_CONNECTION;
        if (available >= RECORD_HEAD) {
            if (const unsigned char* record =
                    available <= BLOCK ? reader.at(position, std::size_t(available)) : nullptr) {
                number = GNP2::objectNumber(GNP2::replayRecord::header(record));
                connection = connectionOf([&](std::uint64_t offset, std::size_t n) {
                    return offset + n <= available ? record + offset : nullptr;
                });
            } else {
                number = GNP2::objectNumber(
                    GNP2::readU32(reader.at(position + GNP2::replayRecord::HEADER_OFFSET, 4)));
                connection = connectionOf([&](std::uint64_t offset, std::size_t n) {
                    return offset + n <= available ? reader.at(position + offset, n) : nullptr;
                });
            }
        }
        add(time, connection, number, position);
        if (recordEnd > size) {
            // Cut in the middle of its data: indexed, reading it will fail.
            cut = "the record at byte " + std::to_string(position) + " needs " +
                  std::to_string(4 + std::uint64_t(length)) + " bytes, the file ends after " +
                  std::to_string(size - position);
            break;
        }
        position = recordEnd;
    }
    index.close();
    if (backwards > 0)
        console::writeLine(console::LEVEL_8,
                           "[ReplayManager] " + _fileName + ": the time goes backwards at " +
                               std::to_string(backwards) +
                               (backwards == 1 ? " record" : " records") +
                               "; each is replayed in file order at the time before it");
    _damage = stop.empty() ? cut : stop;
    _soundBytes = _damage.empty() ? size : position;
    if (!_damage.empty() && !_damageSaid) {
        _damageSaid = true;
        console::writeLine(console::LEVEL_16,
                           "[ReplayManager] " + _fileName + " is readable up to byte " +
                               std::to_string(_soundBytes) + ": " + _damage + " (of " +
                               std::to_string(size) + " bytes); the replay plays what precedes it");
        // A file with nothing to play is refused by whoever opened it.
        if (_soundBytes > 0)
            console::show();
    }
    // Records are back to back: a record ends where the next begins, the
    // last one where the file, or its readable part, ends.
    _indexedEnd = stop.empty() ? size : position;
    _objects = objects.count();
    if (_progress)
        _progress(size, size);
    clear();
    seekg(0);
}

std::size_t ReplayManager::takeCheckpoint(const std::vector<std::int32_t>& latestRecord,
                                          std::size_t records, std::size_t expected)
{
    // Fewer, larger spacings while the objects grow: a checkpoint costs 4
    // bytes per object.
    if (latestRecord.size() * 8 > _spacing) {
        const std::size_t before = _spacing;
        while (latestRecord.size() * 8 > _spacing)
            _spacing *= 2;
        const std::size_t keep = _spacing / before;
        std::vector<std::int32_t> kept;
        std::vector<std::size_t> keptStart{0};
        for (std::size_t c = keep; c < _checkpointStart.size(); c += keep) {
            kept.insert(kept.end(), _checkpoints.begin() + std::ptrdiff_t(_checkpointStart[c - 1]),
                        _checkpoints.begin() + std::ptrdiff_t(_checkpointStart[c]));
            keptStart.push_back(kept.size());
        }
        _checkpoints = std::move(kept);
        _checkpointStart = std::move(keptStart);
    }
    if (records % _spacing == 0) {
        // Room for the checkpoints still to come at today's object count:
        // growing by doubling would copy them all, into fresh memory.
        if (_checkpoints.capacity() - _checkpoints.size() < latestRecord.size())
            _checkpoints.reserve(_checkpoints.size() +
                                 (expected / _spacing + 1) * latestRecord.size());
        _checkpoints.insert(_checkpoints.end(), latestRecord.begin(), latestRecord.end());
        _checkpointStart.push_back(_checkpoints.size());
    }
    return (records / _spacing + 1) * _spacing;
}

std::vector<std::int32_t> ReplayManager::latestRecords(std::ptrdiff_t record) const
{
    std::vector<std::int32_t> latest(_objects, -1);
    if (record < 0)
        return latest;
    // Checkpoint c holds the latest records before record c * spacing.
    const std::size_t c = std::size_t(record + 1) / _spacing;
    if (c > 0)
        std::copy(_checkpoints.begin() + std::ptrdiff_t(_checkpointStart[c - 1]),
                  _checkpoints.begin() + std::ptrdiff_t(_checkpointStart[c]), latest.begin());
    for (std::size_t i = c * _spacing; i <= std::size_t(record); ++i)
        latest[_index.object(i)] = std::int32_t(i);
    return latest;
}

float ReplayManager::firstTime() const
{
    return _index.empty() ? 0.0f : _index.frameTime(0);
}

float ReplayManager::lastTime() const
{
    return _index.empty() ? 0.0f : _index.frameTime(_index.frameCount() - 1);
}

std::size_t ReplayManager::findRecord(float t) const
{
    if (_index.empty() || t < firstTime())
        return 0;
    if (t > lastTime())
        return _index.size();
    // The first record of the last frame at or before t (the last frame for
    // a NaN t).
    return _index.frameBegin(std::max<std::size_t>(_index.frameAfter(t), 1) - 1);
}

std::ptrdiff_t ReplayManager::lastAtOrBefore(float t) const
{
    return std::ptrdiff_t(firstAfter(t)) - 1;
}

std::size_t ReplayManager::firstAfter(float t) const
{
    const std::size_t frame = _index.frameAfter(t);
    return frame < _index.frameCount() ? _index.frameBegin(frame) : _index.size();
}

std::vector<GNP2::Packet*> ReplayManager::getPackets(float t)
{
    std::vector<GNP2::Packet*> packets;
    if (_index.empty())
        return packets;
    std::size_t i = std::min(findRecord(t), _index.size() - 1);
    const float frame = _index.time(i);
    std::vector<std::uint32_t> records;
    while (i < _index.size() && _index.time(i) == frame) {
        records.clear();
        for (std::size_t j = i, frameEnd = _index.frameEnd(_index.frameOf(i)); j < frameEnd; ++j)
            records.push_back(std::uint32_t(j));
        const std::size_t read = readRecords(records.data(), records.size(), packets);
        if (read == records.size())
            break;
        // The file was indexed again: go on after the record that failed.
        i += read + 1;
    }
    return packets;
}

std::vector<GNP2::Packet*> ReplayManager::getPacketsForMove(std::optional<float> from, float to)
{
    std::vector<GNP2::Packet*> packets;
    if (_index.empty())
        return packets;
    to = std::max(to, firstTime());
    const std::ptrdiff_t last = lastAtOrBefore(to);

    // Each object's latest record at or before `to`, for the objects with a
    // record between the two times (all, without a start).
    std::vector<std::uint32_t> records;
    if (!from) {
        for (std::int32_t r : latestRecords(last))
            if (r >= 0)
                records.push_back(std::uint32_t(r));
    } else {
        const std::ptrdiff_t start = lastAtOrBefore(*from);
        if (start == last)
            return packets;
        if (start < last && std::size_t(last - start) <= _spacing) {
            // A short step forward: the last record of each object in the
            // step is its latest.
            std::vector<bool> seen(_objects);
            for (std::ptrdiff_t i = last; i > start; --i) {
                const std::uint32_t object = _index.object(std::size_t(i));
                if (!seen[object]) {
                    seen[object] = true;
                    records.push_back(std::uint32_t(i));
                }
            }
        } else {
            // An object's latest record differs between the two ends exactly
            // when it has a record in between.
            const std::vector<std::int32_t> before = latestRecords(start);
            const std::vector<std::int32_t> after = latestRecords(last);
            for (std::size_t o = 0; o < _objects; ++o)
                if (after[o] >= 0 && after[o] != before[o])
                    records.push_back(std::uint32_t(after[o]));
        }
    }
    std::sort(records.begin(), records.end());
    readRecords(records.data(), records.size(), packets);
    return packets;
}

std::uint64_t ReplayManager::recordSize(std::size_t i) const
{
    const std::uint64_t next = i + 1 < _index.size() ? _index.position(i + 1) : _indexedEnd;
    return next - _index.position(i);
}

std::size_t ReplayManager::readRecords(const std::uint32_t* records, std::size_t n,
                                       std::vector<GNP2::Packet*>& packets)
{
    // Bytes fetched by an earlier call may be stale; those of this call are not.
    _bufferFilled = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t r = records[k];
        if (r >= _index.size()) {
            reportReadError();
            return k;
        }
        const std::uint64_t position = _index.position(r);
        if (position < _bufferStart || position + recordSize(r) > _bufferStart + _bufferFilled) {
            // Fetch this record with those after it that lie close by.
            std::uint64_t spanEnd = position + recordSize(r);
            for (std::size_t m = k + 1; m < n && records[m] < _index.size(); ++m) {
                const std::uint64_t next = _index.position(records[m]);
                const std::uint64_t nextEnd = next + recordSize(records[m]);
                if (next - spanEnd > FETCH_GAP || nextEnd - position > FETCH_SPAN)
                    break;
                spanEnd = nextEnd;
            }
            if (!good())
                reportStreamError();
            clear();
            seekg(std::streamoff(position));
            if (_buffer.size() < spanEnd - position)
                _buffer.resize(std::size_t(spanEnd - position));
            read(reinterpret_cast<char*>(_buffer.data()), std::streamsize(spanEnd - position));
            _bufferStart = position;
            _bufferFilled = std::size_t(gcount());
            ++_fetches;
        }
        // A length running past the end of the file (a record cut short, or
        // damaged) cannot be read; nor can bytes the file no longer has.
        const unsigned char* bytes = _buffer.data() + (position - _bufferStart);
        const std::uint64_t have = _bufferStart + _bufferFilled - position;
        const std::uint32_t length =
            have >= GNP2::replayRecord::HEADER_OFFSET ? GNP2::replayRecord::length(bytes) : 0;
        if (length < GNP2::replayRecord::MIN_LENGTH ||
            position + GNP2::replayRecord::size(length) > _fileSize ||
            GNP2::replayRecord::size(length) > have) {
            reportReadError();
            return k;
        }
        ++_recordsRead;
        auto packet = std::make_unique<GNP2::Packet>();
        const GNP2::ParseResult parsed =
            packet->parse(bytes + GNP2::replayRecord::HEADER_OFFSET, length - 4);
        if (parsed.ok())
            packets.push_back(packet.release());
        else if (_undecodable.insert(position).second)
            // The bytes are all there and stay as they are: reading them
            // again, or indexing the file again, would not change them.
            console::writeLine(console::LEVEL_16, "[ReplayManager] " + _fileName +
                                                      ": the record at byte " +
                                                      std::to_string(position) +
                                                      " does not decode, skipped: " + parsed.error);
    }
    return n;
}

void ReplayManager::reportReadError()
{
    console::writeLine(console::LEVEL_4, "[ReplayManager] File read error!");
    clear();
    close();
    openAndIndex();
}

void ReplayManager::reportStreamError()
{
    console::writeLine(console::LEVEL_16, "[ReplayManager] File error present!");
    console::show();
}

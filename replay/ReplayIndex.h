#pragma once
// The index of a replay file: for each record, in file order, its time, the
// object it belongs to and the position of its first byte in the file.
//
// A long recording holds tens of millions of records, and writing the index
// costs as much as reading the file when an entry is large, so the index is
// kept small: a record costs 8 bytes (its object and the low 32 bits of its
// position). The times are kept per frame - a run of records with one time,
// 8 bytes for its time and first record - since a recording usually updates
// many objects per time stamp; the high words of the positions are kept
// where they change, one pair per 4 GiB of file. A record's time is found
// by a binary search over the frames; its object and position directly.
//
// Times never go down: a record appended with an earlier time than the
// latest one is indexed at the latest one, joining its frame.
//
// Threading: none of its own; the owner's.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

// One record of the index, as its accessors put it together.
struct ReplayIndexEntry
{
    float time;             // the record's time stamp, or the latest before it when earlier
    std::uint32_t object;   // number of the object the record belongs to
    std::uint64_t position; // offset of the record's first byte in the file
};

class ReplayIndex
{
    struct Record
    {
        std::uint32_t object;
        std::uint32_t positionLow;
    };
    struct Frame
    {
        float time;
        std::uint32_t first; // its first record
    };

public:
    ReplayIndex() = default;
    ReplayIndex(const ReplayIndex&) = delete;
    ReplayIndex& operator=(const ReplayIndex&) = delete;

    std::size_t size() const { return _size; }
    bool empty() const { return _size == 0; }
    // Records that fit before the storage has to grow.
    std::size_t capacity() const { return _capacity; }

    float time(std::size_t record) const { return _frames[frameOf(record)].time; }
    std::uint32_t object(std::size_t record) const { return _records[record].object; }
    std::uint64_t position(std::size_t record) const
    {
        const std::uint64_t low = _records[record].positionLow;
        if (_highs.empty() || record < _highs.front().first)
            return low;
        return highWordAt(record) | low;
    }
    ReplayIndexEntry operator[](std::size_t record) const
    {
        return {time(record), object(record), position(record)};
    }
    ReplayIndexEntry front() const { return (*this)[0]; }
    ReplayIndexEntry back() const { return (*this)[_size - 1]; }

    // Frames: the runs of records with one time, in ascending time.
    std::size_t frameCount() const { return _frames.size(); }
    float frameTime(std::size_t frame) const { return _frames[frame].time; }
    std::size_t frameBegin(std::size_t frame) const { return _frames[frame].first; }
    // One past the frame's last record.
    std::size_t frameEnd(std::size_t frame) const
    {
        return frame + 1 < _frames.size() ? _frames[frame + 1].first : _size;
    }
    // The frame holding `record`.
    std::size_t frameOf(std::size_t record) const;
    // The first frame with a time above t, frameCount() when there is none
    // (a NaN t included).
    std::size_t frameAfter(float t) const;

    void clear();
    // Room for `records` records in all, made now; untouched room costs
    // address space, not memory.
    void reserve(std::size_t records);
    // Appends the next record (`time` is not NaN, positions ascend, fewer
    // than 2^32 records in all). Returns whether `time` is below the latest
    // one, which the record is then indexed at.
    bool append(float time, std::uint32_t object, std::uint64_t position)
    {
        if (_size == _capacity)
            reserve(_capacity < 1024 ? 1024 : _capacity * 2);
        Writer writer(*this);
        return writer.append(time, object, position);
    }

    // Appends records for a loop that holds the writer in local variables,
    // where append() goes through memory at every record. While a writer is
    // open, only it changes the index; the index is whole again once it is
    // closed (or destroyed).
    class Writer
    {
    public:
        explicit Writer(ReplayIndex& index) : _index(index) { open(); }
        ~Writer() { close(); }
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;

        std::size_t size() const { return _size; }
        // Records that can be appended before reserve() is needed.
        std::size_t room() const { return _capacity - _size; }
        // As ReplayIndex::reserve.
        void reserve(std::size_t records)
        {
            close();
            _index.reserve(records);
            open();
        }
        // As ReplayIndex::append, with room() above 0.
        [[gnu::always_inline]] bool append(float time, std::uint32_t object, std::uint64_t position)
        {
            bool earlier = false;
            if (!(time <= _latest)) { // true for the first record: _latest is NaN
                _index.addFrame(time, _size);
                _latest = time;
            } else {
                earlier = time < _latest;
            }
            if ((position >> 32) != _high) [[unlikely]] {
                _high = position >> 32;
                _index.addHighWord(_high, _size);
            }
            _records[_size++] = {object, std::uint32_t(position)};
            return earlier;
        }
        void close()
        {
            _index._size = _size;
            _index._latest = _latest;
            _index._high = _high;
        }

    private:
        void open()
        {
            _records = _index._records.get();
            _size = _index._size;
            _capacity = _index._capacity;
            _latest = _index._latest;
            _high = _index._high;
        }

        ReplayIndex& _index;
        Record* _records;
        std::size_t _size, _capacity;
        float _latest;
        std::uint64_t _high;
    };

    class Iterator
    {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ReplayIndexEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ReplayIndexEntry;

        Iterator(const ReplayIndex* index, std::size_t record) : _index(index), _record(record) {}
        ReplayIndexEntry operator*() const { return (*_index)[_record]; }
        Iterator& operator++()
        {
            ++_record;
            return *this;
        }
        bool operator==(const Iterator& other) const { return _record == other._record; }

    private:
        const ReplayIndex* _index;
        std::size_t _record;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, _size}; }

private:
    std::uint64_t highWordAt(std::size_t record) const;
    void addFrame(float time, std::size_t first);
    void addHighWord(std::uint64_t high, std::size_t first);

    std::unique_ptr<Record[]> _records;
    std::size_t _size = 0;
    std::size_t _capacity = 0;
    std::vector<Frame> _frames;
    // (first record, high word) wherever the positions' high word changes.
    std::vector<std::pair<std::size_t, std::uint64_t>> _highs;
    std::uint64_t _high = 0; // high word of the latest position
    float _latest = std::numeric_limits<float>::quiet_NaN();
};

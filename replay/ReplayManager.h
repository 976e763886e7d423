#pragma once
// Reads a replay file (see Recorder.h for the format): indexes every record
// by its time stamp and returns, for a replay time, the records to feed to
// the scene, decoded as packets.
//
// Records with the same time stamp form a frame. getPackets(t) returns the
// frame at the nearest earlier time stamp. getPacketsForMove(from, to)
// returns what makes the scene show the live state at `to` after it showed
// `from`: for every object updated between the two times, its latest record
// at or before `to` - one record per object, since every record is a full
// snapshot. A per-object list of record numbers, binary-searched, keeps this
// cheap: records of objects that did not change are never read.
//
// Bad files are input, not bugs: indexing stops at the first record that
// cannot be sound (length below 8, a NaN time stamp, a header cut short) and
// says so in one console line; what came before stays usable. Time stamps
// that go backwards are no damage (a run's clock may restart lower): such a
// record is indexed at the latest time before it, in file order, so it
// replays where it was applied live; the file's running backwards is said
// once, with the count.
//
// Threading: GUI thread only.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace GNP2 {
class Packet;
}

struct ReplayIndexEntry
{
    float time;             // the record's time stamp, or the latest before it when earlier
    std::uint32_t object;   // number of the object the record belongs to, see objectKey()
    std::uint64_t position; // offset of the record's first byte in the file
};

class ReplayManager : public std::ifstream
{
public:
    explicit ReplayManager(const std::string& path);
    ~ReplayManager() override;

    // The decoded records of the frame findRecord picks for t, in file
    // order; the caller owns the packets.
    std::vector<GNP2::Packet*> getPackets(float t);
    // The records that bring every object updated between `from` and `to`
    // (either direction) to its state at `to`, in file order. Without
    // `from`, every object that exists at `to`. Times below the first
    // record count as the first record's time. The caller owns the packets.
    std::vector<GNP2::Packet*> getPacketsForMove(std::optional<float> from, float to);

    // Time stamp of the first / last record, 0 when there is none.
    float firstTime() const;
    float lastTime() const;
    // The first record of the frame for t: 0 below the first time stamp,
    // the record count above the last one.
    std::size_t findRecord(float t) const;

    const std::string& fileName() const { return _fileName; }
    const std::vector<ReplayIndexEntry>& index() const { return _index; }
    std::size_t objectCount() const { return _objects; }
    // Records read back (decoded) since the file was opened.
    std::size_t recordsRead() const { return _recordsRead; }

private:
    void openAndIndex();
    void buildIndex();
    // Reads and decodes the record of index entry i; false on a read failure.
    bool readRecord(std::size_t i, GNP2::Packet& packet);
    // Reads record i, reopening and reindexing the file when it fails;
    // appends the packet to `packets` when it could be read.
    void readInto(std::size_t i, std::vector<GNP2::Packet*>& packets);
    void reportStreamError();
    // Index of the last record with a time stamp at most t, or -1.
    std::ptrdiff_t lastAtOrBefore(float t) const;
    // Index of the first record with a time stamp above t.
    std::size_t firstAfter(float t) const;

    std::string _fileName;
    std::vector<ReplayIndexEntry> _index;
    // For each object (connection, object number), the numbers of its
    // records in the index, ascending: object o's records are
    // _objectRecords[_objectStart[o] .. _objectStart[o + 1]).
    std::size_t _objects = 0; // distinct objects in the index
    std::vector<std::uint32_t> _objectStart;
    std::vector<std::uint32_t> _objectRecords;
    struct Records
    {
        const std::uint32_t* begin;
        const std::uint32_t* end;
    };
    Records recordsOf(std::uint32_t object) const
    {
        return {_objectRecords.data() + _objectStart[object],
                _objectRecords.data() + _objectStart[object + 1]};
    }
    // Fills _objectStart/_objectRecords from the object numbers in the index.
    void groupRecordsByObject(std::size_t objects);
    std::vector<unsigned char> _buffer; // one record's bytes
    std::size_t _recordsRead = 0;
    std::uint64_t _fileSize = 0; // bytes in the file when it was indexed
};

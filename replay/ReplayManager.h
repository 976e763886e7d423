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
// snapshot.
//
// The index (ReplayIndex.h) is built in one pass over the file, read in
// blocks that stay in the processor's cache; the records wholly inside a
// block are hopped over in memory, by their length words. While it is
// built, every CHECKPOINT_SPACING-th record (the spacing grows with the
// object count) takes a checkpoint: each object's latest record so far. Any
// object's latest record at or before a given record is then one checkpoint
// plus a scan of at most one spacing of index entries, so a move of any
// length, the first one included, costs the same bounded work and reads only
// the records it feeds - and opening needs no second pass. Records are read
// back in file order, neighbours with one read.
//
// Bad files are input, not bugs: indexing stops at the first record that
// cannot be sound (length below 8, a NaN time stamp, a header cut short) and
// says so in one console line; what came before stays usable. A record that
// is all there but does not decode is skipped when it is read, said once;
// bytes that can no longer be read (the file shrank, an I/O error) make the
// file be opened and indexed again. Time stamps that go backwards are no
// damage (a run's clock may restart lower): such a record is indexed at the
// latest time before it, in file order, so it replays where it was applied
// live; the file's running backwards is said once, with the count.
//
// Threading: GUI thread only.

#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "replay/ReplayIndex.h"

namespace GNP2 {
class Packet;
}

class ReplayManager : public std::ifstream
{
public:
    // Called while a file is indexed: at the start (done 0), about every
    // PROGRESS_STEP bytes, and at the end (done == total), with the bytes
    // indexed so far and the file's size. Not called for an empty file.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;
    static constexpr std::uint64_t PROGRESS_STEP = std::uint64_t(32) << 20;
    // The fewest records between two checkpoints; the spacing doubles while
    // the objects outnumber an eighth of it, which keeps the checkpoints
    // below half a byte per record.
    static constexpr std::size_t CHECKPOINT_SPACING = std::size_t(1) << 16;

    explicit ReplayManager(const std::string& path, Progress progress = {});
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
    // Where the file stops being sound, and why: damage() is empty when the
    // file is whole records from its start to its end; else soundBytes() is
    // where the first record that is damaged or cut short begins, and the
    // replay plays the records before it. Said once on the console, which
    // is shown when there is something to play.
    const std::string& damage() const { return _damage; }
    std::uint64_t soundBytes() const { return _soundBytes; }
    std::uint64_t fileSize() const { return _fileSize; }
    // Whether the file holds any whole record; a file that does not (an
    // empty one, or one that is not a replay) has nothing to play.
    bool holdsReplay() const { return _soundBytes > 0; }
    // One entry per record, in file order; objects are numbered below
    // objectCount().
    const ReplayIndex& index() const { return _index; }
    std::size_t objectCount() const { return _objects; }
    // Records read back (decoded, or found not to decode) since the file was
    // opened.
    std::size_t recordsRead() const { return _recordsRead; }
    // Reads of the file made to fetch records since it was opened; records
    // lying close together are fetched with one.
    std::size_t recordFetches() const { return _fetches; }
    // Records between two checkpoints (CHECKPOINT_SPACING or a power of two
    // times it).
    std::size_t checkpointSpacing() const { return _spacing; }

private:
    void openAndIndex();
    void buildIndex();
    // Takes the checkpoint due now that the index holds `records`, a
    // multiple of the spacing, with about `expected` more to come; widens
    // the spacing first while the objects outnumber an eighth of it.
    // Returns the record count of the next one.
    std::size_t takeCheckpoint(const std::vector<std::int32_t>& latestRecord, std::size_t records,
                               std::size_t expected);
    // Each object's latest record at or before `record` (-1: none), or
    // before the first record when `record` is -1.
    std::vector<std::int32_t> latestRecords(std::ptrdiff_t record) const;
    // Reads and decodes records[0..n) (ascending record numbers) into
    // `packets`, skipping those that do not decode. Returns n, or the
    // position in `records` of the record that could not be read, after the
    // file was reopened and indexed again.
    std::size_t readRecords(const std::uint32_t* records, std::size_t n,
                            std::vector<GNP2::Packet*>& packets);
    // Bytes of record i as indexed: up to the next record, or to the end of
    // the file for the last.
    std::uint64_t recordSize(std::size_t i) const;
    // Says the read failed, then reopens the file and indexes it again.
    void reportReadError();
    void reportStreamError();
    // Index of the last record with a time stamp at most t, or -1.
    std::ptrdiff_t lastAtOrBefore(float t) const;
    // Index of the first record with a time stamp above t.
    std::size_t firstAfter(float t) const;

    std::string _fileName;
    Progress _progress;
    ReplayIndex _index;
    std::size_t _objects = 0; // distinct objects in the index
    // Checkpoint c (c >= 1) is each object's latest record before record
    // c * _spacing: _checkpoints[_checkpointStart[c - 1] ..
    // _checkpointStart[c]), the objects known by then, -1 for none yet.
    std::size_t _spacing = CHECKPOINT_SPACING;
    std::vector<std::int32_t> _checkpoints;
    std::vector<std::size_t> _checkpointStart;
    std::vector<unsigned char> _buffer; // file bytes: a block while indexing, records later
    std::uint64_t _bufferStart = 0;     // file offset of _buffer[0] while it holds records
    std::size_t _bufferFilled = 0;      // bytes of _buffer that hold file bytes
    std::size_t _recordsRead = 0;
    std::size_t _fetches = 0;
    std::uint64_t _fileSize = 0;   // bytes in the file when it was indexed
    std::uint64_t _indexedEnd = 0; // where the last indexed record ends
    std::string _damage;
    std::uint64_t _soundBytes = 0;
    bool _damageSaid = false; // the damage stays said when the file is indexed again
    // Positions of the records found not to decode, said once each.
    std::unordered_set<std::uint64_t> _undecodable;
};

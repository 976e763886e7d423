#pragma once
// The recorder: while a simulation is connected, every object's state packet
// is appended to the replay file right after a packet changed it.
//
// The records are laid out as gnp2/ReplayRecord.h describes: the time
// stamp of the state, then its wire frame.
//
// Threading: GUI thread only (inside the update callback, under its lock);
// the recorder's own writer thread writes the file.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gnp2/ReplayRecord.h"

// Receives the state packet of an object right after a packet was applied
// to it.
class StateRecorder
{
public:
    virtual ~StateRecorder() = default;
    // Writes a record of the state; clears its changed flags.
    virtual void record(GNP2::Packet& state) = 0;
    // The same for a state whose object keeps `image` for it, which saves
    // writing the items an update left alone.
    virtual void recordWithImage(GNP2::Packet& state, GNP2::replayRecord::Image& image)
    {
        (void)image;
        record(state);
    }
};

class ReplayRecorder : public StateRecorder
{
public:
    // Records are serialized one after the other into a block of this size.
    // A full block goes to the recorder's writer thread, which hands it to
    // the file with one write while recording goes on into the next block:
    // the thread that records (the scene update) never waits for the disk
    // unless BLOCKS blocks are full at once. A record larger than a block
    // gets a block of its size, so no record is ever cut or skipped.
    // Blocks small enough that the few in use stay in the processor's cache.
    static constexpr std::size_t RECORD_BUFFER_SIZE = std::size_t(256) << 10;
    static constexpr std::size_t BLOCKS = 8;
    // Records are first serialized into a small staging area that stays in
    // the first-level cache, and moved into the block in whole cache lines
    // with stores that bypass the cache: the blocks pass through the cache
    // once on their way to the file instead of pushing the scene's objects
    // out of it. A record of more than half the area goes to the block
    // directly.
    static constexpr std::size_t STAGE_SIZE = std::size_t(8) << 10;

    ReplayRecorder();
    ~ReplayRecorder() override;
    ReplayRecorder(const ReplayRecorder&) = delete;
    ReplayRecorder& operator=(const ReplayRecorder&) = delete;

    // Creates the file's directory when missing and opens the file for
    // writing, truncating it. Empty on success, else why it failed.
    std::string open(const std::string& path);
    bool isOpen() const { return _file != nullptr; }
    // Writes every record and closes the file.
    void close();
    // Writes every record so far and waits until they are in the file, so
    // that a copy of the file holds them; the file stays open.
    void flush();
    // Bytes of records serialized but not yet handed to the writer.
    std::size_t bufferedBytes() const { return _current.used + _staged; }

    void record(GNP2::Packet& state) override;
    void recordWithImage(GNP2::Packet& state, GNP2::replayRecord::Image& image) override;

    // Records written since the last open (kept after close).
    std::size_t recordCount() const { return _records; }

    // Why the file stopped taking records (a full disk, a size limit), empty
    // while it takes them. After a failed write the file is cut back to the
    // records written before it, so it ends on a whole record, and later
    // records are dropped until the next open. Any thread.
    std::string failure() const;

private:
    struct Block
    {
        std::vector<unsigned char> bytes;
        std::size_t used = 0;
    };

    // Room for the next record of `size` bytes: in the staging area, or in
    // the block for a large one.
    unsigned char* place(std::size_t size);
    // Hands the current block to the writer (when it holds records) and
    // takes an empty one of at least `size` bytes, waiting while every
    // block is full.
    // Staged bytes go into the block first.
    void submit(std::size_t size);
    // The same, for a block that the staged bytes do not go into.
    void handOver(std::size_t size);
    // Moves the staged bytes into the current block: every byte when `all`,
    // else whole cache lines, keeping fewer than 64 bytes staged.
    void drain(bool all);
    // Waits until the writer has written every block handed to it.
    void waitWritten();
    void writeLoop();
    // Follows the records through a block just written at _fileBytes.
    void followRecords(const Block& block);

    struct FileCloser
    {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> _file; // written by the writer thread while open
    Block _current;                               // the recording thread's
    alignas(64) unsigned char _stage[STAGE_SIZE]; // records not yet in _current
    std::size_t _staged = 0;                      // bytes used of _stage
    std::size_t _records = 0;

    mutable std::mutex _mutex;
    std::condition_variable _changed; // a block was handed over, written, or the writer must stop
    std::deque<Block> _full;          // protected by _mutex: blocks to write, oldest first
    std::vector<Block> _empty;        // protected by _mutex: written blocks for reuse
    std::size_t _blocks = 0;          // protected by _mutex: blocks in existence
    bool _writing = false;            // protected by _mutex: the writer holds a block
    bool _stop = false;               // protected by _mutex
    std::string _failure;             // protected by _mutex: see failure()
    std::atomic<bool> _failed{false}; // set with _failure: record() drops records
    // The writer thread's: where the records it wrote lie. Blocks split
    // records anywhere, so their length words are followed as the blocks go
    // by: _nextRecord is where the next record starts, _wholeEnd where the
    // last record wholly in the file ends, _tail the 8 bytes before the
    // block being written (a length word may start there).
    std::uint64_t _nextRecord = 0;
    std::uint64_t _wholeEnd = 0;
    std::uint64_t _fileBytes = 0;
    unsigned char _tail[8] = {};
    std::thread _writer;
};

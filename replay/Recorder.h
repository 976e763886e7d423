#pragma once
// The recorder: while a simulation is connected, every object's state packet
// is appended to the replay file right after a packet changed it.
//
// Replay file: records back to back, no header, little-endian:
//   float32 time stamp (item 0 of the state packet), then the state
//   packet's wire frame (uint32 length counting itself, uint32 header word,
//   item records in ascending index order).
// Each record is a full snapshot of one object, so any record alone rebuilds
// its object.
//
// Threading: GUI thread only (inside the update callback, under its lock).

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace GNP2 {
class Packet;
}

// Receives the state packet of an object right after a packet was applied
// to it.
class StateRecorder
{
public:
    virtual ~StateRecorder() = default;
    // Writes a record of the state; clears its changed flags.
    virtual void record(GNP2::Packet& state) = 0;
};

class ReplayRecorder : public StateRecorder
{
public:
    // Records are serialized into a buffer of this size; a larger state
    // packet grows it, so no record is ever cut or skipped.
    static constexpr std::size_t RECORD_BUFFER_SIZE = std::size_t(1) << 20;

    ReplayRecorder();
    ~ReplayRecorder() override;

    // Creates the file's directory when missing and opens the file for
    // writing, truncating it. Empty on success, else why it failed.
    std::string open(const std::string& path);
    bool isOpen() const { return _file != nullptr; }
    // Flushes and closes the file.
    void close();
    // Writes what is buffered, so that a copy of the file holds every
    // record so far; the file stays open.
    void flush();

    void record(GNP2::Packet& state) override;

    // Records written since the last open (kept after close).
    std::size_t recordCount() const { return _records; }

private:
    struct FileCloser
    {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> _file;
    std::vector<unsigned char> _buffer;
    std::size_t _records = 0;
};

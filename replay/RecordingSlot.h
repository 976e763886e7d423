#pragma once
// The recording file of one running viewer. Several viewers may run from the
// same working directory; each records into a file that no other one writes
// and deletes only that file. The first free one of <directory>/Orvane.dat,
// <directory>/Orvane-2.dat, ... is taken and held with an advisory lock
// (flock) on an open descriptor for as long as the slot lives; the lock of a
// viewer that died goes with its process, so its file is taken again.
//
// A run that cannot end normally (the viewer is told to terminate, its
// display goes away) keeps its recording: keep() moves the file to a dated
// name beside it (<directory>/Orvane-run-YYYYMMDD-HHMMSS.dat), which no slot
// ever takes, and keptRecordings() finds such files at the next start.
//
// Threading: one thread at a time (the GUI thread).

#include <ctime>
#include <string>
#include <vector>

class RecordingSlot
{
public:
    // The file name of the first slot; later ones are "Orvane-<n>.dat".
    static constexpr const char* FIRST_NAME = "Orvane.dat";
    // Beyond this many viewers in one directory no slot is taken.
    static constexpr int MAX_SLOTS = 64;

    RecordingSlot() = default;
    // Releases the lock; the file stays (see remove()).
    ~RecordingSlot();
    RecordingSlot(const RecordingSlot&) = delete;
    RecordingSlot& operator=(const RecordingSlot&) = delete;

    // Takes the first free slot in `directory` (created when missing);
    // empty on success, else why none could be taken. A slot already held
    // stays.
    std::string take(const std::string& directory);
    bool held() const { return _fd >= 0; }
    // The held file; empty while none is held.
    const std::string& path() const { return _path; }

    // Deletes the held file and releases it.
    void remove();
    // Moves the held file to a dated name (the local time `now`; a number is
    // added when that name exists) and releases it. Returns the new path,
    // empty when the file could not be moved (it then stays held).
    std::string keep(std::time_t now);

    // The files keep() left in `directory`, oldest name first.
    static std::vector<std::string> keptRecordings(const std::string& directory);

private:
    void release();

    std::string _path;
    int _fd = -1; // open on _path, holding its lock
};

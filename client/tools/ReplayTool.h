#pragma once
// orvane-replay: looks inside replay files (the recordings a viewer makes while
// a simulation runs, see gnp2/ReplayRecord.h for the format).
//
//   orvane-replay info FILE             time range, records, objects by type code, size
//   orvane-replay dump FILE             every record as one JSON line, items named
//   orvane-replay cut --from T0 --to T1 [--force] FILE OUT
//                                       a replay of [T0, T1] that starts with
//                                       every object's state at T0; refused
//                                       when the range misses the recording
//                                       or OUT exists (unless --force)
//   orvane-replay check FILE            the offset and reason of the first bad record
//   orvane-replay export-mcap FILE OUT [--from T0 --to T1] [--compression C]
//                                       the replay as an MCAP file of scene
//                                       messages (see McapExport.h)
//
// Exit status: 0 good, 1 a damaged or unreadable file, 2 a wrong command line.
// The commands are functions over streams so that tests run them in-process.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace orvane::protocol {
struct KindInfo;
}

namespace orvane::replaytool {

// One record read from a replay file: its place, its time stamp and its
// packet frame (length word included).
struct Record
{
    std::uint64_t offset = 0;
    float time = 0.f;
    std::vector<unsigned char> frame;
};

// The first bad record of a file: where it starts and what is wrong with it.
struct Damage
{
    std::uint64_t offset = 0;
    std::string reason;
};

// Reads the records of `path` in file order and hands each sound one to
// `visit`; stops at the first bad record and returns it. Throws
// std::runtime_error when the file cannot be opened.
std::optional<Damage> scanReplay(const std::string& path,
                                 const std::function<void(const Record&)>& visit);

// The kind of a type code, null for an unknown one.
const protocol::KindInfo* kindOf(std::uint32_t code);
// The name of item `index` of `kind` (or of every packet), null if unnamed.
const char* itemName(const protocol::KindInfo* kind, int index);

// Runs the tool on its arguments (without the program name); what a user
// sees goes to `out`, errors to `err`. Returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace orvane::replaytool

#pragma once
// The two settings of the file layer, read from the program's settings store
// (group "FileObjects"):
//   AddSearchDir            the directory findFile looks in after the name
//                           itself (text, default empty)
//   maxFileSizeDuplicated   files this large or larger are shared, not
//                           copied (bytes; 0 or absent is replaced by the
//                           settings table's default and written back; a
//                           negative size reads as 1 and is reported)
//
// Threading: any thread. Every access to the store from this layer goes
// through one mutex, so loader threads and the GUI thread never open it at
// the same time.

#include <cstdint>
#include <string>

namespace filesettings {

// "FileObjects/AddSearchDir", read afresh on every call so that a change in
// the settings dialog applies to the next lookup.
std::string searchDirectory();

// "FileObjects/maxFileSizeDuplicated": when it reads as 0 (absent, zero or
// not a number) the table's default is written to the store; the value is
// then read again and returned.
std::int32_t sizeLimit();

} // namespace filesettings

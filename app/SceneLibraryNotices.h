#pragma once
// The scene library's notices go to the terminal as usual, except its debug
// traces that arrive at notice level for every drawable a weather effect
// rebuilds: a rain shower would bury the program's own lines under them.
//
// Threading: install once at start-up, before the viewer's threads run; the
// handler itself is called from any thread and keeps no state.

#include <string_view>

namespace scenelibrary {

// Whether a notice is one of the dropped traces.
bool isDroppedNotice(std::string_view message);

// Puts a handler in front of the library's standard one that drops those
// traces.
void installNoticeFilter();

} // namespace scenelibrary

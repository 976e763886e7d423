#pragma once
// The console's logging face: the one process-wide list of log lines that
// every layer writes to (the link, the file manager, the replay reader) and
// the on-screen console draws. It holds no Qt and no OSG, so the lower
// layers can link it; the drawing lives in console/.
//
// A line is written as a level, text pieces and an end of line; the last
// entry of the list is the line currently being written. Besides the lines
// the log keeps what the console's drawing filters by: the scroll offset
// (new text scrolls back to the newest line) and the level mask.
//
// Threading: every function here may be called from any thread. The line
// list, the current line and its level, the scroll offset and the mask are
// protected by the log's mutex. Listeners are called with the mutex
// released, on the calling thread, so they must only take note of the change
// (the console marks itself dirty and redraws on the GUI thread).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace console {

// Message levels are single bits; each is drawn in its own colour.
enum Level : int
{
    LEVEL_1 = 1,
    LEVEL_2 = 2,
    LEVEL_4 = 4, // default level of a new line
    LEVEL_8 = 8,
    LEVEL_16 = 16,
    LEVEL_32 = 32,
};

inline constexpr int kAllLevels = 255; // the level mask of a new log

inline bool isValidLevel(int level)
{
    return level == 1 || level == 2 || level == 4 || level == 8 || level == 16 || level == 32;
}

struct LogLine
{
    std::string text; // a finished line ends with '\n'
    int level = LEVEL_4;
};

class Log
{
public:
    static Log& instance();

    // Appends text to the current line (and resets the scroll offset).
    void write(std::string_view text);
    void write(long long number);
    // Sets the current line's level; values other than 1, 2, 4, 8, 16, 32 are ignored.
    void setLevel(int level);
    // Ends the current line with a line feed and starts a new one at level 4.
    void endLine();
    // Asks the on-screen console to show itself (an error happened).
    void show();

    // Writes one whole line at the given level under a single lock, so that
    // lines from different threads never interleave. An invalid level keeps
    // the current line's level, as setLevel would.
    void writeLine(int level, std::string_view text);
    // The same at the current line's level.
    void writeLine(std::string_view text);

    // All finished lines plus the current one (last), copied under the lock.
    std::vector<LogLine> snapshot() const;
    std::size_t lineCount() const;

    // Calls f with the lines (current one last), the scroll offset and the
    // level mask while holding the lock: for readers that look at a few
    // lines of a long list. f must not call back into the log.
    using LinesVisitor =
        std::function<void(const std::vector<LogLine>& lines, int scrollOffset, int levelMask)>;
    void withLines(const LinesVisitor& f) const;

    // Scroll offset: how many of the newest lines are scrolled out below.
    int scrollOffset() const;
    void setScrollOffset(int offset);
    // Replaces the scroll offset by next(lines, offset, mask), computed under
    // the lock so that text written meanwhile cannot be scrolled past.
    // Returns whether the offset changed. next must not call back into the log.
    using ScrollRule =
        std::function<int(const std::vector<LogLine>& lines, int scrollOffset, int levelMask)>;
    bool changeScrollOffset(const ScrollRule& next);

    // Only lines whose level shares a bit with the mask are drawn.
    int levelMask() const;
    void setLevelMask(int mask);

    // Whether finished lines are echoed to standard error (on by default).
    void setEchoToStderr(bool echo);

    // Called after any change to the lines, the offset or the mask (redraw),
    // and on show().
    void setChangedListener(std::function<void()> listener);
    void setShowListener(std::function<void()> listener);

    // Back to the state of a new log: no lines, offset 0, all levels (tests).
    void clear();

private:
    Log();
    void notifyChanged();
    void finishLine(); // caller holds _mutex

    mutable std::mutex _mutex;
    std::vector<LogLine> _lines;    // protected by _mutex; last entry is the current line
    int _scrollOffset = 0;          // protected by _mutex
    int _levelMask = kAllLevels;    // protected by _mutex
    bool _echo = true;              // protected by _mutex
    std::function<void()> _changed; // protected by _mutex (copied out before calling)
    std::function<void()> _show;    // protected by _mutex (copied out before calling)
};

// Shorthands for one whole line, as every component writes them:
// console::writeLine(console::LEVEL_2, "[TCPServer] Connection ...");
inline void writeLine(int level, std::string_view text)
{
    Log::instance().writeLine(level, text);
}
inline void show()
{
    Log::instance().show();
}

} // namespace console

#pragma once
// Where the console puts its lines. The panel is laid out in a 1000 x 1000
// screen space: ten rows of text, the lowest holding the prompt and the nine
// above it the log, newest line at the bottom. A line that wraps takes as
// many rows as it wraps to. These are plain numbers so that the layout and
// the scroll limit can be tested without a window; ConsoleHandler turns them
// into a camera, a panel and texts.

#include "log/Log.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace console {

inline constexpr float kScreenSize = 1000.0f; // orthographic space, both axes
inline constexpr float kCharacterSize = 15.0f;
inline constexpr float kLineSpacing = 0.1f; // fraction of the character size
inline constexpr int kRows = 10;            // visible rows, prompt included
inline constexpr int kLogRows = kRows - 1;  // rows above the prompt
inline constexpr int kPromptRow = kRows - 1;
inline constexpr float kPanelLeft = 10.0f;
inline constexpr float kPanelTop = 990.0f;
inline constexpr float kPanelWidth = 980.0f;
inline constexpr float kPanelHeight = (1.0f + kLineSpacing) * kCharacterSize * kRows; // 165
inline constexpr float kPanelAlpha = 0.3f; // the panel's black lets 70 % of the view through
inline constexpr float kTextMaxWidth = 980.0f;
inline constexpr float kTextMaxHeight = 150.0f;

// Top of the text in row `row` (0 is the top row).
inline constexpr float rowY(int row)
{
    return kPanelTop - (1.0f + kLineSpacing) * kCharacterSize * static_cast<float>(row) -
           kCharacterSize * kLineSpacing;
}

// Number of rows a text wraps to (at least 1). The console measures with its
// font; tests pass simple counters.
using RowCounter = std::function<int(std::string_view text)>;

struct PlacedLine
{
    std::size_t index; // into the line list
    int firstRow;      // top row the line starts in
    int rowCount;
};

struct RowLayout
{
    std::vector<PlacedLine> placed; // newest first
    bool olderHidden = false;       // an older line that passes the mask did not fit
};

// The line text as drawn: without its final line feed.
std::string_view displayText(std::string_view lineText);

// Places the lines from the one `scrollOffset` places above the newest
// (the current line is the newest) towards older ones, skipping lines
// whose level does not share a bit with `levelMask`, from the row above
// the prompt upwards until the log rows are full. A line that no longer fits
// ends the layout.
RowLayout layoutRows(const std::vector<LogLine>& lines, int scrollOffset, int levelMask,
                     const RowCounter& rowsOf);

// The scroll offset after one step up: one more as long as older lines are
// still hidden above the top row, else unchanged.
int scrolledUp(const std::vector<LogLine>& lines, int scrollOffset, int levelMask,
               const RowCounter& rowsOf);

} // namespace console

#include "console/ConsoleLayout.h"

#include <algorithm>

namespace console {

std::string_view displayText(std::string_view lineText)
{
    if (!lineText.empty() && lineText.back() == '\n')
        lineText.remove_suffix(1);
    return lineText;
}

namespace {

bool passes(const LogLine& line, int levelMask)
{
    return (line.level & levelMask) != 0;
}

} // namespace

RowLayout layoutRows(const std::vector<LogLine>& lines, int scrollOffset, int levelMask,
                     const RowCounter& rowsOf)
{
    RowLayout layout;
    const long long start = static_cast<long long>(lines.size()) - 1 - std::max(scrollOffset, 0);
    int nextRow = kLogRows - 1; // the lowest free row, counting upwards
    long long i = start;
    for (; i >= 0 && nextRow >= 0; --i) {
        const LogLine& line = lines[static_cast<std::size_t>(i)];
        if (!passes(line, levelMask))
            continue;
        const int rows = std::max(1, rowsOf(displayText(line.text)));
        if (rows > nextRow + 1)
            break; // does not fit any more: this line stays hidden
        layout.placed.push_back({static_cast<std::size_t>(i), nextRow - rows + 1, rows});
        nextRow -= rows;
    }
    for (; i >= 0 && !layout.olderHidden; --i)
        layout.olderHidden = passes(lines[static_cast<std::size_t>(i)], levelMask);
    return layout;
}

int scrolledUp(const std::vector<LogLine>& lines, int scrollOffset, int levelMask,
               const RowCounter& rowsOf)
{
    if (layoutRows(lines, scrollOffset, levelMask, rowsOf).olderHidden)
        return scrollOffset + 1;
    return scrollOffset;
}

} // namespace console

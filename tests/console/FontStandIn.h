#pragma once
// The console tests measure text without a font.

#include <string_view>

namespace console_test {

// A stand-in for the font: a row holds 40 characters, '\n' starts a new row.
inline int rowsPer40(std::string_view text)
{
    int rows = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::size_t length = (end == std::string_view::npos ? text.size() : end) - start;
        rows += length == 0 ? 1 : static_cast<int>((length + 39) / 40);
        if (end == std::string_view::npos)
            return rows;
        start = end + 1;
    }
}

} // namespace console_test

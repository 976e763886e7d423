#pragma once
// Every console test starts from a new log that does not echo to standard
// error and counts show requests.

#include "app/console/ConsoleLayout.h"
#include "log/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace console_test {

class LogFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        log().clear();
        log().setEchoToStderr(false);
        auto shows = _shows;
        log().setShowListener([shows] { ++*shows; });
    }
    void TearDown() override
    {
        log().setShowListener({});
        log().setChangedListener({});
        log().setEchoToStderr(true);
        log().clear();
    }

    static console::Log& log() { return console::Log::instance(); }
    int shows() const { return *_shows; }

    // The finished lines (without the current one), texts without line feeds.
    static std::vector<std::string> finishedTexts()
    {
        std::vector<std::string> texts;
        const auto lines = log().snapshot();
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            texts.emplace_back(console::displayText(lines[i].text));
        return texts;
    }

private:
    std::shared_ptr<std::atomic<int>> _shows = std::make_shared<std::atomic<int>>(0);
};

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

#pragma once
// Every test of the log and of the console starts from a new log that does
// not echo to standard error and counts show requests.

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

    // The finished lines (without the current one), texts without their
    // final line feed.
    static std::vector<std::string> finishedTexts()
    {
        std::vector<std::string> texts;
        const auto lines = log().snapshot();
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            std::string_view text = lines[i].text;
            if (!text.empty() && text.back() == '\n')
                text.remove_suffix(1);
            texts.emplace_back(text);
        }
        return texts;
    }

private:
    std::shared_ptr<std::atomic<int>> _shows = std::make_shared<std::atomic<int>>(0);
};

} // namespace console_test

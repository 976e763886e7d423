#include "client/demo/AnswerTally.h"

AnswerTally::AnswerTally(Clock::duration interval) : _interval(interval) {}

void AnswerTally::name(std::uint32_t object, std::string what)
{
    _names[object] = std::move(what);
}

std::string AnswerTally::what(std::uint32_t object, std::uint64_t count) const
{
    const auto named = _names.find(object);
    std::string text = named != _names.end() ? named->second : "packet";
    if (count != 1)
        text += "s";
    return text + " of object " + std::to_string(object);
}

std::vector<std::string> AnswerTally::received(std::uint32_t object, Clock::time_point now)
{
    Counts& counts = _counts[object];
    ++counts.total;
    if (counts.total == 1) {
        _lastSaid = now;
        return {"the viewer sent a " + what(object, 1) + " (more are counted, not printed)"};
    }
    ++counts.unsaid;
    return due(now);
}

std::vector<std::string> AnswerTally::due(Clock::time_point now)
{
    if (now - _lastSaid < _interval)
        return {};
    std::vector<std::string> lines = flush();
    if (!lines.empty())
        _lastSaid = now;
    return lines;
}

std::vector<std::string> AnswerTally::flush()
{
    std::vector<std::string> lines;
    for (auto& [object, counts] : _counts) {
        if (counts.unsaid == 0)
            continue;
        lines.push_back("the viewer sent " + std::to_string(counts.unsaid) + " more " +
                        what(object, counts.unsaid) + " (" + std::to_string(counts.total) +
                        " in all)");
        counts.unsaid = 0;
    }
    return lines;
}

#include "log/Log.h"

#include <cstdio>

namespace console {

Log& Log::instance()
{
    static Log log;
    return log;
}

Log::Log()
{
    _lines.push_back(LogLine{});
}

void Log::write(std::string_view text)
{
    {
        std::lock_guard lock(_mutex);
        _lines.back().text.append(text);
        _scrollOffset = 0;
    }
    notifyChanged();
}

void Log::write(long long number)
{
    write(std::to_string(number));
}

void Log::setLevel(int level)
{
    if (!isValidLevel(level))
        return;
    std::lock_guard lock(_mutex);
    _lines.back().level = level;
}

void Log::finishLine()
{
    LogLine& line = _lines.back();
    // The terminal or the service journal keeps the log too; the line goes
    // out whole, under the lock, so lines from several threads stay apart.
    if (_echo)
        std::fprintf(stderr, "[%2d] %s\n", line.level, line.text.c_str());
    line.text.push_back('\n');
    _lines.push_back(LogLine{});
}

void Log::endLine()
{
    {
        std::lock_guard lock(_mutex);
        finishLine();
    }
    notifyChanged();
}

void Log::writeLine(int level, std::string_view text)
{
    {
        std::lock_guard lock(_mutex);
        LogLine& line = _lines.back();
        if (isValidLevel(level))
            line.level = level;
        line.text.append(text);
        _scrollOffset = 0;
        finishLine();
    }
    notifyChanged();
}

void Log::writeLine(std::string_view text)
{
    writeLine(0, text);
}

void Log::show()
{
    std::function<void()> listener;
    {
        std::lock_guard lock(_mutex);
        listener = _show;
    }
    if (listener)
        listener();
}

std::vector<LogLine> Log::snapshot() const
{
    std::lock_guard lock(_mutex);
    return _lines;
}

std::size_t Log::lineCount() const
{
    std::lock_guard lock(_mutex);
    return _lines.size();
}

void Log::withLines(const LinesVisitor& f) const
{
    std::lock_guard lock(_mutex);
    f(_lines, _scrollOffset, _levelMask);
}

int Log::scrollOffset() const
{
    std::lock_guard lock(_mutex);
    return _scrollOffset;
}

void Log::setScrollOffset(int offset)
{
    {
        std::lock_guard lock(_mutex);
        _scrollOffset = offset;
    }
    notifyChanged();
}

bool Log::changeScrollOffset(const ScrollRule& next)
{
    {
        std::lock_guard lock(_mutex);
        const int offset = next(_lines, _scrollOffset, _levelMask);
        if (offset == _scrollOffset)
            return false;
        _scrollOffset = offset;
    }
    notifyChanged();
    return true;
}

int Log::levelMask() const
{
    std::lock_guard lock(_mutex);
    return _levelMask;
}

void Log::setLevelMask(int mask)
{
    {
        std::lock_guard lock(_mutex);
        _levelMask = mask;
    }
    notifyChanged();
}

void Log::setEchoToStderr(bool echo)
{
    std::lock_guard lock(_mutex);
    _echo = echo;
}

void Log::setChangedListener(std::function<void()> listener)
{
    std::lock_guard lock(_mutex);
    _changed = std::move(listener);
}

void Log::setShowListener(std::function<void()> listener)
{
    std::lock_guard lock(_mutex);
    _show = std::move(listener);
}

void Log::clear()
{
    {
        std::lock_guard lock(_mutex);
        _lines.assign(1, LogLine{});
        _scrollOffset = 0;
        _levelMask = kAllLevels;
    }
    notifyChanged();
}

void Log::notifyChanged()
{
    std::function<void()> listener;
    {
        std::lock_guard lock(_mutex);
        listener = _changed;
    }
    if (listener)
        listener();
}

} // namespace console

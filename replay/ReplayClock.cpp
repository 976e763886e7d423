#include "replay/ReplayClock.h"

#include <chrono>

namespace {

std::int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

ReplayClock::ReplayClock() : ReplayClock(steadyNanoseconds, 1e-9) {}

ReplayClock::ReplayClock(TickSource now, double secondsPerTick)
    : _now(std::move(now)), _secondsPerTick(secondsPerTick)
{
    _startTick = _now();
    _pauseTick = _now();
    _paused = true;
}

double ReplayClock::position() const
{
    const std::int64_t end = _paused ? _pauseTick : _now();
    return double(end - _startTick) * _speed - _pausedTicks + _offsetTicks;
}

double ReplayClock::time() const
{
    return position() * _secondsPerTick;
}

void ReplayClock::setTime(double seconds)
{
    _offsetTicks = seconds / _secondsPerTick;
    _startTick = _pauseTick = _now();
    _pausedTicks = 0;
}

void ReplayClock::setSpeed(double speed)
{
    _offsetTicks = position();
    _startTick = _pauseTick = _now();
    _pausedTicks = 0;
    _speed = speed;
}

void ReplayClock::pause()
{
    if (_paused)
        return;
    _pauseTick = _now();
    _paused = true;
}

void ReplayClock::resume()
{
    if (!_paused)
        return;
    _pausedTicks += double(_now() - _pauseTick) * _speed;
    _paused = false;
}

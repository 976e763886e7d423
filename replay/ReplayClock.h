#pragma once
// The replay clock: replay time that runs at an adjustable speed (negative
// plays backwards), can be paused, resumed and set. It starts paused at 0.
//
// Position in ticks: (now - start) x speed - pausedTicks + offset while
// running; the same with the pause tick in place of now while paused. The
// tick source is injected so that tests set time instead of sleeping.
//
// Threading: GUI thread only.

#include <cstdint>
#include <functional>

class ReplayClock
{
public:
    // Current tick; and the length of a tick in seconds.
    using TickSource = std::function<std::int64_t()>;

    // A steady clock with nanosecond ticks.
    ReplayClock();
    ReplayClock(TickSource now, double secondsPerTick);

    // Replay time in seconds.
    double time() const;
    double speed() const { return _speed; }
    bool isPaused() const { return _paused; }

    // Jumps to t; a paused clock stays paused there, a running one runs on from t.
    void setTime(double seconds);
    // Changes the speed without a jump in time.
    void setSpeed(double speed);
    void pause();
    void resume();

private:
    double position() const;

    TickSource _now;
    double _secondsPerTick;
    std::int64_t _startTick = 0;
    std::int64_t _pauseTick = 0;
    double _pausedTicks = 0; // already multiplied by the speed
    double _offsetTicks = 0;
    double _speed = 1.0;
    bool _paused = true;
};

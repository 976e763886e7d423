#pragma once
// When and what to show of the opening of a replay file: nothing while it
// is quick, a percentage once indexing has taken longer than a delay (half a
// second), nothing again once it is done. Fed by ReplayManager::Progress;
// the time is passed in, so the rule is tested without waiting.
//
// Threading: whoever opens the replay (the GUI thread).

#include <cstdint>
#include <functional>

class OpeningProgress
{
public:
    using Clock = std::function<double()>; // seconds since some fixed start
    static constexpr double DELAY_SECONDS = 0.5;

    struct Shown
    {
        bool visible = false;
        int percent = 0; // 0 to 100
    };

    explicit OpeningProgress(Clock clock, double delaySeconds = DELAY_SECONDS)
        : _clock(std::move(clock)), _delay(delaySeconds)
    {
    }

    // One report of the indexing: done 0 starts an opening, done == total
    // ends it.
    Shown update(std::uint64_t done, std::uint64_t total);
    void setDelay(double seconds) { _delay = seconds; }

private:
    Clock _clock;
    double _delay;
    double _start = 0.0;
};

#pragma once
// What the replay controls do to the replay clock: play/pause, rewind, the
// small and large steps, the time slider and box, the speed selector, the
// spring-loaded jog dial, and the playback step that keeps the clock inside
// the replay's time range. The main window's slots call these and show the
// results; keeping the rules here lets them be tested without widgets.
//
// Threading: GUI thread only.

#include "replay/ReplayClock.h"

class ReplayTransport
{
public:
    static constexpr int SLIDER_RANGE = 1000;

    explicit ReplayTransport(ReplayClock& clock) : _clock(clock) {}

    // The replay's first and last time stamps.
    void setRange(double first, double last);
    double first() const { return _first; }
    double last() const { return _last; }
    double time() const { return _clock.time(); }
    bool isPaused() const { return _clock.isPaused(); }

    // Play/pause: from paused, restarts at the first time when within 1 ms
    // of the end, then runs; from running, pauses. Returns whether it now runs.
    bool startOrPause();
    void rewind();
    void stepForward(); // 0.1 % of the range
    void moveForward(); // 1 %
    void backstep();
    void reverse();
    // Slider value 0..1000 while dragged.
    void sliderMoved(int value);
    void timeChanged(double seconds);
    void speedChanged(double speed);
    void jogDialStart();
    // Deflection -100..100: speed sign(v) x v^2 x 0.0025, running.
    void jogDialMoved(int value);
    void jogDialStop();

    // After the replay's records for the clock time were fed: where the slider
    // and the time box go, and whether playback stopped at the end.
    struct Step
    {
        double time;       // shown in the time box
        int slider;        // 0..1000; 0 for an empty range
        bool stoppedAtEnd; // paused at the last time: show the play icon
    };
    Step update(bool repeat);

    int sliderValue(double time) const;

private:
    ReplayClock& _clock;
    double _first = 0;
    double _last = 0;
};

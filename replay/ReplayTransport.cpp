#include "replay/ReplayTransport.h"

#include <cmath>

void ReplayTransport::setRange(double first, double last)
{
    _first = first;
    _last = last;
}

bool ReplayTransport::startOrPause()
{
    if (!_clock.isPaused()) {
        _clock.pause();
        return false;
    }
    if (_clock.time() >= _last - 0.001)
        _clock.setTime(_first);
    _clock.resume();
    return true;
}

void ReplayTransport::rewind()
{
    _clock.setTime(_first);
}

void ReplayTransport::stepForward()
{
    _clock.setTime(_clock.time() + (_last - _first) * 0.001);
}

void ReplayTransport::moveForward()
{
    _clock.setTime(_clock.time() + (_last - _first) * 0.01);
}

void ReplayTransport::backstep()
{
    _clock.setTime(_clock.time() - (_last - _first) * 0.001);
}

void ReplayTransport::reverse()
{
    _clock.setTime(_clock.time() - (_last - _first) * 0.01);
}

void ReplayTransport::sliderMoved(int value)
{
    // The slider spans the replay's range, wherever it starts.
    _clock.setTime(_first + (_last - _first) * value * 0.001);
}

void ReplayTransport::timeChanged(double seconds)
{
    _clock.setTime(seconds);
}

void ReplayTransport::speedChanged(double speed)
{
    _clock.setSpeed(speed);
}

void ReplayTransport::jogDialStart()
{
    _clock.setSpeed(0.0);
}

void ReplayTransport::jogDialMoved(int value)
{
    _clock.resume();
    const double v = value;
    _clock.setSpeed((v < 0 ? -1.0 : 1.0) * v * v * 0.0025);
}

void ReplayTransport::jogDialStop()
{
    _clock.setSpeed(1.0);
    _clock.pause();
}

int ReplayTransport::sliderValue(double time) const
{
    const double range = _last - _first;
    if (!(range > 0)) // an empty or single-frame replay
        return 0;
    return int(SLIDER_RANGE * (time - _first) / range);
}

ReplayTransport::Step ReplayTransport::update(bool repeat)
{
    Step step{};
    step.time = _clock.time();
    step.slider = sliderValue(step.time);
    if (_clock.time() < _first) {
        _clock.pause();
        _clock.setTime(_first);
    }
    if (_clock.time() > _last) {
        if (!repeat) {
            _clock.pause();
            step.stoppedAtEnd = true;
        }
        _clock.setTime(repeat ? _first : _last);
    }
    return step;
}

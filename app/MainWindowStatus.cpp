#include "app/MainWindowStatus.h"

ControlStates controlStatesFor(ObjectManager::State state, double firstTime, double lastTime)
{
    ControlStates states;
    states.openReplay = state != ObjectManager::Online;
    states.replayControls = state == ObjectManager::Replay;
    states.disconnect = state == ObjectManager::Online;
    states.exportVideo = state == ObjectManager::Replay;
    switch (state) {
    case ObjectManager::Replay:
        states.statusText = "Status: Replay";
        states.timeBoxSignalsBlocked = false;
        states.timeBoxMinimum = firstTime;
        states.timeBoxMaximum = lastTime;
        break;
    case ObjectManager::Online:
    case ObjectManager::Offline:
        states.statusText = state == ObjectManager::Online ? "Status: Online" : "Status: Offline";
        states.timeBoxSignalsBlocked = true;
        states.timeBoxMinimum = 0.0;
        states.timeBoxMaximum = 99999.0;
        states.resetTimeSlider = true;
        break;
    }
    return states;
}

LoadingAnimation::Frame LoadingAnimation::tick(bool filesLoading)
{
    if (!filesLoading)
        return {};
    _counter = _counter % CYCLE + 1;
    Frame frame;
    frame.visible = true;
    if (_counter < 100)
        frame.text = "Loading Files.  ";
    else if (_counter < 200)
        frame.text = "Loading Files.. ";
    else if (_counter < CYCLE)
        frame.text = "Loading Files...";
    return frame;
}

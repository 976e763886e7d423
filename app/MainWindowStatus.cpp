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

PortTexts portTextsFor(bool listening, int port, int requestedPort)
{
    PortTexts texts;
    if (listening) {
        const std::string number = std::to_string(port);
        texts.statusText = "Port " + number;
        texts.toolTip = "Simulations connect to TCP port " + number;
        texts.about = "Listening on TCP port " + number + ".";
        texts.noticeTitle = "Waiting for a simulation on port " + number;
        texts.noticeDetail = "Start a simulation that connects to this port, "
                             "or open a recording with File > Open Replay...";
        return texts;
    }
    const std::string asked =
        requestedPort == 0 ? "a free TCP port" : "TCP port " + std::to_string(requestedPort);
    texts.statusText = "Not listening";
    texts.toolTip = "Orvane cannot listen on " + asked + " yet; the console (F10) says why";
    texts.about = "Not listening yet: Orvane cannot open " + asked +
                  " (the console, F10, says why) and keeps trying.";
    texts.noticeTitle = "Cannot listen on " + asked;
    texts.noticeDetail = "The console (F10) says why. Orvane keeps trying; "
                         "another port can be given with -tcp <port>.";
    return texts;
}

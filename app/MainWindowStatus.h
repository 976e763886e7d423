#pragma once
// What the main window's controls show in each state of the object manager,
// and the loading label's animation. Plain values: the main window applies
// them to its widgets after every tick, status change and replay load.
//
// Threading: GUI thread only.

#include <string>

#include "scene/ObjectManager.h"

// The enabling and texts of the replay controls, the status label and the
// time box for one state.
struct ControlStates
{
    std::string statusText;  // "Status: Online", "Status: Offline", "Status: Replay"
    bool openReplay = false; // "Open Replay..."
    // "Save Replay...", the transport actions, "Repeat Replay", the time
    // slider, the time box and the jog dial.
    bool replayControls = false;
    bool disconnect = false;  // "Disconnect"
    bool exportVideo = false; // "Export Replay as Video"
    // Outside a replay the time box is silenced and open (0 to 99999) and the
    // time slider rests at 0; in a replay it spans the replay's records.
    bool timeBoxSignalsBlocked = true;
    double timeBoxMinimum = 0.0;
    double timeBoxMaximum = 0.0;
    bool resetTimeSlider = false;
};

// firstTime and lastTime are the time stamps of the loaded replay's first and
// last record (both 0 without records); they matter only in Replay.
ControlStates controlStatesFor(ObjectManager::State state, double firstTime, double lastTime);

// What the window says about the port of the simulation link: the status
// bar's port label, the About box and the words over the empty view while
// Offline. `listening` and `port` are the server's (the port it is bound to,
// which differs from the requested one when that was 0); `requestedPort` is
// the one it was asked for.
struct PortTexts
{
    std::string statusText;   // "Port 11000", or "Not listening"
    std::string toolTip;      // the status label's tool tip
    std::string about;        // a sentence of the About box
    std::string noticeTitle;  // "Waiting for a simulation on port 11000"
    std::string noticeDetail; // what to do about it
};
PortTexts portTextsFor(bool listening, int port, int requestedPort);

// The loading label: while model files load, its text cycles through
// "Loading Files.  ", "Loading Files.. " and "Loading Files..." at about one
// second each (100 ticks of 10 ms); otherwise it is hidden.
class LoadingAnimation
{
public:
    struct Frame
    {
        bool visible = false;
        // The label's new text, or null when the text stays as it is.
        const char* text = nullptr;
    };

    static constexpr int CYCLE = 300;

    Frame tick(bool filesLoading);
    int counter() const { return _counter; }

private:
    int _counter = 0;
};

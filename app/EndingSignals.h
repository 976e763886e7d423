#pragma once
// The endings a viewer does not choose: a signal that asks it to terminate
// (SIGTERM from a logout or a killed session, SIGHUP from a closed terminal,
// SIGINT from Ctrl+C), and the window system going away, after which Qt or
// Xlib end the process with exit(). Neither can ask the user anything, so
// the main window keeps what must not be lost before the program ends.
//
// Signals reach the GUI thread through a pipe: the handler only writes the
// signal's number into it, and a socket notifier calls `onSignal` from the
// event loop, where anything may be done. A signal that comes while the
// last one is still being handled is dropped.
//
// A file-size limit (ulimit -f) makes a write fail like a full disk does,
// instead of ending the process with SIGXFSZ: the signal is ignored.
//
// Threading: constructed, destroyed and called back on the GUI thread;
// the signal handler runs on whichever thread the kernel picks.

#include <QObject>

#include <functional>

class QSocketNotifier;

class EndingSignals : public QObject
{
public:
    // Installs the handlers; at most one instance at a time.
    explicit EndingSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // Gives the signals their default action back.
    ~EndingSignals() override;

    // "SIGTERM", "SIGHUP", "SIGINT", or "signal <n>".
    static QString name(int signal);

    // Calls `action` if the process ends through exit() while it is set
    // (the window system went away during the event loop); null clears it.
    // Set once the window runs, cleared before its normal end.
    static void setOnUnexpectedExit(std::function<void()> action);

private:
    void readSignal();

    std::function<void(int)> _onSignal;
    int _pipe[2] = {-1, -1};
    QSocketNotifier* _notifier = nullptr;
};

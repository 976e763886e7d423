#include "app/EndingSignals.h"

#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the pipe, for the handler.
volatile int gSignalPipe = -1;

std::function<void()>& unexpectedExit()
{
    static std::function<void()> action;
    return action;
}

extern "C" void writeSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (gSignalPipe >= 0) [[maybe_unused]]
        const ssize_t written = ::write(gSignalPipe, &number, 1);
    errno = saved;
}

extern "C" void runUnexpectedExit()
{
    // Taken out first: what it does may end in exit() again.
    const std::function<void()> action = std::move(unexpectedExit());
    unexpectedExit() = nullptr;
    if (action)
        action();
}

} // namespace

EndingSignals::EndingSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), _onSignal(std::move(onSignal))
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (::pipe2(_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    gSignalPipe = _pipe[1];
    _notifier = new QSocketNotifier(_pipe[0], QSocketNotifier::Read, this);
    connect(_notifier, &QSocketNotifier::activated, this, &EndingSignals::readSignal);
    struct sigaction action
    {
    };
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

EndingSignals::~EndingSignals()
{
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    gSignalPipe = -1;
    for (int fd : _pipe)
        if (fd >= 0)
            ::close(fd);
}

QString EndingSignals::name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGINT:
        return "SIGINT";
    default:
        return "signal " + QString::number(signal);
    }
}

void EndingSignals::setOnUnexpectedExit(std::function<void()> action)
{
    static const bool registered = std::atexit(runUnexpectedExit) == 0;
    (void)registered;
    unexpectedExit() = std::move(action);
}

void EndingSignals::readSignal()
{
    unsigned char number = 0;
    if (::read(_pipe[0], &number, 1) != 1)
        return;
    // Whatever else came meanwhile ends the program the same way.
    unsigned char more[64];
    while (::read(_pipe[0], more, sizeof more) > 0) {
    }
    if (_onSignal)
        _onSignal(number);
}

#include "PrivateXServer.h"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int FIRST_DISPLAY = 200;
constexpr int DISPLAY_RANGE = 600;
constexpr int ATTEMPTS = 40;

bool exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

PrivateXServer::PrivateXServer(const std::vector<std::string>& screens)
{
    const int first = FIRST_DISPLAY + int(::getpid() % DISPLAY_RANGE);
    for (int attempt = 0; attempt < ATTEMPTS && _name.empty(); ++attempt) {
        const int number = FIRST_DISPLAY + (first - FIRST_DISPLAY + attempt) % DISPLAY_RANGE;
        if (exists("/tmp/.X" + std::to_string(number) + "-lock") ||
            exists("/tmp/.X11-unix/X" + std::to_string(number)))
            continue;
        if (tryDisplay(number, screens))
            _name = ":" + std::to_string(number);
    }
}

PrivateXServer::~PrivateXServer()
{
    stop();
    if (!_logPath.empty())
        ::unlink(_logPath.c_str());
}

bool PrivateXServer::tryDisplay(int number, const std::vector<std::string>& screens)
{
    const std::string display = ":" + std::to_string(number);
    _logPath = "/tmp/orvane-xvfb-" + std::to_string(::getpid()) + "-" + std::to_string(number);
    // No reset when the last client leaves: the probe below is such a client,
    // and a client connecting during the reset is turned away.
    std::vector<std::string> arguments{"Xvfb", display, "-nolisten", "tcp", "-noreset"};
    arguments.insert(arguments.end(), screens.begin(), screens.end());

    _pid = ::fork();
    if (_pid == 0) {
        const int log = ::open(_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp("Xvfb", argv.data());
        ::_exit(127);
    }
    if (_pid < 0)
        return false;

    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    while (steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(_pid, &status, WNOHANG) == _pid) {
            _pid = -1; // it gave up on this number: another server holds it
            return false;
        }
        if (Display* connection = XOpenDisplay(display.c_str())) {
            XCloseDisplay(connection);
            // Connected while our server runs: unless it dies now (lost the
            // number to a server that started alongside), the display is ours.
            std::this_thread::sleep_for(milliseconds(100));
            if (::waitpid(_pid, &status, WNOHANG) == 0)
                return true;
            _pid = -1;
            return false;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    stop();
    return false;
}

void PrivateXServer::stop()
{
    if (_pid <= 0)
        return;
    ::kill(_pid, SIGTERM);
    ::waitpid(_pid, nullptr, 0);
    _pid = -1;
}

std::string PrivateXServer::diagnosis() const
{
    std::ostringstream text;
    text << "display " << (_name.empty() ? "(none)" : _name) << ", server "
         << (_pid > 0 && ::kill(_pid, 0) == 0 ? "running" : "not running");
    if (std::ifstream log(_logPath); log)
        text << ", it wrote: " << log.rdbuf();
    return text.str();
}

} // namespace testsupport

#pragma once
// A virtual X server (Xvfb) of a test's own, stopped when the object goes.
//
// The display number is chosen here, not by the server's -displayfd: two
// servers started at the same moment that way can both report the same
// number, and the loser's clients then knock at the winner's door. Numbers
// are tried from one derived from the process id, skipping any with a lock
// file or socket, and a display counts only once a client could connect to
// it while our server is still running.
//
// Threading: one thread.

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class PrivateXServer
{
public:
    // `screens`: the server's screen arguments, e.g. {"-screen", "0", "1280x1024x24"}.
    explicit PrivateXServer(const std::vector<std::string>& screens);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N", or empty when no server could be started.
    const std::string& name() const { return _name; }
    // Whether the server is still running, and what it wrote, for failure messages.
    std::string diagnosis() const;

private:
    bool tryDisplay(int number, const std::vector<std::string>& screens);
    void stop();

    pid_t _pid = -1;
    std::string _name;
    std::string _logPath;
};

} // namespace testsupport

// Views on other screens need a display with more than one screen. These
// tests start their own X server with two screens (800 x 600 and
// 640 x 480), so they do not depend on the display they are run under, and
// set the process up as the program does.

#include <QApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "view/ViewerManager.h"

namespace {

// Starts Xvfb on a free display number and returns its process id, or -1.
pid_t startServer()
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "800x600x24", "-screen", "1", "640x480x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string display;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(fds[0]);
    if (pid < 0 || display.empty()) {
        if (pid > 0)
            kill(pid, SIGTERM);
        return -1;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    const pid_t server = startServer();
    if (server < 0) {
        std::fprintf(stderr, "test_view_screens: cannot start Xvfb with two screens\n");
        return 1;
    }
    ViewerManager::prepareProcess(Embedding::NativeWindow);
    char folder[] = "/tmp/orvane-view-settings-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    setenv("XDG_CONFIG_HOME", folder, 1);

    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::system(("rm -rf " + std::string(folder)).c_str());
    return result;
}

#pragma once
// The file manager's cleaning thread: runs the cleaning pass, then sleeps
// for the interval (5 s in the program), until it is told to stop. It runs
// at the lowest priority. Stopping wakes it at once and joins it, so no pass
// runs after stop() returns.
//
// Threading: constructed, stopped and destroyed by the owner's thread; the
// pass runs on the cleaning thread. _stop is protected by _mutex.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class FileCleaningThread
{
public:
    FileCleaningThread(std::function<void()> pass, std::chrono::milliseconds interval);
    ~FileCleaningThread(); // stops
    FileCleaningThread(const FileCleaningThread&) = delete;
    FileCleaningThread& operator=(const FileCleaningThread&) = delete;

    void stop();

private:
    void run();

    const std::function<void()> _pass;
    const std::chrono::milliseconds _interval;
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _stop = false;
    std::thread _thread;
};

#pragma once
// One background load of one model file: reads the file (resolved with
// findFile, read with the option "noRotation") and stores the result, a
// node or null, in the file manager's table. The file manager creates one
// per requested file and counts it as loading from its creation until the
// result is stored.
//
// Threading: created, started and joined by the file manager (under its
// mutex, or after taking the thread out of its list); run() is the thread
// itself and touches the manager only through storeLoaded, which locks.

#include <atomic>
#include <string>
#include <thread>

class FileManager;

class FileLoadingThread
{
public:
    FileLoadingThread(std::string name, FileManager& manager);
    ~FileLoadingThread(); // joins
    FileLoadingThread(const FileLoadingThread&) = delete;
    FileLoadingThread& operator=(const FileLoadingThread&) = delete;

    void start();
    // True once the result is stored; join() then returns at once.
    bool isFinished() const { return _finished.load(std::memory_order_acquire); }
    void join();

private:
    void run();

    const std::string _name;
    FileManager& _manager;
    std::thread _thread;
    std::atomic<bool> _finished{false};
};

#include "files/FileCleaningThread.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int LOWEST_PRIORITY_NICE = 19;

} // namespace

FileCleaningThread::FileCleaningThread(std::function<void()> pass,
                                       std::chrono::milliseconds interval)
    : _pass(std::move(pass)), _interval(interval), _thread([this] { run(); })
{
}

FileCleaningThread::~FileCleaningThread()
{
    stop();
}

void FileCleaningThread::stop()
{
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _wake.notify_all();
    if (_thread.joinable())
        _thread.join();
}

void FileCleaningThread::run()
{
    // Lowest priority: only this thread, not the process.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), LOWEST_PRIORITY_NICE);
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stop) {
        lock.unlock();
        _pass();
        lock.lock();
        _wake.wait_for(lock, _interval, [this] { return _stop; });
    }
}

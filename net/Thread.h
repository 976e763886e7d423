#pragma once
// A joinable thread with a chosen stack size (std::thread cannot set one).
//
// Threading: a Thread object is owned by one thread, which starts and joins
// it; the body runs on the new thread.

#include <cstddef>
#include <functional>

#include <pthread.h>

class Thread
{
public:
    Thread() = default;
    // Starts `body` on a new thread with `stackSize` bytes of stack (0: the
    // system default). Throws std::system_error when the thread cannot start.
    Thread(std::size_t stackSize, std::function<void()> body);
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool joinable() const { return _started; }
    // Waits for the body to return; does nothing when not started or joined.
    void join();

private:
    pthread_t _handle{};
    bool _started = false;
};

#include "net/Thread.h"

#include <memory>
#include <system_error>
#include <utility>

namespace {

void* runBody(void* argument)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

} // namespace

Thread::Thread(std::size_t stackSize, std::function<void()> body)
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize)
        pthread_attr_setstacksize(&attributes, stackSize);
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    const int error = pthread_create(&_handle, &attributes, runBody, owned.get());
    pthread_attr_destroy(&attributes);
    if (error)
        throw std::system_error(error, std::generic_category(), "cannot start a thread");
    owned.release(); // the new thread owns it now
    _started = true;
}

Thread::~Thread()
{
    join();
}

Thread::Thread(Thread&& other) noexcept
    : _handle(other._handle), _started(std::exchange(other._started, false))
{
}

Thread& Thread::operator=(Thread&& other) noexcept
{
    if (this != &other) {
        join();
        _handle = other._handle;
        _started = std::exchange(other._started, false);
    }
    return *this;
}

void Thread::join()
{
    if (_started) {
        pthread_join(_handle, nullptr);
        _started = false;
    }
}

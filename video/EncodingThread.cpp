#include "video/EncodingThread.h"

#include <utility>

namespace video {

EncodingThread::EncodingThread(VideoEncoder& encoder, double timeStep, bool bottomRowFirst,
                               std::size_t depth, Recycle recycle)
    : _encoder(encoder), _timeStep(timeStep), _bottomRowFirst(bottomRowFirst),
      _depth(depth > 0 ? depth : 1), _recycle(std::move(recycle)), _thread([this] { run(); })
{
}

EncodingThread::~EncodingThread()
{
    try {
        finish();
    } catch (...) {
        // The owner that wanted the failure called finish() itself.
    }
}

bool EncodingThread::submit(osg::ref_ptr<osg::Image> image)
{
    std::unique_lock lock(_mutex);
    _changed.wait(lock, [this] { return _queue.size() < _depth || _failure || _closing; });
    if (_failure || _closing)
        return false;
    _queue.push_back(std::move(image));
    _changed.notify_all();
    return true;
}

bool EncodingThread::failed() const
{
    std::lock_guard lock(_mutex);
    return static_cast<bool>(_failure);
}

void EncodingThread::finish()
{
    if (_thread.joinable()) {
        {
            std::lock_guard lock(_mutex);
            _closing = true;
        }
        _changed.notify_all();
        _thread.join();
    }
    std::exception_ptr failure;
    {
        std::lock_guard lock(_mutex);
        failure = std::exchange(_failure, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void EncodingThread::run()
{
    for (;;) {
        osg::ref_ptr<osg::Image> image;
        {
            std::unique_lock lock(_mutex);
            _changed.wait(lock, [this] { return !_queue.empty() || _closing; });
            if (_queue.empty())
                return;
            // The image stays queued while it is encoded, so that the
            // producer waits until there is room for a new one.
            image = _queue.front();
        }
        std::exception_ptr failure;
        try {
            _encoder.setInputImage(*image, _bottomRowFirst);
            _encoder.encodeFrame(_timeStep);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(_mutex);
            _queue.pop_front();
            if (failure) {
                _failure = failure;
                _queue.clear();
            }
        }
        _changed.notify_all();
        if (_recycle)
            _recycle(std::move(image));
        if (failure)
            return;
    }
}

} // namespace video

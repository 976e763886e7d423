#pragma once
// Encodes frames on a thread of its own, so that the next frame is drawn
// and read back while the previous one is converted, compressed and
// written. The caller submits images in frame order; at most `depth` wait
// (submit blocks when they do), so memory stays bounded when encoding is
// slower than drawing. An encoder failure stops the thread: later submits
// are dropped, failed() says so, and finish() rethrows the failure.
//
// Threading: submit(), failed() and finish() on the producing thread (the
// GUI thread in the program); the encoder belongs to the encoding thread
// from construction until finish() returns. A used image goes back through
// `recycle`, called on the encoding thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include <osg/Image>
#include <osg/ref_ptr>

#include "video/VideoEncoder.h"

namespace video {

class EncodingThread
{
public:
    using Recycle = std::function<void(osg::ref_ptr<osg::Image>)>;

    // Every frame lasts `timeStep` seconds; images are stored bottom row
    // first when `bottomRowFirst`.
    EncodingThread(VideoEncoder& encoder, double timeStep, bool bottomRowFirst,
                   std::size_t depth = 2, Recycle recycle = {});
    // Finishes (and drops a failure finish() did not report).
    ~EncodingThread();
    EncodingThread(const EncodingThread&) = delete;
    EncodingThread& operator=(const EncodingThread&) = delete;

    // Queues the next frame; waits while `depth` frames wait. Returns false
    // (and drops the image) once encoding has failed.
    bool submit(osg::ref_ptr<osg::Image> image);
    bool failed() const;
    // Encodes what is queued, ends the thread and rethrows the first
    // failure; later calls do nothing.
    void finish();

private:
    void run();

    VideoEncoder& _encoder;
    const double _timeStep;
    const bool _bottomRowFirst;
    const std::size_t _depth;
    Recycle _recycle;

    mutable std::mutex _mutex; // protects everything below
    std::condition_variable _changed;
    std::deque<osg::ref_ptr<osg::Image>> _queue;
    bool _closing = false;
    std::exception_ptr _failure;

    std::thread _thread; // last: starts after the members it uses
};

} // namespace video

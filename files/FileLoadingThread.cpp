#include "files/FileLoadingThread.h"

#include <osg/Node>

#include "files/FileManager.h"

FileLoadingThread::FileLoadingThread(std::string name, FileManager& manager)
    : _name(std::move(name)), _manager(manager)
{
}

FileLoadingThread::~FileLoadingThread()
{
    join();
}

void FileLoadingThread::start()
{
    _thread = std::thread([this] { run(); });
}

void FileLoadingThread::join()
{
    if (_thread.joinable())
        _thread.join();
}

void FileLoadingThread::run()
{
    osg::ref_ptr<osg::Node> node;
    try {
        node = _manager.readFile(_name);
    } catch (...) {
        node = nullptr; // a reader that throws (out of memory, a plug-in) is a failed read
    }
    _manager.storeLoaded(_name, node);
    _finished.store(true, std::memory_order_release);
}

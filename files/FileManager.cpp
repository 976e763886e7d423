#include "files/FileManager.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include <osg/CopyOp>
#include <osgDB/Options>
#include <osgDB/ReadFile>

#include "log/Log.h"
#include "files/CloneDrawablePurposeVisitor.h"
#include "files/TerrainModule.h"
#include "files/FileCleaningThread.h"
#include "files/FileLoadingThread.h"
#include "files/FileSettings.h"
#include "files/FindFile.h"

namespace {

// Deep copy of everything but textures and images, which stay shared with
// the cached node (they are never changed per object and are the bulk of
// a textured model's memory).
const osg::CopyOp COPY_FLAGS(osg::CopyOp::DEEP_COPY_ALL & ~osg::CopyOp::DEEP_COPY_TEXTURES &
                             ~osg::CopyOp::DEEP_COPY_IMAGES);

FileManager::Clock monotonicClock()
{
    const auto start = std::chrono::steady_clock::now();
    return [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
}

// The part after the last "/" or "\".
std::string baseName(const std::string& name)
{
    const std::size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

std::int64_t fileSize(const std::string& path)
{
    if (path.empty())
        return 0;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

void logLoaded(const std::string& name, const osg::Node& cached)
{
    console::writeLine(console::LEVEL_1,
                       "[FileManager] File " + baseName(name) +
                           " loaded. RefCount: " + std::to_string(cached.referenceCount()));
}

} // namespace

FileManager::FileManager(QObject* parent) : FileManager(Options{}, parent) {}

FileManager::FileManager(Options options, QObject* parent)
    : QObject(parent), _clock(options.clock ? std::move(options.clock) : monotonicClock()),
      _reader(options.reader ? std::move(options.reader) : Reader(&FileManager::readModelFile)),
      _terrainModule(options.terrainModule ? *options.terrainModule : TerrainModule::program())
{
    // The log must outlive the threads that write to it.
    console::Log::instance();
    _sizeLimit = filesettings::sizeLimit();
    if (options.runCleaningThread)
        _cleaner = std::make_unique<FileCleaningThread>([this] { cleaningPass(); },
                                                        options.cleaningInterval);
}

FileManager::~FileManager()
{
    _cleaner.reset();
    waitForLoads();
}

osg::ref_ptr<osg::Node> FileManager::readModelFile(const std::string& name)
{
    const std::string path = findFile(name);
    if (path.empty())
        return nullptr; // findFile has said so
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options("noRotation");
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(path, options.get());
    if (!node) {
        console::writeLine(console::LEVEL_8, "[FileManager] Unable to read model file " + path);
        console::show();
    }
    return node;
}

osg::ref_ptr<osg::Node> FileManager::loadOrCloneFile(const std::string& name)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    reapFinishedLoaders();

    const auto entry = _files.find(name);
    if (entry == _files.end()) {
        console::Log::instance().writeLine("[FileManager] loadOrCloneFile " + name);
        _files.emplace(name, nullptr);
        _loadingCount.fetch_add(1, std::memory_order_relaxed);
        auto& loader = _loaders.emplace_back(std::make_unique<FileLoadingThread>(name, *this));
        loader->start();
        console::writeLine(console::LEVEL_2, "[FileManager] File not in FileList, loading...");
        return nullptr;
    }
    osg::Node* cached = entry->second.get();
    if (!cached)
        return nullptr; // loading, or failed for good
    if (cached->referenceCount() < 1) {
        console::Log::instance().writeLine("[FileManager] Something went wrong.");
        return nullptr;
    }

    const std::int64_t size = fileSize(findFile(name));
    console::writeLine(console::LEVEL_1, "[FileManager] File size: " + std::to_string(size));
    if (size < _sizeLimit) {
        osg::ref_ptr<osg::Node> copy = static_cast<osg::Node*>(cached->clone(COPY_FLAGS));
        CloneDrawablePurposeVisitor retag;
        copy->accept(retag);
        cached->ref();
        logLoaded(name, *cached);
        return copy;
    }
    console::writeLine(console::LEVEL_1,
                       "[FileManager] File too large! Using original. Note that all material "
                       "changes are now duplicated when using more than one instance of the file.");
    cached->ref();
    logLoaded(name, *cached);
    return cached;
}

void FileManager::releaseFile(const std::string& name)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    const auto entry = _files.find(name);
    // The table's own reference is never given away, whatever a caller does.
    if (entry != _files.end() && entry->second && entry->second->referenceCount() > 1)
        entry->second->unref();
}

void FileManager::storeLoaded(const std::string& name, osg::ref_ptr<osg::Node>& node)
{
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        if (!node)
            _failed.insert(name);
        _files[name] = node;
        node = nullptr;
    }
    _loadingCount.fetch_sub(1, std::memory_order_relaxed);
}

void FileManager::reapFinishedLoaders()
{
    for (auto loader = _loaders.begin(); loader != _loaders.end();) {
        if ((*loader)->isFinished())
            loader = _loaders.erase(loader); // joins a thread that has ended
        else
            ++loader;
    }
}

void FileManager::waitForLoads()
{
    for (;;) {
        std::list<std::unique_ptr<FileLoadingThread>> loaders;
        {
            const std::lock_guard<std::mutex> lock(_mutex);
            loaders.swap(_loaders);
        }
        if (loaders.empty())
            return;
        loaders.clear(); // joins each, without the mutex that the loaders take
    }
}

void FileManager::cleaningPass()
{
    // Released after the mutex: unloading a large model takes a while.
    std::vector<osg::ref_ptr<osg::Node>> unloaded;
    const std::unique_lock<std::mutex> lock(_mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    try {
        const std::int64_t now = _clock();
        for (auto candidate = _candidates.begin(); candidate != _candidates.end();) {
            const auto entry = _files.find(candidate->first);
            if (entry == _files.end() || !entry->second || entry->second->referenceCount() >= 2) {
                candidate = _candidates.erase(candidate); // in use again
                continue;
            }
            if (now - candidate->second > UNLOAD_AFTER_MS) {
                console::writeLine(console::LEVEL_1,
                                   "[FileManager] Unloading file " + candidate->first);
                unloaded.push_back(std::move(entry->second));
                _files.erase(entry);
                candidate = _candidates.erase(candidate);
                continue;
            }
            ++candidate;
        }
        for (const auto& [name, node] : _files) {
            if (node && node->referenceCount() == 1 && !_candidates.contains(name))
                _candidates.emplace(name, now);
        }
    } catch (...) {
        // A pass that fails half-way is simply repeated by the next one.
    }
}

FileSource::FileState FileManager::fileState(const std::string& name) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    const auto entry = _files.find(name);
    if (entry == _files.end())
        return FileState::Absent;
    if (entry->second)
        return FileState::Loaded;
    return _failed.contains(name) ? FileState::Failed : FileState::Loading;
}

int FileManager::usageCount(const std::string& name) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    const auto entry = _files.find(name);
    if (entry == _files.end() || !entry->second)
        return -1;
    return entry->second->referenceCount() - 1;
}

bool FileManager::isUnloadCandidate(const std::string& name) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return _candidates.contains(name);
}

osg::ref_ptr<osg::Node> FileManager::cachedNode(const std::string& name) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    const auto entry = _files.find(name);
    return entry == _files.end() ? nullptr : entry->second;
}

osg::ref_ptr<osg::Node> FileManager::createTerrainNode(UserMessages* messages)
{
    if (!_terrainModule.ensureLoaded(messages))
        return nullptr;
    return _terrainModule.createNode();
}

#pragma once
// The file manager loads each model file once, in the background, keeps the
// loaded node in a cache keyed by the file name as the requester gave it, and
// hands every user either a private deep copy (textures and images stay
// shared) or, for files at or above the size limit, the cached node itself.
//
// Usage references: every successful loadOrCloneFile adds one reference to
// the cached node, releaseFile removes one. The table holds the first, so a
// cached node with a reference count of 1 has no users. The cleaning thread
// looks every 5 seconds for such nodes and unloads a file that has had no
// user for more than 10 seconds; a file requested again before then is used
// from the cache without a new load.
//
// A table entry without a node means the file is loading, or that its load
// failed: a failed file is never loaded again during the run, and requests
// for it return null without a message.
//
// The program owns one and hands it to its objects as their file source
// (app/ProgramServices); tests and benchmarks make their own with a clock, a
// reader and a cleaning interval of their choice.
//
// Threading: loadOrCloneFile and releaseFile come from the thread that
// applies packets (the GUI thread). Loader threads store their results and
// the cleaning thread runs its pass; the file table, the failed names, the
// unload candidates and the loader list are protected by _mutex, which the
// cleaning pass only try-locks. Node copies are made on the requesting
// thread with the mutex held. loadingCount() is atomic and takes no lock.

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <osg/Node>
#include <osg/ref_ptr>

#include "scene/ObjectServices.h"

class FileCleaningThread;
class TerrainModule;
class FileLoadingThread;

class FileManager : public QObject, public FileSource
{
    Q_OBJECT

public:
    // Milliseconds from any fixed start; only differences matter.
    using Clock = std::function<std::int64_t()>;
    // Reads the file a requester named: the loader thread's work.
    using Reader = std::function<osg::ref_ptr<osg::Node>(const std::string& name)>;

    struct Options
    {
        Clock clock;                            // default: a monotonic clock
        Reader reader;                          // default: readModelFile
        TerrainModule* terrainModule = nullptr; // default: TerrainModule::program()
        std::chrono::milliseconds cleaningInterval{5000};
        bool runCleaningThread = true;
    };

    // A file without users for longer than this is unloaded.
    static constexpr std::int64_t UNLOAD_AFTER_MS = 10000;

    explicit FileManager(QObject* parent = nullptr);
    explicit FileManager(Options options, QObject* parent = nullptr);
    // Stops the cleaning thread and waits for the loads under way.
    ~FileManager() override;

    // A node for the file: a copy, the shared cached node, or null while the
    // file is not (yet) available. The first request starts the load.
    osg::ref_ptr<osg::Node> loadOrCloneFile(const std::string& name) override;
    // Gives back the usage reference of one successful loadOrCloneFile.
    void releaseFile(const std::string& name) override;
    // A node of the terrain module (bound on first use), or null.
    osg::ref_ptr<osg::Node> createTerrainNode(UserMessages* messages) override;

    // Loads under way; read by the status bar's loading animation.
    int loadingCount() const { return _loadingCount.load(std::memory_order_relaxed); }
    // Files of this many bytes or more are shared instead of copied.
    std::int32_t sizeLimit() const { return _sizeLimit; }

    // One cleaning pass (the cleaning thread runs it every interval).
    // Skipped when the mutex is held.
    void cleaningPass();
    // Waits until every load started so far has stored its result.
    void waitForLoads();

    FileState fileState(const std::string& name) const override;
    // The users of a cached file (its reference count less the table's
    // own), or -1 when no node is cached for the name.
    int usageCount(const std::string& name) const;
    bool isUnloadCandidate(const std::string& name) const;
    osg::ref_ptr<osg::Node> cachedNode(const std::string& name) const;

    // The default reader: findFile, then the scene library's node reader with
    // the option "noRotation" (model files keep their axes). Logs an
    // unreadable file at level 8.
    static osg::ref_ptr<osg::Node> readModelFile(const std::string& name);

private:
    friend class FileLoadingThread;
    osg::ref_ptr<osg::Node> readFile(const std::string& name) const { return _reader(name); }
    // Called by a loader thread with its result, then the thread ends. The
    // thread's reference is dropped under the mutex (`node` is null
    // afterwards): the count of a cached node changes only where the
    // cleaning pass reads it.
    void storeLoaded(const std::string& name, osg::ref_ptr<osg::Node>& node);
    void reapFinishedLoaders(); // caller holds _mutex

    const Clock _clock;
    const Reader _reader;
    TerrainModule& _terrainModule;
    std::int32_t _sizeLimit = 0; // set in the constructor, then only read
    std::atomic<int> _loadingCount{0};

    mutable std::mutex _mutex;
    std::map<std::string, osg::ref_ptr<osg::Node>> _files;  // protected by _mutex
    std::set<std::string> _failed;                          // protected by _mutex
    std::map<std::string, std::int64_t> _candidates;        // protected by _mutex
    std::list<std::unique_ptr<FileLoadingThread>> _loaders; // protected by _mutex

    std::unique_ptr<FileCleaningThread> _cleaner;
};

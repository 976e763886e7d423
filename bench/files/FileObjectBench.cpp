// A simulation creates 1,000 file objects of one 50,000-triangle model; the
// packets go through the real receive ring and the scene root's update
// callback, then frames run until every object shows its model. The model
// loads once; the other 999 are copies (below the size limit) or share the
// cached node (size limit lowered below the file size).
//
// Figures per case (manual time = first packet to all shown):
//   objects/s      objects shown per second
//   heap/object    heap bytes in use afterwards per object (the copy, the
//                  object and its state packet, two or three log lines)
//   x_load         time / one plain read of the model file, measured in the
//                  same iteration
//   x_copy         time / 1,000 plain deep copies of the loaded model with
//                  the file manager's copy flags, kept alive, same iteration
//
//   bench_files --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QSettings>
#include <QString>

#include <malloc.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <osg/CopyOp>
#include <osg/Geode>
#include <osg/Geometry>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>
#include <osgUtil/UpdateVisitor>

#include "log/Log.h"
#include "files/FileManager.h"
#include "files/FileObjects.h"
#include "files/TerrainModule.h"
#include "files/VisFileObject.h"
#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"
#include "settings/Settings.h"

namespace {

constexpr int OBJECTS = 1000;
constexpr int CELLS_X = 125, CELLS_Y = 200; // 2 x 125 x 200 = 50,000 triangles

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// A folder of its own for the model and the settings store.
struct BenchFolder
{
    BenchFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
        path = mkdtemp(pattern.data());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(path));
        model = path + "/terrain-mesh.osgb";
        writeModel();
    }
    ~BenchFolder() { std::filesystem::remove_all(path); }

    void writeModel() const
    {
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
        for (int j = 0; j <= CELLS_Y; ++j) {
            for (int i = 0; i <= CELLS_X; ++i) {
                vertices->push_back(osg::Vec3(float(i), float(j), std::sin(0.1f * float(i + j))));
                normals->push_back(osg::Vec3(0, 0, 1));
            }
        }
        osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
        for (int j = 0; j < CELLS_Y; ++j) {
            for (int i = 0; i < CELLS_X; ++i) {
                const unsigned a = unsigned(j * (CELLS_X + 1) + i), b = a + 1, c = a + CELLS_X + 1,
                               d = c + 1;
                for (const unsigned index : {a, b, d, a, d, c})
                    triangles->push_back(index);
            }
        }
        osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
        geometry->setVertexArray(vertices.get());
        geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
        geometry->addPrimitiveSet(triangles.get());
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(geometry.get());
        osgDB::writeNodeFile(*geode, model);
    }

    std::string path;
    std::string model;
};

BenchFolder& folder()
{
    static BenchFolder instance;
    return instance;
}

void setSizeLimit(int limit)
{
    QSettings store = settings::openSettings();
    settings::setSettingValue(store, settings::SettingKey::MaxFileSizeDuplicated, limit);
    store.sync();
}

GNP2::Packet* creatingPacket(int objectNumber, const std::string& model)
{
    auto* p = new GNP2::Packet;
    p->setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), TYPE_VisFileObject));
    p->setIntVector(13, {0});
    p->setString(item::model_file::FileName, model);
    p->setFloatVector(1, {float(objectNumber % 40), float(objectNumber / 40), 0.0f});
    p->setIntVector(44, {objectNumber % 256, 128, 255 - objectNumber % 256});
    return p;
}

// Heap bytes in use, large blocks (which malloc maps one by one) included.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Plain baselines of the same iteration: one read, 1,000 copies.
struct Baselines
{
    double readSeconds;
    double copySeconds;
};

Baselines measureBaselines(const std::string& model)
{
    auto start = Clock::now();
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(model);
    const double read = seconds(start);
    const osg::CopyOp flags(osg::CopyOp::DEEP_COPY_ALL & ~osg::CopyOp::DEEP_COPY_TEXTURES &
                            ~osg::CopyOp::DEEP_COPY_IMAGES);
    // The copies stay alive, as the objects' copies do: fresh memory each time.
    std::vector<osg::ref_ptr<osg::Object>> copies;
    copies.reserve(OBJECTS);
    start = Clock::now();
    for (int i = 0; i < OBJECTS; ++i)
        copies.emplace_back(node->clone(flags));
    const double copy = seconds(start);
    return {read, copy};
}

// One run: 1,000 creating packets, then frames until all are shown.
// Returns the seconds that took; adds the heap per object. Everything is
// freed again before it returns, so the baselines start from the same heap.
double showOnce(const std::string& model, TerrainModule& noTerrain, double& heapPerObject)
{
    console::Log::instance().clear();
    FileManager::Options options;
    options.runCleaningThread = false;
    options.terrainModule = &noTerrain;
    FileManager files(options);
    ObjectFactory factory;
    registerFileObjects(factory);
    PacketRing receive, send;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> callback =
        new rootnodeUpdateCallback(receive, send, factory, root.get(), nullptr, {.files = &files});
    callback->setClock([] { return 0.0; }); // no per-frame budget: measure the work
    root->setUpdateCallback(callback.get());
    osgUtil::UpdateVisitor frame;
    const std::size_t heapBefore = heapInUse();

    const auto start = Clock::now();
    for (int n = 0; n < OBJECTS; ++n) {
        GNP2::Packet* packet = creatingPacket(n, model);
        if (!receive.tryPush(packet)) {
            callback->runOnce(); // the ring is full: apply what waits
            receive.push(packet);
        }
    }
    int shown = 0;
    while (shown < OBJECTS) {
        root->accept(frame);
        shown = 0;
        for (int n = 0; n < OBJECTS; ++n)
            shown += callback->findObject(0, n)->isInitialized() ? 1 : 0;
        if (shown < OBJECTS && files.loadingCount() > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double elapsed = seconds(start);
    heapPerObject += double(heapInUse() - heapBefore) / OBJECTS;
    root->setUpdateCallback(nullptr);
    return elapsed;
}

void showThousandObjects(benchmark::State& state, bool shared)
{
    const std::string& model = folder().model;
    const auto modelSize = std::int64_t(std::filesystem::file_size(model));
    setSizeLimit(shared ? 1 : int(modelSize + 1));
    console::Log::instance().setEchoToStderr(false);
    TerrainModule noTerrain(std::vector<std::string>{});

    double heapPerObject = 0, shownSeconds = 0, readSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const double elapsed = showOnce(model, noTerrain, heapPerObject);
        state.SetIterationTime(elapsed);
        shownSeconds += elapsed;
        const Baselines baselines = measureBaselines(model);
        readSeconds += baselines.readSeconds;
        copySeconds += baselines.copySeconds;
    }
    const auto iterations = double(state.iterations());
    state.counters["objects/s"] = OBJECTS * iterations / shownSeconds;
    state.counters["heap/object"] = heapPerObject / iterations;
    state.counters["x_load"] = shownSeconds / readSeconds;
    state.counters["x_copy"] = shownSeconds / copySeconds;
    state.counters["model_bytes"] = double(modelSize);
}

void BM_ThousandCopies(benchmark::State& state)
{
    showThousandObjects(state, false);
}
BENCHMARK(BM_ThousandCopies)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ThousandShared(benchmark::State& state)
{
    showThousandObjects(state, true);
}
BENCHMARK(BM_ThousandShared)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

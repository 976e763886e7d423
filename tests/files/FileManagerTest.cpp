#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include <osg/Geode>
#include <osg/Material>
#include <osg/Texture2D>

#include "FileTestSupport.h"
#include "log/Log.h"
#include "files/FileManager.h"
#include "scene/ColorVisitor.h"
#include "scene/DrawablePurpose.h"

using filetest::countLines;

namespace {

using filetest::firstGeometry;
using filetest::materialOf;

class FileManagerTest : public filetest::FileTest
{
protected:
    void SetUp() override
    {
        FileTest::SetUp();
        model = dir.file("model.osgt");
        filetest::writeModel(model);
    }

    // A manager on the test's clock whose reads are counted; no cleaning
    // thread unless asked for.
    std::unique_ptr<FileManager> makeManager(FileManager::Reader reader = {},
                                             bool cleaningThread = false)
    {
        FileManager::Options options;
        options.clock = [this] { return now.load(); };
        options.reader = [this, reader](const std::string& name) {
            ++reads;
            return reader ? reader(name) : FileManager::readModelFile(name);
        };
        options.runCleaningThread = cleaningThread;
        options.cleaningInterval = std::chrono::milliseconds(1);
        return std::make_unique<FileManager>(options);
    }

    // The node for the name once its load has finished.
    static osg::ref_ptr<osg::Node> loaded(FileManager& files, const std::string& name)
    {
        if (osg::ref_ptr<osg::Node> node = files.loadOrCloneFile(name))
            return node;
        files.waitForLoads();
        return files.loadOrCloneFile(name);
    }

    std::string model;
    std::atomic<std::int64_t> now{0};
    std::atomic<int> reads{0};
};

TEST_F(FileManagerTest, LoadsOnceInTheBackgroundAndSaysSo)
{
    auto files = makeManager();
    EXPECT_EQ(files->loadOrCloneFile(model), nullptr);
    EXPECT_EQ(countLines("[FileManager] loadOrCloneFile " + model, console::LEVEL_4), 1);
    EXPECT_EQ(countLines("[FileManager] File not in FileList, loading...", console::LEVEL_2), 1);
    files->waitForLoads();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loaded);

    osg::ref_ptr<osg::Node> node = files->loadOrCloneFile(model);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(
        countLines("[FileManager] File size: " + std::to_string(std::filesystem::file_size(model)),
                   console::LEVEL_1),
        1);
    EXPECT_EQ(countLines("[FileManager] File model.osgt loaded. RefCount: 2", console::LEVEL_1), 1);
    EXPECT_EQ(countLines("[FileManager] loadOrCloneFile"), 1);
}

TEST_F(FileManagerTest, TwoUsersGetIndependentCopies)
{
    auto files = makeManager();
    osg::ref_ptr<osg::Node> first = loaded(*files, model);
    osg::ref_ptr<osg::Node> second = files->loadOrCloneFile(model);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first, files->cachedNode(model));
    EXPECT_NE(firstGeometry(first.get()), firstGeometry(second.get()));
    EXPECT_NE(firstGeometry(first.get())->getVertexArray(),
              firstGeometry(second.get())->getVertexArray());
    EXPECT_EQ(files->usageCount(model), 2);

    ColorVisitor red;
    red.setColor(1.0f, 0.0f, 0.0f);
    first->accept(red);
    ASSERT_NE(materialOf(first.get()), nullptr);
    EXPECT_EQ(materialOf(first.get())->getDiffuse(osg::Material::FRONT), osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(materialOf(second.get()), nullptr);
    EXPECT_EQ(materialOf(files->cachedNode(model).get()), nullptr);
}

TEST_F(FileManagerTest, CopiesShareTexturesAndImagesButNotPurposeTags)
{
    osg::ref_ptr<osg::Geode> original = new osg::Geode;
    original->addDrawable(filetest::makeTriangles(1));
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(2, 2, 1, GL_RGB, GL_UNSIGNED_BYTE);
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
    original->getOrCreateStateSet()->setTextureAttribute(0, texture.get());
    DrawablePurpose::mark(*original->getDrawable(0), DrawablePurpose::TRANSPARENCY_COPY);
    const DrawablePurpose* originalTag = DrawablePurpose::of(*original->getDrawable(0));

    auto files = makeManager([&](const std::string&) { return osg::ref_ptr<osg::Node>(original); });
    osg::ref_ptr<osg::Node> copy = loaded(*files, model);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, original);
    osg::StateSet* copyState = copy->getStateSet();
    ASSERT_NE(copyState, nullptr);
    EXPECT_NE(copyState, original->getStateSet());
    auto* copyTexture = dynamic_cast<osg::Texture2D*>(
        copyState->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
    EXPECT_EQ(copyTexture, texture.get());
    EXPECT_EQ(copyTexture->getImage(), image.get());

    const osg::Drawable& copyDrawable = *copy->asGeode()->getDrawable(0);
    const DrawablePurpose* copyTag = DrawablePurpose::of(copyDrawable);
    ASSERT_NE(copyTag, nullptr);
    EXPECT_NE(copyTag, originalTag);
    EXPECT_EQ(copyTag->flags(), std::uint32_t(DrawablePurpose::TRANSPARENCY_COPY));
    EXPECT_EQ(DrawablePurpose::of(*original->getDrawable(0)), originalTag);
}

// The size limit, relative to the model file's size, and whether users share the cached node.
struct LimitCase
{
    const char* label;
    int limitMinusSize;
    bool shared;
};

class SizeLimit : public FileManagerTest, public ::testing::WithParamInterface<LimitCase>
{
};

TEST_P(SizeLimit, FilesAtOrAboveTheLimitAreShared)
{
    const auto size = int(std::filesystem::file_size(model));
    filetest::storeSetting("FileObjects/maxFileSizeDuplicated",
                           std::to_string(size + GetParam().limitMinusSize));
    auto files = makeManager();
    osg::ref_ptr<osg::Node> first = loaded(*files, model);
    osg::ref_ptr<osg::Node> second = files->loadOrCloneFile(model);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first == second, GetParam().shared);
    EXPECT_EQ(first == files->cachedNode(model), GetParam().shared);
    EXPECT_EQ(countLines("[FileManager] File too large! Using original.", console::LEVEL_1),
              GetParam().shared ? 2 : 0);
    EXPECT_EQ(files->usageCount(model), 2 + (GetParam().shared ? 2 : 0)); // + our two holders
}

INSTANTIATE_TEST_SUITE_P(Limits, SizeLimit,
                         ::testing::Values(LimitCase{"BelowSize", -1, true},
                                           LimitCase{"EqualToSize", 0, true},
                                           LimitCase{"AboveSize", 1, false}),
                         [](const auto& row) { return std::string(row.param.label); });

struct StoredLimitCase
{
    const char* label;
    const char* stored; // null: absent
    int expected;
};

class StoredSizeLimit : public FileManagerTest,
                        public ::testing::WithParamInterface<StoredLimitCase>
{
};

TEST_P(StoredSizeLimit, ZeroOrAbsentIsReplacedByTheDefaultAndWrittenBack)
{
    if (GetParam().stored)
        filetest::storeSetting("FileObjects/maxFileSizeDuplicated", GetParam().stored);
    auto files = makeManager();
    EXPECT_EQ(files->sizeLimit(), GetParam().expected);
    EXPECT_EQ(filetest::storedSetting("FileObjects/maxFileSizeDuplicated"),
              std::to_string(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Stored, StoredSizeLimit,
                         ::testing::Values(StoredLimitCase{"Absent", nullptr, 50715200},
                                           StoredLimitCase{"Zero", "0", 50715200},
                                           StoredLimitCase{"NotANumber", "big", 50715200},
                                           StoredLimitCase{"Set", "1234", 1234}),
                         [](const auto& row) { return std::string(row.param.label); });

TEST_F(FileManagerTest, ReleaseGivesBackOneReferenceAndNeverTheTablesOwn)
{
    auto files = makeManager();
    std::vector<osg::ref_ptr<osg::Node>> users;
    users.push_back(loaded(*files, model));
    users.push_back(files->loadOrCloneFile(model));
    users.push_back(files->loadOrCloneFile(model));
    EXPECT_EQ(files->usageCount(model), 3);
    files->releaseFile(model);
    EXPECT_EQ(files->usageCount(model), 2);
    for (int i = 0; i < 5; ++i)
        files->releaseFile(model);
    EXPECT_EQ(files->usageCount(model), 0);
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loaded);
    files->releaseFile(dir.file("never-requested.osgt"));
    EXPECT_EQ(files->fileState(dir.file("never-requested.osgt")), FileManager::FileState::Absent);
}

TEST_F(FileManagerTest, UnloadsAFileUnusedForMoreThanTenSeconds)
{
    auto files = makeManager();
    loaded(*files, model);
    files->releaseFile(model);

    now = 1000;
    files->cleaningPass();
    EXPECT_TRUE(files->isUnloadCandidate(model));
    now = 1000 + FileManager::UNLOAD_AFTER_MS; // exactly 10 s: kept
    files->cleaningPass();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loaded);
    now = 1000 + FileManager::UNLOAD_AFTER_MS + 1;
    files->cleaningPass();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Absent);
    EXPECT_FALSE(files->isUnloadCandidate(model));
    EXPECT_EQ(countLines("[FileManager] Unloading file " + model, console::LEVEL_1), 1);

    // Requested again, it is loaded afresh.
    EXPECT_NE(loaded(*files, model), nullptr);
    EXPECT_EQ(reads, 2);
}

TEST_F(FileManagerTest, AFileRequestedAgainWithinTenSecondsComesFromTheCache)
{
    auto files = makeManager();
    loaded(*files, model);
    files->releaseFile(model); // the object is deleted...
    files->cleaningPass();
    EXPECT_TRUE(files->isUnloadCandidate(model));

    now = 9000; // ...and created again
    osg::ref_ptr<osg::Node> again = files->loadOrCloneFile(model);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(reads, 1);

    now = 30000; // in use: the candidate is dropped, not unloaded
    files->cleaningPass();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loaded);
    EXPECT_FALSE(files->isUnloadCandidate(model));

    files->releaseFile(model);
    files->cleaningPass(); // a candidate again, stamped now
    now = 30000 + FileManager::UNLOAD_AFTER_MS;
    files->cleaningPass();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loaded);
    now += 1;
    files->cleaningPass();
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Absent);
}

TEST_F(FileManagerTest, AnUnreadableFileIsRequestedOnceAndNeverLoads)
{
    const std::string broken = dir.write("broken.osgt", "this is not a scene file");
    auto files = makeManager();
    EXPECT_EQ(files->loadOrCloneFile(broken), nullptr);
    files->waitForLoads();
    EXPECT_EQ(files->fileState(broken), FileManager::FileState::Failed);
    EXPECT_EQ(countLines("[FileManager] Unable to read model file " + broken, console::LEVEL_8), 1);
    const std::size_t linesBefore = console::Log::instance().lineCount();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(files->loadOrCloneFile(broken), nullptr);
    files->cleaningPass();
    EXPECT_EQ(console::Log::instance().lineCount(), linesBefore);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(countLines("File not in FileList, loading..."), 1);
}

TEST_F(FileManagerTest, CountsTheLoadsUnderWay)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto files = makeManager([opened](const std::string& name) {
        opened.wait();
        return FileManager::readModelFile(name);
    });
    const std::string other = dir.file("other.osgt");
    filetest::writeModel(other);
    EXPECT_EQ(files->loadingCount(), 0);
    files->loadOrCloneFile(model);
    files->loadOrCloneFile(other);
    files->loadOrCloneFile(model); // already loading: no second thread
    EXPECT_EQ(files->loadingCount(), 2);
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Loading);
    gate.set_value();
    files->waitForLoads();
    EXPECT_EQ(files->loadingCount(), 0);
    EXPECT_EQ(reads, 2);
}

TEST_F(FileManagerTest, DestructionWaitsForALoadUnderWay)
{
    std::atomic<bool> stored{false};
    {
        auto files = makeManager([&](const std::string& name) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            auto node = FileManager::readModelFile(name);
            stored = true;
            return node;
        });
        files->loadOrCloneFile(model);
    }
    EXPECT_TRUE(stored);
}

TEST_F(FileManagerTest, TheCleaningThreadUnloadsByItselfAndStopsWithTheManager)
{
    std::atomic<bool> destroyed{false};
    std::atomic<int> passesAfterDestruction{0};
    {
        FileManager::Options options;
        options.clock = [&] {
            if (destroyed)
                ++passesAfterDestruction;
            return now.load();
        };
        options.cleaningInterval = std::chrono::milliseconds(1);
        FileManager files(options);
        loaded(files, model);
        files.releaseFile(model);
        for (int i = 0; i < 5000 && !files.isUnloadCandidate(model); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(files.isUnloadCandidate(model));
        now = 20000;
        for (int i = 0; i < 5000 && files.fileState(model) != FileManager::FileState::Absent; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(files.fileState(model), FileManager::FileState::Absent);
    }
    destroyed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(passesAfterDestruction, 0);
}

// Requests, releases, loads and cleaning passes all at once, with files
// unloaded and loaded again while they are requested (run under
// ThreadSanitizer too). Afterwards every cached file counts exactly the
// users that still hold it.
TEST_F(FileManagerTest, KeepsItsCountsUnderConcurrentLoadsAndCleaning)
{
    constexpr int FILES = 6;
    std::vector<std::string> names;
    for (int i = 0; i < FILES; ++i) {
        names.push_back(dir.file("m" + std::to_string(i) + ".osgt"));
        filetest::writeModel(names.back(), 4);
    }
    FileManager::Options options;
    // Every look at the clock is three seconds later: idle files go quickly.
    options.clock = [this] { return now.fetch_add(3000); };
    options.cleaningInterval = std::chrono::milliseconds(1);
    FileManager files(options);

    std::vector<std::vector<osg::ref_ptr<osg::Node>>> held(FILES);
    for (int round = 0; round < 400; ++round) {
        const int i = round % FILES;
        if (osg::ref_ptr<osg::Node> node = files.loadOrCloneFile(names[i]))
            held[i].push_back(node);
        if (round % 3 == 0 && !held[(i + 1) % FILES].empty()) {
            held[(i + 1) % FILES].pop_back();
            files.releaseFile(names[(i + 1) % FILES]);
        }
        if (round % 50 == 0)
            std::this_thread::yield();
    }
    files.waitForLoads();
    for (int i = 0; i < FILES; ++i) {
        if (!held[i].empty()) {
            EXPECT_EQ(files.usageCount(names[i]), int(held[i].size())) << names[i];
        }
    }
    EXPECT_EQ(files.loadingCount(), 0);
}

} // namespace

#include <gtest/gtest.h>

#include <filesystem>

#include <osg/Geode>
#include <osg/Material>
#include <osgUtil/UpdateVisitor>

#include "FileTestSupport.h"
#include "files/FileManager.h"
#include "files/FileObjects.h"
#include "files/TerrainModule.h"
#include "files/VisFileObject.h"
#include "scene/ObjectKinds.h"
#include "tests/support/Packets.h"

namespace {

using testsupport::deliver;

// A terrain node that records what the program asks of it.
class RecordingTerrain : public stravik::TerrainNode
{
public:
    osg::ref_ptr<osg::Node> load(const std::string& baseName, int flags) override
    {
        loads.push_back({baseName, flags});
        return nullptr;
    }
    void shutdown() override { ++*shutdowns; }

    std::vector<std::pair<std::string, int>> loads;
    std::shared_ptr<int> shutdowns = std::make_shared<int>(0);

protected:
    ~RecordingTerrain() override = default;
};

osg::Vec4 diffuseOf(osg::Node* node)
{
    const osg::Material* material = filetest::materialOf(node);
    return material ? material->getDiffuse(osg::Material::FRONT) : osg::Vec4(-1, -1, -1, -1);
}

class FileObjectTest : public filetest::FileTest
{
protected:
    void SetUp() override
    {
        FileTest::SetUp();
        model = dir.file("arm.osgt");
        filetest::writeModel(model, 2, osg::Vec3(1, 0, 0));
        root = new osg::Group;
        files = makeManager(); // after the store is emptied
    }
    std::unique_ptr<FileManager> makeManager(TerrainModule* terrain = nullptr)
    {
        FileManager::Options options;
        options.runCleaningThread = false;
        options.terrainModule = terrain ? terrain : &terrainModule;
        return std::make_unique<FileManager>(options);
    }

    VisFileObject* newObject()
    {
        auto* object = new VisFileObject(ObjectContext{nullptr, {.files = files.get()}});
        root->addChild(object);
        return object;
    }

    // Two objects of the model, created with their packets and shown.
    std::pair<VisFileObject*, VisFileObject*> showTwo(GNP2::Packet& firstPacket,
                                                      GNP2::Packet& secondPacket)
    {
        VisFileObject* first = newObject();
        VisFileObject* second = newObject();
        deliver(*first, firstPacket, true);
        deliver(*second, secondPacket, true);
        files->waitForLoads();
        frame();
        EXPECT_TRUE(first->isInitialized() && second->isInitialized());
        return {first, second};
    }

    void frame()
    {
        osgUtil::UpdateVisitor visitor;
        root->accept(visitor);
    }

    osg::ref_ptr<RecordingTerrain> madeTerrain;
    int terrainsMade = 0;
    TerrainModule terrainModule{[this] {
        ++terrainsMade;
        madeTerrain = new RecordingTerrain;
        return osg::ref_ptr<stravik::TerrainNode>(madeTerrain.get());
    }};
    std::string model;
    std::unique_ptr<FileManager> files;
    osg::ref_ptr<osg::Group> root;
};

TEST_F(FileObjectTest, ShowsTheModelOnceLoadedWithTheWholeStateApplied)
{
    VisFileObject* object = newObject();
    auto first = filetest::filePacket(model);
    first->setIntVector(item::model_file::Colour, {255, 0, 0});
    deliver(*object, *first, true);
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);

    files->waitForLoads();
    auto second = filetest::filePacket("");
    second->setFloatVector(item::model_file::Position, {1.0f, 2.0f, 3.0f});
    deliver(*object, *second, false);
    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    EXPECT_EQ(object->getTransform()->getChild(0), object->model());
    EXPECT_EQ(object->model()->getDataVariance(), osg::Object::DYNAMIC);
    // The colour came with the first packet only; it is applied all the same.
    EXPECT_EQ(diffuseOf(object->model()), osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(object->getTransform()->getMatrix().getTrans(), osg::Vec3d(1, 2, 3));
}

TEST_F(FileObjectTest, AppearsWithTheNextFrameWhenNoFurtherPacketComes)
{
    VisFileObject* object = newObject();
    auto packet = filetest::filePacket(model);
    packet->setIntVector(item::model_file::Colour, {0, 0, 255});
    deliver(*object, *packet, true);
    EXPECT_NE(object->getUpdateCallback(), nullptr);

    files->waitForLoads();
    frame();
    EXPECT_TRUE(object->isInitialized());
    EXPECT_EQ(diffuseOf(object->model()), osg::Vec4(0, 0, 1, 1));
    EXPECT_EQ(object->getUpdateCallback(), nullptr);
    EXPECT_EQ(files->usageCount(model), 1);
}

TEST_F(FileObjectTest, TwoObjectsOfOneFileAreColouredIndependently)
{
    auto redPacket = filetest::filePacket(model);
    redPacket->setIntVector(item::model_file::Colour, {255, 0, 0});
    auto bluePacket = filetest::filePacket(model);
    bluePacket->setIntVector(item::model_file::Colour, {0, 0, 255});
    const auto [red, blue] = showTwo(*redPacket, *bluePacket);
    EXPECT_NE(red->model(), blue->model());
    EXPECT_EQ(diffuseOf(red->model()), osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(diffuseOf(blue->model()), osg::Vec4(0, 0, 1, 1));
    EXPECT_EQ(files->usageCount(model), 2);
}

TEST_F(FileObjectTest, ObjectsOfALargeFileShareOneNode)
{
    filetest::storeSetting("FileObjects/maxFileSizeDuplicated", "1");
    files = makeManager();
    auto packet = filetest::filePacket(model);
    const auto [first, second] = showTwo(*packet, *packet);
    EXPECT_EQ(first->model(), second->model());
    EXPECT_EQ(first->model(), files->cachedNode(model));
}

TEST_F(FileObjectTest, DeletingAnInitialisedObjectReleasesExactlyOneReference)
{
    auto packet = filetest::filePacket(model);
    const auto [kept, deleted] = showTwo(*packet, *packet);
    ASSERT_EQ(files->usageCount(model), 2);
    root->removeChild(deleted); // the last reference: the object is destroyed
    EXPECT_EQ(files->usageCount(model), 1);
    root->removeChild(kept);
    EXPECT_EQ(files->usageCount(model), 0);
}

TEST_F(FileObjectTest, AnObjectDeletedWhileItsFileLoadsReleasesNothing)
{
    VisFileObject* early = newObject();
    deliver(*early, *filetest::filePacket(model), true);
    root->removeChild(early);
    files->waitForLoads();
    VisFileObject* later = newObject();
    deliver(*later, *filetest::filePacket(model), true);
    ASSERT_TRUE(later->isInitialized());
    EXPECT_EQ(files->usageCount(model), 1);
}

struct SmoothingCase
{
    const char* label;
    std::vector<int> item85; // empty: absent
    bool recomputed;
};

class Smoothing : public FileObjectTest, public ::testing::WithParamInterface<SmoothingCase>
{
};

TEST_P(Smoothing, Item85NonzeroRecomputesTheNormals)
{
    VisFileObject* object = newObject();
    auto packet = filetest::filePacket(model);
    if (!GetParam().item85.empty())
        packet->setIntVector(item::model_file::SmoothNormals, GetParam().item85);
    deliver(*object, *packet, true);
    files->waitForLoads();
    frame();
    ASSERT_TRUE(object->isInitialized());
    const auto* normals = dynamic_cast<const osg::Vec3Array*>(
        filetest::firstGeometry(object->model())->getNormalArray());
    ASSERT_NE(normals, nullptr);
    ASSERT_FALSE(normals->empty());
    // The file's normals point along x; the triangles lie in the z = 0 plane.
    const osg::Vec3 expected = GetParam().recomputed ? osg::Vec3(0, 0, 1) : osg::Vec3(1, 0, 0);
    for (const osg::Vec3& normal : *normals)
        EXPECT_LT((normal - expected).length(), 1e-5f) << normal.x() << normal.y() << normal.z();
}

INSTANTIATE_TEST_SUITE_P(Values, Smoothing,
                         ::testing::Values(SmoothingCase{"Absent", {}, false},
                                           SmoothingCase{"Zero", {0}, false},
                                           SmoothingCase{"One", {1}, true},
                                           SmoothingCase{"Seven", {7}, true}),
                         [](const auto& row) { return std::string(row.param.label); });

struct NameCase
{
    const char* label;
    const char* name;
    const char* terrainBase; // null: a model file
};

class FileKind : public FileObjectTest, public ::testing::WithParamInterface<NameCase>
{
};

TEST_P(FileKind, BbAndWbExtensionsBuildATerrainFromTheBaseName)
{
    VisFileObject* object = newObject();
    deliver(*object, *filetest::filePacket(GetParam().name), true);
    if (GetParam().terrainBase) {
        ASSERT_EQ(terrainsMade, 1);
        const std::vector<std::pair<std::string, int>> expected = {
            {GetParam().terrainBase, VisFileObject::TERRAIN_LOAD_FLAGS}};
        EXPECT_EQ(madeTerrain->loads, expected);
        EXPECT_TRUE(object->isInitialized());
        EXPECT_EQ(object->getTransform()->getChild(0), madeTerrain.get());
        EXPECT_EQ(files->fileState(GetParam().name), FileManager::FileState::Absent);
    } else {
        EXPECT_EQ(terrainsMade, 0);
        EXPECT_NE(files->fileState(GetParam().name), FileManager::FileState::Absent);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, FileKind,
                         ::testing::Values(NameCase{"Wb", "hills.wb", "hills"},
                                           NameCase{"Bb", "hills.bb", "hills"},
                                           NameCase{"DottedBase", "the.hills.wb", "the.hills"},
                                           NameCase{"Wbx", "hills.wbx", nullptr},
                                           NameCase{"UpperCase", "hills.WB", nullptr},
                                           NameCase{"B", "hills.b", nullptr},
                                           NameCase{"NoDot", "hillswb", nullptr},
                                           NameCase{"DotInFolder", "maps.wb/hills", nullptr},
                                           NameCase{"Obj", "arm.obj", nullptr}),
                         [](const auto& row) { return std::string(row.param.label); });

TEST_F(FileObjectTest, ATerrainIsShutDownWhenItsObjectGoes)
{
    VisFileObject* object = newObject();
    deliver(*object, *filetest::filePacket("hills.wb"), true);
    const std::shared_ptr<int> shutdowns = madeTerrain->shutdowns;
    madeTerrain = nullptr;
    EXPECT_EQ(*shutdowns, 0);
    root->removeChild(object);
    EXPECT_EQ(*shutdowns, 1);
}

TEST_F(FileObjectTest, AMissingTerrainModuleIsReportedOnceAndTheProgramGoesOn)
{
    struct Boxes : UserMessages
    {
        void showMessage(const std::string& caption, const std::string& text) override
        {
            shown.emplace_back(caption, text);
        }
        std::vector<std::pair<std::string, std::string>> shown;
    } messages;
    const auto& boxes = messages.shown;
    TerrainModule missing(std::vector<std::string>{dir.file("no-such-module.so")});
    files = makeManager(&missing);
    const ObjectContext context{nullptr, {.files = files.get(), .messages = &messages}};
    osg::ref_ptr<VisFileObject> first = new VisFileObject(context);
    osg::ref_ptr<VisFileObject> second = new VisFileObject(context);
    deliver(*first, *filetest::filePacket("hills.wb"), true);
    deliver(*second, *filetest::filePacket("dunes.bb"), true);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Orvane", "Error loading the terrain visualization module."}};
    EXPECT_EQ(boxes, expected);
    EXPECT_TRUE(first->isInitialized());
    EXPECT_EQ(first->getTransform()->getNumChildren(), 0u);
    EXPECT_EQ(second->getTransform()->getNumChildren(), 0u);

    // Model files still load.
    osg::ref_ptr<VisFileObject> arm = new VisFileObject(context);
    deliver(*arm, *filetest::filePacket(model), true);
    files->waitForLoads();
    deliver(*arm, *filetest::filePacket(""), false);
    EXPECT_TRUE(arm->isInitialized());
}

TEST_F(FileObjectTest, AMissingFileNameIsReportedAndTheObjectBuiltWhenItComes)
{
    VisFileObject* object = newObject();
    testing::internal::CaptureStdout();
    deliver(*object, *filetest::filePacket(""), true);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("initializing", "VisFileObject") + "\n" +
                          testsupport::accessorFailure(12)),
              std::string::npos)
        << output;
    EXPECT_FALSE(object->isInitialized());

    // An uninitialised object retries from its state before merging the
    // packet: the name is asked for with the update after the one that brings it.
    deliver(*object, *filetest::filePacket(model), false);
    EXPECT_EQ(files->fileState(model), FileManager::FileState::Absent);
    deliver(*object, *filetest::filePacket(""), false);
    EXPECT_NE(files->fileState(model), FileManager::FileState::Absent);
    files->waitForLoads();
    frame();
    EXPECT_TRUE(object->isInitialized());
    EXPECT_EQ(object->fileName(), model);
}

TEST_F(FileObjectTest, AFileThatNeverLoadsLeavesTheObjectEmptyAndStopsTheFrameRetry)
{
    VisFileObject* object = newObject();
    deliver(*object, *filetest::filePacket(dir.file("missing.obj")), true);
    files->waitForLoads();
    frame();
    EXPECT_EQ(object->getUpdateCallback(), nullptr);
    deliver(*object, *filetest::filePacket(""), false);
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);
}

TEST_F(FileObjectTest, ANameSentAsACStringLosesItsTerminatingZero)
{
    VisFileObject* object = newObject();
    auto packet = filetest::filePacket("");
    packet->setString(item::model_file::FileName, std::string(model) + '\0');
    deliver(*object, *packet, true);
    EXPECT_EQ(object->fileName(), model);
}

TEST_F(FileObjectTest, TypeCodeFourMakesFileObjects)
{
    ObjectFactory factory;
    EXPECT_FALSE(factory.has(TYPE_VisFileObject));
    registerFileObjects(factory);
    ASSERT_TRUE(factory.has(4));
    // The files come from the file source of the context the factory gets.
    osg::ref_ptr<VisObject> object =
        factory.create(4, ObjectContext{nullptr, {.files = files.get()}});
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->className(), "VisFileObject");
    auto* fileObject = dynamic_cast<VisFileObject*>(object.get());
    ASSERT_NE(fileObject, nullptr);
    deliver(*fileObject, *filetest::filePacket(model), true);
    files->waitForLoads();
    deliver(*fileObject, *filetest::filePacket(model), false);
    EXPECT_TRUE(fileObject->isInitialized());
    EXPECT_NE(fileObject->model(), nullptr);
    EXPECT_EQ(files->usageCount(model), 1);
}

} // namespace

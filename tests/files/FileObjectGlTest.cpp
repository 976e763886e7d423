// Model files and terrains streamed by a simulation, drawn by the real
// viewer in a window on the X display: the simulation connects through the
// client library, the object manager builds the file objects, and the
// pictures show nothing where the model goes while it loads and the model
// once it has; the demo's arms show in their colours in front of the hills.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include <osg/ShapeDrawable>
#include <osgDB/WriteFile>
#include <osgGA/CameraManipulator>
#include <osgViewer/View>

#include "FileTestSupport.h"
#include "log/Log.h"
#include "client/demo/DemoFiles.h"
#include "files/FileManager.h"
#include "files/FileObjects.h"
#include "files/TerrainModule.h"
#include "files/VisFileObject.h"
#include "net/TCPServer.h"
#include "protocol/Items.h"
#include "scene/ObjectKinds.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"
#include "tests/support/ViewerWindowFixture.h"
#include "view/CompositeViewerQOSG.h"
#include "view/VisViewObject.h"

namespace {

using namespace testsupport;

class FileObjectGl : public ViewerWindowFixture
{
protected:
    void SetUp() override
    {
        glErrors().clear();
        filetest::useTestSettings();
        filetest::clearLog();
        model = dir.file("block.osgt");
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 2.0f)));
        ASSERT_TRUE(osgDB::writeNodeFile(*geode, model));

        FileManager::Options options;
        options.runCleaningThread = false;
        // The load waits for the test to open the gate.
        options.reader = [opened = gate.get_future().share()](const std::string& name) {
            opened.wait();
            return FileManager::readModelFile(name);
        };
        options.terrainModule = &terrainModule;
        files = std::make_unique<FileManager>(options);
        registerFileObjects(factory);
        openWindow(dir.path());
    }

    void TearDown() override
    {
        if (!gateOpened)
            gate.set_value();
        ViewerWindowFixture::TearDown();
    }

    void openGate()
    {
        gate.set_value();
        gateOpened = true;
    }

    void connect()
    {
        client.connect("127.0.0.1", objects->server().port());
        ASSERT_TRUE(framesUntil([&] { return objects->state() == ObjectManager::Online; }));
    }

    VisFileObject* fileObject(int number) { return object<VisFileObject>(number); }

    // Puts the default view's camera at `eye`, looking at `centre`.
    void lookFrom(const osg::Vec3d& eye, const osg::Vec3d& up,
                  const osg::Vec3d& centre = osg::Vec3d())
    {
        osgGA::CameraManipulator* manipulator = viewer->mainView()->view()->getCameraManipulator();
        ASSERT_NE(manipulator, nullptr);
        manipulator->setHomePosition(eye, centre, up);
        manipulator->home(0.0);
        frame();
    }

    filetest::TempDir dir;
    std::string model;
    std::promise<void> gate;
    bool gateOpened = false;
    TerrainModule terrainModule{std::vector<std::string>{ORVANE_TEST_TERRAIN_MODULE}};
};

TEST_F(FileObjectGl, AStreamedModelAppearsOnScreenOnceLoaded)
{
    connect();
    GNP2::Packet packet;
    packet.setHeader(GNP2::makeHeader(7, TYPE_VisFileObject));
    packet.setString(item::model_file::FileName, model);
    packet.setIntVector(item::model_file::Colour, {255, 0, 0});
    client.send(packet);
    ASSERT_TRUE(framesUntil([&] { return fileObject(7) != nullptr; }));
    EXPECT_EQ(files->loadingCount(), 1);
    EXPECT_FALSE(fileObject(7)->isInitialized());

    // Looking where the model will be: the background shows while it loads.
    lookFrom(osg::Vec3d(0, -8, 0), osg::Vec3d(0, 0, 1));
    osg::ref_ptr<osg::Image> loading = grab("file_object_loading");
    ASSERT_TRUE(loading);
    const Rgb background = pixel(*loading, 5, 5);
    const Rgb centreWhileLoading = pixel(*loading, WIDTH / 2, HEIGHT / 2);
    EXPECT_EQ(text(centreWhileLoading), text(background));

    // No further packet: the object appears with the frame after the load.
    openGate();
    ASSERT_TRUE(framesUntil([&] { return fileObject(7)->isInitialized(); }));
    EXPECT_EQ(files->loadingCount(), 0);
    frame();
    osg::ref_ptr<osg::Image> shown = grab("file_object_shown");
    ASSERT_TRUE(shown);
    const Rgb centre = pixel(*shown, WIDTH / 2, HEIGHT / 2);
    EXPECT_GT(centre.r, 120) << text(centre);
    EXPECT_LT(centre.g, 40) << text(centre);
    EXPECT_LT(centre.b, 40) << text(centre);
    EXPECT_EQ(text(pixel(*shown, 5, 5)), text(background));
}

// Strongly coloured pixels by their hue: the demo's four arms.
struct HueCounts
{
    int orange = 0, blue = 0, green = 0, magenta = 0;
};

HueCounts countHues(const osg::Image& image)
{
    HueCounts counts;
    for (int y = 0; y < image.t(); ++y) {
        for (int x = 0; x < image.s(); ++x) {
            const Rgb c = pixel(image, x, y);
            if (std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) < 60)
                continue; // the hills and the background's grey-blue are duller
            if (c.r > c.g && c.g > c.b)
                ++counts.orange;
            else if (c.b > c.g && c.g > c.r && c.b > 2 * c.r)
                ++counts.blue;
            else if (c.g > c.r && c.g > c.b)
                ++counts.green;
            else if (c.r > c.g && c.b > c.g)
                ++counts.magenta;
        }
    }
    return counts;
}

TEST_F(FileObjectGl, TheDemoShowsFourArmsInTheirColoursBeforeTheHills)
{
    openGate();
    connect();
    DemoFiles demo;
    demo.step(client, 0.0f, false);
    client.flush();
    const auto allShown = [&] {
        for (int n : {100, 101, 102, 103, DemoFiles::TERRAIN})
            if (!fileObject(n) || !fileObject(n)->isInitialized())
                return false;
        return true;
    };
    ASSERT_TRUE(framesUntil(allShown));
    EXPECT_EQ(files->usageCount(DemoFiles::ARM_MODEL), DemoFiles::ARM_COUNT);
    EXPECT_NE(fileObject(100)->model(), fileObject(101)->model());
    ASSERT_NE(fileObject(DemoFiles::TERRAIN)->terrainNode(), nullptr);
    EXPECT_EQ(fileObject(DemoFiles::TERRAIN)->terrainNode()->getNumChildren(), 1u);

    lookFrom(osg::Vec3d(0, -16, 5), osg::Vec3d(0, 0, 1), osg::Vec3d(0, -2, 0.5));
    osg::ref_ptr<osg::Image> image = grab("demo_files");
    ASSERT_TRUE(image);
    const HueCounts hues = countHues(*image);
    EXPECT_GT(hues.orange, 100);
    EXPECT_GT(hues.blue, 100);
    EXPECT_GT(hues.green, 100);
    EXPECT_GT(hues.magenta, 100);
}

} // namespace

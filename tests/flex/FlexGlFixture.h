#pragma once
// What the flexible objects' window tests share: the real viewer in a
// window on the X display, an object manager that knows the flexible
// kinds and listens for a simulation, and a client to stream one.
#include <QCoreApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "FlexTestSupport.h"
#include "client/SimulationClient.h"
#include "files/FileManager.h"
#include "flex/FlexObjects.h"
#include "net/TCPServer.h"
#include "scene/ObjectManager.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewerManager.h"

namespace flextest {

class FlexGl : public ::testing::Test
{
protected:
    static constexpr int WIDTH = 480;
    static constexpr int HEIGHT = 360;

    void SetUp() override
    {
        testsupport::glErrors().clear();
        useTestSettings();
        FileManager::Options options;
        options.runCleaningThread = false;
        files = std::make_unique<FileManager>(options);
        registerFlexObjects(factory);

        sceneRoot = new osg::Group;
        hudRoot = new osg::Group;
        window = std::make_unique<QMainWindow>();
        window->resize(WIDTH, HEIGHT);
        viewer = std::make_unique<ViewerManager>(window.get(), sceneRoot.get(), hudRoot.get(),
                                                 ViewerManager::Embedding::GLWidget);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        objects = std::make_unique<ObjectManager>(
            sceneRoot.get(), hudRoot.get(), 0,
            ObjectServices{.viewHost = viewer.get(), .files = files.get()},
            QString::fromStdString(folder.path().toStdString()), factory);
        ASSERT_TRUE(objects->server().waitUntilListening(std::chrono::milliseconds(5000)));
        frame();
        testsupport::checkGlErrors(*viewer);
    }

    void TearDown() override
    {
        client.close();
        objects.reset();
        viewer.reset();
        window.reset();
        files.reset();
        testsupport::expectNoGlErrors();
    }

    void frame()
    {
        objects->updateStatus();
        QCoreApplication::processEvents();
        viewer->viewer()->frame();
    }

    template <typename Done> bool framesUntil(Done done)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // The object of that number, as Object, or null.
    template <typename Object> Object* object(int number)
    {
        return dynamic_cast<Object*>(objects->updateCallback().findObject(0, number));
    }

    // Sends what the client queued, draws until `arrived` holds and keeps
    // the window's picture under `name`.
    template <typename Arrived>
    osg::ref_ptr<osg::Image> pictureWhen(Arrived arrived, const std::string& name)
    {
        client.flush();
        EXPECT_TRUE(framesUntil(arrived)) << name;
        frame();
        osg::ref_ptr<osg::Image> image = viewer->grabWindowImage();
        if (image)
            testsupport::keepPicture(*image, name);
        return image;
    }

    QTemporaryDir folder;
    std::unique_ptr<FileManager> files;
    ObjectFactory factory;
    osg::ref_ptr<osg::Group> sceneRoot, hudRoot;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<ViewerManager> viewer;
    std::unique_ptr<ObjectManager> objects;
    orvane::SimulationClient client;
};

} // namespace flextest

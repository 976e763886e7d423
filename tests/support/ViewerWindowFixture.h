#pragma once
// The real viewer in a window on the X display, an object manager that knows
// the kinds a test registers and listens for a simulation, and a client to
// stream one: the window tests of the file objects and the flexible objects.
// A test's SetUp clears the GL errors, fills `files` and `factory`, then
// calls openWindow(); TearDown takes it all down again and expects no
// OpenGL error.
#include <QMainWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <osg/Group>
#include <osg/Image>
#include <osg/ref_ptr>

#include "client/SimulationClient.h"
#include "files/FileManager.h"
#include "scene/ObjectManager.h"
#include "view/ViewerManager.h"

namespace testsupport {

class ViewerWindowFixture : public ::testing::Test
{
protected:
    static constexpr int WIDTH = 480;
    static constexpr int HEIGHT = 360;

    // Shows the window with the viewer and starts the object manager in
    // `workDir`, with `files` as its file source.
    void openWindow(const std::string& workDir);
    void TearDown() override;

    // One turn of the main loop: the status poll, events, one frame.
    void frame();

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

    // The window's picture, kept under `name`; null when it cannot be read.
    osg::ref_ptr<osg::Image> grab(const std::string& name);

    std::unique_ptr<FileManager> files;
    ObjectFactory factory;
    osg::ref_ptr<osg::Group> sceneRoot, hudRoot;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<ViewerManager> viewer;
    std::unique_ptr<ObjectManager> objects;
    orvane::SimulationClient client;
};

} // namespace testsupport

#pragma once
// What the flexible objects' window tests share: the real viewer in a
// window on the X display, an object manager that knows the flexible
// kinds and listens for a simulation, and a client to stream one.
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "FlexTestSupport.h"
#include "flex/FlexObjects.h"
#include "net/TCPServer.h"
#include "tests/support/GlHarness.h"
#include "tests/support/ViewerWindowFixture.h"

namespace flextest {

class FlexGl : public testsupport::ViewerWindowFixture
{
protected:
    void SetUp() override
    {
        testsupport::glErrors().clear();
        useTestSettings();
        FileManager::Options options;
        options.runCleaningThread = false;
        files = std::make_unique<FileManager>(options);
        registerFlexObjects(factory);
        openWindow(folder.path().toStdString());
    }

    // Sends what the client queued, draws until `arrived` holds and keeps
    // the window's picture under `name`.
    template <typename Arrived>
    osg::ref_ptr<osg::Image> pictureWhen(Arrived arrived, const std::string& name)
    {
        client.flush();
        EXPECT_TRUE(framesUntil(arrived)) << name;
        frame();
        return grab(name);
    }

    QTemporaryDir folder;
};

// A part of the demo streamed step by step; its first step creates its
// objects, later ones send what changes.
template <class Demo> class DemoPartGl : public FlexGl
{
protected:
    void sendStep(float t)
    {
        demo.step(client, t, sent);
        sent = true;
    }

    Demo demo;
    bool sent = false;
};

} // namespace flextest

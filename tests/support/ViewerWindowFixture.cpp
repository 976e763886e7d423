#include "tests/support/ViewerWindowFixture.h"

#include <QCoreApplication>
#include <QString>
#include <QTest>

#include "net/TCPServer.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"
#include "view/CompositeViewerQOSG.h"

namespace testsupport {

void ViewerWindowFixture::openWindow(const std::string& workDir)
{
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
        QString::fromStdString(workDir), factory);
    ASSERT_TRUE(objects->server().waitUntilListening(std::chrono::milliseconds(5000)));
    frame();
    checkGlErrors(*viewer);
}

void ViewerWindowFixture::TearDown()
{
    client.close();
    objects.reset();
    viewer.reset();
    window.reset();
    // Objects hand their model files back to the file manager as they go.
    for (osg::Group* root : {sceneRoot.get(), hudRoot.get()})
        if (root)
            root->removeChildren(0, root->getNumChildren());
    files.reset();
    expectNoGlErrors();
}

void ViewerWindowFixture::frame()
{
    objects->updateStatus();
    QCoreApplication::processEvents();
    viewer->viewer()->frame();
}

osg::ref_ptr<osg::Image> ViewerWindowFixture::grab(const std::string& name)
{
    osg::ref_ptr<osg::Image> image = viewer->grabWindowImage();
    if (image)
        keepPicture(*image, name);
    return image;
}

} // namespace testsupport

// orvane: the viewer. This build hosts the simulation link and the scene
// without a window yet: it listens for a simulation, applies its packets to
// the scene graph every 10 ms and writes the console's lines to the terminal.
#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <osg/Group>

#include "app/Startup.h"
#include "app/log/Log.h"
#include "scene/ObjectManager.h"
#include "scene/RootnodeUpdateCallback.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int port = startup::portFromSettingsAndArguments(argc, argv);

    osg::ref_ptr<osg::Group> sceneRoot = new osg::Group;
    osg::ref_ptr<osg::Group> hudRoot = new osg::Group;
    ObjectFactory factory; // object classes enter here as their modules arrive
    ObjectManager manager(sceneRoot.get(), hudRoot.get(), port, nullptr, QDir::currentPath(),
                          factory);

    console::writeLine(console::LEVEL_4,
                       "[Orvane] listening for a simulation on port " + std::to_string(port));
    QObject::connect(&manager, &ObjectManager::statusChanged, [&] {
        const char* names[] = {"Offline", "Online", "Replay"};
        console::writeLine(console::LEVEL_4,
                           std::string("[Orvane] Status: ") + names[manager.state()]);
    });

    // Stands in for the frame's update traversal until the view exists.
    QTimer frame;
    int applied = 0;
    QObject::connect(&frame, &QTimer::timeout,
                     [&] { applied += manager.updateCallback().runOnce(); });
    frame.start(10);

    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        if (applied == 0)
            return;
        console::writeLine(
            console::LEVEL_1,
            "[Orvane] " + std::to_string(applied) + " packets taken from the link, " +
                std::to_string(manager.updateCallback().objectCount()) + " objects in the scene");
        applied = 0;
    });
    report.start(1000);

    return application.exec();
}

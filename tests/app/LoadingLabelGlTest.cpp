// The status bar's loading label on the real main window: it shows while a
// model file that a simulation asked for is being read, and goes away when
// the model is in the scene.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <chrono>

#include "MainWindowHarness.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "files/VisFileObject.h"
#include "scene/ObjectManager.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

// A grid of `n` x `n` quads as a Wavefront file: big enough that reading it
// takes many frames.
QString writeLargeModel(const QString& directory, int n)
{
    const QString path = directory + "/large-grid.obj";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return {};
    QTextStream out(&file);
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            out << "v " << x << ' ' << y << ' ' << ((x * y) % 7) * 0.1 << '\n';
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int a = y * (n + 1) + x + 1;
            out << "f " << a << ' ' << a + 1 << ' ' << a + n + 2 << ' ' << a + n + 1 << '\n';
        }
    return path;
}

TEST(LoadingLabel, ShowsWhileAModelLoadsAndHidesWhenItIsShown)
{
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
        store.clear();
        store.sync();
    }
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString model = writeLargeModel(directory.path(), 500);
    ASSERT_FALSE(model.isEmpty());
    glErrors().clear();
    const int port = freePort();
    ASSERT_NE(port, 0);

    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        EXPECT_FALSE(window.loadingLabel()->isVisible());
        orvane::SimulationClient client;
        client.connect("127.0.0.1", port);
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }));

        GNP2::Packet file;
        file.setHeader(GNP2::makeHeader(3, TYPE_VisFileObject));
        file.setString(VisFileObject::ITEM_FILE_NAME, model.toStdString());
        client.send(file);

        EXPECT_TRUE(waitFor([&] { return window.loadingLabel()->isVisible(); }, 20s))
            << "the loading label never showed";
        EXPECT_TRUE(window.loadingLabel()->text().startsWith("Loading Files"))
            << window.loadingLabel()->text().toStdString();

        auto loaded = [&] {
            VisObject* object = window.objectManager().updateCallback().findObject(0, 3);
            return object && object->isInitialized();
        };
        EXPECT_TRUE(waitFor(loaded, 60s)) << "the model never arrived";
        EXPECT_TRUE(waitFor([&] { return !window.loadingLabel()->isVisible(); }, 5s))
            << "the loading label stayed";
        client.close();
    });
    const std::vector<std::string> errors = glErrors().errors();
    EXPECT_TRUE(errors.empty()) << errors.size() << " OpenGL errors, first: " << errors[0];
}

} // namespace

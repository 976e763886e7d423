// The status bar's loading label on the real main window: it shows while a
// model file that a simulation asked for is being read, and goes away when
// the model is in the scene.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <vector>

#include "MainWindowHarness.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "files/VisFileObject.h"
#include "protocol/Items.h"
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
        file.setString(item::model_file::FileName, model.toStdString());
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

// A replay file of `records` records of `floats` floats each (the position), one
// object per record, times 0, 1, 2, ...
void writeLongReplay(const std::string& path, int records, std::size_t floats)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    GNP2::Packet state;
    std::vector<float> data(floats, 1.5f);
    std::vector<unsigned char> frame;
    for (int k = 0; k < records; ++k) {
        state.setHeader(GNP2::makeHeader(std::uint32_t(k), TYPE_VisBaseObject));
        state.setFloatVector(item::every::Time, {float(k)});
        state.setFloatVector(item::shape::Position, data);
        state.setIntVector(item::every::Connection, {0});
        frame.resize(state.serializedSize());
        state.serialize(frame.data());
        const float time = float(k);
        out.write(reinterpret_cast<const char*>(&time), 4);
        out.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size()));
    }
}

TEST(ReplayProgress, ShowsInTheStatusBarWhileALongReplayOpensAndGoesWhenItIsOpen)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string path = directory.path().toStdString() + "/long.dat";
    writeLongReplay(path, 24, std::size_t(1) << 20); // about 100 MB
    const int port = freePort();
    ASSERT_NE(port, 0);

    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        QProgressBar* bar = window.replayProgressBar();
        EXPECT_FALSE(bar->isVisible());
        // Opening is quick here: show it from the start, and look at the bar
        // while the file is indexed.
        window.setReplayProgressDelay(0.0);
        ObjectManager& objects = window.objectManager();
        const ReplayManager::Progress shown = objects.replayProgress();
        ASSERT_TRUE(shown);
        std::vector<int> values;
        bool inStatusBar = false;
        objects.setReplayProgress([&](std::uint64_t done, std::uint64_t total) {
            shown(done, total);
            if (bar->isVisible()) {
                values.push_back(bar->value());
                inStatusBar = bar->width() > 0 &&
                              window.statusBar()->rect().contains(
                                  bar->geometry().translated(bar->parentWidget()->pos()).center() -
                                  window.statusBar()->pos());
            }
        });
        objects.startReplay(QString::fromStdString(path));
        objects.setReplayProgress(shown);

        ASSERT_EQ(objects.replay()->index().size(), 24u);
        ASSERT_GE(values.size(), 2u) << "the bar showed while the file was indexed";
        EXPECT_GT(values.front(), 0);
        EXPECT_LT(values.back(), 100);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        EXPECT_TRUE(inStatusBar) << "laid out in the status bar while the file was indexed";
        EXPECT_FALSE(bar->isVisible()) << "gone once the replay is open";
        EXPECT_EQ(window.statusLabel()->text(), "Status: Replay");
    });
}

} // namespace

#pragma once
// The video tests' replay and host: a recording whose one view's background
// grows redder with time (record k at 0.04 k - 0.01 s, red 10 k), so that
// each video frame shows which replay time it was drawn at, played in an
// export host that is never shown.

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "scene/ObjectKinds.h"
#include "video/ReplayExportHost.h"

namespace videotest {

constexpr int RECORDS = 26; // 0 .. 1.0 s

// The red of the background at replay time t.
int redAt(double t);
// Writes the recording; empty on success.
std::string writeColourReplay(const std::string& path);
// Studio-range luma and red-difference chroma of a pure red.
int lumaOfRed(int red);
int chromaOfRed(int red);

class ExportTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const QString& name) const { return _folder.filePath(name).toStdString(); }

    QTemporaryDir _folder;
    ObjectFactory _factory;
    std::unique_ptr<video::ReplayExportHost> _host;
    std::string _replay;
};

} // namespace videotest

#pragma once
// The video tests' host: an export host that is never shown, playing the
// colour recording (tests/support/ColourReplay.h), whose view's background
// tells each frame's replay time.

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "scene/ObjectKinds.h"
#include "tests/support/ColourReplay.h"
#include "video/ReplayExportHost.h"

namespace videotest {

using testsupport::chromaOfRed;
using testsupport::lumaOfRed;

inline int redAt(double t)
{
    return testsupport::colourReplayRedAt(t);
}

class ExportTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // The program's embedding of the viewer; "orvane-gl" draws in a GL widget.
    virtual Embedding embedding() const { return Embedding::NativeWindow; }
    std::string path(const QString& name) const { return _folder.filePath(name).toStdString(); }

    QTemporaryDir _folder;
    ObjectFactory _factory;
    std::unique_ptr<video::ReplayExportHost> _host;
    std::string _replay;
};

} // namespace videotest

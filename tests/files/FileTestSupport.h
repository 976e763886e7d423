#pragma once
// Shared pieces of the file layer's tests: a temporary folder, model and
// terrain files written into it, a settings store of the tests' own, log
// lines looked up by text and level, and file object packets.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <osg/Geometry>
#include <osg/Material>
#include <osg/Vec3>

#include "gnp2/Packet.h"

namespace filetest {

// A folder that is removed with everything in it when the object goes.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return _path; }
    std::string file(const std::string& relative) const { return _path + "/" + relative; }
    // Writes `content` to the relative path, making its folders.
    std::string write(const std::string& relative, const std::string& content) const;

private:
    std::string _path;
};

// `triangles` triangles in the z = 0 plane, every normal `normal`.
osg::ref_ptr<osg::Geometry> makeTriangles(unsigned triangles,
                                          const osg::Vec3& normal = osg::Vec3(0, 0, 1));
// Writes a geode of makeTriangles as a scene file (format by extension).
void writeModel(const std::string& path, unsigned triangles = 1,
                const osg::Vec3& normal = osg::Vec3(0, 0, 1));
// Writes an 8-bit grey image, bottom row first as the scene library keeps it.
void writeGreyImage(const std::string& path, int width, int height,
                    const std::vector<unsigned char>& bottomRowFirst);

// The first geometry at or below a node (first children first), or null.
osg::Geometry* firstGeometry(osg::Node* node);
// The material of that geometry's own state set, or null.
osg::Material* materialOf(osg::Node* node);

// Points the settings store at a folder of this test process and removes
// the file layer's keys, so every test starts from an empty store.
void useTestSettings();
void storeSetting(const std::string& key, const std::string& value);
std::string storedSetting(const std::string& key);

// Clears the log and stops its echo to standard error.
void clearLog();
// Log lines (line feed removed) that contain `text`, at `level` (0: any).
int countLines(const std::string& text, int level = 0);

constexpr int CONNECTION = 2;
constexpr int OBJECT_NUMBER = 40;

// A file test's start: an empty settings store, a cleared log, and a folder
// of its own for the files it writes.
class FileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useTestSettings();
        clearLog();
    }

    TempDir dir;
};

// A file object packet: header, connection, time and, unless empty, the
// file name in item 12.
std::unique_ptr<GNP2::Packet> filePacket(const std::string& name, float time = 1.0f);

} // namespace filetest

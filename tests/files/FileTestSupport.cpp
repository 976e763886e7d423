#include "FileTestSupport.h"

#include <QSettings>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <osg/Geode>
#include <osg/Image>
#include <osgDB/WriteFile>

#include "files/VisFileObject.h"
#include "log/Log.h"
#include "protocol/Items.h"
#include "scene/ObjectKinds.h"
#include "tests/support/Packets.h"

namespace filetest {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-files-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    _path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
}

std::string TempDir::write(const std::string& relative, const std::string& content) const
{
    const std::string path = file(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

osg::ref_ptr<osg::Geometry> makeTriangles(unsigned triangles, const osg::Vec3& normal)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    auto* vertices = new osg::Vec3Array;
    auto* normals = new osg::Vec3Array;
    for (unsigned i = 0; i < triangles; ++i) {
        const float x = float(i % 100), y = float(i / 100);
        vertices->push_back({x, y, 0.0f});
        vertices->push_back({x + 1.0f, y, 0.0f});
        vertices->push_back({x, y + 1.0f, 0.0f});
        for (int k = 0; k < 3; ++k)
            normals->push_back(normal);
    }
    geometry->setVertexArray(vertices);
    geometry->setNormalArray(normals, osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, GLsizei(vertices->size())));
    return geometry;
}

void writeModel(const std::string& path, unsigned triangles, const osg::Vec3& normal)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(makeTriangles(triangles, normal));
    if (!osgDB::writeNodeFile(*geode, path))
        std::abort();
}

void writeGreyImage(const std::string& path, int width, int height,
                    const std::vector<unsigned char>& bottomRowFirst)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE);
    std::copy(bottomRowFirst.begin(), bottomRowFirst.end(), image->data());
    if (!osgDB::writeImageFile(*image, path))
        std::abort();
}

osg::Geometry* firstGeometry(osg::Node* node)
{
    if (!node)
        return nullptr;
    if (osg::Geode* geode = node->asGeode())
        return geode->getNumDrawables() ? geode->getDrawable(0)->asGeometry() : nullptr;
    osg::Group* group = node->asGroup();
    return group && group->getNumChildren() ? firstGeometry(group->getChild(0)) : nullptr;
}

osg::Material* materialOf(osg::Node* node)
{
    osg::Geometry* geometry = firstGeometry(node);
    osg::StateSet* state = geometry ? geometry->getStateSet() : nullptr;
    return state ? dynamic_cast<osg::Material*>(state->getAttribute(osg::StateAttribute::MATERIAL))
                 : nullptr;
}

namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

} // namespace

void useTestSettings()
{
    static const TempDir folder;
    static const bool pathSet = [] {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(folder.path()));
        return true;
    }();
    (void)pathSet;
    QSettings settings = store();
    settings.remove("FileObjects");
    settings.sync();
}

void storeSetting(const std::string& key, const std::string& value)
{
    QSettings settings = store();
    settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings.sync();
}

std::string storedSetting(const std::string& key)
{
    return store().value(QString::fromStdString(key)).toString().toStdString();
}

void clearLog()
{
    console::Log::instance().setEchoToStderr(false);
    console::Log::instance().clear();
}

int countLines(const std::string& text, int level)
{
    int count = 0;
    for (const console::LogLine& line : console::Log::instance().snapshot()) {
        if (line.text.find(text) != std::string::npos && (level == 0 || line.level == level))
            ++count;
    }
    return count;
}

std::unique_ptr<GNP2::Packet> filePacket(const std::string& name, float time)
{
    testsupport::Items items{{{item::every::Time, {time}}}};
    if (!name.empty())
        items.strings[item::model_file::FileName] = name;
    return testsupport::makePacket(items, {OBJECT_NUMBER, TYPE_VisFileObject, CONNECTION});
}

} // namespace filetest

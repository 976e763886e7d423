// The terrain module: a terrain node that builds its geometry from a
// terrain description ("<base>.wb", else "<base>.bb") and the grey height
// image it names. Errors go to standard output with the prefix "[Terrain]";
// the node then stays empty. The module has its own copy of nothing the
// program holds process-wide (it links only the scene library), so it logs
// to standard output rather than to the program's console.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <osg/Geode>
#include <osg/Image>
#include <osg/Material>
#include <osgDB/ReadFile>

#include "files/terrain/HeightfieldMesh.h"
#include "files/terrain/TerrainDescription.h"
#include "files/terrain/TerrainNode.h"

namespace {

// A longer side would overflow what one draw call indexes comfortably.
constexpr int MAX_SAMPLES_PER_SIDE = 8193;

void report(const std::string& text)
{
    std::printf("[Terrain] %s\n", text.c_str());
    std::fflush(stdout);
}

class HeightfieldTerrainNode : public stravik::TerrainNode
{
public:
    const char* libraryName() const override { return "orvane-terrain"; }
    const char* className() const override { return "HeightfieldTerrainNode"; }

    osg::ref_ptr<osg::Node> load(const std::string& baseName, int flags) override
    {
        shutdown();
        std::string descriptionPath;
        for (const char* extension : {".wb", ".bb"}) {
            std::error_code error;
            if (std::filesystem::is_regular_file(baseName + extension, error)) {
                descriptionPath = baseName + extension;
                break;
            }
        }
        if (descriptionPath.empty()) {
            report("No terrain description " + baseName + ".wb or " + baseName + ".bb");
            return nullptr;
        }
        std::ifstream in(descriptionPath);
        std::vector<std::string> errors;
        const auto description = terrain::parseDescription(in, errors);
        if (!description) {
            for (const std::string& error : errors)
                report(descriptionPath + ": " + error);
            return nullptr;
        }

        std::filesystem::path imagePath(description->heightmap);
        if (imagePath.is_relative())
            imagePath = std::filesystem::path(descriptionPath).parent_path() / imagePath;
        osg::ref_ptr<osg::Image> image = osgDB::readRefImageFile(imagePath.string());
        if (!image || !image->data()) {
            report(descriptionPath + ": cannot read the height image " + imagePath.string());
            return nullptr;
        }
        const int step = std::max(flags, 1);
        const int sampledWidth = (image->s() - 1) / step + 2;
        const int sampledHeight = (image->t() - 1) / step + 2;
        if (image->s() < 2 || image->t() < 2 || sampledWidth > MAX_SAMPLES_PER_SIDE ||
            sampledHeight > MAX_SAMPLES_PER_SIDE) {
            report(descriptionPath + ": the height image is " + std::to_string(image->s()) + " x " +
                   std::to_string(image->t()) + " pixels; it must be at least 2 x 2 and " +
                   "at most " + std::to_string(MAX_SAMPLES_PER_SIDE - 1) +
                   " samples a side at step " + std::to_string(step));
            return nullptr;
        }

        osg::ref_ptr<osg::Geometry> geometry =
            terrain::buildHeightfield(*description, terrain::samplesFromImage(*image), step);
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->setName(std::filesystem::path(baseName).filename().string());
        geode->addDrawable(geometry.get());
        // The vertex colours drive the lit colour; a material that a scene
        // object sets on the drawable later overrides this one.
        osg::ref_ptr<osg::Material> material = new osg::Material;
        material->setColorMode(osg::Material::AMBIENT_AND_DIFFUSE);
        geode->getOrCreateStateSet()->setAttribute(material.get());
        addChild(geode.get());
        return geode;
    }

    void shutdown() override { removeChildren(0, getNumChildren()); }

protected:
    ~HeightfieldTerrainNode() override = default;
};

} // namespace

extern "C" __attribute__((visibility("default"))) stravik::TerrainNode* orvane_terrain_create()
{
    return new HeightfieldTerrainNode;
}

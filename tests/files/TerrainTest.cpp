#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/Material>
#include <osg/Notify>

#include "FileTestSupport.h"
#include "files/FileManager.h"
#include "files/FindFile.h"
#include "files/TerrainModule.h"
#include "files/terrain/HeightfieldMesh.h"
#include "files/terrain/TerrainDescription.h"

namespace {

struct DescriptionCase
{
    const char* label;
    const char* text;
    const char* error; // null: valid
};

class Description : public ::testing::TestWithParam<DescriptionCase>
{
};

TEST_P(Description, IsReadOrRejectedWithTheLine)
{
    std::istringstream in(GetParam().text);
    std::vector<std::string> errors;
    const auto description = terrain::parseDescription(in, errors);
    if (!GetParam().error) {
        EXPECT_TRUE(description.has_value());
        EXPECT_TRUE(errors.empty()) << errors.front();
        return;
    }
    EXPECT_FALSE(description.has_value());
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), GetParam().error);
}

const char* const VALID_BODY = "heightmap h.png\nsize 4 2\nheight 0 1\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, Description,
    ::testing::Values(
        DescriptionCase{"Minimal", "heightmap h.png\nsize 4 2\nheight 0 1\n", nullptr},
        DescriptionCase{"CommentsAndBlankLines",
                        "# terrain\n\nheightmap h.png # image\n  size 4 2\nheight -1 1\n", nullptr},
        DescriptionCase{"UnknownKey", "heightmap h.png\nsize 4 2\nheight 0 1\nscale 2\n",
                        "line 4: unknown setting \"scale\""},
        DescriptionCase{"NegativeSize", "heightmap h.png\nsize -4 2\nheight 0 1\n",
                        "line 2: size needs two positive numbers"},
        DescriptionCase{"ThreeSizes", "heightmap h.png\nsize 4 2 1\nheight 0 1\n",
                        "line 2: size needs two positive numbers"},
        DescriptionCase{"HeightNotANumber", "heightmap h.png\nsize 4 2\nheight 0 high\n",
                        "line 3: height needs two numbers (black, white)"},
        DescriptionCase{"TwoImages", "heightmap a.png b.png\nsize 4 2\nheight 0 1\n",
                        "line 1: heightmap needs one file name"},
        DescriptionCase{"ColourOutOfRange",
                        "heightmap h.png\nsize 4 2\nheight 0 1\nlowcolour 0 300 0\n",
                        "line 4: lowcolour needs three numbers from 0 to 255"},
        DescriptionCase{"NoHeightmap", "size 4 2\nheight 0 1\n", "no heightmap given"},
        DescriptionCase{"Empty", "", "no heightmap given"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(DescriptionValues, OriginDefaultsToTheTerrainCentredOnZero)
{
    std::istringstream in(std::string(VALID_BODY) + "highcolour 255 0 51\n");
    std::vector<std::string> errors;
    const auto description = terrain::parseDescription(in, errors);
    ASSERT_TRUE(description);
    EXPECT_EQ(description->heightmap, "h.png");
    EXPECT_EQ(description->origin, (std::array<float, 2>{-2.0f, -1.0f}));
    EXPECT_EQ(description->highColour, (std::array<float, 3>{1.0f, 0.0f, 0.2f}));

    std::istringstream placed(std::string(VALID_BODY) + "origin 10 20\n");
    EXPECT_EQ(terrain::parseDescription(placed, errors)->origin,
              (std::array<float, 2>{10.0f, 20.0f}));
}

TEST(SampledIndices, KeepTheLastRowAtEveryStep)
{
    EXPECT_EQ(terrain::sampledIndices(5, 1), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(terrain::sampledIndices(5, 2), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(terrain::sampledIndices(6, 2), (std::vector<int>{0, 2, 4, 5}));
    EXPECT_EQ(terrain::sampledIndices(2, 5), (std::vector<int>{0, 1}));
    EXPECT_EQ(terrain::sampledIndices(3, 0), (std::vector<int>{0, 1, 2}));
}

terrain::TerrainDescription rampDescription()
{
    terrain::TerrainDescription description;
    description.size = {4.0f, 2.0f};
    description.origin = {10.0f, 20.0f};
    description.lowHeight = 1.0f;
    description.highHeight = 3.0f;
    description.lowColour = {0.0f, 0.0f, 0.0f};
    description.highColour = {1.0f, 1.0f, 1.0f};
    return description;
}

TEST(Heightfield, PlacesOneVertexPerSampleAndFacesUp)
{
    // Three samples a row rising along x, two rows.
    terrain::HeightSamples ramp{3, 2, {0.0f, 0.5f, 1.0f, 0.0f, 0.5f, 1.0f}};
    osg::ref_ptr<osg::Geometry> geometry = terrain::buildHeightfield(rampDescription(), ramp, 1);
    ASSERT_NE(geometry, nullptr);
    const auto& vertices = *static_cast<const osg::Vec3Array*>(geometry->getVertexArray());
    ASSERT_EQ(vertices.size(), 6u);
    EXPECT_EQ(vertices[0], osg::Vec3(10, 20, 1));
    EXPECT_EQ(vertices[2], osg::Vec3(14, 20, 3));
    EXPECT_EQ(vertices[4], osg::Vec3(12, 22, 2));

    // A slope of 1/2 (2 up over 4 across) tilts every normal towards -x.
    const auto& normals = *static_cast<const osg::Vec3Array*>(geometry->getNormalArray());
    const osg::Vec3 tilted = osg::Vec3(-0.5f, 0, 1) / osg::Vec3(-0.5f, 0, 1).length();
    for (const osg::Vec3& normal : normals)
        EXPECT_LT((normal - tilted).length(), 1e-5f);
    const auto& colours = *static_cast<const osg::Vec4Array*>(geometry->getColorArray());
    EXPECT_EQ(colours[1], osg::Vec4(0.5f, 0.5f, 0.5f, 1.0f));

    const auto* triangles =
        dynamic_cast<const osg::DrawElementsUInt*>(geometry->getPrimitiveSet(0));
    ASSERT_NE(triangles, nullptr);
    ASSERT_EQ(triangles->size(), 12u); // two cells, two triangles each
    for (std::size_t t = 0; t < triangles->size(); t += 3) {
        const osg::Vec3 a = vertices[(*triangles)[t]], b = vertices[(*triangles)[t + 1]],
                        c = vertices[(*triangles)[t + 2]];
        EXPECT_GT(((b - a) ^ (c - a)).z(), 0.0f) << "triangle " << t / 3 << " faces down";
    }
}

TEST(Heightfield, NeedsTwoSamplesEachWay)
{
    terrain::HeightSamples line{3, 1, {0.0f, 0.5f, 1.0f}};
    EXPECT_EQ(terrain::buildHeightfield(rampDescription(), line, 1), nullptr);
}

class TerrainModuleTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(module.ensureLoaded()); }

    // A 5 x 3 image rising from left to right, with its description.
    std::string writeTerrain(const std::string& base, const std::string& extension,
                             const std::string& extra = "")
    {
        std::vector<unsigned char> pixels;
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 5; ++column)
                pixels.push_back(static_cast<unsigned char>(column * 255 / 4));
        filetest::writeGreyImage(dir.file(base + ".png"), 5, 3, pixels);
        dir.write(base + extension, "heightmap " + base + ".png\nsize 8 4\nheight 0 2\n" + extra);
        return dir.file(base);
    }

    static const osg::Vec3Array* verticesOf(osg::Node* node)
    {
        osg::Geode* geode = node ? node->asGeode() : nullptr;
        if (!geode || geode->getNumDrawables() == 0)
            return nullptr;
        return static_cast<const osg::Vec3Array*>(
            geode->getDrawable(0)->asGeometry()->getVertexArray());
    }

    TerrainModule module{std::vector<std::string>{ORVANE_TEST_TERRAIN_MODULE}};
    filetest::TempDir dir;
};

TEST_F(TerrainModuleTest, BuildsTheTerrainOfADescriptionAndItsImage)
{
    osg::ref_ptr<stravik::TerrainNode> node = module.createNode();
    ASSERT_NE(node, nullptr);
    const std::string base = writeTerrain("ridge", ".wb", "origin 0 0\n");
    osg::ref_ptr<osg::Node> geode = node->load(base, 1);
    ASSERT_EQ(node->getNumChildren(), 1u);
    EXPECT_EQ(node->getChild(0), geode.get());
    const osg::Vec3Array* vertices = verticesOf(geode.get());
    ASSERT_NE(vertices, nullptr);
    ASSERT_EQ(vertices->size(), 15u);
    EXPECT_EQ(vertices->front(), osg::Vec3(0, 0, 0));
    EXPECT_EQ(vertices->back(), osg::Vec3(8, 4, 2));
    // Height follows the grey from left to right.
    EXPECT_EQ((*vertices)[2].x(), 4.0f);
    EXPECT_NEAR((*vertices)[2].z(), 2.0f * float(2 * 255 / 4) / 255.0f, 1e-5f);

    // A larger step keeps the extent with fewer samples.
    osg::ref_ptr<osg::Node> coarse = node->load(base, 2);
    ASSERT_EQ(node->getNumChildren(), 1u);
    ASSERT_NE(verticesOf(coarse.get()), nullptr);
    EXPECT_EQ(verticesOf(coarse.get())->size(), 6u);
    EXPECT_EQ(verticesOf(coarse.get())->back(), osg::Vec3(8, 4, 2));

    node->shutdown();
    EXPECT_EQ(node->getNumChildren(), 0u);
}

TEST_F(TerrainModuleTest, FindsABbDescriptionWhenThereIsNoWb)
{
    osg::ref_ptr<stravik::TerrainNode> node = module.createNode();
    EXPECT_NE(node->load(writeTerrain("dunes", ".bb"), 1), nullptr);
}

TEST_F(TerrainModuleTest, LeavesTheNodeEmptyWhenTheTerrainCannotBeRead)
{
    osg::ref_ptr<stravik::TerrainNode> node = module.createNode();
    node->load(writeTerrain("ridge", ".wb"), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(node->load(dir.file("nothing"), 1), nullptr);
    EXPECT_EQ(node->getNumChildren(), 0u);
    dir.write("noimage.wb", "heightmap absent.png\nsize 1 1\nheight 0 1\n");
    EXPECT_EQ(node->load(dir.file("noimage"), 1), nullptr);
    dir.write("typo.wb", "heightmap ridge.png\nsize 1 1\nheigth 0 1\n");
    EXPECT_EQ(node->load(dir.file("typo"), 1), nullptr);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("[Terrain] No terrain description " + dir.file("nothing") + ".wb or "),
              std::string::npos);
    EXPECT_NE(output.find("cannot read the height image"), std::string::npos);
    EXPECT_NE(output.find("typo.wb: line 3: unknown setting \"heigth\""), std::string::npos);
}

TEST_F(TerrainModuleTest, TheShippedSampleTerrainLoads)
{
    osg::ref_ptr<stravik::TerrainNode> node = module.createNode();
    osg::ref_ptr<osg::Node> geode = node->load(ORVANE_TEST_DATA_DIR "/terrain/hills", 1);
    ASSERT_NE(verticesOf(geode.get()), nullptr);
    EXPECT_EQ(verticesOf(geode.get())->size(), 129u * 129u);
    const osg::BoundingSphere bound = geode->getBound();
    EXPECT_GT(bound.radius(), 10.0f);
}

TEST(ShippedModel, EachLoadsWithoutAReaderWarning)
{
    // What the model reader warns about (a face without its material, say)
    // lands in the terminal of everyone who runs the demo.
    struct Collect : osg::NotifyHandler
    {
        std::string text;
        void notify(osg::NotifySeverity, const char* message) override { text += message; }
    };
    filetest::useTestSettings();
    for (const char* model : {"/models/robot-arm.obj", "/models/flex-beam.obj"}) {
        SCOPED_TRACE(model);
        osg::ref_ptr<Collect> warnings = new Collect;
        osg::setNotifyHandler(warnings.get());
        osg::ref_ptr<osg::Node> node =
            FileManager::readModelFile(std::string(ORVANE_TEST_DATA_DIR) + model);
        osg::setNotifyHandler(new osg::StandardNotifyHandler);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(warnings->text, "");
    }
}

TEST(ShippedModel, TheRobotArmLoadsUprightWithItsTriangles)
{
    filetest::useTestSettings();
    filetest::clearLog();
    osg::ref_ptr<osg::Node> arm =
        FileManager::readModelFile(ORVANE_TEST_DATA_DIR "/models/robot-arm.obj");
    ASSERT_NE(arm, nullptr);
    osg::ComputeBoundsVisitor bounds;
    arm->accept(bounds);
    // z up as written: taller than it is deep.
    EXPECT_NEAR(bounds.getBoundingBox().zMin(), 0.0f, 1e-4f);
    EXPECT_GT(bounds.getBoundingBox().zMax(), 1.0f);
    EXPECT_LT(bounds.getBoundingBox().yMax(), 0.5f);
}

} // namespace

namespace {

// What the program itself uses, from wherever it runs: its terrain module
// and the sample files the demo names by relative paths.
TEST(ProgramFiles, TheProgramFindsItsTerrainModuleAndItsSampleFiles)
{
    filetest::useTestSettings();
    filetest::clearLog();
    TerrainModule& module = TerrainModule::program();
    ASSERT_TRUE(module.ensureLoaded());
    std::printf("terrain module: %s\n", module.loadedPath().c_str());
    osg::ref_ptr<stravik::TerrainNode> node = stravik::TerrainNode::createInstance();
    ASSERT_NE(node, nullptr);

    for (const char* sample : {"models/robot-arm.obj", "terrain/hills.wb"}) {
        const std::string path = findFile(sample);
        std::printf("%s: %s\n", sample, path.c_str());
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << sample;
    }
}

} // namespace

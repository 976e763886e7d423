#include "FlexTestSupport.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include "flex/ProcessorDeformation.h"
#include "settings/Settings.h"

namespace flextest {

osg::ref_ptr<osg::Geometry> makeBeam(float length, int segments, float h)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    // The four long faces, each a strip of quads along x.
    const osg::Vec3 corners[4] = {{0, -h, -h}, {0, h, -h}, {0, h, h}, {0, -h, h}};
    const osg::Vec3 faceNormals[4] = {{0, 0, -1}, {0, 1, 0}, {0, 0, 1}, {0, -1, 0}};
    for (int face = 0; face < 4; ++face) {
        const osg::Vec3 a = corners[(face + 3) % 4], b = corners[face];
        const unsigned first = unsigned(vertices->size());
        for (int s = 0; s <= segments; ++s) {
            const osg::Vec3 along(length * float(s) / float(segments), 0, 0);
            vertices->push_back(a + along);
            vertices->push_back(b + along);
            normals->push_back(faceNormals[face]);
            normals->push_back(faceNormals[face]);
        }
        for (int s = 0; s < segments; ++s) {
            const unsigned i = first + unsigned(2 * s);
            for (unsigned index : {i, i + 2, i + 1, i + 1, i + 2, i + 3})
                triangles->push_back(index);
        }
    }
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(triangles.get());
    return geometry;
}

osg::ref_ptr<osg::Geode> beamGeode(float length, int segments)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(makeBeam(length, segments).get());
    return geode;
}

osg::ref_ptr<osg::Vec3Array> points(std::initializer_list<osg::Vec3> list)
{
    return new osg::Vec3Array(list.begin(), list.end());
}

osg::ref_ptr<osg::Vec3Array> randomPoints(std::size_t count, unsigned seed, float scale)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-scale, scale);
    osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
    for (std::size_t i = 0; i < count; ++i)
        points->push_back(osg::Vec3(u(rng), u(rng), u(rng)));
    return points;
}

std::vector<float> planar(const osg::Vec3Array& nodes)
{
    std::vector<float> values;
    for (int axis = 0; axis < 3; ++axis)
        for (const osg::Vec3& node : nodes)
            values.push_back(node[axis]);
    return values;
}

void useTestSettings()
{
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    QSettings store = settings::openSettings();
    store.clear();
    store.sync();
}

RandomBody randomBody(std::size_t vertices, std::size_t nodes, unsigned seed, float displacement)
{
    RandomBody b;
    b.nodes = randomPoints(nodes, seed);
    b.displacements = randomPoints(nodes, seed + 1, displacement);
    b.field = std::make_unique<DeformationInterpolator>(b.nodes, b.displacements);
    EXPECT_TRUE(b.field->solve());
    b.vertices = randomPoints(vertices, seed + 2, 1.3f);
    b.geometry = new osg::Geometry;
    b.geometry->setVertexArray(b.vertices.get());
    return b;
}

void expectProcessorResult(RandomBody& b, const osg::Vec3Array& actual)
{
    osg::ref_ptr<osg::Vec3Array> expected = new osg::Vec3Array(b.vertices->size());
    ProcessorDeformation().deform(*b.field, *b.geometry, *b.vertices, *expected);
    ASSERT_EQ(actual.size(), expected->size());
    const std::size_t n = std::size_t(b.field->nodeCount());
    const std::vector<float>& kernel = b.field->kernelArray(b.geometry.get(), *b.vertices);
    for (std::size_t i = 0; i < expected->size(); ++i)
        for (int a = 0; a < 3; ++a) {
            double magnitude = 1.0;
            for (std::size_t j = 0; j < n; ++j)
                magnitude += std::abs(double(kernel[i * n + j]) *
                                      b.field->weights()[3 * j + std::size_t(a)]);
            ASSERT_LE(std::abs(actual[i][a] - (*expected)[i][a]), 1e-5 * magnitude)
                << "vertex " << i << " axis " << a;
        }
}

} // namespace flextest

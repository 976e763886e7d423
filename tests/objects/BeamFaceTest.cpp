#include <gtest/gtest.h>

#include "objects/builders/Beam.h"
#include "objects/builders/SimpleFace.h"
#include "GeometryChecks.h"

#include <osg/LightModel>

#include <algorithm>

using namespace geometry_checks;

namespace {

// Distance in the xy plane from the slot's centre segment [(−a/2, 0), (a/2, 0)].
float distanceFromCentreSegment(const osg::Vec3& v, float a)
{
    const float x = std::clamp(v.x(), -a / 2.f, a / 2.f);
    return std::hypot(v.x() - x, v.y());
}

} // namespace

TEST(SimpleFace, AddSetColourAndClear)
{
    osg::ref_ptr<SimpleFace> face = new SimpleFace(GL_POLYGON, osg::Array::BIND_OVERALL);
    const osg::Geometry* g = face->geometry();
    EXPECT_TRUE(g->getUseVertexBufferObjects());
    EXPECT_FALSE(g->getUseDisplayList());
    EXPECT_EQ(g->getNormalArray()->getBinding(), osg::Array::BIND_OVERALL);
    EXPECT_EQ(g->getColorArray()->getBinding(), osg::Array::BIND_PER_VERTEX);
    const auto* model = dynamic_cast<const osg::LightModel*>(
        face->getStateSet()->getAttribute(osg::StateAttribute::LIGHTMODEL));
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(model->getTwoSided());

    const unsigned verticesBefore = face->vertices().getModifiedCount();
    const unsigned indicesBefore = face->indices().getModifiedCount();
    const osg::Vec4 red(1.f, 0.f, 0.f, 1.f), green(0.f, 1.f, 0.f, 0.5f);
    face->addVertex({0.f, 0.f, 0.f}, {0.f, 0.f, 1.f}, red);
    face->addVertex({1.f, 0.f, 0.f}, {0.f, 0.f, 1.f}, red);
    face->addVertex({1.f, 1.f, 0.f}, {0.f, 0.f, 1.f}, red);
    EXPECT_GT(face->vertices().getModifiedCount(), verticesBefore);
    EXPECT_GT(face->indices().getModifiedCount(), indicesBefore);
    ASSERT_EQ(face->indices().size(), 3u);
    EXPECT_EQ(face->indices()[2], 2u);
    EXPECT_EQ(face->indices().getMode(), GLenum(GL_POLYGON));

    const unsigned colorsBefore = face->colors().getModifiedCount();
    face->setColor(green);
    EXPECT_GT(face->colors().getModifiedCount(), colorsBefore);
    ASSERT_EQ(face->colors().size(), 3u);
    EXPECT_TRUE(std::all_of(face->colors().begin(), face->colors().end(),
                            [&](const osg::Vec4& c) { return c == green; }));

    face->clear();
    EXPECT_EQ(face->vertices().size(), 0u);
    EXPECT_EQ(face->normals().size(), 0u);
    EXPECT_EQ(face->colors().size(), 0u);
    EXPECT_EQ(face->indices().size(), 0u);
    face->addVertex({2.f, 2.f, 2.f}, {0.f, 1.f, 0.f}, red);
    EXPECT_EQ(face->indices()[0], 0u);
    face->setColor(green);
    EXPECT_EQ(face->colors().size(), 1u);
}

TEST(Beam, SlotOutlineCapsAndSide)
{
    const float a = 2.f, w = 1.f, h = 0.5f;
    osg::ref_ptr<Beam> beam = new Beam(a, w, h);
    ASSERT_EQ(beam->getNumChildren(), 3u);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(beam->getChild(i)->getNodeMask(), 30u);
    EXPECT_EQ(beam->topCap()->indices().getMode(), GLenum(GL_POLYGON));
    EXPECT_EQ(beam->bottomCap()->indices().getMode(), GLenum(GL_POLYGON));
    EXPECT_EQ(beam->side()->indices().getMode(), GLenum(GL_QUAD_STRIP));

    // 0 … π and π … 2π in steps of π/30, π taken for both ends.
    const osg::Vec3Array& top = beam->topCap()->vertices();
    const osg::Vec3Array& bottom = beam->bottomCap()->vertices();
    ASSERT_EQ(top.size(), 62u);
    ASSERT_EQ(bottom.size(), 62u);
    for (std::size_t i = 0; i < top.size(); ++i) {
        ASSERT_NEAR(distanceFromCentreSegment(top[i], a), w / 2, 1e-6f) << i;
        ASSERT_NEAR(distanceFromCentreSegment(bottom[i], a), w / 2, 1e-6f) << i;
        ASSERT_EQ(top[i].z(), h / 2);
        ASSERT_EQ(bottom[i].z(), -h / 2);
        ASSERT_EQ(beam->topCap()->normals()[i], osg::Vec3(0.f, 0.f, 1.f));
        ASSERT_EQ(beam->bottomCap()->normals()[i], osg::Vec3(0.f, 0.f, -1.f));
    }
    // Both straight edges are there: π ends one cap and starts the other.
    EXPECT_NEAR(top[30].x(), -1.f, 1e-6f);
    EXPECT_NEAR(top[31].x(), 1.f, 1e-6f);
    EXPECT_NEAR(top[30].y(), -0.5f, 1e-6f);

    const osg::Vec3Array& side = beam->side()->vertices();
    const osg::Vec3Array& sideNormals = beam->side()->normals();
    ASSERT_EQ(side.size(), 2u * 62 + 2);
    for (std::size_t i = 0; i + 2 < side.size(); i += 2) {
        ASSERT_EQ(side[i], top[i / 2]);
        ASSERT_EQ(side[i + 1], osg::Vec3(top[i / 2].x(), top[i / 2].y(), -h / 2));
        ASSERT_NEAR(sideNormals[i].z(), 0.f, 1e-7f);
        ASSERT_GT(sideNormals[i] * osg::Vec3(top[i / 2].x() - std::clamp(top[i / 2].x(), -1.f, 1.f),
                                             top[i / 2].y(), 0.f),
                  0.49f);
    }
    // The side closes on its first pair.
    EXPECT_NEAR((side[side.size() - 2] - side[0]).length(), 0.f, 1e-6f);
    EXPECT_EQ(sideNormals.back(), osg::Vec3(0.f, 1.f, 0.f));
    for (const osg::Vec4& c : beam->side()->colors())
        ASSERT_EQ(c, osg::Vec4(1.f, 1.f, 1.f, 1.f));
}

TEST(Beam, ZeroLengthIsACylinderAndResizeRefillsTheSameFaces)
{
    osg::ref_ptr<Beam> beam = new Beam(0.f, 0.8f, 1.f);
    const osg::Vec3Array& top = beam->topCap()->vertices();
    EXPECT_EQ(top.size(), 61u);
    for (const osg::Vec3& v : top)
        ASSERT_NEAR(radiusXY(v), 0.4f, 1e-6f);

    SimpleFace* side = beam->side();
    beam->resize(3.f, 0.2f, 2.f);
    EXPECT_EQ(beam->side(), side);
    EXPECT_EQ(beam->length(), 3.f);
    ASSERT_EQ(top.size(), 62u);
    float xMax = -1.f;
    for (const osg::Vec3& v : top) {
        ASSERT_NEAR(distanceFromCentreSegment(v, 3.f), 0.1f, 1e-6f);
        xMax = std::max(xMax, v.x());
    }
    EXPECT_NEAR(xMax, 1.6f, 1e-6f);
    EXPECT_EQ(beam->bottomCap()->vertices()[0].z(), -1.f);
    EXPECT_EQ(beam->side()->vertices().size(), 126u);
}

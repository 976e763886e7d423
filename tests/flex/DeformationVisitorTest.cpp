// The deformation visitor on geodes: one copy per source geometry however
// often it runs, the purpose tags and culling that hide the sources, and the
// transparency visitor's copies.

#include <gtest/gtest.h>

#include <osg/CullFace>
#include <osg/Geode>
#include <osg/Group>

#include "FlexTestSupport.h"
#include "flex/DeformationVisitor.h"
#include "scene/DrawablePurpose.h"
#include "scene/TransparencyVisitor.h"

namespace {

using flextest::points;

// Whether the drawable's own state culls all of its faces (draws nothing).
bool hidden(const osg::Drawable& drawable)
{
    const osg::StateSet* state = drawable.getStateSet();
    const auto* cull =
        state
            ? dynamic_cast<const osg::CullFace*>(state->getAttribute(osg::StateAttribute::CULLFACE))
            : nullptr;
    return cull && cull->getMode() == osg::CullFace::FRONT_AND_BACK &&
           (state->getMode(GL_CULL_FACE) & osg::StateAttribute::ON);
}

const osg::Vec3Array& verticesOf(const osg::Drawable* drawable)
{
    return *static_cast<const osg::Vec3Array*>(drawable->asGeometry()->getVertexArray());
}

class Visitor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Two beams in one geode, one in another below a group.
        first = flextest::beamGeode();
        first->addDrawable(flextest::makeBeam(2.0f, 4).get());
        second = flextest::beamGeode(3.0f, 3);
        root = new osg::Group;
        root->addChild(first.get());
        osg::ref_ptr<osg::Group> inner = new osg::Group;
        inner->addChild(second.get());
        root->addChild(inner.get());

        // Nodes at the beam's ends; the far one lifted by 0.5 along z.
        displacements = points({osg::Vec3(), osg::Vec3(0, 0, 0.5f)});
        visitor.setNodeArrays(points({osg::Vec3(0, 0, 0), osg::Vec3(4, 0, 0)}), displacements);
    }

    osg::ref_ptr<osg::Geode> first, second;
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::Vec3Array> displacements;
    DeformationVisitor visitor{DeformationMode::Processor};
};

TEST_F(Visitor, RepeatedPassesMakeOneCopyPerGeometryAndHideTheSources)
{
    for (int pass = 0; pass < 4; ++pass)
        ASSERT_TRUE(visitor.deform(*root));
    EXPECT_EQ(visitor.copyCount(), 3u);
    ASSERT_EQ(first->getNumDrawables(), 4u);
    ASSERT_EQ(second->getNumDrawables(), 2u);
    for (osg::Geode* geode : {first.get(), second.get()}) {
        const unsigned sources = geode->getNumDrawables() / 2;
        for (unsigned i = 0; i < sources; ++i) {
            osg::Drawable* source = geode->getDrawable(i);
            osg::Drawable* copy = geode->getDrawable(sources + i);
            EXPECT_EQ(visitor.copyOf(source->asGeometry()), copy);
            EXPECT_EQ(DrawablePurpose::of(*source)->flags(), DrawablePurpose::DEFORM_SOURCE);
            EXPECT_EQ(DrawablePurpose::of(*copy)->flags(), DrawablePurpose::DEFORMED_COPY);
            EXPECT_TRUE(hidden(*source));
            EXPECT_FALSE(hidden(*copy));
            EXPECT_NE(&verticesOf(source), &verticesOf(copy));
            EXPECT_TRUE(copy->asGeometry()->getUseVertexBufferObjects());
        }
        const osg::StateSet* geodeState = geode->getStateSet();
        ASSERT_NE(geodeState, nullptr);
        EXPECT_FALSE(geodeState->getMode(GL_CULL_FACE) & osg::StateAttribute::ON);
    }
}

TEST_F(Visitor, CopiesFollowTheFieldAndSourcesKeepTheirVertices)
{
    const std::vector<osg::Vec3> before = verticesOf(first->getDrawable(0)).asVector();
    visitor.deform(*root);
    const osg::Vec3Array& source = verticesOf(first->getDrawable(0));
    const osg::Vec3Array& copy = verticesOf(first->getDrawable(2));
    ASSERT_EQ(source.size(), copy.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), source.begin()));
    // Two nodes on the x axis: the field is 0.5 x / 4 along z (see the
    // interpolator's tests), whatever y and z a vertex has.
    for (std::size_t v = 0; v < source.size(); ++v) {
        EXPECT_NEAR(copy[v].z(), source[v].z() + 0.125f * source[v].x(), 1e-5f);
        EXPECT_NEAR(copy[v].x(), source[v].x(), 1e-5f);
    }

    // The next pass starts from the sources again.
    (*displacements)[1].z() = 0.0f;
    visitor.deform(*root);
    for (std::size_t v = 0; v < source.size(); ++v)
        EXPECT_NEAR(copy[v].z(), source[v].z(), 1e-6f);
}

TEST_F(Visitor, TransparencyCopiesAreNeverCopiedOrDeformedButShowTheDeformedShape)
{
    visitor.deform(*root);
    TransparencyVisitor transparency;
    root->accept(transparency);
    ASSERT_EQ(first->getNumDrawables(), 8u) << "a front copy of the two sources and two copies";
    const std::vector<osg::Vec3> frontOfSource = verticesOf(first->getDrawable(4)).asVector();

    for (int pass = 0; pass < 3; ++pass)
        visitor.deform(*root);
    EXPECT_EQ(visitor.copyCount(), 3u);
    EXPECT_EQ(first->getNumDrawables(), 8u);
    for (unsigned i = 0; i < 2; ++i) {
        osg::Drawable* source = first->getDrawable(i);
        osg::Drawable* copy = first->getDrawable(2 + i);
        osg::Drawable* sourceFront = first->getDrawable(4 + i);
        osg::Drawable* copyFront = first->getDrawable(6 + i);
        ASSERT_TRUE(DrawablePurpose::has(*sourceFront, DrawablePurpose::TRANSPARENCY_COPY));
        EXPECT_EQ(visitor.copyOf(sourceFront->asGeometry()), nullptr);
        EXPECT_EQ(visitor.copyOf(copyFront->asGeometry()), nullptr);
        EXPECT_TRUE(hidden(*source)) << "the transparency's culling does not show a source";
        EXPECT_TRUE(hidden(*sourceFront)) << "nor its front copy";
        EXPECT_FALSE(hidden(*copyFront));
        EXPECT_EQ(&verticesOf(copyFront), &verticesOf(copy)) << "the front pass moves with it";
    }
    const osg::Vec3Array& still = verticesOf(first->getDrawable(4));
    EXPECT_TRUE(std::equal(still.begin(), still.end(), frontOfSource.begin()));
}

TEST_F(Visitor, WithoutNodeArraysCopiesAreMadeButNothingMoves)
{
    DeformationVisitor bare(DeformationMode::Processor);
    EXPECT_TRUE(bare.deform(*root));
    EXPECT_EQ(bare.copyCount(), 3u);
    const osg::Vec3Array& source = verticesOf(first->getDrawable(0));
    const osg::Vec3Array& copy = verticesOf(first->getDrawable(2));
    EXPECT_TRUE(std::equal(source.begin(), source.end(), copy.begin()));
}

} // namespace

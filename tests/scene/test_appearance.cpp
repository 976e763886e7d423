// The drawable tag and the appearance visitors, on scene graphs built and
// inspected without a GL context.

#include <gtest/gtest.h>

#include <osg/BlendFunc>
#include <osg/CullFace>
#include <osg/Depth>
#include <osg/Material>
#include <osg/PolygonMode>
#include <osg/Switch>

#include "SceneTestSupport.h"
#include "scene/ColorCorrectionVisitor.h"
#include "scene/ColorVisitor.h"
#include "scene/DrawablePurpose.h"
#include "scene/FindNodeVisitor.h"
#include "scene/TransparencyVisitor.h"
#include "scene/WireframeVisitor.h"

using namespace scenetest;

namespace {

osg::Material* drawableMaterial(const osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    if (!stateSet)
        return nullptr;
    return dynamic_cast<osg::Material*>(
        const_cast<osg::StateAttribute*>(stateSet->getAttribute(osg::StateAttribute::MATERIAL)));
}

template <typename T>
const T* attribute(const osg::StateSet& stateSet, osg::StateAttribute::Type type)
{
    return dynamic_cast<const T*>(stateSet.getAttribute(type));
}

osg::Vec3 firstNormal(const osg::Drawable& drawable)
{
    const auto* normals =
        dynamic_cast<const osg::Vec3Array*>(drawable.asGeometry()->getNormalArray());
    return normals->front();
}

std::uint32_t flagsOf(const osg::Drawable& drawable)
{
    const DrawablePurpose* tag = DrawablePurpose::of(drawable);
    return tag ? tag->flags() : 0u;
}

} // namespace

// --- DrawablePurpose -------------------------------------------------------

TEST(DrawablePurpose, MarkCreatesTagThenOrsBitsAndUnmarkClearsOnlyItsBit)
{
    osg::ref_ptr<osg::Geometry> drawable = makeTriangle();
    EXPECT_EQ(DrawablePurpose::of(*drawable), nullptr);
    EXPECT_FALSE(DrawablePurpose::has(*drawable, DrawablePurpose::DEFORM_SOURCE));

    DrawablePurpose::mark(*drawable, DrawablePurpose::NORMALS_REVERSED);
    DrawablePurpose* tag = DrawablePurpose::of(*drawable);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->flags(), 4u);

    DrawablePurpose::mark(*drawable, DrawablePurpose::DEFORM_SOURCE);
    EXPECT_EQ(DrawablePurpose::of(*drawable), tag) << "a second bit must reuse the tag";
    EXPECT_EQ(tag->flags(), 5u);

    DrawablePurpose::unmark(*drawable, DrawablePurpose::NORMALS_REVERSED);
    EXPECT_EQ(tag->flags(), 1u);
    EXPECT_TRUE(DrawablePurpose::has(*drawable, DrawablePurpose::DEFORM_SOURCE));
    EXPECT_FALSE(DrawablePurpose::has(*drawable, DrawablePurpose::NORMALS_REVERSED));
}

TEST(DrawablePurpose, ForeignUserDataIsNoTagAndIsReplacedByMark)
{
    osg::ref_ptr<osg::Geometry> drawable = makeTriangle();
    drawable->setUserData(new osg::Referenced);
    EXPECT_EQ(DrawablePurpose::of(*drawable), nullptr);
    DrawablePurpose::unmark(*drawable, DrawablePurpose::TRANSPARENCY_COPY);
    EXPECT_EQ(DrawablePurpose::of(*drawable), nullptr);

    DrawablePurpose::mark(*drawable, DrawablePurpose::TRANSPARENCY_COPY);
    EXPECT_EQ(flagsOf(*drawable), 8u);
}

// --- ColorVisitor ------------------------------------------------------------

TEST(ColorVisitor, ColourAndAlphaSetDiffuseAndAmbientOnBothFaces)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    ColorVisitor visitor;
    visitor.setColor(0.25f, 0.5f, 0.75f);
    visitor.setAlpha(0.4f);
    geode->accept(visitor);

    for (unsigned i = 0; i < geode->getNumDrawables(); ++i) {
        const osg::Material* material = drawableMaterial(*geode->getDrawable(i));
        ASSERT_NE(material, nullptr);
        const osg::Vec4 expected(0.25f, 0.5f, 0.75f, 0.4f);
        for (auto face : {osg::Material::FRONT, osg::Material::BACK}) {
            EXPECT_EQ(material->getDiffuse(face), expected);
            EXPECT_EQ(material->getAmbient(face), expected);
        }
        // Neither the specular colour nor any mode is touched.
        EXPECT_EQ(material->getSpecular(osg::Material::FRONT), osg::Vec4(0, 0, 0, 0.4f));
        EXPECT_TRUE(geode->getDrawable(i)->getStateSet()->getModeList().empty());
    }
}

TEST(ColorVisitor, ShininessHalfGives64AndWhiteSpecularInTheExistingMaterial)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(1);
    osg::ref_ptr<osg::Material> existing = new osg::Material;
    existing->setDiffuse(osg::Material::FRONT_AND_BACK, osg::Vec4(0.1f, 0.2f, 0.3f, 1.0f));
    geode->getDrawable(0)->getOrCreateStateSet()->setAttribute(existing.get());

    ColorVisitor visitor;
    visitor.setShininess(0.5f);
    geode->accept(visitor);

    EXPECT_EQ(drawableMaterial(*geode->getDrawable(0)), existing.get());
    for (auto face : {osg::Material::FRONT, osg::Material::BACK}) {
        EXPECT_FLOAT_EQ(existing->getShininess(face), 64.0f);
        EXPECT_EQ(existing->getSpecular(face), osg::Vec4(1, 1, 1, 1));
        EXPECT_EQ(existing->getDiffuse(face), osg::Vec4(0.1f, 0.2f, 0.3f, 1.0f));
    }
}

TEST(ColorVisitor, ReachesGeodesBelowSwitchedOffChildren)
{
    osg::ref_ptr<osg::Switch> root = new osg::Switch;
    osg::ref_ptr<osg::Geode> hidden = makeGeode(1);
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->addChild(hidden.get());
    root->addChild(group.get(), false);

    ColorVisitor visitor;
    visitor.setColor(0.0f, 1.0f, 0.0f);
    root->accept(visitor);
    ASSERT_NE(drawableMaterial(*hidden->getDrawable(0)), nullptr);
    EXPECT_EQ(drawableMaterial(*hidden->getDrawable(0))->getAmbient(osg::Material::FRONT),
              osg::Vec4(0, 1, 0, 1));
}

// --- ColorCorrectionVisitor ------------------------------------------------

TEST(ColorCorrectionVisitor, AmbientBecomesDiffuseFaceByFace)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    osg::ref_ptr<osg::Material> twoSided = new osg::Material;
    twoSided->setAmbient(osg::Material::FRONT_AND_BACK, osg::Vec4(0, 0, 0, 1));
    twoSided->setDiffuse(osg::Material::FRONT, osg::Vec4(0.9f, 0.1f, 0.1f, 1));
    twoSided->setDiffuse(osg::Material::BACK, osg::Vec4(0.1f, 0.1f, 0.9f, 1));
    geode->getDrawable(0)->getOrCreateStateSet()->setAttribute(twoSided.get());

    ColorCorrectionVisitor visitor;
    geode->accept(visitor);

    EXPECT_EQ(twoSided->getAmbient(osg::Material::FRONT), osg::Vec4(0.9f, 0.1f, 0.1f, 1));
    EXPECT_EQ(twoSided->getAmbient(osg::Material::BACK), osg::Vec4(0.1f, 0.1f, 0.9f, 1));
    // The drawable without a material gets one, its ambient set to its diffuse.
    const osg::Material* created = drawableMaterial(*geode->getDrawable(1));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->getAmbient(osg::Material::BACK), created->getDiffuse(osg::Material::BACK));
}

// --- WireframeVisitor --------------------------------------------------------

TEST(WireframeVisitor, SwitchesTheGeodesPolygonModeOnAndOff)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::Geode> geode = makeGeode(1);
    osg::ref_ptr<osg::Geode> empty = new osg::Geode;
    root->addChild(geode.get());
    root->addChild(empty.get());

    WireframeVisitor on(true);
    root->accept(on);
    const osg::StateSet* stateSet = geode->getStateSet();
    ASSERT_NE(stateSet, nullptr);
    const auto* mode = attribute<osg::PolygonMode>(*stateSet, osg::StateAttribute::POLYGONMODE);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::LINE);
    EXPECT_EQ(mode->getMode(osg::PolygonMode::BACK), osg::PolygonMode::LINE);
    EXPECT_EQ(empty->getStateSet(), nullptr) << "a geode without drawables is left alone";
    EXPECT_EQ(geode->getDrawable(0)->getStateSet(), nullptr) << "drawables are not touched";

    WireframeVisitor off(false);
    root->accept(off);
    EXPECT_EQ(attribute<osg::PolygonMode>(*stateSet, osg::StateAttribute::POLYGONMODE), mode)
        << "the existing attribute is reused";
    EXPECT_EQ(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::FILL);
    EXPECT_EQ(mode->getMode(osg::PolygonMode::BACK), osg::PolygonMode::FILL);
    EXPECT_EQ(stateSet->getAttributePair(osg::StateAttribute::POLYGONMODE)->second &
                  osg::StateAttribute::ON,
              0u);
}

// --- TransparencyVisitor -----------------------------------------------------

namespace {

void expectBlended(const osg::StateSet& stateSet)
{
    const auto* blend = attribute<osg::BlendFunc>(stateSet, osg::StateAttribute::BLENDFUNC);
    ASSERT_NE(blend, nullptr);
    EXPECT_EQ(blend->getSource(), GLenum(GL_SRC_ALPHA));
    EXPECT_EQ(blend->getDestination(), GLenum(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(blend->getSourceAlpha(), GLenum(GL_SRC_ALPHA));
    EXPECT_EQ(blend->getDestinationAlpha(), GLenum(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(stateSet.getMode(GL_BLEND), osg::StateAttribute::ON);
    EXPECT_EQ(stateSet.getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));
    const auto* depth = attribute<osg::Depth>(stateSet, osg::StateAttribute::DEPTH);
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->getFunction(), osg::Depth::LEQUAL);
    EXPECT_FALSE(depth->getWriteMask());
    EXPECT_EQ(depth->getZNear(), 0.0);
    EXPECT_EQ(depth->getZFar(), 1.0);
    EXPECT_EQ(stateSet.getMode(GL_DEPTH_TEST), osg::StateAttribute::ON);
}

void expectFacePass(const osg::Drawable& drawable, osg::CullFace::Mode culled, int bin)
{
    SCOPED_TRACE(bin);
    const osg::StateSet* stateSet = drawable.getStateSet();
    ASSERT_NE(stateSet, nullptr);
    expectBlended(*stateSet);
    const auto* cull = attribute<osg::CullFace>(*stateSet, osg::StateAttribute::CULLFACE);
    ASSERT_NE(cull, nullptr);
    EXPECT_EQ(cull->getMode(), culled);
    EXPECT_EQ(stateSet->getMode(GL_CULL_FACE), osg::StateAttribute::ON);
    EXPECT_EQ(stateSet->getBinNumber(), bin);
    EXPECT_EQ(stateSet->getBinName(), "DepthSortedBin");
    EXPECT_EQ(stateSet->getRenderBinMode(), osg::StateSet::USE_RENDERBIN_DETAILS);
}

void makeTransparent(osg::Node& node)
{
    TransparencyVisitor visitor;
    node.accept(visitor);
}

void makeOpaque(osg::Node& node)
{
    TransparencyVisitor visitor;
    visitor.setTransparent(false);
    node.accept(visitor);
}

} // namespace

TEST(TransparencyVisitor, PerDrawableAddsFrontFaceCopiesSharingVertices)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    std::vector<osg::ref_ptr<osg::Drawable>> sources = {geode->getDrawable(0),
                                                        geode->getDrawable(1)};
    makeTransparent(*geode);

    ASSERT_EQ(geode->getNumDrawables(), 4u);
    EXPECT_EQ(geode->getStateSet(), nullptr) << "per-drawable mode leaves the geode's state";
    for (unsigned i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const osg::Drawable* source = geode->getDrawable(i);
        const osg::Drawable* copy = geode->getDrawable(2 + i);
        EXPECT_EQ(source, sources[i].get());
        EXPECT_NE(copy, source);

        EXPECT_EQ(flagsOf(*source), std::uint32_t(DrawablePurpose::NORMALS_REVERSED));
        EXPECT_EQ(flagsOf(*copy), std::uint32_t(DrawablePurpose::TRANSPARENCY_COPY));
        EXPECT_NE(DrawablePurpose::of(*copy), DrawablePurpose::of(*source));

        expectFacePass(*source, osg::CullFace::FRONT, 11);
        expectFacePass(*copy, osg::CullFace::BACK, 12);
        EXPECT_NE(copy->getStateSet(), source->getStateSet());

        EXPECT_EQ(firstNormal(*source), osg::Vec3(0, 0, -1)) << "back faces lit from inside";
        EXPECT_EQ(firstNormal(*copy), osg::Vec3(0, 0, 1));
        EXPECT_EQ(copy->asGeometry()->getVertexArray(), source->asGeometry()->getVertexArray());
        EXPECT_NE(copy->asGeometry()->getNormalArray(), source->asGeometry()->getNormalArray());
    }
}

TEST(TransparencyVisitor, ApplyingTwiceAddsTheCopiesOnce)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::Geode> geode = makeGeode(3);
    root->addChild(geode.get());
    makeTransparent(*root);
    makeTransparent(*root);
    EXPECT_EQ(geode->getNumDrawables(), 6u);
    EXPECT_EQ(firstNormal(*geode->getDrawable(0)), osg::Vec3(0, 0, -1))
        << "normals must not be turned back by a second pass";
}

TEST(TransparencyVisitor, OpaqueRestoreUndoesTheTransparency)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    std::vector<osg::ref_ptr<osg::Drawable>> sources = {geode->getDrawable(0),
                                                        geode->getDrawable(1)};
    makeTransparent(*geode);
    makeOpaque(*geode);

    ASSERT_EQ(geode->getNumDrawables(), 2u);
    for (unsigned i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const osg::Drawable* drawable = geode->getDrawable(i);
        EXPECT_EQ(drawable, sources[i].get());
        EXPECT_EQ(flagsOf(*drawable), 0u);
        EXPECT_EQ(firstNormal(*drawable), osg::Vec3(0, 0, 1));
        const osg::StateSet& stateSet = *drawable->getStateSet();
        const auto* cull = attribute<osg::CullFace>(stateSet, osg::StateAttribute::CULLFACE);
        ASSERT_NE(cull, nullptr);
        EXPECT_EQ(cull->getMode(), osg::CullFace::BACK);
        EXPECT_EQ(stateSet.getMode(GL_CULL_FACE), osg::StateAttribute::ON);
        const auto* depth = attribute<osg::Depth>(stateSet, osg::StateAttribute::DEPTH);
        ASSERT_NE(depth, nullptr);
        EXPECT_EQ(depth->getFunction(), osg::Depth::LESS);
        EXPECT_TRUE(depth->getWriteMask());
        EXPECT_EQ(stateSet.getMode(GL_DEPTH_TEST), osg::StateAttribute::ON);
        // Blending and the bin details stay.
        EXPECT_EQ(stateSet.getMode(GL_BLEND), osg::StateAttribute::ON);
        EXPECT_EQ(stateSet.getBinNumber(), 11);
    }

    // And the round trip can be made again.
    makeTransparent(*geode);
    EXPECT_EQ(geode->getNumDrawables(), 4u);
    EXPECT_EQ(firstNormal(*geode->getDrawable(0)), osg::Vec3(0, 0, -1));
}

TEST(TransparencyVisitor, OpaqueRestoreLeavesDeformedDrawablesButDropsTheirCopies)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    DrawablePurpose::mark(*geode->getDrawable(0), DrawablePurpose::DEFORM_SOURCE);
    makeTransparent(*geode);
    ASSERT_EQ(geode->getNumDrawables(), 4u);
    makeOpaque(*geode);

    ASSERT_EQ(geode->getNumDrawables(), 2u);
    const osg::Drawable* deformed = geode->getDrawable(0);
    EXPECT_EQ(flagsOf(*deformed),
              std::uint32_t(DrawablePurpose::DEFORM_SOURCE | DrawablePurpose::NORMALS_REVERSED));
    expectFacePass(*deformed, osg::CullFace::FRONT, 11);
    EXPECT_EQ(firstNormal(*deformed), osg::Vec3(0, 0, -1));

    const osg::Drawable* plain = geode->getDrawable(1);
    EXPECT_TRUE(
        attribute<osg::Depth>(*plain->getStateSet(), osg::StateAttribute::DEPTH)->getWriteMask());
    EXPECT_EQ(firstNormal(*plain), osg::Vec3(0, 0, 1));
}

TEST(TransparencyVisitor, WholeNodeModeBlendsTheGeodeWithoutCopies)
{
    osg::ref_ptr<osg::Geode> geode = makeGeode(2);
    TransparencyVisitor visitor;
    visitor.setWholeNode(true);
    geode->accept(visitor);

    EXPECT_EQ(geode->getNumDrawables(), 2u);
    ASSERT_NE(geode->getStateSet(), nullptr);
    expectBlended(*geode->getStateSet());
    EXPECT_EQ(geode->getDrawable(0)->getStateSet(), nullptr);
    EXPECT_EQ(firstNormal(*geode->getDrawable(0)), osg::Vec3(0, 0, 1));
}

// --- FindNodeVisitor ---------------------------------------------------------

TEST(FindNodeVisitor, FindsTheFirstSceneObjectWithTheName)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::Group> plain = new osg::Group;
    plain->setName("pipe 4");
    root->addChild(plain.get());
    osg::ref_ptr<osg::Group> middle = new osg::Group;
    root->addChild(middle.get());
    osg::ref_ptr<TestObject> outer = new TestObject;
    outer->setName("pipe 4");
    middle->addChild(outer.get());
    osg::ref_ptr<TestObject> inner = new TestObject;
    inner->setName("pipe 4");
    outer->getTransform()->addChild(inner.get());
    osg::ref_ptr<TestObject> later = new TestObject;
    later->setName("pipe 4");
    root->addChild(later.get());

    FindNodeVisitor visitor("pipe 4");
    root->accept(visitor);
    EXPECT_EQ(visitor.getFound(), outer.get());

    FindNodeVisitor missing("pipe 5");
    root->accept(missing);
    EXPECT_EQ(missing.getFound(), nullptr);
}

TEST(FindNodeVisitor, EmptyNameFindsNothingEvenAmongUnnamedObjects)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<TestObject> unnamed = new TestObject;
    root->addChild(unnamed.get());
    FindNodeVisitor visitor("");
    root->accept(visitor);
    EXPECT_EQ(visitor.getFound(), nullptr);
}

#include "scene/TransparencyVisitor.h"

#include <osg/BlendFunc>
#include <osg/CullFace>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>

#include "scene/DrawablePurpose.h"
#include "scene/SharedState.h"

namespace {

constexpr int BACK_FACE_BIN = 11;
constexpr int FRONT_FACE_BIN = 12;
const char* const SORTED_BIN = "DepthSortedBin";

// Alpha blending, the transparent bin and a depth test that reads but does
// not write, so that transparent surfaces never hide what is drawn after them.
void setBlendedDrawing(osg::StateSet& stateSet)
{
    stateSet.setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA,
                                                     GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                                  osg::StateAttribute::ON);
    stateSet.setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    stateSet.setAttributeAndModes(new osg::Depth(osg::Depth::LEQUAL, 0.0, 1.0, false),
                                  osg::StateAttribute::ON);
}

void setFacePass(osg::StateSet& stateSet, osg::CullFace::Mode culled, int bin)
{
    setBlendedDrawing(stateSet);
    stateSet.setAttributeAndModes(new osg::CullFace(culled), osg::StateAttribute::ON);
    stateSet.setRenderBinDetails(bin, SORTED_BIN, osg::StateSet::USE_RENDERBIN_DETAILS);
}

template <typename ArrayType> bool negateAll(osg::Array* array)
{
    auto* typed = dynamic_cast<ArrayType*>(array);
    if (!typed)
        return false;
    using Component = typename ArrayType::ElementDataType::value_type;
    for (auto& normal : *typed) {
        for (int c = 0; c < 3; ++c)
            normal[c] = static_cast<Component>(-normal[c]);
    }
    typed->dirty();
    return true;
}

void negateNormals(osg::Geometry& geometry)
{
    osg::Array* normals = geometry.getNormalArray();
    if (!normals)
        return;
    if (!negateAll<osg::Vec3Array>(normals) && !negateAll<osg::Vec3dArray>(normals) &&
        !negateAll<osg::Vec3sArray>(normals))
        negateAll<osg::Vec3bArray>(normals);
}

} // namespace

TransparencyVisitor::TransparencyVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void TransparencyVisitor::apply(osg::Geode& geode)
{
    if (!_transparent)
        restoreOpaque(geode);
    else if (_wholeNode)
        makeGeodeTransparent(geode);
    else
        makeDrawablesTransparent(geode);
}

void TransparencyVisitor::makeGeodeTransparent(osg::Geode& geode)
{
    setBlendedDrawing(sharedstate::ownStateSet(geode));
}

void TransparencyVisitor::makeDrawablesTransparent(osg::Geode& geode)
{
    const unsigned count = geode.getNumDrawables();
    if (count == 0)
        return;
    for (unsigned i = 0; i < count; ++i) {
        if (DrawablePurpose::has(*geode.getDrawable(i), DrawablePurpose::TRANSPARENCY_COPY))
            return;
    }

    // The back-face pass reverses the normals in place and both passes
    // carry state of their own: shared drawables are copied first.
    for (unsigned i = 0; i < count; ++i)
        sharedstate::ownDrawable(geode, i);
    // The copy geode only lends its drawables; they move to the source geode.
    osg::ref_ptr<osg::Geode> copy =
        static_cast<osg::Geode*>(geode.clone(osg::CopyOp::DEEP_COPY_ALL));
    for (unsigned i = 0; i < count; ++i) {
        osg::Drawable* source = geode.getDrawable(i);
        setFacePass(*source->getOrCreateStateSet(), osg::CullFace::FRONT, BACK_FACE_BIN);

        osg::Drawable* front = copy->getDrawable(i);
        front->setUserData(nullptr);
        DrawablePurpose::mark(*front, DrawablePurpose::TRANSPARENCY_COPY);
        setFacePass(*front->getOrCreateStateSet(), osg::CullFace::BACK, FRONT_FACE_BIN);

        if (osg::Geometry* sourceGeometry = source->asGeometry()) {
            if (!DrawablePurpose::has(*source, DrawablePurpose::NORMALS_REVERSED)) {
                DrawablePurpose::mark(*source, DrawablePurpose::NORMALS_REVERSED);
                negateNormals(*sourceGeometry);
            }
            if (osg::Geometry* frontGeometry = front->asGeometry())
                frontGeometry->setVertexArray(sourceGeometry->getVertexArray());
        }
        geode.addDrawable(front);
    }
}

void TransparencyVisitor::restoreOpaque(osg::Geode& geode)
{
    for (unsigned i = geode.getNumDrawables(); i-- > 0;) {
        if (DrawablePurpose::has(*geode.getDrawable(i), DrawablePurpose::TRANSPARENCY_COPY))
            geode.removeDrawables(i, 1);
    }
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        if (DrawablePurpose::has(*geode.getDrawable(i), DrawablePurpose::DEFORM_SOURCE))
            continue;
        osg::Drawable* drawable = &sharedstate::ownDrawable(geode, i);
        osg::StateSet* stateSet = drawable->getOrCreateStateSet();
        stateSet->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);
        stateSet->setAttributeAndModes(new osg::Depth(osg::Depth::LESS, 0.0, 1.0, true),
                                       osg::StateAttribute::ON);
        stateSet->setAttributeAndModes(new osg::CullFace(osg::CullFace::FRONT),
                                       osg::StateAttribute::OFF);
        stateSet->setAttributeAndModes(new osg::CullFace(osg::CullFace::BACK),
                                       osg::StateAttribute::ON);
        osg::Geometry* geometry = drawable->asGeometry();
        if (geometry && DrawablePurpose::has(*drawable, DrawablePurpose::NORMALS_REVERSED)) {
            DrawablePurpose::unmark(*drawable, DrawablePurpose::NORMALS_REVERSED);
            negateNormals(*geometry);
        }
    }
}

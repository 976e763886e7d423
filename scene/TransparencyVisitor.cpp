#include "scene/TransparencyVisitor.h"

#include <map>
#include <mutex>

#include <osg/BlendFunc>
#include <osg/CullFace>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/observer_ptr>

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
    // Normals that other geometries or their builder hold too are copied
    // first: turning them round in place would turn the others' as well.
    if (normals->referenceCount() > 1) {
        osg::ref_ptr<osg::Array> own = osg::clone(normals, osg::CopyOp::DEEP_COPY_ALL);
        geometry.setNormalArray(own.get(), normals->getBinding());
        normals = own.get();
    }
    if (!negateAll<osg::Vec3Array>(normals) && !negateAll<osg::Vec3dArray>(normals) &&
        !negateAll<osg::Vec3sArray>(normals))
        negateAll<osg::Vec3bArray>(normals);
}

// Turns the drawable into the back-face pass (its normals reversed) and
// returns its front-face copy, which shares its vertices.
osg::ref_ptr<osg::Drawable> splitIntoPasses(osg::Drawable& source)
{
    osg::ref_ptr<osg::Drawable> front = osg::clone(&source, osg::CopyOp::DEEP_COPY_ALL);
    front->setUserData(nullptr);
    DrawablePurpose::mark(*front, DrawablePurpose::TRANSPARENCY_COPY);
    setFacePass(*front->getOrCreateStateSet(), osg::CullFace::BACK, FRONT_FACE_BIN);
    setFacePass(*source.getOrCreateStateSet(), osg::CullFace::FRONT, BACK_FACE_BIN);
    if (osg::Geometry* sourceGeometry = source.asGeometry()) {
        if (!DrawablePurpose::has(source, DrawablePurpose::NORMALS_REVERSED)) {
            DrawablePurpose::mark(source, DrawablePurpose::NORMALS_REVERSED);
            negateNormals(*sourceGeometry);
        }
        if (osg::Geometry* frontGeometry = front->asGeometry())
            frontGeometry->setVertexArray(sourceGeometry->getVertexArray());
    }
    return front;
}

struct Passes
{
    osg::ref_ptr<osg::Drawable> back;
    osg::ref_ptr<osg::Drawable> front;
};

// The two passes of a shared drawable: made from a copy of it once, then
// drawn by every transparent geode that drew it (their colour and alpha are
// on the geodes' state sets). The passes are tagged shared as well, so an
// opaque restore copies them before turning the normals back. The cache
// keeps the shared drawable while its passes are drawn (so that the next
// geode finds them even when no opaque one holds it) and only observes the
// passes: when no geode draws them any more, the entry goes.
Passes sharedPasses(osg::Drawable& shared)
{
    struct Entry
    {
        osg::ref_ptr<osg::Drawable> source;
        osg::observer_ptr<osg::Drawable> back;
        osg::observer_ptr<osg::Drawable> front;
    };
    static std::mutex mutex;
    static std::map<const osg::Drawable*, Entry> made;
    std::lock_guard<std::mutex> lock(mutex);
    std::erase_if(made, [](const auto& item) {
        return !item.second.back.valid() || !item.second.front.valid();
    });
    Passes passes;
    if (const auto found = made.find(&shared); found != made.end()) {
        if (found->second.back.lock(passes.back) && found->second.front.lock(passes.front))
            return passes;
    }
    passes.back = osg::clone(&shared, osg::CopyOp::DEEP_COPY_ALL);
    passes.back->setUserData(new DrawablePurpose(DrawablePurpose::SHARED));
    passes.front = splitIntoPasses(*passes.back);
    DrawablePurpose::mark(*passes.front, DrawablePurpose::SHARED);
    made[&shared] = {&shared, passes.back, passes.front};
    return passes;
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

    for (unsigned i = 0; i < count; ++i) {
        osg::Drawable* drawable = geode.getDrawable(i);
        if (DrawablePurpose::has(*drawable, DrawablePurpose::SHARED)) {
            const Passes passes = sharedPasses(*drawable);
            geode.setDrawable(i, passes.back.get());
            geode.addDrawable(passes.front.get());
        } else {
            geode.addDrawable(splitIntoPasses(*drawable).get());
        }
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

#include "flex/DeformationVisitor.h"

#include <osg/CullFace>
#include <osg/Geode>
#include <osg/Geometry>

#include "scene/DrawablePurpose.h"

namespace {

// Culls all faces (hides) or none.
void setAllFacesCulled(osg::StateSet& stateSet, bool culled)
{
    stateSet.setAttributeAndModes(new osg::CullFace(osg::CullFace::FRONT_AND_BACK),
                                  culled ? osg::StateAttribute::ON : osg::StateAttribute::OFF);
}

bool allFacesCulled(const osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    if (!stateSet)
        return false;
    const auto* cullFace =
        dynamic_cast<const osg::CullFace*>(stateSet->getAttribute(osg::StateAttribute::CULLFACE));
    return cullFace && cullFace->getMode() == osg::CullFace::FRONT_AND_BACK &&
           (stateSet->getMode(GL_CULL_FACE) & osg::StateAttribute::ON);
}

} // namespace

DeformationVisitor::DeformationVisitor(DeformationMode mode)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _mode(mode)
{
}

DeformationVisitor::~DeformationVisitor() = default;

void DeformationVisitor::setNodeArrays(osg::ref_ptr<osg::Vec3Array> reference,
                                       osg::ref_ptr<osg::Vec3Array> displacements)
{
    _reference = std::move(reference);
    _displacements = std::move(displacements);
    _interpolator = std::make_unique<DeformationInterpolator>(_reference, _displacements);
    _backend = makeDeformationBackend(_mode);
}

bool DeformationVisitor::deform(osg::Node& node)
{
    const bool solved = !_interpolator || _interpolator->solve();
    node.accept(*this);
    return solved;
}

void DeformationVisitor::apply(osg::Geode& geode)
{
    setAllFacesCulled(*geode.getOrCreateStateSet(), false);

    // Only the drawables there now: the copies added below are not visited.
    const unsigned count = geode.getNumDrawables();
    for (unsigned i = 0; i < count; ++i) {
        osg::Drawable* drawable = geode.getDrawable(i);
        if (DrawablePurpose::has(*drawable, DrawablePurpose::DEFORMED_COPY |
                                                DrawablePurpose::TRANSPARENCY_COPY))
            continue;
        osg::Geometry* source = drawable->asGeometry();
        if (!source)
            continue;
        DrawablePurpose::mark(*source, DrawablePurpose::DEFORM_SOURCE);

        osg::ref_ptr<osg::Geometry>& copy = _copies[source];
        if (!copy) {
            copy = static_cast<osg::Geometry*>(source->clone(osg::CopyOp::DEEP_COPY_ALL));
            copy->setUserData(nullptr);
            DrawablePurpose::mark(*copy, DrawablePurpose::DEFORMED_COPY);
            geode.addDrawable(copy.get());
            setAllFacesCulled(*copy->getOrCreateStateSet(), false);
        }
        // Every pass: the transparency visitor gives sources its own culling.
        if (!allFacesCulled(*source))
            setAllFacesCulled(*source->getOrCreateStateSet(), true);
        deformGeometry(*source, *copy);
    }

    // Front-pass copies that draw a hidden source's vertices are hidden too.
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        osg::Geometry* front = geode.getDrawable(i)->asGeometry();
        if (!front || !DrawablePurpose::has(*front, DrawablePurpose::TRANSPARENCY_COPY) ||
            allFacesCulled(*front))
            continue;
        for (unsigned j = 0; j < count; ++j) {
            const osg::Drawable* other = geode.getDrawable(j);
            const osg::Geometry* geometry = other->asGeometry();
            if (geometry && geometry != front &&
                DrawablePurpose::has(*other, DrawablePurpose::DEFORM_SOURCE) &&
                geometry->getVertexArray() == front->getVertexArray()) {
                setAllFacesCulled(*front->getOrCreateStateSet(), true);
                break;
            }
        }
    }
    traverse(geode);
}

void DeformationVisitor::deformGeometry(osg::Geometry& source, osg::Geometry& copy)
{
    if (!_interpolator)
        return;
    const auto* from = dynamic_cast<const osg::Vec3Array*>(source.getVertexArray());
    auto* to = dynamic_cast<osg::Vec3Array*>(copy.getVertexArray());
    if (!from || !to || from == to || to->size() != from->size())
        return;
    copy.setUseDisplayList(false);
    copy.setUseVertexBufferObjects(true);
    _backend->deform(*_interpolator, source, *from, *to);
    to->dirty();
    copy.dirtyBound();
}

osg::Geometry* DeformationVisitor::copyOf(const osg::Geometry* source) const
{
    const auto found = _copies.find(source);
    return found == _copies.end() ? nullptr : found->second.get();
}

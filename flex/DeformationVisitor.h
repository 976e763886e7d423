#pragma once
// Bends the geometries below a node by the field of a flexible body.
//
// The source geometries are never changed: the first time a geometry is
// met, a deep copy of it is added beside it in its geode (tagged as the
// deformed copy), the source is tagged as a deformation source and hidden by
// culling all its faces, and from then on every pass rewrites the copy's
// vertices from the source's undeformed vertices. The same displacements
// therefore always give the same shape, whatever came before.
//
// Drawables tagged as deformed copies or as transparency copies are never
// copied or deformed themselves. The transparency visitor draws a
// transparent body in two passes and, for its front pass, adds a copy of
// each drawable sharing that drawable's vertices: the front copy of a
// deformed copy moves with it, and the front copy of a hidden source is
// hidden with the source (the transparency visitor also turns the source's
// culling to its back-face pass, so every pass hides the sources again).
//
// deform() solves the interpolation once for the current displacements and
// then visits the node; a visit without it reuses the last field.
//
// Threading: the scene update thread only; one visitor per body.

#include <cstddef>
#include <map>
#include <memory>

#include <osg/Array>
#include <osg/NodeVisitor>
#include <osg/ref_ptr>

#include "flex/DeformationBackend.h"
#include "flex/DeformationInterpolator.h"

namespace osg {
class Geometry;
}

class DeformationVisitor : public osg::NodeVisitor
{
public:
    explicit DeformationVisitor(DeformationMode mode);
    ~DeformationVisitor() override;

    DeformationMode mode() const { return _mode; }

    // Keeps both arrays (shared with the body, which overwrites the
    // displacements in place) and makes the interpolator for them, which
    // factorises the interpolation matrix, and the back-end of the mode.
    void setNodeArrays(osg::ref_ptr<osg::Vec3Array> reference,
                       osg::ref_ptr<osg::Vec3Array> displacements);

    // One pass: solve for the current displacements, then visit `node`.
    // False when the solve gave no finite field (the previous one is used).
    bool deform(osg::Node& node);

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override;

    // The deformed copy made for a source geometry, or null.
    osg::Geometry* copyOf(const osg::Geometry* source) const;
    std::size_t copyCount() const { return _copies.size(); }
    DeformationInterpolator* interpolator() const { return _interpolator.get(); }

private:
    void deformGeometry(osg::Geometry& source, osg::Geometry& copy);

    const DeformationMode _mode;
    osg::ref_ptr<osg::Vec3Array> _reference;
    osg::ref_ptr<osg::Vec3Array> _displacements;
    std::unique_ptr<DeformationInterpolator> _interpolator;
    std::unique_ptr<DeformationBackend> _backend;
    // Source geometry -> its deformed copy (which the geode holds too).
    std::map<const osg::Geometry*, osg::ref_ptr<osg::Geometry>> _copies;
};

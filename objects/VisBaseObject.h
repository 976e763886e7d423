#pragma once
// The primitive shape object: one scene object class for simple solids and
// procedural shapes, chosen by the shape kind in item 5.
//
//  kind  shape         built from
//   1    Box           unit edge, centred at the origin
//   2    Sphere        radius 0.5
//   3    Cylinder      along z, radius 0.5, height 1
//   4    Cone          along z, radius 0.5, height 1, base a quarter below the origin
//   5    Capsule       along z, radius 0.5, cylindrical part 1
//   6    CoordSystem   three labelled arrows; item 4 sizes the labels
//   7    Spring        length 4[0], coil radius 4[1], windings 11[0], wire radius 11[1]
//   8    Gear          teeth 11[1], thickness 4[2], ring parameter 11[0], angle 11[2] (deg)
//   9    Pipe          bore 11[1], end ratio 11[2]
//  10    Grid          extent 4[0] x 4[1], spacing 11[0]
//  11    Beam          length 4[0], width 4[1], height 4[2]
//
// The shape is built once, at initialisation, as the only child of the
// transform; the unit solids get their real size from the scale (item 4).
// All unit solids of a kind draw one shared drawable, and those that look
// alike share one state set (see scene/SharedState.h).
// Later packets move, turn and scale it, except that the spring stretches
// and the beam resizes to a new item 4 instead of being scaled. A later
// change of item 5 builds nothing new. Kinds outside 1-11 build nothing.
// The coordinate marker keeps its own colours: appearance items never reach
// it.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <string>

#include <osg/Node>
#include <osg/Vec3>
#include <osg/ref_ptr>

#include "scene/Vis3DObject.h"
#include "protocol/Items.h"

class VisBaseObject : public Vis3DObject
{
public:
    // Item 5[0]: KIND_BOX, ... KIND_BEAM.
    using Kind = item::shape::ShapeKindValue;
    using enum item::shape::ShapeKindValue;
    // The marker's labels are set in this font.
    static constexpr const char* LABEL_FONT = "TIMES.TTF";
    static constexpr int LABEL_BIN = 11;

    explicit VisBaseObject(const ObjectContext& context);

    const char* className() const override { return "VisBaseObject"; }

    // The built shape (the transform's first child), or null.
    osg::Node* shape() const;

protected:
    ~VisBaseObject() override;

    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The node of a kind from the state packet's items; null for kinds
    // outside 1-11 and when the marker's font cannot be loaded.
    osg::ref_ptr<osg::Node> buildShape(int kind);
    osg::ref_ptr<osg::Geode> buildCoordSystem(const osg::Vec3& labelSizes);
    // Item 4 of the state packet: spring stretch, beam resize or scale.
    // Returns false when the spring or beam has no node to act on.
    bool applyDimensions(int kind);
};

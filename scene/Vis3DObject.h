#pragma once
// A scene object placed in the world: its one child is a matrix transform
// under which the concrete class hangs all its geometry. The transform's
// matrix is scale x rotation x translation; the scene graph multiplies row
// vectors from the left, so a local point is scaled, then rotated, then
// moved. Position, orientation and scale each keep their own matrix, so a
// packet that carries only one of them leaves the other two as they were.
//
// It also applies the appearance items every 3D object shares (colour,
// transparency, shininess, wireframe) through the appearance visitors, and
// carries the intersectable flag that intersectors look at.
//
// The node mask 0x1E sets the bits of both shadow traversal masks of the
// scene root, so 3D objects receive and cast shadows. GL_NORMALIZE keeps
// scaled geometry lit correctly; every object's group holds the same state
// set for it, so the renderer sorts all objects under one.
//
// Threading: GUI thread only, like VisObject.

#include <span>

#include <osg/Matrixd>
#include <osg/MatrixTransform>
#include <osg/ref_ptr>

#include "scene/VisObject.h"

class Vis3DObject : public VisObject
{
public:
    static constexpr osg::Node::NodeMask NODE_MASK = 0x1E;

    explicit Vis3DObject(const ObjectContext& context);

    const char* className() const override { return "Vis3DObject"; }

    // Translation := (x, y, z). Fewer than 3 values throw the packet exception
    // for item 1.
    void setPosition(std::span<const float> xyz);
    // Rotation from two axis vectors u = (a0, a1, a2), v = (a3, a4, a5) and
    // w = u x v as the matrix's first three columns, used as sent: neither
    // normalised nor made orthogonal. Fewer than 6 values throw for item 3.
    void setOrientation(std::span<const float> axes);
    // Scale := (sx, sy, sz). Fewer than 3 values throw for item 4.
    void setScale(std::span<const float> xyz);

    // Applies colour (item 44), alpha (10), shininess (8 and 9) and wireframe
    // (29) from the packet. Does nothing unless `force` is set or one of items
    // 10, 44, 29, 9 is flagged changed (a change of item 8 alone does not
    // count). `wholeNodeTransparency` picks the transparency visitor's
    // whole-node mode. Item 9 needs item 8: without it this throws for item 8.
    void updateAppearance(const GNP2::Packet& packet, bool force, bool wholeNodeTransparency);

    osg::MatrixTransform* getTransform() const { return _transform.get(); }
    const osg::Matrixd& getTranslation() const { return _translation; }
    const osg::Matrixd& getRotation() const { return _rotation; }
    const osg::Matrixd& getScale() const { return _scale; }

    // The matrices a position update reads and the transform it writes.
    void prefetchParts() const override;

    // Whether an intersector may attribute a hit on this object's geometry to it.
    bool isIntersectable() const { return _intersectable; }

protected:
    ~Vis3DObject() override;

    void setIntersectable(bool intersectable) { _intersectable = intersectable; }
    // After each appearance change, hands the geodes' state sets to the
    // shared pool (see scene/SharedState.h). Only for classes whose own code
    // never changes those state sets except through the appearance visitors.
    void setSharesState(bool sharesState) { _sharesState = sharesState; }
    // Items 1, 3 and (unless the class reads item 4 otherwise) 4 of the
    // packet, each only when present.
    void applyTransformItems(const GNP2::Packet& packet, bool withScale = true);

private:
    // The transform's matrix from the parts; a change of position only
    // multiplies the cached scale x rotation by the translation.
    void updateMatrix();

    // What a position update touches comes first and together, so that it
    // fills as few cache lines as possible.
    // _scale * _rotation, renewed when either changes: position updates are
    // by far the most frequent, and they need one product instead of two.
    osg::Matrixd _scaleRotation;
    osg::Matrixd _translation;
    osg::ref_ptr<osg::MatrixTransform> _transform;
    bool _intersectable = true;
    bool _sharesState = false;
    osg::Matrixd _rotation;
    osg::Matrixd _scale;
};

#pragma once

#include "objects/builders/SimpleFace.h"

#include <osg/Group>

// A slot-shaped bar along x: a rectangle of length a and width w with
// half-circle ends of diameter w, extruded from z = −h/2 to z = h/2. So a = 0
// gives a cylinder of diameter w. It is three faces (top cap, bottom cap,
// side) that are refilled in place on resize, so the beam can change its
// dimensions every frame without new nodes.
class Beam : public osg::Group
{
public:
    // Node mask of the three faces (bits 1 to 4).
    static constexpr osg::Node::NodeMask kFaceMask = 30;

    Beam(float length, float width, float height);

    void resize(float length, float width, float height);

    SimpleFace* topCap() const { return _top.get(); }
    SimpleFace* bottomCap() const { return _bottom.get(); }
    SimpleFace* side() const { return _side.get(); }

    float length() const { return _length; }
    float width() const { return _width; }
    float height() const { return _height; }

private:
    osg::ref_ptr<SimpleFace> _top;
    osg::ref_ptr<SimpleFace> _bottom;
    osg::ref_ptr<SimpleFace> _side;
    float _length = 0.f;
    float _width = 0.f;
    float _height = 0.f;
};

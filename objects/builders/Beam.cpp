#include "objects/builders/Beam.h"

#include "objects/builders/BuilderSupport.h"

#include <cmath>
#include <string>

namespace {

// Half a turn in steps of π/30; the angle π is visited once for each end.
constexpr int kStepsPerHalfTurn = 30;

} // namespace

Beam::Beam(float length, float width, float height)
    : _top(new SimpleFace(osg::PrimitiveSet::POLYGON, osg::Array::BIND_PER_VERTEX)),
      _bottom(new SimpleFace(osg::PrimitiveSet::POLYGON, osg::Array::BIND_PER_VERTEX)),
      _side(new SimpleFace(osg::PrimitiveSet::QUAD_STRIP, osg::Array::BIND_PER_VERTEX))
{
    resize(length, width, height);
    for (SimpleFace* face : {_top.get(), _bottom.get(), _side.get()}) {
        addChild(face);
        face->setNodeMask(kFaceMask);
    }
}

void Beam::resize(float length, float width, float height)
{
    _top->clear();
    _bottom->clear();
    _side->clear();
    if (!std::isfinite(length) || !std::isfinite(width) || !std::isfinite(height)) {
        builder::reportRejected("Beam", "size " + std::to_string(length) + " x " +
                                            std::to_string(width) + " x " + std::to_string(height) +
                                            " builds no beam");
        return;
    }
    _length = length;
    _width = width;
    _height = height;

    const osg::Vec4 white(1.f, 1.f, 1.f, 1.f);
    const double halfWidth = width / 2.0;
    const float top = height / 2.f;
    const float bottom = -height / 2.f;
    const auto addAt = [&](double theta, double offset) {
        const float xTop = static_cast<float>(halfWidth * std::sin(-theta) - offset);
        const float yTop = static_cast<float>(halfWidth * std::cos(-theta));
        _top->addVertex(osg::Vec3(xTop, yTop, top), osg::Vec3(0.f, 0.f, 1.f), white);
        _bottom->addVertex(osg::Vec3(static_cast<float>(halfWidth * std::sin(theta) + offset),
                                     static_cast<float>(halfWidth * std::cos(theta)), bottom),
                           osg::Vec3(0.f, 0.f, -1.f), white);
        const osg::Vec3 sideNormal(static_cast<float>(std::sin(-theta)),
                                   static_cast<float>(std::cos(-theta)), 0.f);
        _side->addVertex(osg::Vec3(xTop, yTop, top), sideNormal, white);
        _side->addVertex(osg::Vec3(xTop, yTop, bottom), sideNormal, white);
    };
    // θ = 0 … π around the end at x = −a/2 (top view), then π … 2π around the
    // end at x = +a/2; the angle π is visited once for each end. A slot is
    // symmetric, so a negative length is taken by its magnitude; at a = 0 both
    // ends coincide and π is visited once.
    const double step = builder::kPi / kStepsPerHalfTurn;
    double e = std::fabs(static_cast<double>(length)) / 2.0;
    for (int i = 0; i <= 2 * kStepsPerHalfTurn; ++i) {
        addAt(i * step, e);
        if (i == kStepsPerHalfTurn && e > 0.0) {
            e = -e;
            addAt(i * step, e);
        }
    }
    // Close the side along the straight edge back to the first vertex pair.
    _side->addVertex(osg::Vec3(static_cast<float>(e), static_cast<float>(halfWidth), top),
                     osg::Vec3(0.f, 1.f, 0.f), white);
    _side->addVertex(osg::Vec3(static_cast<float>(e), static_cast<float>(halfWidth), bottom),
                     osg::Vec3(0.f, 1.f, 0.f), white);
}

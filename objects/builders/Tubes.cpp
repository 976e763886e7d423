#include "objects/builders/Tubes.h"

#include "objects/builders/BuilderSupport.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr double kRingStep = builder::kPi / 20.0;
// Bend step per radian of bend angle: Δθ = β / (15π).
constexpr double kBendStepFactor = 0.02122065907891938;

// Turns a normal computed from strip edges to face away from the centre line,
// whichever way round the edges were walked.
osg::Vec3 outwardNormal(const osg::Vec3& edgeCross, const osg::Vec3& radial)
{
    const osg::Vec3 n = builder::safeNormal(edgeCross, radial);
    return n * radial < 0.f ? -n : n;
}

std::string number(float value)
{
    return std::to_string(value);
}

} // namespace

// --- Tube -------------------------------------------------------------------

Tube::Tube(float inletRadius, float outletRadius, const osg::Vec4& color)
    : _inletRadius(inletRadius), _outletRadius(outletRadius), _geometry(new osg::Geometry),
      _vertices(new osg::Vec3Array), _normals(new osg::Vec3Array), _colors(new osg::Vec4Array),
      _strip(new osg::DrawArrays(osg::PrimitiveSet::QUAD_STRIP, 0, 0))
{
    _colors->push_back(color);
    _geometry->setVertexArray(_vertices.get());
    _geometry->setNormalArray(_normals.get(), osg::Array::BIND_PER_VERTEX);
    _geometry->setColorArray(_colors.get(), osg::Array::BIND_OVERALL);
    _geometry->addPrimitiveSet(_strip.get());
    addDrawable(_geometry.get());
}

void Tube::clearVertices()
{
    _vertices->clear();
    _normals->clear();
}

void Tube::append(const osg::Vec3& position, const osg::Vec3& normal)
{
    _vertices->push_back(position);
    _normals->push_back(normal);
}

void Tube::finish(const char* name)
{
    if (!builder::allFinite(*_vertices)) {
        builder::reportRejected(name, "radii " + number(_inletRadius) + " and " +
                                          number(_outletRadius) + " give no finite tube");
        clearVertices();
    }
    _strip->setCount(static_cast<GLsizei>(_vertices->size()));
    _strip->dirty();
    _vertices->dirty();
    _normals->dirty();
    _geometry->dirtyBound();
}

// --- StraightTube -----------------------------------------------------------

StraightTube::StraightTube(float length, float inletRadius, float outletRadius,
                           const osg::Vec4& color)
    : Tube(inletRadius, outletRadius, color), _length(length)
{
    const auto ring = [](double radius, double phi, double x) {
        return osg::Vec3(static_cast<float>(x), static_cast<float>(radius * std::cos(phi)),
                         static_cast<float>(radius * std::sin(phi)));
    };
    // φ from 2π + π/20 down to π/20: the first and last positions coincide.
    for (int k = 0; k <= kRingSegments; ++k) {
        const double phi = (kRingSegments + 1 - k) * kRingStep;
        const osg::Vec3 inlet = ring(inletRadius, phi, 0.0);
        const osg::Vec3 outlet = ring(outletRadius, phi, length);
        // Edges towards the next position on the ring; the outlet's edge
        // stands in where the inlet ring has no size.
        osg::Vec3 around = ring(inletRadius, phi + kRingStep, 0.0) - inlet;
        if (around.length2() == 0.f)
            around = ring(outletRadius, phi + kRingStep, length) - outlet;
        const osg::Vec3 normal = outwardNormal(around ^ (outlet - inlet), ring(1.0, phi, 0.0));
        append(inlet, normal);
        append(outlet, normal);
    }
    finish("StraightTube");
}

// --- CurvedTube -------------------------------------------------------------

CurvedTube::CurvedTube(float bendRadius, float bendAngle, float inletRadius, float outletRadius,
                       const osg::Vec4& color)
    : Tube(inletRadius, outletRadius, color), _bendRadius(bendRadius), _bendAngle(bendAngle)
{
    if (bendAngle == 0.f || !std::isfinite(bendAngle) || !std::isfinite(bendRadius)) {
        builder::reportRejected("CurvedTube", "bend angle " + number(bendAngle) + " and radius " +
                                                  number(bendRadius) + " build no tube");
        finish("CurvedTube");
        return;
    }
    const double R = bendRadius;
    const double beta = bendAngle;
    const double dTheta = beta * kBendStepFactor;
    const double start = -builder::kPi / 2.0;
    const double end = beta - builder::kPi / 2.0;

    // Ring k sits at θ = −π/2 + kΔθ; its radius follows the linear law one
    // step late (rings 0 and 1 both have the inlet radius).
    const auto ringRadius = [&](int k) {
        const int lagged = k > 0 ? k - 1 : 0;
        return inletRadius + lagged * dTheta * (outletRadius - inletRadius) / beta;
    };
    const auto at = [&](double theta, double rho, double phi) {
        const double reach = R + rho * std::cos(phi);
        return osg::Vec3(static_cast<float>(reach * std::cos(theta)),
                         static_cast<float>(reach * std::sin(theta) + R),
                         static_cast<float>(rho * std::sin(phi)));
    };
    const auto radial = [](double theta, double phi) {
        return osg::Vec3(static_cast<float>(std::cos(phi) * std::cos(theta)),
                         static_cast<float>(std::cos(phi) * std::sin(theta)),
                         static_cast<float>(std::sin(phi)));
    };
    const auto addStrip = [&](double thetaA, double rhoA, double thetaB, double rhoB) {
        for (int j = 0; j <= kRingSegments; ++j) {
            const double phi = j * kRingStep;
            const osg::Vec3 a = at(thetaA, rhoA, phi);
            const osg::Vec3 b = at(thetaB, rhoB, phi);
            const osg::Vec3 along = b - a;
            const osg::Vec3 aroundA = at(thetaA, rhoA, phi + kRingStep) - a;
            const osg::Vec3 aroundB = at(thetaB, rhoB, phi + kRingStep) - b;
            append(a, outwardNormal(along ^ aroundA, radial(thetaA, phi)));
            append(b, outwardNormal(along ^ aroundB, radial(thetaB, phi)));
        }
        ++_strips;
    };

    // Whole steps while the next θ stays below β − Δθ − π/2, i.e. while
    // (k + 1)·Δθ < β; the count depends only on the step factor.
    int k = 0;
    for (; (k + 1) * std::fabs(dTheta) < std::fabs(beta); ++k)
        addStrip(start + k * dTheta, ringRadius(k), start + (k + 1) * dTheta, ringRadius(k + 1));
    // The last, shorter strip ends exactly at the bend angle with the outlet radius.
    addStrip(start + k * dTheta, ringRadius(k), end, outletRadius);
    finish("CurvedTube");
}

// --- BezierTube -------------------------------------------------------------

BezierTube::BezierTube(const Bezier& curve, float inletRadius, float outletRadius,
                       const osg::Vec4& color)
    : Tube(inletRadius, outletRadius, color), _curve(curve)
{
    build();
}

BezierTube::BezierTube(const osg::Vec3& end, const osg::Vec3& endDirection, float inletRadius,
                       float outletRadius, const osg::Vec4& color)
    : BezierTube(Bezier::fromEnds(end, endDirection), inletRadius, outletRadius, color)
{
}

void BezierTube::setCurve(const Bezier& curve)
{
    _curve = curve;
    build();
}

void BezierTube::rebuild(const osg::Vec3& end, const osg::Vec3& endDirection)
{
    setCurve(Bezier::fromEnds(end, endDirection));
}

namespace {

// The direction of travel at t: the tangent, or where the curve stops for an
// instant (coincident control points), the chord across a short interval.
osg::Vec3 travelDirection(const Bezier& curve, float t)
{
    const osg::Vec3 tangent = curve.tangent(t);
    if (tangent.length2() > 1e-20f)
        return tangent;
    const float before = std::max(t - 0.001f, 0.f);
    const float after = std::min(t + 0.001f, 1.f);
    return curve.point(after) - curve.point(before);
}

} // namespace

std::vector<osg::Quat> BezierTube::carriedFrames(const Bezier& curve,
                                                 const std::vector<float>& parameters)
{
    std::vector<osg::Quat> frames;
    frames.reserve(parameters.size());
    osg::Quat carried; // identity: the ring faces +x
    osg::Vec3 previous(1.f, 0.f, 0.f);
    for (float t : parameters) {
        osg::Vec3 direction = travelDirection(curve, t);
        if (direction.length2() > 1e-20f && std::isfinite(direction.length2())) {
            direction.normalize();
            osg::Quat turn;
            turn.makeRotate(previous, direction);
            // OSG composes left to right: the carried frame first, then the turn.
            carried = carried * turn;
            previous = direction;
        }
        frames.push_back(carried);
    }
    return frames;
}

void BezierTube::build()
{
    clearVertices();
    // Rings at t = 0, 0.01, … while the next t stays below 0.99, then t = 1.
    _ringParameters.clear();
    // The last whole strip ends at 0.98; the final one runs from there to 1.
    for (int k = 0; k <= 98; ++k)
        _ringParameters.push_back(static_cast<float>(k) / 100.f);
    _ringParameters.push_back(1.f);

    const std::vector<osg::Quat> frames = carriedFrames(_curve, _ringParameters);
    const auto ringOffset = [](const osg::Quat& frame, double phi) {
        return frame *
               osg::Vec3(0.f, static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi)));
    };
    for (std::size_t i = 0; i + 1 < _ringParameters.size(); ++i) {
        const float tA = _ringParameters[i], tB = _ringParameters[i + 1];
        const osg::Vec3 centreA = _curve.point(tA), centreB = _curve.point(tB);
        const float rhoA = _inletRadius + tA * (_outletRadius - _inletRadius);
        const float rhoB = _inletRadius + tB * (_outletRadius - _inletRadius);
        for (int j = 0; j <= kRingSegments; ++j) {
            const double phi = j * kRingStep;
            const osg::Vec3 radialA = ringOffset(frames[i], phi);
            const osg::Vec3 radialB = ringOffset(frames[i + 1], phi);
            append(centreA + radialA * rhoA, radialA);
            append(centreB + radialB * rhoB, radialB);
        }
    }
    finish("BezierTube");
}

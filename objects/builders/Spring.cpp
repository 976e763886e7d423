#include "objects/builders/Spring.h"

#include "objects/builders/BuilderSupport.h"

#include <cmath>
#include <string>

namespace {

} // namespace

Spring::Spring(const Parameters& parameters)
    : _parameters(parameters), _geometry(new osg::Geometry), _vertices(new osg::Vec3Array),
      _builtVertices(new osg::Vec3Array), _normals(new osg::Vec3Array),
      _strip(new osg::DrawArrays(osg::PrimitiveSet::QUAD_STRIP, 0, 0))
{
    _geometry->setDataVariance(osg::Object::DYNAMIC);
    _geometry->setUseDisplayList(false);
    _geometry->setUseVertexBufferObjects(true);
    _geometry->setVertexArray(_vertices.get());
    _geometry->setNormalArray(_normals.get(), osg::Array::BIND_PER_VERTEX);
    _geometry->addPrimitiveSet(_strip.get());
    addDrawable(_geometry.get());
    build();
}

Spring::Spring(const Spring& other, const osg::CopyOp& copyop)
    : osg::Geode(other, osg::CopyOp::SHALLOW_COPY), _parameters(other._parameters),
      _geometry(new osg::Geometry(*other._geometry, copyop)),
      _vertices(new osg::Vec3Array(*other._builtVertices, osg::CopyOp::DEEP_COPY_ALL)),
      _builtVertices(other._builtVertices), _normals(other._normals), _strip(other._strip)
{
    setStateSet(nullptr);
    // The copy's geometry is its own, stretched in place: no tag of the
    // original's, vertices of its own.
    _geometry->setUserData(nullptr);
    _geometry->setVertexArray(_vertices.get());
    removeDrawables(0, getNumDrawables());
    addDrawable(_geometry.get());
}

void Spring::build()
{
    const Parameters& p = _parameters;
    const int around = p.segmentsAroundWire;
    const bool usable = std::isfinite(p.length) && std::isfinite(p.coilRadius) &&
                        std::isfinite(p.wireRadius) && p.length > 0.f && p.windings > 0 &&
                        p.segmentsPerWinding > 0 && around > 0;
    if (!usable) {
        builder::reportRejected("Spring", "length " + std::to_string(p.length) + ", coil radius " +
                                              std::to_string(p.coilRadius) + ", wire radius " +
                                              std::to_string(p.wireRadius) + " and " +
                                              std::to_string(p.windings) +
                                              " windings build no spring");
        return;
    }
    // Δz = L / S / W, so the walk up the axis takes exactly S·W steps.
    const double steps = static_cast<double>(p.segmentsPerWinding) * p.windings;
    const double vertexCount = steps * 2.0 * (around + 1);
    if (vertexCount > static_cast<double>(builder::kMaxVertices)) {
        builder::reportRejected("Spring", std::to_string(p.windings) + " windings need " +
                                              std::to_string(static_cast<long long>(vertexCount)) +
                                              " vertices, more than the limit of " +
                                              std::to_string(builder::kMaxVertices));
        return;
    }
    const double length = p.length;
    const double dz = length / steps;
    const double R = p.coilRadius;
    const double r = p.wireRadius;
    const auto theta = [&](double z) { return builder::kTwoPi * p.windings * z / length; };
    // Point on the wire at axis height z and angle u (in turns) around the wire.
    const auto wirePoint = [&](double z, double u) {
        const double beta = builder::kTwoPi * u;
        const double rho = R + r * std::cos(beta);
        const double t = theta(z);
        return osg::Vec3(static_cast<float>(rho * std::cos(t)),
                         static_cast<float>(rho * std::sin(t)),
                         static_cast<float>(r * std::sin(beta) + z));
    };

    _vertices->reserve(static_cast<std::size_t>(vertexCount));
    _normals->reserve(static_cast<std::size_t>(vertexCount));
    for (long step = 0; step < static_cast<long>(steps); ++step) {
        const double z = step * dz;
        for (int i = 0; i <= around; ++i) {
            const double u = static_cast<double>(i) / around;
            const double uNext = static_cast<double>(i + 1) / around;
            const osg::Vec3 q1 = wirePoint(z + dz, u);
            const osg::Vec3 q0 = wirePoint(z, u);
            // Edges of the triangle (Q1, Q0, next Q1), ordered so that the
            // normal points away from the wire's centre line.
            const osg::Vec3 aroundEdge = wirePoint(z + dz, uNext) - q1;
            const osg::Vec3 downEdge = q0 - q1;
            const double beta = builder::kTwoPi * u, t = theta(z);
            const osg::Vec3 radial(static_cast<float>(std::cos(beta) * std::cos(t)),
                                   static_cast<float>(std::cos(beta) * std::sin(t)),
                                   static_cast<float>(std::sin(beta)));
            const osg::Vec3 normal = builder::safeNormal(aroundEdge ^ downEdge, radial);
            _normals->push_back(normal);
            _normals->push_back(normal);
            _vertices->push_back(q1);
            _vertices->push_back(q0);
        }
    }
    if (!builder::allFinite(*_vertices)) {
        builder::reportRejected("Spring", "coil radius " + std::to_string(p.coilRadius) +
                                              " and wire radius " + std::to_string(p.wireRadius) +
                                              " give no finite spring");
        _vertices->clear();
        _normals->clear();
    }
    _builtVertices->assign(_vertices->begin(), _vertices->end());
    _strip->setCount(static_cast<GLsizei>(_vertices->size()));
    _vertices->dirty();
    _normals->dirty();
    _strip->dirty();
    _geometry->dirtyBound();
}

int Spring::steps() const
{
    const auto pairsPerStep = static_cast<std::size_t>(_parameters.segmentsAroundWire + 1);
    if (_parameters.segmentsAroundWire <= 0)
        return 0;
    return static_cast<int>(_builtVertices->size() / pairsPerStep / 2);
}

void Spring::stretch(float newLength)
{
    const int stepCount = steps();
    if (stepCount == 0 || !std::isfinite(newLength))
        return;
    const std::size_t pairsPerStep = static_cast<std::size_t>(_parameters.segmentsAroundWire + 1);
    const float delta = (newLength - _parameters.length) / static_cast<float>(stepCount);
    for (int k = 0; k < stepCount; ++k) {
        const float lowerShift = static_cast<float>(k) * delta;
        const float upperShift = static_cast<float>(k + 1) * delta;
        const std::size_t first = static_cast<std::size_t>(k) * pairsPerStep * 2;
        for (std::size_t pair = 0; pair < pairsPerStep; ++pair) {
            const std::size_t upper = first + 2 * pair;
            const std::size_t lower = upper + 1;
            (*_vertices)[upper].z() = (*_builtVertices)[upper].z() + upperShift;
            (*_vertices)[lower].z() = (*_builtVertices)[lower].z() + lowerShift;
        }
    }
    _vertices->dirty();
    _geometry->dirtyBound();
}

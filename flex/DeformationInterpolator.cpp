#include "flex/DeformationInterpolator.h"

#include <algorithm>
#include <cmath>

float cubedDistance(const osg::Vec3f& a, const osg::Vec3f& b)
{
    const float r = (a - b).length();
    return r * r * r;
}

DeformationInterpolator::DeformationInterpolator(osg::ref_ptr<const osg::Vec3Array> reference,
                                                 osg::ref_ptr<const osg::Vec3Array> displacements)
    : _reference(std::move(reference)), _displacements(std::move(displacements)),
      _n(int(_reference->size()))
{
    const std::size_t n = std::size_t(_n);
    _phi.resize(n * n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            _phi[j * n + i] = cubedDistance((*_reference)[i], (*_reference)[j]);
    _p.resize(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
        _p[i] = 1.0;
        for (std::size_t k = 0; k < 3; ++k)
            _p[(k + 1) * n + i] = (*_reference)[i][int(k)];
    }

    std::vector<double> system;
    fillSystem(0, system);
    const int size = _n + 4;
    _factor.factor(system, size, size, size);
    _side.assign(n + 4, 0.0);
    _x.assign(n + 4, 0.0);
    for (std::vector<double>& axis : _solved)
        axis.assign(n + 4, 0.0);
    _weights.assign(n * 3, 0.0f);
}

void DeformationInterpolator::fillSystem(int axis, std::vector<double>& w) const
{
    const std::size_t n = std::size_t(_n);
    const std::size_t ld = n + 4;
    w.assign(ld * (n + 5), 0.0);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            w[j * ld + i] = _phi[j * n + i];
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < n; ++i) {
            w[(n + k) * ld + i] = _p[k * n + i];
            w[i * ld + n + k] = _p[k * n + i];
        }
    for (std::size_t i = 0; i < n; ++i)
        w[(n + 4) * ld + i] = (*_displacements)[i][axis];
}

bool DeformationInterpolator::solve()
{
    const std::size_t n = std::size_t(_n);
    bool finite = true;
    for (int axis = 0; axis < 3; ++axis) {
        for (std::size_t i = 0; i < n; ++i)
            _side[i] = (*_displacements)[i][axis];
        std::fill(_side.begin() + long(n), _side.end(), 0.0);
        _factor.solve(_side, _solved[axis]);
        for (double value : _solved[axis])
            finite = finite && std::isfinite(value);
    }
    if (!finite)
        return false;

    for (int axis = 0; axis < 3; ++axis) {
        const std::vector<double>& x = _solved[axis];
        for (std::size_t j = 0; j < n; ++j)
            _weights[j * 3 + std::size_t(axis)] = float(x[j]);
        _c[axis] = float(x[n]);
        _lx[axis] = float(x[n + 1]);
        _ly[axis] = float(x[n + 2]);
        _lz[axis] = float(x[n + 3]);
    }
    _x = _solved[2];
    return true;
}

const std::vector<float>& DeformationInterpolator::kernelArray(const osg::Geometry* source,
                                                               const osg::Vec3Array& vertices)
{
    auto [entry, added] = _kernels.try_emplace(source);
    if (added) {
        const std::size_t n = std::size_t(_n);
        std::vector<float>& kernel = entry->second;
        kernel.resize(vertices.size() * n);
        for (std::size_t v = 0; v < vertices.size(); ++v)
            for (std::size_t j = 0; j < n; ++j)
                kernel[v * n + j] = cubedDistance(vertices[v], (*_reference)[j]);
    }
    return entry->second;
}

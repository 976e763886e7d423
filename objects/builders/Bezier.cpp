#include "objects/builders/Bezier.h"

#include <osg/Vec3d>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Beyond this many control points the binomial coefficients of the
// Bernstein sum overflow a double; de Casteljau's recursion gives the same
// polynomial without them.
constexpr std::size_t kMaxBernsteinPoints = 1000;

osg::Vec3d toDouble(const osg::Vec3& v)
{
    return osg::Vec3d(v.x(), v.y(), v.z());
}

osg::Vec3 toFloat(const osg::Vec3d& v)
{
    return osg::Vec3(static_cast<float>(v.x()), static_cast<float>(v.y()),
                     static_cast<float>(v.z()));
}

osg::Vec3 deCasteljau(std::vector<osg::Vec3d> work, double t)
{
    for (std::size_t level = work.size() - 1; level > 0; --level)
        for (std::size_t i = 0; i < level; ++i)
            work[i] = work[i] * (1.0 - t) + work[i + 1] * t;
    return toFloat(work[0]);
}

// Σ C(n−1, i) tⁱ (1 − t)ⁿ⁻¹⁻ⁱ Pᵢ over the given points.
osg::Vec3 bernsteinSum(const std::vector<osg::Vec3d>& points, double t)
{
    const std::size_t n = points.size();
    if (n > kMaxBernsteinPoints)
        return deCasteljau(points, t);
    const int degree = static_cast<int>(n) - 1;
    osg::Vec3d sum;
    double binomial = 1.0; // C(degree, i)
    for (int i = 0; i <= degree; ++i) {
        const double weight = binomial * std::pow(t, i) * std::pow(1.0 - t, degree - i);
        sum += points[i] * weight;
        binomial = binomial * (degree - i) / (i + 1);
    }
    return toFloat(sum);
}

} // namespace

Bezier::Bezier(std::vector<osg::Vec3> controlPoints) : _points(std::move(controlPoints)) {}

Bezier Bezier::fromEnds(const osg::Vec3& end, const osg::Vec3& endDirection)
{
    const float half = end.length() / 2.f;
    return Bezier(
        {osg::Vec3(0.f, 0.f, 0.f), osg::Vec3(half, 0.f, 0.f), end - endDirection * half, end});
}

void Bezier::clearControlPoints()
{
    _points.clear();
    _sampledPoints.clear();
    _sampledTangents.clear();
}

void Bezier::addControlPoint(const osg::Vec3& point)
{
    _points.push_back(point);
    _sampledPoints.clear();
    _sampledTangents.clear();
}

osg::Vec3 Bezier::evaluate(const std::vector<osg::Vec3>& points, float tf)
{
    const double t = tf;
    switch (points.size()) {
    case 0:
        return osg::Vec3(0.f, 0.f, 0.f);
    case 1:
        return points[0];
    case 4: {
        const osg::Vec3d p0 = toDouble(points[0]), p1 = toDouble(points[1]);
        const osg::Vec3d p2 = toDouble(points[2]), p3 = toDouble(points[3]);
        return toFloat(p0 + (p1 * 3.0 - p0 * 3.0) * t + (p0 * 3.0 - p1 * 6.0 + p2 * 3.0) * (t * t) +
                       (p3 - p0 + p1 * 3.0 - p2 * 3.0) * (t * t * t));
    }
    default: {
        std::vector<osg::Vec3d> work(points.size());
        std::transform(points.begin(), points.end(), work.begin(), toDouble);
        return bernsteinSum(work, t);
    }
    }
}

osg::Vec3 Bezier::derivative(const std::vector<osg::Vec3>& points, float tf)
{
    const double t = tf;
    const std::size_t n = points.size();
    if (n < 2)
        return osg::Vec3(0.f, 0.f, 0.f);
    if (n == 4) {
        const osg::Vec3d p0 = toDouble(points[0]), p1 = toDouble(points[1]);
        const osg::Vec3d p2 = toDouble(points[2]), p3 = toDouble(points[3]);
        return toFloat((p1 * 3.0 - p0 * 3.0) + (p0 * 3.0 - p1 * 6.0 + p2 * 3.0) * (2.0 * t) +
                       (p3 - p0 + p1 * 3.0 - p2 * 3.0) * (3.0 * t * t));
    }
    // The derivative of a degree-m curve is m times the degree-(m−1) curve
    // over the differences of neighbouring control points.
    std::vector<osg::Vec3d> differences(n - 1);
    const double degree = static_cast<double>(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i)
        differences[i] = (toDouble(points[i + 1]) - toDouble(points[i])) * degree;
    if (differences.size() == 1)
        return toFloat(differences[0]);
    return bernsteinSum(differences, t);
}

int Bezier::sampleIndex(float t) const
{
    const float clamped = std::isnan(t) ? 0.f : std::clamp(t, 0.f, 1.f);
    const int last = static_cast<int>(_sampledPoints.size()) - 1;
    return std::min(static_cast<int>(std::floor(clamped * static_cast<float>(last))), last);
}

osg::Vec3 Bezier::point(float t) const
{
    if (isSampled())
        return _sampledPoints[sampleIndex(t)];
    return evaluate(_points, t);
}

osg::Vec3 Bezier::tangent(float t) const
{
    if (isSampled())
        return _sampledTangents[sampleIndex(t)];
    return derivative(_points, t);
}

void Bezier::sample(int count)
{
    _sampledPoints.clear();
    _sampledTangents.clear();
    if (count < 2)
        return;
    _sampledPoints.reserve(count);
    _sampledTangents.reserve(count);
    for (int i = 0; i < count; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(count - 1);
        _sampledPoints.push_back(evaluate(_points, t));
        _sampledTangents.push_back(derivative(_points, t));
    }
}

float Bezier::chordLength(int chords) const
{
    if (chords < 1)
        return 0.f;
    double length = 0.0;
    osg::Vec3 previous = point(0.f);
    for (int i = 1; i <= chords; ++i) {
        const osg::Vec3 next = point(static_cast<float>(i) / static_cast<float>(chords));
        length += (next - previous).length();
        previous = next;
    }
    return static_cast<float>(length);
}

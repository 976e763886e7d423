#include "objects/VisLineObject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "scene/Colour.h"

VisLineObject::VisLineObject(const ObjectContext& context) : Vis3DObject(context) {}

VisLineObject::~VisLineObject() = default;

bool VisLineObject::build(const GNP2::Packet&)
{
    const GNP2::Packet& state = statePacket();
    const std::span<const int> rgb = intItem(state, item::line::Colour, 3);
    const float alpha = floatItem(state, item::line::Opacity)[0];
    const int kind = intItem(state, item::line::LineKind)[0];
    const float width = floatItem(state, item::line::Width)[0];
    const int count = intItem(state, item::line::PointCount)[0];

    _colour = colour::fromBytes(rgb[0], rgb[1], rgb[2], alpha);
    _kind = kind;
    _pointCount = std::max(0, count);
    if (kind == KIND_POLYLINE)
        _line = new osgLine::DynamicLine;
    else if (kind == KIND_BEZIER)
        _line = new osgLine::BezierLine(_colour);
    if (_line) {
        _line->setLineWidth(width);
        addChild(_line.get());
    }
    return true;
}

void VisLineObject::apply(const GNP2::Packet& arrived)
{
    if (!_line || !arrived.hasItem(item::line::Points))
        return;
    const std::vector<osg::Vec3> points = takePoints(floatItem(arrived, item::line::Points, 0));
    if (auto* curve = dynamic_cast<osgLine::BezierLine*>(_line.get())) {
        curve->clearControlPoints();
        for (const osg::Vec3& point : points)
            curve->addControlPoint(point);
        curve->rebuild();
        return;
    }
    _line->clear();
    for (const osg::Vec3& point : points)
        _line->addPoint(point, _colour);
}

std::vector<osg::Vec3> VisLineObject::takePoints(std::span<const float> values)
{
    const std::size_t wanted = std::size_t(_pointCount);
    const std::size_t complete = std::min(wanted, values.size() / 3);
    if (complete < wanted && !_shortfallReported) {
        std::printf("VisLineObject: item 1 holds %zu values, fewer than the %zu of %zu points; "
                    "drawing the %zu complete points\n",
                    values.size(), wanted * 3, wanted, complete);
        std::fflush(stdout);
        _shortfallReported = true;
    }
    std::vector<osg::Vec3> points;
    points.reserve(complete);
    for (std::size_t i = 0; i < complete; ++i) {
        const osg::Vec3 point(values[3 * i], values[3 * i + 1], values[3 * i + 2]);
        if (!std::isfinite(point.x()) || !std::isfinite(point.y()) || !std::isfinite(point.z())) {
            if (!_nonFiniteReported) {
                std::printf("VisLineObject: point %zu of item 1 is not finite; left out\n", i);
                std::fflush(stdout);
                _nonFiniteReported = true;
            }
            continue;
        }
        points.push_back(point);
    }
    return points;
}

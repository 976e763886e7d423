#include "objects/builders/Grid.h"

#include "objects/builders/BuilderSupport.h"

#include <osg/LineWidth>
#include <osg/StateSet>

#include <cmath>
#include <string>

namespace {

// Unit-square positions of the lines across one extent: m + 1 lines, m =
// ⌊extent / spacing⌋, centred on 0 and spacing / extent apart. An empty list
// when the extent holds no line.
std::vector<float> linePositions(double extent, double spacing)
{
    std::vector<float> positions;
    if (!(extent > 0.0) || !std::isfinite(extent))
        return positions;
    // The tolerance keeps an extent that is a multiple of the spacing, such as
    // 0.7 in steps of 0.1, from losing its last line to float rounding.
    const double m = std::floor(extent / spacing + 1e-5);
    const double step = spacing / extent;
    for (double i = 0.0; i <= m; i += 1.0)
        positions.push_back(static_cast<float>((i - m / 2.0) * step));
    return positions;
}

} // namespace

float Grid::roundSpacing(float spacing)
{
    return static_cast<float>(std::floor(static_cast<double>(spacing) * 100.0 + 0.5) / 100.0);
}

Grid::Grid(float extentX, float extentY, float spacing)
    : _geometry(new osg::Geometry), _spacing(roundSpacing(spacing))
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::DrawElementsUInt> lines = new osg::DrawElementsUInt(osg::PrimitiveSet::LINES);
    _geometry->setVertexArray(vertices.get());
    _geometry->addPrimitiveSet(lines.get());
    osg::StateSet* state = _geometry->getOrCreateStateSet();
    state->setAttributeAndModes(new osg::LineWidth(1.f));
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    addDrawable(_geometry.get());

    // Work in hundredths so that the line count does not depend on how the
    // rounded spacing is represented in binary.
    const double hundredths = std::floor(static_cast<double>(spacing) * 100.0 + 0.5);
    if (!(hundredths >= 1.0) || !std::isfinite(hundredths)) {
        builder::reportRejected("Grid", "spacing " + std::to_string(spacing) +
                                            " rounds to no usable spacing; no lines are drawn");
        return;
    }
    const double extentHundredthsX = static_cast<double>(extentX) * 100.0;
    const double extentHundredthsY = static_cast<double>(extentY) * 100.0;
    if (extentHundredthsX / hundredths + extentHundredthsY / hundredths >
        static_cast<double>(builder::kMaxVertices / 2)) {
        builder::reportRejected("Grid", "extent " + std::to_string(extentX) + " x " +
                                            std::to_string(extentY) + " in steps of " +
                                            std::to_string(_spacing) + " needs too many lines");
        return;
    }
    const auto addLine = [&](const osg::Vec3& from, const osg::Vec3& to) {
        lines->push_back(static_cast<GLuint>(vertices->size()));
        vertices->push_back(from);
        lines->push_back(static_cast<GLuint>(vertices->size()));
        vertices->push_back(to);
    };
    for (float y : linePositions(extentHundredthsY, hundredths))
        addLine(osg::Vec3(-0.5f, y, 0.f), osg::Vec3(0.5f, y, 0.f));
    for (float x : linePositions(extentHundredthsX, hundredths))
        addLine(osg::Vec3(x, -0.5f, 0.f), osg::Vec3(x, 0.5f, 0.f));
}

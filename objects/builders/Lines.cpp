#include "objects/builders/Lines.h"

#include <algorithm>

#include <osg/LineWidth>
#include <osg/StateSet>

namespace osgLine {

BasicLine::BasicLine()
    : _geometry(new osg::Geometry), _vertices(new osg::Vec3Array), _colors(new osg::Vec4Array),
      _indices(new osg::DrawElementsUInt(osg::PrimitiveSet::LINE_STRIP))
{
    _geometry->setDataVariance(osg::Object::DYNAMIC);
    _geometry->setUseDisplayList(false);
    _geometry->setUseVertexBufferObjects(true);
    _geometry->setVertexArray(_vertices.get());
    _geometry->setColorArray(_colors.get(), osg::Array::BIND_PER_VERTEX);
    _geometry->addPrimitiveSet(_indices.get());

    osg::StateSet* stateSet = _geometry->getOrCreateStateSet();
    stateSet->setAttributeAndModes(new osg::LineWidth(1.0f));
    stateSet->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    addDrawable(_geometry.get());
}

BasicLine::~BasicLine() = default;

void BasicLine::addPoint(const osg::Vec3& position, const osg::Vec4& colour)
{
    _vertices->push_back(position);
    _colors->push_back(colour);
    _indices->push_back(static_cast<GLuint>(_vertices->size() - 1));
    allChanged();
}

void BasicLine::insertPointAtFront(const osg::Vec3& position, const osg::Vec4& colour)
{
    _vertices->insert(_vertices->begin(), position);
    _colors->insert(_colors->begin(), colour);
    renumber();
    allChanged();
}

void BasicLine::removeFirstPoints(std::size_t count)
{
    count = std::min(count, _vertices->size());
    if (count == 0)
        return;
    _vertices->erase(_vertices->begin(), _vertices->begin() + std::ptrdiff_t(count));
    _colors->erase(_colors->begin(), _colors->begin() + std::ptrdiff_t(count));
    renumber();
    allChanged();
}

void BasicLine::setColor(const osg::Vec4& colour)
{
    _colors->assign(_vertices->size(), colour);
    _colors->dirty();
}

void BasicLine::setLineWidth(float width)
{
    osg::StateSet* stateSet = _geometry->getOrCreateStateSet();
    auto* lineWidth =
        dynamic_cast<osg::LineWidth*>(stateSet->getAttribute(osg::StateAttribute::LINEWIDTH));
    if (!lineWidth) {
        lineWidth = new osg::LineWidth;
        stateSet->setAttributeAndModes(lineWidth);
    }
    lineWidth->setWidth(width);
}

float BasicLine::lineWidth() const
{
    const osg::StateSet* stateSet = _geometry->getStateSet();
    const auto* lineWidth = stateSet ? dynamic_cast<const osg::LineWidth*>(
                                           stateSet->getAttribute(osg::StateAttribute::LINEWIDTH))
                                     : nullptr;
    return lineWidth ? lineWidth->getWidth() : 1.0f;
}

void BasicLine::clear()
{
    _vertices->clear();
    _colors->clear();
    _indices->clear();
    allChanged();
}

void BasicLine::verticesChanged()
{
    _vertices->dirty();
    _geometry->dirtyBound();
}

void BasicLine::renumber()
{
    const auto count = static_cast<GLuint>(_vertices->size());
    _indices->resize(count);
    for (GLuint i = 0; i < count; ++i)
        (*_indices)[i] = i;
}

void BasicLine::allChanged()
{
    _vertices->dirty();
    _colors->dirty();
    _indices->dirty();
    _geometry->dirtyBound();
}

SimpleLine::SimpleLine(const osg::Vec3& firstPoint, const osg::Vec4& colour)
{
    addPoint(firstPoint, colour);
}

SimpleLine::~SimpleLine() = default;

DynamicLine::DynamicLine(const osg::Vec3& firstPoint, const osg::Vec4& colour)
{
    addPoint(firstPoint, colour);
}

DynamicLine::~DynamicLine() = default;

void DynamicLine::setPoint(std::size_t index, const osg::Vec3& position)
{
    osg::Vec3Array& vertices = editVertices();
    if (index >= vertices.size())
        return;
    vertices[index] = position;
    verticesChanged();
}

void DynamicLine::movePoints(const osg::Vec3& offset)
{
    for (osg::Vec3& vertex : editVertices())
        vertex += offset;
    verticesChanged();
}

BezierLine::BezierLine(const osg::Vec4& colour) : _colour(colour) {}

BezierLine::~BezierLine() = default;

void BezierLine::rebuild()
{
    clear();
    if (_curve.controlPoints().empty())
        return;
    for (int i = 0; i < CURVE_POINTS; ++i)
        addPoint(_curve.point(float(i) * PARAMETER_STEP), _colour);
}

} // namespace osgLine

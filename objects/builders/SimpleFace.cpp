#include "objects/builders/SimpleFace.h"

#include <osg/LightModel>
#include <osg/StateSet>

SimpleFace::SimpleFace(GLenum mode, osg::Array::Binding normalBinding)
    : _geometry(new osg::Geometry), _vertices(new osg::Vec3Array), _normals(new osg::Vec3Array),
      _colors(new osg::Vec4Array), _indices(new osg::DrawElementsUInt(mode))
{
    _geometry->setDataVariance(osg::Object::DYNAMIC);
    _geometry->setUseDisplayList(false);
    _geometry->setUseVertexBufferObjects(true);
    _geometry->setVertexArray(_vertices.get());
    _geometry->setNormalArray(_normals.get(), normalBinding);
    _geometry->setColorArray(_colors.get(), osg::Array::BIND_PER_VERTEX);
    _geometry->addPrimitiveSet(_indices.get());

    osg::ref_ptr<osg::LightModel> lightModel = new osg::LightModel;
    lightModel->setTwoSided(true);
    getOrCreateStateSet()->setAttributeAndModes(lightModel.get());
    addDrawable(_geometry.get());
}

void SimpleFace::addVertex(const osg::Vec3& position, const osg::Vec3& normal,
                           const osg::Vec4& color)
{
    _vertices->push_back(position);
    _normals->push_back(normal);
    _colors->push_back(color);
    _indices->push_back(static_cast<GLuint>(_vertices->size() - 1));
    _vertices->dirty();
    _normals->dirty();
    _colors->dirty();
    _indices->dirty();
    _geometry->dirtyBound();
}

void SimpleFace::setColor(const osg::Vec4& color)
{
    _colors->assign(_vertices->size(), color);
    _colors->dirty();
}

void SimpleFace::clear()
{
    _vertices->clear();
    _normals->clear();
    _colors->clear();
    _indices->clear();
    _vertices->dirty();
    _normals->dirty();
    _colors->dirty();
    _indices->dirty();
    _geometry->dirtyBound();
}

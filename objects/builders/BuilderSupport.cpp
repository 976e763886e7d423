#include "objects/builders/BuilderSupport.h"

#include <cmath>
#include <iostream>

namespace builder {

void reportRejected(const char* shape, const std::string& what)
{
    std::cout << shape << ": " << what << std::endl;
}

bool allFinite(const osg::Vec3Array& vertices)
{
    for (const osg::Vec3& v : vertices)
        if (!std::isfinite(v.x()) || !std::isfinite(v.y()) || !std::isfinite(v.z()))
            return false;
    return true;
}

osg::Vec3 safeNormal(const osg::Vec3& v, const osg::Vec3& fallback)
{
    const float length = v.length();
    if (length > 1e-12f && std::isfinite(length))
        return v / length;
    const float fallbackLength = fallback.length();
    if (fallbackLength > 1e-12f && std::isfinite(fallbackLength))
        return fallback / fallbackLength;
    return osg::Vec3(0.f, 0.f, 1.f);
}

void IndexedStrip::add(const osg::Vec3& a, const osg::Vec3& normalA, const osg::Vec3& b,
                       const osg::Vec3& normalB)
{
    _indices->push_back(static_cast<GLuint>(_vertices->size()));
    _indices->push_back(static_cast<GLuint>(_vertices->size() + 1));
    _vertices->push_back(a);
    _vertices->push_back(b);
    _normals->push_back(normalA);
    _normals->push_back(normalB);
}

osg::ref_ptr<osg::Geometry> IndexedStrip::close()
{
    _indices->push_back(0);
    _indices->push_back(1);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(_vertices.get());
    geometry->setNormalArray(_normals.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(_indices.get());
    return geometry;
}

} // namespace builder

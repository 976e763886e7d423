#include "SceneTestSupport.h"

#include <algorithm>

namespace scenetest {

osg::ref_ptr<osg::Geometry> makeTriangle()
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    auto* vertices = new osg::Vec3Array;
    vertices->push_back({0.0f, 0.0f, 0.0f});
    vertices->push_back({1.0f, 0.0f, 0.0f});
    vertices->push_back({0.0f, 1.0f, 0.0f});
    auto* normals = new osg::Vec3Array(3);
    for (osg::Vec3& normal : *normals)
        normal.set(0.0f, 0.0f, 1.0f);
    geometry->setVertexArray(vertices);
    geometry->setNormalArray(normals, osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, 3));
    return geometry;
}

osg::ref_ptr<osg::Geode> makeGeode(unsigned count)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    for (unsigned i = 0; i < count; ++i)
        geode->addDrawable(makeTriangle());
    return geode;
}

void TestObject::initialize(const GNP2::Packet& packet)
{
    ++initializeCalls;
    Vis3DObject::initialize(packet);
}

bool TestObject::build(const GNP2::Packet& packet)
{
    const int triangles = intItem(packet, ITEM_TRIANGLES)[0];
    _geode = makeGeode(unsigned(std::clamp(triangles, 0, 8)));
    getTransform()->addChild(_geode.get());
    updateAppearance(packet, true, false);
    return true;
}

void TestObject::apply(const GNP2::Packet& arrived)
{
    applyTransformItems(arrived);
    updateAppearance(statePacket(), false, false);
}

} // namespace scenetest

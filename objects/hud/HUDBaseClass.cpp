#include "objects/hud/HUDBaseClass.h"

HUDBaseClass::~HUDBaseClass() = default;

void HUDBaseClass::setPosition(float x, float y, float z, float angle)
{
    _rotation = osg::Matrixd::rotate(double(angle), osg::Vec3d(0.0, 0.0, 1.0));
    _translation = osg::Matrixd::translate(double(x), double(y), double(z));
    _position.set(x, y, z);
    recompose();
}

void HUDBaseClass::setScale(float sx, float sy, float sz)
{
    _scale = osg::Matrixd::scale(double(sx), double(sy), double(sz));
    recompose();
}

void HUDBaseClass::recompose()
{
    setMatrix(_scale * _rotation * _translation);
}

#pragma once
// Head-up display elements: flat things drawn over the 3D view in HUD units
// (scene/HudUnits.h: the origin is the viewport's lower left corner, 1000
// units span the side the view's aspect mode picks). Each element is a
// matrix transform whose matrix is scale x rotation x translation (row
// vectors: scaled first, then turned about the axis out of the screen, then
// moved); the three parts are kept apart so that a packet that moves an
// element keeps its scale and the other way round. The subclasses hang their
// geometry under it in their own coordinates, in HUD units about the origin.
//
// Threading: GUI thread only (built and changed while packets are applied).

#include <osg/Matrixd>
#include <osg/MatrixTransform>
#include <osg/Vec3>

class HUDBaseClass : public osg::MatrixTransform
{
public:
    // The glyph resolution of the elements' texts.
    static constexpr unsigned FONT_RESOLUTION = 128;

    const char* libraryName() const override { return "orvane"; }
    const char* className() const override { return "HUDBaseClass"; }

    // Moves the element's origin to (x, y, z) and turns it by `angle`
    // radians about (0, 0, 1).
    void setPosition(float x, float y, float z, float angle);
    void setScale(float sx, float sy, float sz);

    const osg::Vec3& position() const { return _position; }
    const osg::Matrixd& translation() const { return _translation; }
    const osg::Matrixd& rotation() const { return _rotation; }
    const osg::Matrixd& scale() const { return _scale; }

protected:
    HUDBaseClass() = default;
    ~HUDBaseClass() override;

private:
    void recompose();

    osg::Matrixd _translation;
    osg::Matrixd _rotation;
    osg::Matrixd _scale;
    osg::Vec3 _position;
};

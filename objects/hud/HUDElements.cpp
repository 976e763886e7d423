#include "objects/hud/HUDElements.h"

#include <algorithm>

#include <osg/BlendFunc>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/Material>
#include <osg/StateSet>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgText/Font>

#include "scene/TransparencyVisitor.h"

namespace {

const osg::Vec3 OUT_OF_SCREEN(0.f, 0.f, 1.f);

void switchLightingOff(osg::Node& node)
{
    node.getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
}

int nonNegative(int count)
{
    return std::max(0, count);
}

// A quad of four corners with one normal out of the screen.
osg::ref_ptr<osg::Geometry> quad(const osg::Vec3& a, const osg::Vec3& b, const osg::Vec3& c,
                                 const osg::Vec3& d)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (const osg::Vec3& corner : {a, b, c, d})
        vertices->push_back(corner);
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(new osg::Vec3Array(1, &OUT_OF_SCREEN), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    return geometry;
}

} // namespace

// --- HUDLine ----------------------------------------------------------------

HUDLine::HUDLine(int pointCount, std::span<const float> points, const osg::Vec4& colour)
    : _line(new osgLine::DynamicLine), _colour(colour), _pointCount(nonNegative(pointCount))
{
    for (int i = 0; i < _pointCount; ++i)
        _line->addPoint(osg::Vec3(points[2 * i], points[2 * i + 1], 0.f), _colour);
    addChild(_line.get());
}

HUDLine::~HUDLine() = default;

void HUDLine::setColor(const osg::Vec4& colour)
{
    _colour = colour;
    _line->setColor(colour);
}

void HUDLine::setPoints(std::span<const float> points)
{
    for (int i = 0; i < _pointCount; ++i)
        _line->setPoint(std::size_t(i), osg::Vec3(points[2 * i], points[2 * i + 1], 0.f));
}

void HUDLine::setWidth(float width)
{
    _line->setLineWidth(width);
}

// --- HUDText ----------------------------------------------------------------

HUDText::HUDText(float characterHeight, const std::string& fontFile) : _text(new osgText::Text)
{
    osg::ref_ptr<osgText::Font> font =
        fontFile.empty() ? nullptr : osgText::readRefFontFile(fontFile);
    _text->setFont(font ? font : osgText::Font::getDefaultFont());
    _text->setFontResolution(FONT_RESOLUTION, FONT_RESOLUTION);
    _text->setCharacterSize(characterHeight, 1.0f);
    _text->setPosition(osg::Vec3(0.f, 0.f, 0.f));
    _text->setDataVariance(osg::Object::DYNAMIC);

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(_text.get());
    switchLightingOff(*geode);
    addChild(geode.get());
}

HUDText::~HUDText() = default;

void HUDText::setText(const std::string& text)
{
    _text->setText(text);
}

void HUDText::setColor(const osg::Vec4& colour)
{
    _text->setColor(colour);
}

// --- HUDPicture -------------------------------------------------------------

HUDPicture::HUDPicture(float width, float height, const std::string& imageFile)
{
    if (imageFile.empty())
        return;
    const float w = width / 2.f, h = height / 2.f;
    osg::ref_ptr<osg::Geometry> geometry =
        quad({-w, -h, 0.f}, {w, -h, 0.f}, {w, h, 0.f}, {-w, h, 0.f});
    const osg::Vec4 white(1.f, 1.f, 1.f, 1.f);
    geometry->setColorArray(new osg::Vec4Array(1, &white), osg::Array::BIND_OVERALL);
    const osg::Vec2 corners[] = {{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}};
    geometry->setTexCoordArray(0, new osg::Vec2Array(4, corners));

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
    osg::ref_ptr<osg::Image> image = osgDB::readRefImageFile(imageFile);
    if (image) {
        texture->setImage(image.get());
        _hasImage = true;
    }

    _geode = new osg::Geode;
    _geode->addDrawable(geometry.get());
    osg::StateSet* stateSet = _geode->getOrCreateStateSet();
    // A texture without an image would draw black: the quad stays white.
    if (_hasImage)
        stateSet->setTextureAttributeAndModes(0, texture.get());
    stateSet->setAttributeAndModes(new osg::BlendFunc);
    stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    switchLightingOff(*_geode);
    addChild(_geode.get());
}

HUDPicture::~HUDPicture() = default;

// --- HUDBar -----------------------------------------------------------------

HUDBar::HUDBar(float length, float thickness) : _geode(new osg::Geode)
{
    const float t = thickness / 2.f;
    osg::ref_ptr<osg::Geometry> geometry =
        quad({0.f, -t, 0.f}, {length, -t, 0.f}, {length, t, 0.f}, {0.f, t, 0.f});
    // Unlit geometry without colours takes its material's diffuse colour.
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setDiffuse(osg::Material::FRONT_AND_BACK, osg::Vec4(1.f, 1.f, 1.f, 1.f));
    geometry->getOrCreateStateSet()->setAttribute(material.get());
    _geode->addDrawable(geometry.get());
    switchLightingOff(*_geode);
    addChild(_geode.get());
}

HUDBar::~HUDBar() = default;

// --- HUDFace ----------------------------------------------------------------

HUDFace::HUDFace(int pointCount, std::span<const float> points, const osg::Vec4& colour)
    : _face(new SimpleFace(GL_POLYGON, osg::Array::BIND_OVERALL)), _colour(colour),
      _pointCount(nonNegative(pointCount))
{
    switchLightingOff(*_face);
    setPoints(points);
    addChild(_face.get());
}

HUDFace::~HUDFace() = default;

void HUDFace::setColor(const osg::Vec4& colour)
{
    _colour = colour;
    _face->setColor(colour);
    // Whole-geode mode: a flat face has no back to sort, and the per-drawable
    // mode's copy would keep the old index list when the points change.
    TransparencyVisitor transparency;
    transparency.setWholeNode(true);
    _face->accept(transparency);
}

void HUDFace::setPoints(std::span<const float> points)
{
    _face->clear();
    for (int i = 0; i < _pointCount; ++i)
        _face->addVertex(osg::Vec3(points[2 * i], points[2 * i + 1], 0.f), OUT_OF_SCREEN, _colour);
}

#pragma once
// The simple head-up display elements (see HUDBaseClass for the units and
// the placement): a line, a text, a picture, a bar and a filled face. The
// graph and the button have files of their own. All but the line switch
// lighting off in their own state set; the line is unlit by itself.
//
// Points arrive as (x, y) pairs in the element's coordinates and lie at z = 0.
//
// Threading: GUI thread only.

#include <span>
#include <string>

#include <osg/Geode>
#include <osg/Vec4>
#include <osg/ref_ptr>
#include <osgText/Text>

#include "objects/builders/Lines.h"
#include "objects/builders/SimpleFace.h"
#include "objects/hud/HUDBaseClass.h"

// A line through P points that keep their number; they can be moved.
class HUDLine : public HUDBaseClass
{
public:
    // `points` holds at least 2P values.
    HUDLine(int pointCount, std::span<const float> points, const osg::Vec4& colour);

    const char* className() const override { return "HUDLine"; }

    void setColor(const osg::Vec4& colour);
    // Moves point i to (points[2i], points[2i+1], 0) for i = 0 ... P−1;
    // `points` holds at least 2P values.
    void setPoints(std::span<const float> points);
    void setWidth(float width);

    int pointCount() const { return _pointCount; }
    const osg::Vec4& colour() const { return _colour; }
    osgLine::DynamicLine* line() const { return _line.get(); }

protected:
    ~HUDLine() override;

private:
    osg::ref_ptr<osgLine::DynamicLine> _line;
    osg::Vec4 _colour;
    int _pointCount;
};

// A text whose lower left corner sits at the origin.
class HUDText : public HUDBaseClass
{
public:
    // `fontFile` is a font file's path; empty or unreadable: the default font.
    HUDText(float characterHeight, const std::string& fontFile);

    const char* className() const override { return "HUDText"; }

    void setText(const std::string& text);
    void setColor(const osg::Vec4& colour);

    osgText::Text* text() const { return _text.get(); }

protected:
    ~HUDText() override;

private:
    osg::ref_ptr<osgText::Text> _text;
};

// An image on a w x h quad centred on the origin.
class HUDPicture : public HUDBaseClass
{
public:
    // `imageFile` is the found path of the image; empty: the picture stays
    // empty. An image that cannot be read gives an untextured white quad.
    HUDPicture(float width, float height, const std::string& imageFile);

    const char* className() const override { return "HUDPicture"; }

    // Null when the picture stayed empty.
    osg::Geode* geode() const { return _geode.get(); }
    bool hasImage() const { return _hasImage; }

protected:
    ~HUDPicture() override;

private:
    osg::ref_ptr<osg::Geode> _geode;
    bool _hasImage = false;
};

// A bar of length L and thickness t that grows to the right of its origin;
// the fill factor scales it along x (0 collapses it to the origin, a
// negative factor mirrors it to the left). It is white until coloured: its
// colour is its material's, which the colour visitor sets, as nothing else
// colours it.
class HUDBar : public HUDBaseClass
{
public:
    HUDBar(float length, float thickness);

    const char* className() const override { return "HUDBar"; }

    osg::Geode* geode() const { return _geode.get(); }

protected:
    ~HUDBar() override;

private:
    osg::ref_ptr<osg::Geode> _geode;
};

// A filled polygon through P points in one colour; its alpha makes it
// transparent.
class HUDFace : public HUDBaseClass
{
public:
    // `points` holds at least 2P values.
    HUDFace(int pointCount, std::span<const float> points, const osg::Vec4& colour);

    const char* className() const override { return "HUDFace"; }

    // Stores and shows the colour, then makes the face blend with what lies
    // behind it.
    void setColor(const osg::Vec4& colour);
    // Replaces the points; `points` holds at least 2P values.
    void setPoints(std::span<const float> points);

    int pointCount() const { return _pointCount; }
    const osg::Vec4& colour() const { return _colour; }
    SimpleFace* face() const { return _face.get(); }

protected:
    ~HUDFace() override;

private:
    osg::ref_ptr<SimpleFace> _face;
    osg::Vec4 _colour;
    int _pointCount;
};

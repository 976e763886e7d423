#pragma once
// A text label of the simulation: one text drawable in a geode under the
// object's transform. The label reads item 39, followed directly by the
// number of item 40 when item 41 is non-zero (as a stream prints a float by
// default: 6 significant digits), so a simulation can show a changing value
// with one float per packet.
//
// Item 43 names the font file, read once when the object is built; a name
// that finds no font file prints a line and the label uses the default font
// (Liberation Sans, else the scene library's built-in font). Item 38 lays
// the text in the xy (1), xz (2) or yz (3) plane of the transform, or turns
// it to face the screen (any other value). Item 42 is the character height;
// items 44 and 10 the colour and alpha, applied only when a packet carries
// one of them. Items 1 and 3 place and turn it; it has no scale.
//
// The text is drawn in bin 11, after the depth-sorted transparent bin, so it
// shows in front of transparent objects. It is not intersectable.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <string>

#include <osg/Geode>
#include <osg/ref_ptr>
#include <osgText/Text>

#include "scene/Vis3DObject.h"

class VisTextObject : public Vis3DObject
{
public:
    static constexpr int TEXT_BIN = 11;
    static constexpr unsigned FONT_RESOLUTION = 128;
    static constexpr const char* DEFAULT_FONT = "arial.ttf";
    static constexpr const char* FONT_ERROR = "[ERROR - VisTextObject] unable to load font file";

    explicit VisTextObject(const ObjectContext& context);

    const char* className() const override { return "VisTextObject"; }

    // Null until built.
    osgText::Text* text() const { return _text.get(); }

    // The label for items 39, 41 and 40 of a packet; throws the packet
    // exception when one it needs is missing.
    static std::string labelOf(const GNP2::Packet& packet);
    // The alignment for a value of item 38.
    static osgText::TextBase::AxisAlignment alignmentOf(int value);

protected:
    ~VisTextObject() override;

    // A failed initialize reports the exception's lines alone.
    Skeleton skeleton() const override { return {.failureLine = false}; }
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    osg::ref_ptr<osgText::Text> _text;
    osg::ref_ptr<osg::Geode> _geode;
};

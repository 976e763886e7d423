#pragma once
// One head-up display element of the simulation (type code 7), hung under
// the HUD root, which every view's HUD camera draws over the 3D view in HUD
// units (scene/HudUnits.h). The creating packet's item 45 picks the element,
// which stays the object's only child for its whole life:
//
//   1 line     74 P, 70 points          changed 48 colour, 70 points, 46 width
//   2 text     12 font, 46 height, 39   present 39 text, 48 colour
//   3 value    as 2                     present 39 or 47: "<39> <47>"; 48 colour
//   4 picture  12 image, 46 w, h        -
//   5 bar      46 length, thickness     present 47 fill factor, 48 colour
//   6 graph    46 width, height         present 47 new sample, 48 colour
//   7 face     74 P, 70 points          changed 47 or 48 colour, 70 points
//   8 button   46 w, h, 47 visible      -
//
// ("present": the arriving packet carries the item; "changed": its value
// differs from the one the object held.) Item 1 places the element's origin
// (x, y at creation; x, y, z in updates) and item 2 turns it (radians); both
// are needed at creation. Colours (item 48) are three integers 0-255.
//
// What the creating packet already carries for a line (colour, width) or a
// face (colour, transparency) is applied at once: the changed flags that
// later updates test are cleared when the object manager hands the creating
// packet to update after initialize. A face without item 47 is opaque, and
// keeps its colour until item 48 comes. A value text whose item 47 has not
// come yet shows item 39 alone. A bar or graph colour also colours the
// graph's new points, so the graph line takes the colour the simulation
// asked for.
//
// A missing item, one of another type or one shorter than its use writes
// "An error occured while initializing VisHUDObject. Object will be
// skipped!" (or "updating"), the item's message and its number; the object
// keeps its state and tries again with its next packet. An update whose
// item 1 has two values is that error when it moves or turns the element;
// one that repeats the creating position changes nothing.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock); buttons send from the viewer's event traversal, also on
// the GUI thread.

#include <string>

#include <osg/Vec4>

#include "objects/hud/HUDBaseClass.h"
#include "scene/VisObject.h"
#include "protocol/Items.h"

class VisHUDObject : public VisObject
{
public:
    // Item 45[0]: LINE, TEXT, ... BUTTON.
    using Kind = item::hud::ElementValue;
    using enum item::hud::ElementValue;

    // The font of the graphs' time labels.
    static constexpr const char* LABEL_FONT = "arial.ttf";

    explicit VisHUDObject(const ObjectContext& context);

    const char* className() const override { return "VisHUDObject"; }

    // The element (child 0), or null: not built yet, or an unknown kind.
    HUDBaseClass* element() const;

    // Item 39, a blank and the number as a stream writes a float by default
    // (6 significant digits).
    static std::string valueText(const std::string& text, float value);

protected:
    ~VisHUDObject() override;

    // Built from the state before the arriving packet is merged; update
    // reports its own failures.
    Skeleton skeleton() const override { return {.buildBeforeMerge = true, .guardUpdate = true}; }
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    osg::ref_ptr<HUDBaseClass> makeElement(int kind);
    void applyKind(int kind, const GNP2::Packet& arrived);
    void applyPosition(const GNP2::Packet& arrived);
    // Item 48 of the state as a colour of the given alpha.
    osg::Vec4 stateColour(float alpha);
    // The face's colour from items 48 and 47 of the state, each where present.
    osg::Vec4 faceColour(const osg::Vec4& current);
};

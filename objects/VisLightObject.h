#pragma once
// A light of the simulation: one OpenGL light carried by a light source
// under the object's transform, so that the light moves and turns with
// items 1 and 3. Its spot points along the transform's x axis.
//
// Each object takes its light number (0-7) from the process-wide counter
// when it is made (see LightNumbers), so the ninth light shares the first
// one's number. Once built, the light switches its OpenGL light on in the
// state set of the group the object hangs under (its first parent) and
// keeps that state set; when the object goes it switches the light off
// there again, except light 0, which stays on for the head light that
// shares it.
//
// Items: 34 ambient, 6 diffuse, 7 specular (three ints 0-255 each, alpha 1),
// 31 spot cut-off (degrees), 35/36/37 constant/linear/quadratic attenuation,
// 32 (read once) 0 for a positional light at the origin, anything else for a
// directional light shining along +x.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <osg/Light>
#include <osg/LightSource>
#include <osg/StateSet>
#include <osg/ref_ptr>

#include "scene/Vis3DObject.h"

class VisLightObject : public Vis3DObject
{
public:
    // Takes the next light number.
    explicit VisLightObject(const ObjectContext& context);

    const char* className() const override { return "VisLightObject"; }

    int lightNumber() const { return _lightNumber; }
    // Null until built.
    osg::Light* light() const { return _light.get(); }
    osg::LightSource* lightSource() const { return _lightSource.get(); }
    // The state set in which the light was switched on, or null.
    osg::StateSet* switchedStateSet() const { return _switchedStateSet.get(); }

protected:
    ~VisLightObject() override;

    // A packet error in update is reported here, not by the caller.
    Skeleton skeleton() const override { return {.guardUpdate = true}; }
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // Items 34, 6, 7, 31, 35, 36 and 37, each when the packet holds it. Every
    // value is read before the light changes.
    void applyLightItems(const GNP2::Packet& packet);
    // Switches the light on in the first parent's state set, once.
    void switchOnInParent();

    const int _lightNumber;
    osg::ref_ptr<osg::Light> _light;
    osg::ref_ptr<osg::LightSource> _lightSource;
    osg::ref_ptr<osg::StateSet> _switchedStateSet;
};

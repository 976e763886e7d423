#pragma once
// Sets the material of every drawable below a node: diffuse and ambient
// colour, material alpha, and specular shininess, each only when its switch
// is on. Nothing is switched on at construction; each setter switches its
// part on. A drawable without a material gets a new one. Modes (lighting,
// blending) are not touched: transparency is the TransparencyVisitor's job.
//
// Threading: GUI thread only (it changes state sets of live nodes).

#include <osg/NodeVisitor>

namespace osg {
class Drawable;
class Material;
} // namespace osg

class ColorVisitor : public osg::NodeVisitor
{
public:
    ColorVisitor();

    // Diffuse and ambient colour (front and back) := (r, g, b, 1).
    void setColor(float r, float g, float b);
    // Material alpha (front and back); applied after the colour, so it
    // overrides the alpha of 1 the colour brings.
    void setAlpha(float alpha);
    // Shininess from 0 to 1: specular := white, shininess := value x 128.
    void setShininess(float shininess);

    bool appliesColor() const { return _applyColor; }
    bool appliesAlpha() const { return _applyAlpha; }
    bool appliesShininess() const { return _applyShininess; }

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override;

    // The material of the drawable's state set; a new one is created and
    // stored (as a plain attribute) when there is none.
    static osg::Material& takeMaterial(osg::Drawable& drawable);

private:
    void change(osg::Material& material) const;

    float _r = 0.0f;
    float _g = 0.0f;
    float _b = 0.0f;
    float _alpha = 0.0f;
    float _shininess = 0.0f;
    bool _applyShininess = false;
    bool _applyColor = false;
    bool _applyAlpha = false;
};

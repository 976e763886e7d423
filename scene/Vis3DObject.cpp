#include "scene/Vis3DObject.h"

#include <osg/StateSet>

#include "scene/ColorVisitor.h"
#include "scene/Colour.h"
#include "scene/SharedState.h"
#include "scene/TransparencyVisitor.h"
#include "scene/WireframeVisitor.h"

namespace {

void requireCount(std::span<const float> values, std::size_t needed, int item)
{
    if (values.size() < needed)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, item);
}

} // namespace

Vis3DObject::Vis3DObject(const ObjectContext& context)
    : VisObject(context), _transform(new osg::MatrixTransform)
{
    addChild(_transform.get());
    setStateSet(sharedstate::normalizing());
    setNodeMask(NODE_MASK);
}

Vis3DObject::~Vis3DObject() = default;

void Vis3DObject::setPosition(std::span<const float> xyz)
{
    requireCount(xyz, 3, item::placement::Position);
    _translation.makeTranslate(xyz[0], xyz[1], xyz[2]);
    updateMatrix();
}

void Vis3DObject::setOrientation(std::span<const float> axes)
{
    requireCount(axes, 6, item::placement::Orientation);
    const double a0 = axes[0], a1 = axes[1], a2 = axes[2];
    const double a3 = axes[3], a4 = axes[4], a5 = axes[5];
    const double wx = a1 * a5 - a2 * a4;
    const double wy = a2 * a3 - a0 * a5;
    const double wz = a0 * a4 - a1 * a3;
    // Arguments row by row: u, v and w become the first three columns.
    _rotation.set(a0, a3, wx, 0.0, //
                  a1, a4, wy, 0.0, //
                  a2, a5, wz, 0.0, //
                  0.0, 0.0, 0.0, 1.0);
    _scaleRotation = _scale * _rotation;
    updateMatrix();
}

void Vis3DObject::setScale(std::span<const float> xyz)
{
    requireCount(xyz, 3, item::placement::Scale);
    _scale.makeScale(xyz[0], xyz[1], xyz[2]);
    _scaleRotation = _scale * _rotation;
    updateMatrix();
}

void Vis3DObject::updateMatrix()
{
    // The same product, in the same order, as scale * rotation * translation.
    osg::Matrixd matrix;
    matrix.mult(_scaleRotation, _translation);
    _transform->setMatrix(matrix);
}

void Vis3DObject::prefetchParts() const
{
    prefetchBytes(&_scaleRotation, sizeof _scaleRotation + sizeof _translation);
    prefetchBytes(_transform.get(), sizeof(osg::MatrixTransform));
}

void Vis3DObject::applyTransformItems(const GNP2::Packet& packet, bool withScale)
{
    if (packet.hasItem(item::placement::Position))
        setPosition(floatItem(packet, item::placement::Position, 0));
    if (packet.hasItem(item::placement::Orientation))
        setOrientation(floatItem(packet, item::placement::Orientation, 0));
    if (withScale && packet.hasItem(item::placement::Scale))
        setScale(floatItem(packet, item::placement::Scale, 0));
}

void Vis3DObject::updateAppearance(const GNP2::Packet& packet, bool force,
                                   bool wholeNodeTransparency)
{
    if (!force && !packet.isChanged(item::appearance::Opacity) &&
        !packet.isChanged(item::appearance::Colour) &&
        !packet.isChanged(item::appearance::Wireframe) &&
        !packet.isChanged(item::appearance::Shininess))
        return;

    // Every item is read before anything changes, so a malformed packet
    // throws without leaving the appearance half applied.
    const bool hasAlpha = packet.hasItem(item::appearance::Opacity);
    const float alpha = hasAlpha ? floatItem(packet, item::appearance::Opacity)[0] : 1.0f;
    ColorVisitor colour;
    if (packet.hasItem(item::appearance::Colour)) {
        const std::span<const int> rgb = intItem(packet, item::appearance::Colour, 3);
        const osg::Vec4 rgba = colour::fromBytes(rgb[0], rgb[1], rgb[2]);
        colour.setColor(rgba.r(), rgba.g(), rgba.b());
    }
    if (hasAlpha && alpha != 1.0f)
        colour.setAlpha(alpha);
    if (packet.hasItem(item::appearance::Shininess)) {
        const float shininess = floatItem(packet, item::appearance::Shininess)[0];
        if (intItem(packet, item::appearance::ShininessOn)[0] != 0)
            colour.setShininess(shininess);
    }
    const bool hasWireframe = packet.hasItem(item::appearance::Wireframe);
    const bool wireframeOn = hasWireframe && intItem(packet, item::appearance::Wireframe)[0] != 0;

    if (hasAlpha) {
        if (alpha != 1.0f) {
            TransparencyVisitor transparency;
            transparency.setWholeNode(wholeNodeTransparency);
            accept(transparency);
        } else {
            // Back to an opaque material; the blending state stays and
            // draws opaque with alpha 1.
            ColorVisitor opaque;
            opaque.setAlpha(1.0f);
            accept(opaque);
        }
    }
    if (colour.appliesColor() || colour.appliesAlpha() || colour.appliesShininess())
        accept(colour);
    if (hasWireframe) {
        WireframeVisitor wireframe(wireframeOn);
        accept(wireframe);
    }
    if (_sharesState)
        sharedstate::share(*this);
}

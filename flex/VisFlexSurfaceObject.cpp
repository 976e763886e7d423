#include "flex/VisFlexSurfaceObject.h"

#include <osg/Material>

namespace {

// Whether the surface's material (when it has one) takes its colour from
// the per-vertex colours or from its own diffuse and ambient colour.
void useVertexColors(osg::Geometry& geometry, bool use)
{
    osg::StateSet* stateSet = geometry.getStateSet();
    auto* material =
        stateSet
            ? dynamic_cast<osg::Material*>(stateSet->getAttribute(osg::StateAttribute::MATERIAL))
            : nullptr;
    if (material)
        material->setColorMode(use ? osg::Material::AMBIENT_AND_DIFFUSE : osg::Material::OFF);
}

} // namespace

VisFlexSurfaceObject::VisFlexSurfaceObject(const ObjectContext& context) : Vis3DObject(context) {}

VisFlexSurfaceObject::~VisFlexSurfaceObject() = default;

int VisFlexSurfaceObject::gridSize(const GNP2::Packet& packet, int item)
{
    const int size = intItem(packet, item)[0];
    if (size < FlexibleSurface::MIN_SIZE)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, item);
    return size;
}

int VisFlexSurfaceObject::colorMode(const GNP2::Packet& packet)
{
    return packet.hasItem(item::flex_surface::ColourMode)
               ? intItem(packet, item::flex_surface::ColourMode)[0]
               : 0;
}

bool VisFlexSurfaceObject::build(const GNP2::Packet& packet)
{
    const int rows = gridSize(packet, item::flex_surface::Rows);
    const int columns = gridSize(packet, item::flex_surface::Columns);
    const std::size_t count = std::size_t(rows) * std::size_t(columns);
    const std::span<const float> x = floatItem(packet, item::flex_surface::X, count);
    const std::span<const float> y = floatItem(packet, item::flex_surface::Y, count);
    const std::span<const float> z = floatItem(packet, item::flex_surface::Z, count);
    const bool twoSided = packet.hasItem(item::flex_surface::TwoSided) &&
                          intItem(packet, item::flex_surface::TwoSided)[0] != 0;
    std::string texture = packet.hasItem(item::flex_surface::Texture)
                              ? packet.getString(item::flex_surface::Texture)
                              : "";
    texture.resize(std::min(texture.size(), texture.find('\0')));

    _surface = new FlexibleSurface(rows, columns, x.data(), y.data(), z.data(), twoSided, texture);
    getTransform()->addChild(_surface.get());
    // The first update merges the creating packet again, which clears its
    // changed flags: the appearance it brings is applied here.
    if (colorMode(statePacket()) == 0)
        updateAppearance(statePacket(), true, true);
    return true;
}

void VisFlexSurfaceObject::apply(const GNP2::Packet& arrived)
{
    const GNP2::Packet& state = statePacket();
    // Every item is read before the surface changes, so a bad packet leaves
    // the shape as it was.
    const std::size_t count = _surface->vertexCount();
    const std::span<const float> x = floatItem(state, item::flex_surface::X, count);
    const std::span<const float> y = floatItem(state, item::flex_surface::Y, count);
    const std::span<const float> z = floatItem(state, item::flex_surface::Z, count);
    if (colorMode(state) == 0) {
        _surface->setVertices(x.data(), y.data(), z.data());
        // The per-vertex colours of an earlier colour mode stay until the
        // common colour arrives again.
        updateAppearance(state, false, true);
        if (state.isChanged(item::flex_surface::Colour))
            useVertexColors(*_surface->geometry(), false);
    } else {
        const std::span<const int> colors =
            intItem(state, item::flex_surface::VertexColours, count);
        _surface->setVerticesAndColors(x.data(), y.data(), z.data(), colors.data());
        useVertexColors(*_surface->geometry(), true);
    }
    applyTransformItems(arrived);
    setDataVariance(osg::Object::DYNAMIC);
}

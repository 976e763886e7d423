#include "objects/VisBaseObject.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include <osg/Geode>
#include <osg/observer_ptr>
#include <osg/Quat>
#include <osg/Shape>
#include <osg/ShapeDrawable>
#include <osg/PrimitiveSet>
#include <osg/StateSet>
#include <osg/TriangleIndexFunctor>
#include <osgText/Font>
#include <osgText/Text>

#include "objects/builders/Beam.h"
#include "objects/builders/Gear.h"
#include "objects/builders/Grid.h"
#include "objects/builders/Pipe.h"
#include "objects/builders/Spring.h"
#include "scene/DrawablePurpose.h"

namespace {

constexpr float QUARTER_TURN = 1.5708f;

// A float from the network as a count: truncated toward zero, with NaN as 0
// and magnitudes beyond any sensible count clamped (the builders refuse those).
int truncatedCount(float value)
{
    if (!std::isfinite(value))
        return 0;
    constexpr float LIMIT = 1.0e9f;
    return static_cast<int>(std::clamp(value, -LIMIT, LIMIT));
}

struct TriangleCollector
{
    std::vector<GLushort>* indices = nullptr;
    void operator()(unsigned a, unsigned b, unsigned c)
    {
        indices->insert(indices->end(), {GLushort(a), GLushort(b), GLushort(c)});
    }
};

// Puts the drawable's triangles into one indexed list, in the order its
// primitive sets held them (fans split as the GL splits them): the same
// triangles in one draw instead of up to twenty-one.
void mergeIntoOneDraw(osg::Geometry& geometry)
{
    osg::TriangleIndexFunctor<TriangleCollector> collect;
    std::vector<GLushort> indices;
    collect.indices = &indices;
    for (unsigned i = 0; i < geometry.getNumPrimitiveSets(); ++i)
        geometry.getPrimitiveSet(i)->accept(collect);
    geometry.removePrimitiveSet(0, geometry.getNumPrimitiveSets());
    geometry.addPrimitiveSet(
        new osg::DrawElementsUShort(GL_TRIANGLES, indices.begin(), indices.end()));
}

// The drawable of a unit solid at the library's default tessellation and
// without a colour of its own. The transform sizes it and the geode's state
// set colours it, so every solid of a kind alive at one time draws the same
// one: tagged shared, drawn from vertex buffers. The cache only observes
// them; when the last solid of a kind goes, its drawable goes too.
osg::ref_ptr<osg::Drawable> unitSolidDrawable(int kind)
{
    static std::mutex mutex;
    static std::array<osg::observer_ptr<osg::Drawable>, VisBaseObject::KIND_CAPSULE + 1> shared;
    std::lock_guard<std::mutex> lock(mutex);
    osg::ref_ptr<osg::Drawable> drawable;
    if (shared[std::size_t(kind)].lock(drawable))
        return drawable;
    osg::ref_ptr<osg::Shape> shape;
    switch (kind) {
    case VisBaseObject::KIND_BOX:
        shape = new osg::Box(osg::Vec3(), 1.f);
        break;
    case VisBaseObject::KIND_SPHERE:
        shape = new osg::Sphere(osg::Vec3(), 0.5f);
        break;
    case VisBaseObject::KIND_CYLINDER:
        shape = new osg::Cylinder(osg::Vec3(), 0.5f, 1.f);
        break;
    case VisBaseObject::KIND_CONE:
        shape = new osg::Cone(osg::Vec3(), 0.5f, 1.f);
        break;
    default:
        shape = new osg::Capsule(osg::Vec3(), 0.5f, 1.f);
        break;
    }
    osg::ref_ptr<osg::ShapeDrawable> made = new osg::ShapeDrawable(shape.get());
    mergeIntoOneDraw(*made);
    made->setUseDisplayList(false);
    made->setUseVertexBufferObjects(true);
    DrawablePurpose::mark(*made, DrawablePurpose::SHARED);
    shared[std::size_t(kind)] = made.get();
    return made;
}

// Shapes built from a few parameters whose geometry depends on nothing else
// (springs, gears, tapered pipes, axes markers): every object built with the
// same parameters draws the same data. The first build with a set of
// parameters becomes the template; each object gets a shallow copy of it, a
// node of its own (its appearance state goes on it) holding the template's
// drawables, tagged shared so that an appearance change gives that object
// copies of its own. Each copy holds its template (as its user data); the
// cache only observes them, so when the last object built from a template
// goes, the template goes too. Builds that make nothing (refused parameters,
// a missing font) are not kept, so each is reported.
template <typename Shape> class TemplateCache
{
public:
    using Key = std::vector<std::uint32_t>;

    template <typename Make> osg::ref_ptr<Shape> get(const Key& key, Make make)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        osg::ref_ptr<Shape> made;
        const auto found = _templates.find(key);
        if (found == _templates.end() || !found->second.lock(made)) {
            made = make();
            if (!made || made->getNumDrawables() == 0)
                return made;
            for (unsigned i = 0; i < made->getNumDrawables(); ++i)
                DrawablePurpose::mark(*made->getDrawable(i), DrawablePurpose::SHARED);
            if (_templates.size() >= _pruneAt) {
                std::erase_if(_templates, [](const auto& entry) { return !entry.second.valid(); });
                _pruneAt = std::max<std::size_t>(MIN_PRUNE, 2 * _templates.size());
            }
            _templates[key] = made.get();
        }
        osg::ref_ptr<Shape> copy = new Shape(*made, osg::CopyOp::SHALLOW_COPY);
        copy->setUserData(made.get());
        return copy;
    }

private:
    static constexpr std::size_t MIN_PRUNE = 64;
    std::mutex _mutex;
    std::map<Key, osg::observer_ptr<Shape>> _templates;
    std::size_t _pruneAt = MIN_PRUNE;
};

// A cache key from parameter values: their bit patterns, so that any value,
// NaN included, orders and compares as itself.
template <typename... Values> std::vector<std::uint32_t> parameterKey(Values... values)
{
    return {std::bit_cast<std::uint32_t>(values)...};
}

// One geode of its own (the object's appearance state goes on it) holding
// the kind's shared drawable.
osg::ref_ptr<osg::Node> unitSolid(int kind)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(unitSolidDrawable(kind).get());
    geode->setDataVariance(osg::Object::DYNAMIC);
    return geode;
}

// One arrow of the coordinate marker.
struct MarkerAxis
{
    const char* label;
    osg::Vec3 direction;
    float shaftCentre;
    osg::Quat shaftTurn; // turns the z-aligned capsule onto the axis
    osg::Quat tipTurn;   // turns the z-aligned cone to point along the axis
    osg::Vec4 colour;
};

const MarkerAxis MARKER_AXES[3] = {
    {"x",
     {1.f, 0.f, 0.f},
     0.43f,
     osg::Quat(QUARTER_TURN, osg::Y_AXIS),
     osg::Quat(QUARTER_TURN, osg::Y_AXIS),
     {0.1f, 0.1f, 0.1f, 1.f}},
    {"y",
     {0.f, 1.f, 0.f},
     0.43f,
     osg::Quat(QUARTER_TURN, osg::X_AXIS),
     osg::Quat(-QUARTER_TURN, osg::X_AXIS),
     {0.f, 0.7f, 0.f, 1.f}},
    {"z", {0.f, 0.f, 1.f}, 0.435f, osg::Quat(), osg::Quat(), {0.f, 0.f, 0.7f, 1.f}},
};

constexpr float LABEL_DISTANCE = 1.1f;
constexpr float LABEL_SIZE_FACTOR = 0.2f;
constexpr float SHAFT_RADIUS = 0.02f;
constexpr float SHAFT_HEIGHT = 0.86f;
constexpr float TIP_RADIUS = 0.06f;
constexpr float TIP_HEIGHT = 0.15f;
constexpr float TIP_CENTRE = 0.89f;

osg::ShapeDrawable* colouredShape(osg::Shape* shape, const osg::Vec4& colour)
{
    auto* drawable = new osg::ShapeDrawable(shape);
    drawable->setColor(colour);
    return drawable;
}

// The marker's three shafts and three tips, in that order. They are the same
// for every marker and nothing changes them (appearance items never reach a
// marker), so the markers alive at one time share them: tessellating six
// shapes is most of the cost of a marker. The cache only observes them;
// when the last marker goes, they go too.
std::array<osg::ref_ptr<osg::Drawable>, 6> markerArrows()
{
    static std::array<osg::observer_ptr<osg::Drawable>, 6> shared;
    std::array<osg::ref_ptr<osg::Drawable>, 6> arrows;
    bool complete = true;
    for (std::size_t i = 0; i < arrows.size(); ++i)
        complete = shared[i].lock(arrows[i]) && complete;
    if (complete)
        return arrows;

    for (std::size_t k = 0; k < 3; ++k) {
        const MarkerAxis& axis = MARKER_AXES[k];
        osg::ref_ptr<osg::Capsule> shaft =
            new osg::Capsule(axis.direction * axis.shaftCentre, SHAFT_RADIUS, SHAFT_HEIGHT);
        shaft->setRotation(axis.shaftTurn);
        arrows[k] = colouredShape(shaft.get(), axis.colour);
        osg::ref_ptr<osg::Cone> tip =
            new osg::Cone(axis.direction * TIP_CENTRE, TIP_RADIUS, TIP_HEIGHT);
        tip->setRotation(axis.tipTurn);
        arrows[3 + k] = colouredShape(tip.get(), axis.colour);
    }
    for (std::size_t i = 0; i < arrows.size(); ++i)
        shared[i] = arrows[i];
    return arrows;
}

} // namespace

VisBaseObject::VisBaseObject(const ObjectContext& context) : Vis3DObject(context) {}

VisBaseObject::~VisBaseObject() = default;

osg::Node* VisBaseObject::shape() const
{
    osg::MatrixTransform* transform = getTransform();
    return transform->getNumChildren() > 0 ? transform->getChild(0) : nullptr;
}

bool VisBaseObject::build(const GNP2::Packet& packet)
{
    const int kind = intItem(statePacket(), item::shape::ShapeKind)[0];
    osg::ref_ptr<osg::Node> node = buildShape(kind);
    // A retry after an earlier attempt failed past the build (in the
    // appearance items) replaces that attempt's node: one shape only.
    osg::MatrixTransform* transform = getTransform();
    transform->removeChildren(0, transform->getNumChildren());
    if (node)
        transform->addChild(node.get());
    // Built from the accumulated state (a retry), the appearance items of
    // earlier packets are no longer flagged as changed but were never
    // applied: force them in.
    const bool fromState = &packet == &statePacket();
    // The unit solids' appearance is only ever changed by the appearance
    // visitors, so their state can be shared.
    setSharesState(kind >= KIND_BOX && kind <= KIND_CAPSULE);
    if (kind != KIND_COORD_SYSTEM)
        updateAppearance(packet, fromState, false);
    return true;
}

void VisBaseObject::apply(const GNP2::Packet& arrived)
{
    const GNP2::Packet& state = statePacket();
    applyTransformItems(arrived, false);
    const int kind = intItem(state, item::shape::ShapeKind)[0];
    if (arrived.hasItem(item::shape::Scale) && !applyDimensions(kind))
        return;
    if (kind != KIND_COORD_SYSTEM)
        updateAppearance(state, false, false);
}

bool VisBaseObject::applyDimensions(int kind)
{
    const std::span<const float> dimensions = floatItem(statePacket(), item::shape::Scale, 3);
    switch (kind) {
    case KIND_SPRING:
    case KIND_BEAM: {
        osg::Node* node = shape();
        if (!node)
            return false;
        if (auto* spring = dynamic_cast<Spring*>(node); spring && kind == KIND_SPRING)
            spring->stretch(dimensions[0]);
        else if (auto* beam = dynamic_cast<Beam*>(node); beam && kind == KIND_BEAM)
            beam->resize(dimensions[0], dimensions[1], dimensions[2]);
        return true;
    }
    default:
        setScale(dimensions);
        return true;
    }
}

osg::ref_ptr<osg::Node> VisBaseObject::buildShape(int kind)
{
    const GNP2::Packet& state = statePacket();
    // Item 4 holds three values for every kind that reads it, item 11 as
    // many as the kind reads; shorter ones fail like missing items.
    const auto dimensions = [&] { return floatItem(state, item::shape::Scale, 3); };
    const auto parameters = [&](std::size_t count) {
        return floatItem(state, item::shape::Parameters, count);
    };
    switch (kind) {
    case KIND_BOX:
    case KIND_SPHERE:
    case KIND_CYLINDER:
    case KIND_CONE:
    case KIND_CAPSULE:
        return unitSolid(kind);
    case KIND_COORD_SYSTEM: {
        const std::span<const float> size = dimensions();
        static TemplateCache<osg::Geode> markers;
        return markers.get(parameterKey(size[0], size[1], size[2]),
                           [&] { return buildCoordSystem(osg::Vec3(size[0], size[1], size[2])); });
    }
    case KIND_SPRING: {
        const std::span<const float> size = dimensions();
        const std::span<const float> values = parameters(2);
        Spring::Parameters spring;
        spring.length = size[0];
        spring.coilRadius = size[1];
        spring.windings = truncatedCount(values[0]);
        spring.wireRadius = values[1];
        spring.segmentsPerWinding = 25;
        spring.segmentsAroundWire = 10;
        static TemplateCache<Spring> springs;
        osg::ref_ptr<Spring> node = springs.get(
            parameterKey(spring.length, spring.coilRadius, spring.windings, spring.wireRadius),
            [&] { return osg::ref_ptr<Spring>(new Spring(spring)); });
        node->setDataVariance(osg::Object::DYNAMIC);
        return node;
    }
    case KIND_GEAR: {
        const std::span<const float> size = dimensions();
        const std::span<const float> values = parameters(3);
        const int teeth = truncatedCount(values[1]);
        static TemplateCache<Gear> gears;
        return gears.get(parameterKey(teeth, size[2], values[0], values[2]), [&] {
            return osg::ref_ptr<Gear>(new Gear(teeth, size[2], values[0], values[2]));
        });
    }
    case KIND_PIPE: {
        dimensions(); // only the scale, but it must be complete
        const std::span<const float> values = parameters(3);
        static TemplateCache<Pipe> pipes;
        return pipes.get(parameterKey(values[1], values[2]),
                         [&] { return osg::ref_ptr<Pipe>(new Pipe(values[1], values[2])); });
    }
    case KIND_GRID: {
        const std::span<const float> size = dimensions();
        return new Grid(size[0], size[1], parameters(1)[0]);
    }
    case KIND_BEAM: {
        const std::span<const float> size = dimensions();
        return new Beam(size[0], size[1], size[2]);
    }
    default:
        return nullptr;
    }
}

osg::ref_ptr<osg::Geode> VisBaseObject::buildCoordSystem(const osg::Vec3& labelSizes)
{
    // The font reader caches what it has read, so many markers share one font.
    const std::string fontPath = fontFile(LABEL_FONT);
    osg::ref_ptr<osgText::Font> font =
        fontPath.empty() ? nullptr : osgText::readRefFontFile(fontPath);
    if (!font) {
        showMessage("Orvane Error", std::string("Cannot load font: ") + LABEL_FONT);
        return nullptr;
    }

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    for (int k = 0; k < 3; ++k) {
        const MarkerAxis& axis = MARKER_AXES[k];
        osg::ref_ptr<osgText::Text> label = new osgText::Text;
        label->setFont(font.get());
        label->setAxisAlignment(osgText::TextBase::SCREEN);
        label->setFontResolution(128, 128);
        label->setColor(osg::Vec4(0.f, 0.f, 0.f, 1.f));
        label->setCharacterSize(LABEL_SIZE_FACTOR * labelSizes[k], 1.f);
        label->setPosition(axis.direction * LABEL_DISTANCE);
        label->setText(axis.label);
        geode->addDrawable(label.get());
    }
    for (const osg::ref_ptr<osg::Drawable>& arrow : markerArrows())
        geode->addDrawable(arrow.get());
    // Drawn after the depth-sorted transparent bin (10), so the marker shows
    // through transparent objects.
    osg::StateSet* stateSet = geode->getOrCreateStateSet();
    stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    stateSet->setRenderBinDetails(LABEL_BIN, "RenderBin");
    return geode;
}

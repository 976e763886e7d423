#include "objects/VisIntersectorObject.h"

#include <cmath>
#include <cstdio>

#include <osg/Geode>
#include <osg/Shape>
#include <osg/ShapeDrawable>

#include "gnp2/ReservedItems.h"
#include "objects/SpatialIndex.h"
#include "scene/ObjectKinds.h"

namespace {

const osg::Vec4 RED(1.f, 0.f, 0.f, 1.f);

bool finite(const osg::Vec3d& point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y()) && std::isfinite(point.z());
}

} // namespace

VisIntersectorObject::VisIntersectorObject(const ObjectContext& context) : Vis3DObject(context)
{
    setIntersectable(false);
}

VisIntersectorObject::~VisIntersectorObject() = default;

VisObject::Skeleton VisIntersectorObject::skeleton() const
{
    // A packet that cannot be tested (no display mode yet) is reported and
    // the next one is taken, as at initialisation.
    Skeleton order;
    order.guardUpdate = true;
    order.failureName = "VisIntersector";
    return order;
}

Vis3DObject* VisIntersectorObject::hitObject(const osg::NodePath& path, const osg::Node* self)
{
    for (osg::Node* node : path) {
        if (node == self)
            continue;
        auto* object = dynamic_cast<Vis3DObject*>(node);
        if (object && object->isIntersectable())
            return object;
    }
    return nullptr;
}

bool VisIntersectorObject::build(const GNP2::Packet&)
{
    const GNP2::Packet& state = statePacket();
    const float size = floatItem(state, item::intersector::MarkerSize)[0];
    const auto point = [&](int item) {
        const std::span<const float> xyz = floatItem(state, item, 3);
        const osg::Vec3d value(xyz[0], xyz[1], xyz[2]);
        if (!finite(value))
            throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, item);
        return value;
    };
    _start = point(item::intersector::Start);
    _end = point(item::intersector::End);

    _intersector = new SegmentIntersector(_start, _end, nullptr, [this](const osg::NodePath& path) {
        return hitObject(path, this) != nullptr;
    });
    _visitor = new osgUtil::IntersectionVisitor(_intersector.get());
    _line = new osgLine::DynamicLine(_start, RED);
    _line->addPoint(_end, RED);
    buildMarker(size);
    _display = new osg::Switch;
    _display->addChild(_line.get(), false);
    _display->addChild(_marker.get(), false);
    addChild(_display.get());
    return true;
}

void VisIntersectorObject::buildMarker(float size)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    const auto add = [&](osg::Shape* shape) {
        osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(shape);
        drawable->setColor(RED);
        geode->addDrawable(drawable.get());
    };
    add(new osg::Sphere(osg::Vec3(0.f, 0.f, 0.f), size));
    add(new osg::Cylinder(osg::Vec3(0.f, 0.f, 5.f * size), 0.3f * size, 10.f * size));
    add(new osg::Cone(osg::Vec3(0.f, 0.f, 10.f * size), size, 2.f * size));
    _marker = new osg::MatrixTransform;
    _marker->addChild(geode.get());
}

std::optional<osg::Vec3d> VisIntersectorObject::segmentEnd(const GNP2::Packet& packet, int item)
{
    if (!packet.hasItem(item))
        return std::nullopt;
    const GNP2::Item& values = packet.item(item);
    if (values.type == GNP2::TYPE_FLOAT && values.count >= 3) {
        const float* xyz = packet.getFloatArray(item);
        const osg::Vec3d point(xyz[0], xyz[1], xyz[2]);
        if (finite(point))
            return point;
    }
    if (!_malformedReported) {
        std::printf("VisIntersector: item %d is not a point of three numbers; the segment keeps "
                    "its %s\n",
                    item, item == item::intersector::Start ? "start" : "end");
        std::fflush(stdout);
        _malformedReported = true;
    }
    return std::nullopt;
}

void VisIntersectorObject::apply(const GNP2::Packet& arrived)
{
    const int mode = intItem(statePacket(), item::intersector::DisplayMode)[0];
    if (mode == 1)
        _display->setValue(SEGMENT_LINE, true);
    else
        _display->setAllChildrenOff();

    if (const auto start = segmentEnd(arrived, item::intersector::Start)) {
        _start = *start;
        _line->setPoint(0, osg::Vec3(*start));
    }
    if (const auto end = segmentEnd(arrived, item::intersector::End)) {
        _end = *end;
        _line->setPoint(1, osg::Vec3(*end));
    }

    test();
    if (_lastHit) {
        _display->setValue(MARKER, mode != 0);
        _marker->setMatrix(osg::Matrixd::rotate(osg::Vec3d(0.0, 0.0, 1.0), _lastHit->normal) *
                           osg::Matrixd::translate(_lastHit->point));
    } else {
        _display->setValue(MARKER, false);
    }
    answer(statePacket());
}

void VisIntersectorObject::test()
{
    _lastHit.reset();
    _intersector->setStart(_start);
    _intersector->setEnd(_end);
    osg::Group* scene = getNumParents() > 0 ? getParent(0) : nullptr;
    if (!scene || _start == _end)
        return; // nothing to test, or a segment that cannot cross anything
    _intersector->setIndex(SpatialIndex::forScene(*scene));
    _visitor->reset();
    scene->accept(*_visitor);

    for (const osgUtil::LineSegmentIntersector::Intersection& hit :
         _intersector->getIntersections()) {
        Vis3DObject* object = hitObject(hit.nodePath, this);
        if (!object)
            continue;
        Hit found;
        found.point = hit.getWorldIntersectPoint();
        // A scaled object's normal comes out of the inverse transform longer
        // or shorter than 1: the simulation gets a unit normal.
        found.normal = osg::Vec3d(hit.getWorldIntersectNormal());
        if (found.normal.length2() > 0.0)
            found.normal.normalize();
        found.distance = (found.point - _start).length();
        found.object = object;
        _lastHit = found;
        break;
    }
    _intersector->getIntersections().clear();
}

void VisIntersectorObject::answer(const GNP2::Packet& state)
{
    if (!sendQueue())
        return; // replay: sendPacket would only drop it
    auto* packet = new GNP2::Packet;
    GNP2::setTime(*packet, GNP2::timeOf(state).value_or(getTime()));
    packet->setIntVector(item::reply::intersector_result::Hit, {_lastHit ? 1 : 0});
    if (_lastHit) {
        packet->setFloatVector(item::reply::intersector_result::Distance,
                               {float(_lastHit->distance)});
        const osg::Vec3d& normal = _lastHit->normal;
        packet->setFloatVector(item::reply::intersector_result::Normal,
                               {float(normal.x()), float(normal.y()), float(normal.z())});
    }
    sendPacket(packet);
}

void registerIntersectorObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisIntersectorObject,
                [](const ObjectContext& context) { return new VisIntersectorObject(context); });
}

#pragma once
// A line-of-sight question from the simulation (type code 14): where does
// the segment from item 14 to item 15 first hit a scene object, at what
// distance and with which surface normal? Every packet for the object runs
// one test over the whole scene (the object's parent) and, while the
// simulation is connected, sends exactly one answer back:
//   item 0  float[1]  the time the triggering packet was applied
//   item 92 int[1]    1 hit, 0 no hit
//   item 93 float[1]  hit only: distance from the start to the hit point
//   item 94 float[3]  hit only: the unit surface normal at the hit point
// (header and item 13 are the object's own, put there by sendPacket). In
// replay the test still runs and moves the marker; nothing is sent.
//
// A hit counts when its node path holds an intersectable 3D object (not
// this one): texts, particle effects, other intersectors and this object's
// own marker are passed over, and the next hit along the segment is taken.
// Points and normals are in world coordinates.
//
// Shown in the scene, in world coordinates (on the object itself, not under
// its transform), as item 45 says: 0 nothing; 1 a red line along the
// segment and, on a hit, the marker; any other value the marker alone. The
// marker is a ball of radius r (item 17, read once) on the surface with a
// shaft and an arrow head along the normal.
//
// Items 14, 15 and 17 are needed to build the object; 45 for every test. A
// later item 14 or 15 moves only its end of the segment; one with fewer than
// three values or a value that is not a number is taken as absent (the end
// stays; said once per object). A segment of zero length hits nothing.
//
// Tests use kd-trees of the still geometry (SpatialIndex, shared by all
// intersectors of the scene) and stop looking past the nearest hit that
// counts (SegmentIntersector); geometry that moves is tested where it is.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock); answers go to the send ring through sendPacket.

#include <optional>

#include <osg/MatrixTransform>
#include <osg/Switch>
#include <osg/Vec3d>
#include <osg/ref_ptr>
#include <osgUtil/IntersectionVisitor>

#include "objects/SegmentIntersector.h"
#include "objects/builders/Lines.h"
#include "scene/Vis3DObject.h"

class ObjectFactory;

class VisIntersectorObject : public Vis3DObject
{
public:
    // Children of the display switch.
    static constexpr unsigned SEGMENT_LINE = 0;
    static constexpr unsigned MARKER = 1;

    explicit VisIntersectorObject(const ObjectContext& context);

    const char* className() const override { return "VisIntersectorObject"; }

    // What the last test found.
    struct Hit
    {
        osg::Vec3d point;  // world
        osg::Vec3d normal; // world, unit length
        double distance;
        Vis3DObject* object; // the object the hit counts for
    };
    const std::optional<Hit>& lastHit() const { return _lastHit; }

    const osg::Vec3d& start() const { return _start; }
    const osg::Vec3d& end() const { return _end; }
    osg::Switch* display() const { return _display.get(); }
    osgLine::DynamicLine* segmentLine() const { return _line.get(); }
    osg::MatrixTransform* marker() const { return _marker.get(); }

    // The object a hit with this node path counts for: the first
    // intersectable 3D object from the root down, `self` skipped; null when
    // the path holds none.
    static Vis3DObject* hitObject(const osg::NodePath& path, const osg::Node* self);

protected:
    ~VisIntersectorObject() override;

    Skeleton skeleton() const override;
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // A segment end from item 14 or 15 of `packet`, when it holds three
    // numbers.
    std::optional<osg::Vec3d> segmentEnd(const GNP2::Packet& packet, int item);
    void buildMarker(float size);
    // Runs the test and keeps what it found in _lastHit.
    void test();
    void answer(const GNP2::Packet& state);

    osg::ref_ptr<SegmentIntersector> _intersector;
    osg::ref_ptr<osgUtil::IntersectionVisitor> _visitor;
    osg::ref_ptr<osgLine::DynamicLine> _line;
    osg::ref_ptr<osg::MatrixTransform> _marker;
    osg::ref_ptr<osg::Switch> _display;
    std::optional<Hit> _lastHit;
    osg::Vec3d _start, _end;
    bool _malformedReported = false;
};

// Type code 14: VisIntersectorObject.
void registerIntersectorObjects(ObjectFactory& factory);

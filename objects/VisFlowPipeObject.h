#pragma once
// A pipe with fluid flowing through it (type code 3): a translucent tube,
// straight (kind 1), bent around z (kind 2) or Bézier-shaped (kind 3), with
// small cones, the flow indicators, travelling along it.
//
// Pipes chain by object number: item 82 names the pipe upstream, item 83 the
// pipe downstream, −1 none. The object's node name is its object number in
// decimal, and a pipe finds another by that name below its parent (the scene
// root). The links found are kept as they are, in a ring: the first pipe's
// previous is the last pipe and the last pipe's next is the first.
//
// The indicators of a chain belong to its first pipe (no upstream pipe) and
// hang under that pipe's transform. The simulation drives them with one
// number, the flow position (item 84, sent to the first pipe): how far the
// fluid has travelled at the chain's inlet. On every update the first pipe
// places each indicator at flow coordinate flow position · r_in − phase
// (modulo the chain's flow length S, see FlowCoordinate.h), in the pipe
// whose stretch holds it, turned along the centre line and sized with the
// local radius. An indicator whose coordinate falls outside the chain (a
// negative flow position) is removed for good. The indicators are made at
// the first update after the chain's last pipe can be found, and made again
// when a pipe of the chain changes length, radius or the first pipe's
// density (item 21).
//
// Items read when built: 27 kind, 14 start point, 3 orientation, 17/18 inlet
// and outlet radius, 25 tube colour and 26 opacity (alpha = value · 0.5),
// 82/83 upstream and downstream numbers; kind 1: 16 length; kind 2: 20 bend
// radius and 19 bend angle (radians); kind 3: 15 end point and 80 end
// direction (world axes) and 81 (non-zero: the curve stays exact and follows
// later changes of 14, 15, 80 and 3; 0: it is sampled once and keeps its
// shape). Items of every update: 21 density (indicators per unit length at
// the chain's inlet), 22 flow direction (< 0: cones point upstream), 84 flow
// position, 24 indicator size, 23 indicator colour (of the pipe the cone is
// in), and 14 and 3, which move the pipe. Tube colour, opacity and kind are
// kept as sent after the pipe is built but change nothing.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <osg/Matrixd>
#include <osg/Vec3>
#include <osg/Vec4>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "objects/FlowIndicator.h"
#include "objects/builders/Tubes.h"
#include "scene/Vis3DObject.h"
#include "protocol/Items.h"

class ObjectFactory;

class VisFlowPipeObject : public Vis3DObject
{
public:
    // Item 27[0]: KIND_STRAIGHT, KIND_CURVED, KIND_BEZIER.
    using enum item::flow_pipe::PipeKindValue;

    static constexpr int NO_PIPE = -1;
    // More indicators than this in one chain are not made (a density far
    // too high for the chain's length); the shortfall is reported.
    static constexpr std::size_t MAX_INDICATORS = 20000;

    explicit VisFlowPipeObject(const ObjectContext& context);

    const char* className() const override { return "VisFlowPipeObject"; }

    // Chain look-ups by number below the parent; null when a number names no
    // pipe or the numbers run in a circle without an end.
    VisFlowPipeObject* firstPipe();
    VisFlowPipeObject* lastPipe();
    // Sets this pipe's previous and next pipe (nothing when both are set):
    // the pipes its numbers name, or, where a number is −1, the chain's other
    // end, so that the links form a ring.
    void linkNeighbours(VisFlowPipeObject& chainFirst, VisFlowPipeObject& chainLast);

    // The indicator matrix for flow coordinate x inside `pipe`, in that
    // pipe's own frame: scale × turn × path rotation × translation. The cone
    // points the way of this pipe's flow direction. Writes "not so good"
    // when x lies beyond the end of the pipe (the pose is still computed).
    osg::Matrixd indicatorPose(const VisFlowPipeObject& pipe, double x) const;

    int kind() const { return _kind; }
    // Null until built, and for kinds that build no tube.
    Tube* tube() const { return _tube.get(); }
    double length() const { return _length; }
    double inletRadius() const { return _inletRadius; }
    double outletRadius() const { return _outletRadius; }
    // L · r_out: this pipe's stretch of the chain's flow coordinate.
    double stretch() const;
    int upstream() const { return _upstream; }
    int downstream() const { return _downstream; }
    VisFlowPipeObject* next() const { return _next.get(); }
    VisFlowPipeObject* previous() const { return _previous.get(); }
    VisFlowPipeObject* knownFirst() const { return _first.get(); }
    VisFlowPipeObject* knownLast() const { return _last.get(); }

    const std::deque<osg::ref_ptr<FlowIndicator>>& indicators() const { return _indicators; }
    bool indicatorsMade() const { return _indicatorsMade; }
    // The chain flow length S the indicators were made for.
    double chainFlowLength() const { return _chainFlowLength; }

protected:
    ~VisFlowPipeObject() override;

    // Packet errors are reported with the words of a pipe that will be
    // built later ("initializing VisFlowPipeObj. ... Will try to reinitialize
    // later."): the object stays unbuilt and tries again with its next
    // packet. Those of update are reported too ("updating VisFlowPipeObj").
    Skeleton skeleton() const override
    {
        return {.guardUpdate = true,
                .failureName = "VisFlowPipeObj",
                .failureAddition = " Will try to reinitialize later."};
    }
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The pipe named by an object number, or null.
    VisFlowPipeObject* findPipe(int number) const;
    // Follows upstream (or downstream) numbers to the end of the chain.
    VisFlowPipeObject* chainEnd(bool upstreamEnd);
    // A Bézier pipe's start point, end point and end direction in world axes
    // (items 14, 15 and 80 of the state packet).
    struct CurveEnds
    {
        osg::Vec3 start, end, direction;
    };
    static CurveEnds curveEnds(const GNP2::Packet& state);
    // The end point and end direction in the pipe's own axes, with the
    // rotation the pipe has now.
    std::pair<osg::Vec3, osg::Vec3> localEnds(const CurveEnds& ends) const;
    // Puts a new tube in place of the old one, translucent, and takes its length.
    void setTube(osg::ref_ptr<Tube> tube, double length);
    // Builds the tube again from the stored kind, radii and bend.
    void rebuildTube();
    void requestIndicatorRebuild();

    // The pipes of the chain from this one to the last, each with where its
    // stretch begins. Empty when a link is missing.
    struct ChainPipe
    {
        const VisFlowPipeObject* pipe;
        double begin;
        double end;
        osg::Matrixd toOwner;
    };
    std::vector<ChainPipe> chain() const;
    double chainLength();
    void makeIndicators();
    void removeIndicators();
    void placeIndicators();

    osg::ref_ptr<Tube> _tube;
    int _kind = 0;
    double _length = 0.0;
    double _straightLength = 0.0;
    int _upstream = NO_PIPE;
    int _downstream = NO_PIPE;
    osg::observer_ptr<VisFlowPipeObject> _next;
    osg::observer_ptr<VisFlowPipeObject> _previous;
    osg::observer_ptr<VisFlowPipeObject> _first;
    osg::observer_ptr<VisFlowPipeObject> _last;

    double _density = 0.0;
    double _direction = 0.0;
    double _flowPosition = 0.0;
    double _inletRadius = 0.0;
    double _outletRadius = 0.0;
    double _indicatorSize = 1.0;
    double _bendRadius = 0.0;
    double _bendAngle = 0.0;
    std::vector<float> _start;
    std::vector<float> _orientation;
    std::optional<osg::Vec4> _indicatorColour;

    std::deque<osg::ref_ptr<FlowIndicator>> _indicators;
    double _chainFlowLength = 0.0;
    bool _indicatorsMade = false;
    bool _rebuildRequested = false;
    bool _tooManyReported = false;
};

// Type code 3: VisFlowPipeObject.
void registerFlowPipeObjects(ObjectFactory& factory);

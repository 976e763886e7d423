#include "objects/VisFlowPipeObject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "objects/FlowCoordinate.h"
#include "objects/builders/BuilderSupport.h"
#include "scene/Colour.h"
#include "scene/FindNodeVisitor.h"
#include "scene/ObjectKinds.h"
#include "scene/TransparencyVisitor.h"

namespace {

// Object numbers have 12 bits: a chain longer than this runs in a circle.
constexpr std::size_t kMaxChain = 4096;
// A Bézier pipe's new length counts as a change beyond this.
constexpr double kLengthTolerance = 0.01;

const osg::Vec4 kWhite(1.f, 1.f, 1.f, 1.f);

osg::Vec3 vec3(std::span<const float> xyz)
{
    return {xyz[0], xyz[1], xyz[2]};
}

} // namespace

VisFlowPipeObject::VisFlowPipeObject(const ObjectContext& context) : Vis3DObject(context) {}

VisFlowPipeObject::~VisFlowPipeObject()
{
    removeIndicators();
}

double VisFlowPipeObject::stretch() const
{
    return flow::stretch(_length, _outletRadius);
}

// --- building ---------------------------------------------------------------

VisFlowPipeObject::CurveEnds VisFlowPipeObject::curveEnds(const GNP2::Packet& state)
{
    return {vec3(floatItem(state, item::flow_pipe::Start, 3)),
            vec3(floatItem(state, item::flow_pipe::End, 3)),
            vec3(floatItem(state, item::flow_pipe::EndDirection, 3))};
}

std::pair<osg::Vec3, osg::Vec3> VisFlowPipeObject::localEnds(const CurveEnds& ends) const
{
    // The rotation's transpose takes world axes into the pipe's own: component
    // i is row i of the rotation times the vector.
    const osg::Matrixd& rotation = getRotation();
    return {osg::Matrixd::transform3x3(rotation, ends.end - ends.start),
            osg::Matrixd::transform3x3(rotation, ends.direction)};
}

bool VisFlowPipeObject::build(const GNP2::Packet&)
{
    const GNP2::Packet& state = statePacket();
    // Every item is read before anything is built, so that a pipe whose
    // state is still incomplete is built once, whole, when it is complete.
    const int kind = intItem(state, item::flow_pipe::PipeKind)[0];
    double straightLength = 0.0, bendRadius = 0.0, bendAngle = 0.0;
    CurveEnds ends;
    bool exactCurve = true;
    if (kind == KIND_STRAIGHT) {
        straightLength = floatItem(state, item::flow_pipe::Length)[0];
    } else if (kind == KIND_CURVED) {
        bendRadius = floatItem(state, item::flow_pipe::BendRadius)[0];
        bendAngle = floatItem(state, item::flow_pipe::BendAngle)[0];
    } else if (kind == KIND_BEZIER) {
        ends = curveEnds(state);
        exactCurve = intItem(state, item::flow_pipe::ExactCurve)[0] != 0;
    }
    const float inlet = floatItem(state, item::flow_pipe::InletRadius)[0];
    const float outlet = floatItem(state, item::flow_pipe::OutletRadius)[0];
    const std::span<const int> rgb = intItem(state, item::flow_pipe::TubeColour, 3);
    const int opacity = intItem(state, item::flow_pipe::TubeOpacity)[0];
    const std::span<const float> start = floatItem(state, item::flow_pipe::Start, 3);
    const std::span<const float> orientation = floatItem(state, item::flow_pipe::Orientation, 6);
    const int upstream = intItem(state, item::flow_pipe::Upstream)[0];
    const int downstream = intItem(state, item::flow_pipe::Downstream)[0];

    std::optional<osg::Vec4> indicatorColour;
    if (state.hasItem(item::flow_pipe::IndicatorColour)) {
        const std::span<const int> indicator = intItem(state, item::flow_pipe::IndicatorColour, 3);
        indicatorColour = colour::fromBytes(indicator[0], indicator[1], indicator[2]);
    }

    // The rotation first: a Bézier pipe's ends are taken into its axes.
    _start.assign(start.begin(), start.end());
    _orientation.assign(orientation.begin(), orientation.end());
    setPosition(_start);
    setOrientation(_orientation);
    _kind = kind;
    _inletRadius = inlet;
    _outletRadius = outlet;
    _straightLength = straightLength;
    _bendRadius = bendRadius;
    _bendAngle = bendAngle;
    const osg::Vec4 colour =
        colour::fromBytes(rgb[0], rgb[1], rgb[2], static_cast<float>(opacity) * 0.5f);
    if (kind == KIND_STRAIGHT) {
        setTube(new StraightTube(float(straightLength), inlet, outlet, colour), straightLength);
    } else if (kind == KIND_CURVED) {
        setTube(new CurvedTube(float(bendRadius), float(bendAngle), inlet, outlet, colour),
                bendAngle * bendRadius);
    } else if (kind == KIND_BEZIER) {
        const auto [end, direction] = localEnds(ends);
        osg::ref_ptr<BezierTube> tube = new BezierTube(end, direction, inlet, outlet, colour);
        if (!exactCurve)
            tube->sampleCurve();
        setTube(tube, tube->length());
    }
    setName(std::to_string(GNP2::objectNumber(state.header())));
    _upstream = upstream;
    _downstream = downstream;
    if (indicatorColour)
        _indicatorColour = indicatorColour;
    return true;
}

void VisFlowPipeObject::setTube(osg::ref_ptr<Tube> tube, double length)
{
    if (_tube)
        getTransform()->removeChild(_tube.get());
    _tube = std::move(tube);
    getTransform()->addChild(_tube.get());
    TransparencyVisitor transparency;
    _tube->accept(transparency);
    _length = length;
}

void VisFlowPipeObject::rebuildTube()
{
    if (!_tube)
        return;
    const osg::Vec4 colour = _tube->color();
    const float inlet = float(_inletRadius), outlet = float(_outletRadius);
    if (_kind == KIND_STRAIGHT) {
        setTube(new StraightTube(float(_straightLength), inlet, outlet, colour), _straightLength);
    } else if (_kind == KIND_CURVED) {
        setTube(new CurvedTube(float(_bendRadius), float(_bendAngle), inlet, outlet, colour),
                _bendAngle * _bendRadius);
    } else if (auto* bezier = dynamic_cast<BezierTube*>(_tube.get())) {
        // The curve as it is, sampled or exact.
        osg::ref_ptr<BezierTube> tube = new BezierTube(bezier->curve(), inlet, outlet, colour);
        setTube(tube, tube->length());
    }
}

// --- updating ---------------------------------------------------------------

void VisFlowPipeObject::apply(const GNP2::Packet& arrived)
{
    if (!_last)
        _last = lastPipe();
    if (!_first)
        _first = firstPipe();

    // Read everything the packet brings before changing anything: a
    // malformed item drops the whole packet and leaves the pipe as it was.
    const auto number = [&](int item) -> std::optional<double> {
        if (!arrived.hasItem(item))
            return std::nullopt;
        return floatItem(arrived, item)[0];
    };
    const std::optional<double> density = number(item::flow_pipe::IndicatorDensity);
    const std::optional<double> direction = number(item::flow_pipe::FlowDirection);
    const std::optional<double> position = number(item::flow_pipe::FlowPosition);
    const std::optional<double> inlet = number(item::flow_pipe::InletRadius);
    const std::optional<double> outlet = number(item::flow_pipe::OutletRadius);
    const std::optional<double> size = number(item::flow_pipe::IndicatorSize);
    const std::optional<double> bendRadius = number(item::flow_pipe::BendRadius);
    const std::optional<double> bendAngle = number(item::flow_pipe::BendAngle);
    std::optional<int> downstream, upstream;
    if (arrived.hasItem(item::flow_pipe::Downstream))
        downstream = intItem(arrived, item::flow_pipe::Downstream)[0];
    if (arrived.hasItem(item::flow_pipe::Upstream))
        upstream = intItem(arrived, item::flow_pipe::Upstream)[0];
    if (arrived.hasItem(item::flow_pipe::PipeKind))
        intItem(arrived, item::flow_pipe::PipeKind); // kept in the state, not applied
    if (arrived.hasItem(item::flow_pipe::TubeColour))
        intItem(arrived, item::flow_pipe::TubeColour, 3); // likewise
    std::optional<osg::Vec4> indicatorColour;
    if (arrived.hasItem(item::flow_pipe::IndicatorColour)) {
        const std::span<const int> rgb = intItem(arrived, item::flow_pipe::IndicatorColour, 3);
        indicatorColour = colour::fromBytes(rgb[0], rgb[1], rgb[2]);
    }
    std::span<const float> start = _start, orientation = _orientation;
    if (arrived.hasItem(item::flow_pipe::Start))
        start = floatItem(arrived, item::flow_pipe::Start, 3);
    if (arrived.hasItem(item::flow_pipe::Orientation))
        orientation = floatItem(arrived, item::flow_pipe::Orientation, 6);
    // An exact Bézier pipe follows its start, end, end direction and
    // orientation; a sampled one keeps its shape.
    const GNP2::Packet& state = statePacket();
    std::optional<CurveEnds> movedEnds;
    if (_kind == KIND_BEZIER &&
        (arrived.hasItem(item::flow_pipe::Start) || arrived.hasItem(item::flow_pipe::End) ||
         arrived.hasItem(item::flow_pipe::EndDirection) ||
         arrived.hasItem(item::flow_pipe::Orientation)) &&
        intItem(state, item::flow_pipe::ExactCurve)[0] != 0)
        movedEnds = curveEnds(state);

    // Store.
    const auto take = [](double& field, const std::optional<double>& value) {
        if (!value)
            return false;
        const bool changed = *value != field;
        field = *value;
        return changed;
    };
    take(_direction, direction);
    take(_flowPosition, position);
    take(_indicatorSize, size);
    const bool densityChanged = take(_density, density);
    bool reshaped = take(_inletRadius, inlet);
    reshaped = take(_outletRadius, outlet) || reshaped;
    const bool bent = take(_bendRadius, bendRadius) | take(_bendAngle, bendAngle);
    reshaped = reshaped || (bent && _kind == KIND_CURVED);
    if (downstream)
        _downstream = *downstream;
    if (upstream)
        _upstream = *upstream;
    if (indicatorColour)
        _indicatorColour = indicatorColour;
    _start.assign(start.begin(), start.end());
    _orientation.assign(orientation.begin(), orientation.end());
    setPosition(_start);
    setOrientation(_orientation);

    std::optional<std::pair<osg::Vec3, osg::Vec3>> newCurve;
    if (movedEnds)
        newCurve = localEnds(*movedEnds);
    // A packet that repeats the start point and orientation (every replayed
    // state does) leaves the curve as it is.
    if (newCurve && Bezier::fromEnds(newCurve->first, newCurve->second).controlPoints() !=
                        static_cast<BezierTube*>(_tube.get())->curve().controlPoints()) {
        auto* bezier = static_cast<BezierTube*>(_tube.get());
        osg::ref_ptr<BezierTube> tube =
            new BezierTube(newCurve->first, newCurve->second, float(_inletRadius),
                           float(_outletRadius), bezier->color());
        const double length = tube->length();
        setTube(tube, _length);
        if (std::fabs(length - _length) > kLengthTolerance) {
            _length = length;
            requestIndicatorRebuild();
        }
    }
    // New radii or a new bend change the tube and every stretch after it.
    if (reshaped) {
        rebuildTube();
        requestIndicatorRebuild();
    }
    if (densityChanged && _indicatorsMade)
        _rebuildRequested = true;

    // Only a chain's first pipe goes on: it owns and places the indicators.
    if (!_indicatorsMade) {
        if (_upstream != NO_PIPE || !_last)
            return;
        _chainFlowLength = chainLength();
        makeIndicators();
        _rebuildRequested = false;
        _indicatorsMade = true;
    }
    if (_rebuildRequested) {
        removeIndicators();
        _chainFlowLength = chainLength();
        makeIndicators();
        _rebuildRequested = false;
    }
    placeIndicators();
}

void VisFlowPipeObject::requestIndicatorRebuild()
{
    if (VisFlowPipeObject* first = _first.get())
        first->_rebuildRequested = true;
}

// --- the chain --------------------------------------------------------------

VisFlowPipeObject* VisFlowPipeObject::findPipe(int number) const
{
    if (number == NO_PIPE || getNumParents() == 0)
        return nullptr;
    FindNodeVisitor finder(std::to_string(number));
    const_cast<osg::Group*>(getParent(0))->accept(finder);
    return dynamic_cast<VisFlowPipeObject*>(finder.getFound());
}

VisFlowPipeObject* VisFlowPipeObject::chainEnd(bool upstreamEnd)
{
    std::vector<const VisFlowPipeObject*> visited;
    VisFlowPipeObject* pipe = this;
    while (pipe) {
        if (std::find(visited.begin(), visited.end(), pipe) != visited.end())
            return nullptr; // the numbers run in a circle: the chain has no end
        visited.push_back(pipe);
        const int number = upstreamEnd ? pipe->_upstream : pipe->_downstream;
        if (number == NO_PIPE)
            return pipe;
        pipe = findPipe(number);
    }
    return nullptr;
}

VisFlowPipeObject* VisFlowPipeObject::firstPipe()
{
    return chainEnd(true);
}

VisFlowPipeObject* VisFlowPipeObject::lastPipe()
{
    return chainEnd(false);
}

void VisFlowPipeObject::linkNeighbours(VisFlowPipeObject& chainFirst, VisFlowPipeObject& chainLast)
{
    if (_next.valid() && _previous.valid())
        return;
    _previous = _upstream == NO_PIPE ? &chainLast : findPipe(_upstream);
    _next = _downstream == NO_PIPE ? &chainFirst : findPipe(_downstream);
}

double VisFlowPipeObject::chainLength()
{
    VisFlowPipeObject* last = _last.get();
    if (!last)
        return 0.0;
    double length = stretch();
    VisFlowPipeObject* pipe = this;
    pipe->linkNeighbours(*this, *last);
    for (std::size_t hops = 0; pipe != last && hops < kMaxChain; ++hops) {
        pipe = pipe->_next.get();
        if (!pipe)
            break;
        pipe->linkNeighbours(*this, *last);
        length += pipe->stretch();
    }
    return length;
}

std::vector<VisFlowPipeObject::ChainPipe> VisFlowPipeObject::chain() const
{
    std::vector<ChainPipe> pipes;
    osg::Matrixd fromOwner;
    if (!fromOwner.invert(getTransform()->getMatrix()))
        fromOwner.makeIdentity();
    const VisFlowPipeObject* last = _last.get();
    double begin = 0.0;
    const VisFlowPipeObject* pipe = this;
    while (pipe && pipes.size() < kMaxChain) {
        const double end = begin + pipe->stretch();
        pipes.push_back({pipe, begin, end, pipe->getTransform()->getMatrix() * fromOwner});
        if (pipe == last)
            break;
        begin = end;
        pipe = pipe->_next.get();
    }
    return pipes;
}

// --- indicators -------------------------------------------------------------

void VisFlowPipeObject::makeIndicators()
{
    const double step = _inletRadius / _density;
    // No density (or a negative one) makes no indicators.
    if (!(step > 0.0) || !std::isfinite(step))
        return;
    const osg::Vec4 colour = _indicatorColour.value_or(kWhite);
    for (std::size_t k = 0;; ++k) {
        const double m = double(k) * step;
        if (!(m < _chainFlowLength))
            break;
        if (k == MAX_INDICATORS) {
            if (!_tooManyReported)
                std::printf("VisFlowPipeObject %s: density %g makes more than %zu indicators "
                            "over the chain; only the first %zu are made\n",
                            getName().c_str(), _density, MAX_INDICATORS, MAX_INDICATORS);
            std::fflush(stdout);
            _tooManyReported = true;
            break;
        }
        osg::ref_ptr<FlowIndicator> indicator = new FlowIndicator(-m);
        indicator->setColour(colour);
        _indicators.push_back(indicator);
        getTransform()->addChild(indicator.get());
    }
}

void VisFlowPipeObject::removeIndicators()
{
    for (const osg::ref_ptr<FlowIndicator>& indicator : _indicators)
        getTransform()->removeChild(indicator.get());
    _indicators.clear();
}

void VisFlowPipeObject::placeIndicators()
{
    const std::vector<ChainPipe> pipes = chain();
    const double inletCoordinate = _flowPosition * _inletRadius;
    std::deque<osg::ref_ptr<FlowIndicator>> kept;
    for (osg::ref_ptr<FlowIndicator>& indicator : _indicators) {
        // The sign of the dividend: a negative coordinate stays negative and
        // belongs to no pipe.
        const double a = std::fmod(inletCoordinate - indicator->phase(), _chainFlowLength);
        const auto holder = std::find_if(pipes.begin(), pipes.end(), [a](const ChainPipe& p) {
            return p.begin <= a && a < p.end;
        });
        if (holder == pipes.end()) {
            getTransform()->removeChild(indicator.get());
            continue;
        }
        indicator->setMatrix(indicatorPose(*holder->pipe, a - holder->begin) * holder->toOwner);
        indicator->setColour(holder->pipe->_indicatorColour.value_or(kWhite));
        kept.push_back(std::move(indicator));
    }
    _indicators.swap(kept);
}

osg::Matrixd VisFlowPipeObject::indicatorPose(const VisFlowPipeObject& pipe, double x) const
{
    const double length = pipe._length;
    const double rIn = pipe._inletRadius, rOut = pipe._outletRadius;
    const double s = flow::arcPosition(x, length, rIn, rOut);
    const double q = length != 0.0 ? s / length : 0.0;
    const double h = pipe._indicatorSize * (rIn + (rOut - rIn) * q) * 0.9;
    if (q > 1.0) {
        std::printf("not so good\n");
        std::fflush(stdout);
    }
    const bool upstream = _direction < 0.0;
    const osg::Matrixd turn =
        osg::Matrixd::rotate(upstream ? -builder::kPi / 2 : builder::kPi / 2, 0.0, 1.0, 0.0);
    osg::Matrixd translation, path;
    osg::Matrixd facing = turn;
    if (pipe._kind == KIND_STRAIGHT) {
        translation.makeTranslate(s, 0.0, 0.0);
    } else if (pipe._kind == KIND_CURVED) {
        const double R = pipe._bendRadius;
        translation.makeTranslate(R * std::sin(s / R), R * (1.0 - std::cos(s / R)), 0.0);
        path.makeRotate(s / R, 0.0, 0.0, 1.0);
    } else if (pipe._kind == KIND_BEZIER) {
        const Bezier& curve = static_cast<const BezierTube&>(*pipe._tube).curve();
        translation.makeTranslate(curve.point(float(q)));
        osg::Vec3d tangent = curve.tangent(float(q));
        if (upstream)
            tangent = -tangent;
        // The cone's axis, +z, along the tangent; a curve that stops for an
        // instant keeps the cone as it is.
        if (tangent.length2() > 0.0 && std::isfinite(tangent.length2()))
            path.makeRotate(osg::Vec3d(0.0, 0.0, 1.0), tangent);
        facing.makeIdentity();
    }
    return osg::Matrixd::scale(h, h, h) * facing * path * translation;
}

void registerFlowPipeObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisFlowPipeObject,
                [](const ObjectContext& context) { return new VisFlowPipeObject(context); });
}

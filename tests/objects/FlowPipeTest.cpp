// Flow pipes without a window: the flow coordinate, chains found by number,
// the indicators the first pipe makes, places, turns and removes, Bézier
// pipes that follow or ignore later shape changes, and packet errors.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <osg/Group>
#include <osg/Material>
#include <osg/ShapeDrawable>

#include "tests/support/Packets.h"
#include "objects/FlowCoordinate.h"
#include "objects/builders/BuilderSupport.h"
#include "objects/VisFlowPipeObject.h"

using testsupport::Address;
using testsupport::Items;

namespace {

using FlowPipe = VisFlowPipeObject;

// A straight pipe's creating items; `more` adds or replaces items.
Items straightPipe(float length, float rIn, float rOut, int up, int down, Items more = {})
{
    Items items{.floats = {{item::flow_pipe::Length, {length}},
                           {item::flow_pipe::InletRadius, {rIn}},
                           {item::flow_pipe::OutletRadius, {rOut}},
                           {item::flow_pipe::Start, {0.f, 0.f, 0.f}},
                           {item::flow_pipe::Orientation, {1.f, 0.f, 0.f, 0.f, 1.f, 0.f}}},
                .ints = {{item::flow_pipe::PipeKind, {FlowPipe::KIND_STRAIGHT}},
                         {item::flow_pipe::TubeColour, {200, 200, 255}},
                         {item::flow_pipe::TubeOpacity, {1}},
                         {item::flow_pipe::Upstream, {up}},
                         {item::flow_pipe::Downstream, {down}}}};
    for (auto& [k, v] : more.floats)
        items.floats[k] = v;
    for (auto& [k, v] : more.ints)
        items.ints[k] = v;
    return items;
}

// A straight pipe with flow indicators, `density` of them per unit of length.
Items indicatedPipe(float length, float rIn, float rOut, int up, int down, float density)
{
    return straightPipe(length, rIn, rOut, up, down,
                        {.floats = {{item::flow_pipe::IndicatorDensity, {density}}}});
}

Items flowAt(float position, Items more = {})
{
    more.floats[item::flow_pipe::FlowPosition] = {position};
    return more;
}

// Pipes under one scene root, addressed by object number, as the object
// manager hangs them.
struct Circuit
{
    osg::ref_ptr<osg::Group> root = new osg::Group;

    osg::ref_ptr<FlowPipe> add(int number, const Items& items)
    {
        osg::ref_ptr<FlowPipe> pipe = new FlowPipe(ObjectContext{});
        root->addChild(pipe.get());
        testsupport::deliver(*pipe, items, true, at(number));
        return pipe;
    }
    static void send(FlowPipe& pipe, int number, const Items& items)
    {
        testsupport::deliver(pipe, items, false, at(number));
    }
    static Address at(int number) { return {number, TYPE_VisFlowPipeObject, 1}; }
};

// Where an indicator's cone sits in the world, and where its axis points.
osg::Vec3d centreOf(const FlowPipe& owner, const FlowIndicator& indicator)
{
    return osg::Vec3d() * indicator.getMatrix() * owner.getTransform()->getMatrix();
}

osg::Vec3d axisOf(const FlowPipe& owner, const FlowIndicator& indicator)
{
    osg::Vec3d axis = osg::Matrixd::transform3x3(
        osg::Vec3d(0.0, 0.0, 1.0), indicator.getMatrix() * owner.getTransform()->getMatrix());
    axis.normalize();
    return axis;
}

// The arc positions of a straight pipe's indicators (along its x axis), in order.
std::vector<double> arcPositions(const FlowPipe& pipe)
{
    std::vector<double> positions;
    for (const auto& indicator : pipe.indicators())
        positions.push_back(indicator->getMatrix().getTrans().x());
    return positions;
}

void expectNear(const osg::Vec3d& actual, const osg::Vec3d& expected, double tolerance = 1e-5)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.z(), expected.z(), tolerance);
}

osg::Vec4 diffuseOf(const FlowIndicator& indicator)
{
    const osg::Drawable* cone = indicator.geode()->getDrawable(0);
    const auto* material = dynamic_cast<const osg::Material*>(
        cone->getStateSet()->getAttribute(osg::StateAttribute::MATERIAL));
    return material ? material->getDiffuse(osg::Material::FRONT) : osg::Vec4();
}

} // namespace

// --- the flow coordinate ------------------------------------------------------

struct CoordinateCase
{
    const char* name;
    double length, rIn, rOut;
};

class FlowCoordinate : public testing::TestWithParam<CoordinateCase>
{
};

TEST_P(FlowCoordinate, RunsFromInletToOutletAndSpeedsUpWhereThePipeNarrows)
{
    const CoordinateCase c = GetParam();
    const double end = flow::stretch(c.length, c.rOut);
    EXPECT_DOUBLE_EQ(flow::arcPosition(0.0, c.length, c.rIn, c.rOut), 0.0);
    EXPECT_NEAR(flow::arcPosition(end, c.length, c.rIn, c.rOut), c.length, 1e-12);
    // Arc length per unit of flow coordinate: 1/r_in at the inlet, then
    // growing, steady or shrinking as the pipe narrows, keeps or widens.
    const double dx = end / 1000.0;
    const double inletSpeed = flow::arcPosition(dx, c.length, c.rIn, c.rOut) / dx;
    EXPECT_NEAR(inletSpeed, 1.0 / c.rIn, 0.01 / c.rIn);
    double previous = inletSpeed;
    for (int i = 1; i < 1000; ++i) {
        const double x = i * dx;
        const double speed = (flow::arcPosition(x + dx, c.length, c.rIn, c.rOut) -
                              flow::arcPosition(x, c.length, c.rIn, c.rOut)) /
                             dx;
        if (c.rOut < c.rIn)
            ASSERT_GT(speed, previous) << "at x = " << x;
        else if (c.rOut > c.rIn)
            ASSERT_LT(speed, previous) << "at x = " << x;
        else
            ASSERT_NEAR(speed, 1.0 / c.rIn, 1e-9) << "at x = " << x;
        previous = speed;
    }
}

INSTANTIATE_TEST_SUITE_P(Pipes, FlowCoordinate,
                         testing::Values(CoordinateCase{"even", 3.0, 0.5, 0.5},
                                         CoordinateCase{"narrowing", 2.0, 0.4, 0.1},
                                         CoordinateCase{"widening", 5.0, 0.1, 0.3}),
                         [](const auto& row) { return std::string(row.param.name); });

// --- one pipe -----------------------------------------------------------------

TEST(FlowPipe, IsNamedByItsNumberAndPlacedByItsStartPoint)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(42, straightPipe(4.f, 0.5f, 0.25f, -1, -1));
    ASSERT_TRUE(pipe->isInitialized());
    EXPECT_EQ(pipe->getName(), "42");
    EXPECT_DOUBLE_EQ(pipe->stretch(), 1.0);
    EXPECT_NEAR(pipe->tube()->color().a(), 0.5f, 1e-6f) << "alpha is opacity x 0.5";
    EXPECT_EQ(pipe->tube()->getNumDrawables(), 2u) << "back faces and a front-face copy";
    // Item 1 is no position of a pipe; item 14 is.
    Circuit::send(*pipe, 42, {.floats = {{item::placement::Position, {9.f, 9.f, 9.f}}}});
    EXPECT_EQ(pipe->getTransform()->getMatrix().getTrans(), osg::Vec3d(0.0, 0.0, 0.0));
    Circuit::send(*pipe, 42, {.floats = {{item::flow_pipe::Start, {0.f, 0.f, 5.f}}}});
    EXPECT_EQ(pipe->getTransform()->getMatrix().getTrans(), osg::Vec3d(0.0, 0.0, 5.0));
}

TEST(FlowPipe, AChainOfOneLoopsItsIndicatorsThroughThePipe)
{
    Circuit circuit;
    // L = 4, r = 0.5: S = 2; density 1 gives a step of 0.5, four indicators
    // one unit of length apart.
    osg::ref_ptr<FlowPipe> pipe =
        circuit.add(1, straightPipe(4.f, 0.5f, 0.5f, -1, -1,
                                    {.floats = {{item::flow_pipe::IndicatorDensity, {1.f}},
                                                {item::flow_pipe::IndicatorSize, {1.f}}}}));
    ASSERT_TRUE(pipe->indicatorsMade());
    EXPECT_DOUBLE_EQ(pipe->chainFlowLength(), 2.0);
    ASSERT_EQ(pipe->indicators().size(), 4u);
    EXPECT_EQ(pipe->getTransform()->getNumChildren(), 5u) << "the tube and four cones";
    const auto expectAt = [&](std::vector<double> expected) {
        const std::vector<double> actual = arcPositions(*pipe);
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < actual.size(); ++i)
            EXPECT_NEAR(actual[i], expected[i], 1e-6) << "indicator " << i;
    };
    expectAt({0.0, 1.0, 2.0, 3.0});
    Circuit::send(*pipe, 1, flowAt(0.25f));
    expectAt({0.25, 1.25, 2.25, 3.25});
    // Past the outlet each indicator starts again at the inlet, every S.
    Circuit::send(*pipe, 1, flowAt(1.5f));
    expectAt({1.5, 2.5, 3.5, 0.5});
    Circuit::send(*pipe, 1, flowAt(4.0f + 0.75f));
    expectAt({0.75, 1.75, 2.75, 3.75});
    Circuit::send(*pipe, 1, flowAt(400.0f + 0.5f));
    expectAt({0.5, 1.5, 2.5, 3.5});
    EXPECT_EQ(pipe->indicators().size(), 4u);
    // Cones sized with the radius: item 24 x r x 0.9.
    EXPECT_NEAR(pipe->indicators()[0]->getMatrix().getScale().x(), 0.45, 1e-9);
}

TEST(FlowPipe, ANegativeFlowPositionRemovesIndicatorsForGood)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, indicatedPipe(4.f, 0.5f, 0.5f, -1, -1, 1.f));
    ASSERT_EQ(pipe->indicators().size(), 4u);
    // Coordinates −0.6, −0.1, 0.4 and 0.9: the first two have left the chain.
    Circuit::send(*pipe, 1, flowAt(-1.2f));
    EXPECT_EQ(pipe->indicators().size(), 2u);
    EXPECT_EQ(pipe->getTransform()->getNumChildren(), 3u);
    const std::vector<double> left = arcPositions(*pipe);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NEAR(left[0], 0.8, 1e-6);
    EXPECT_NEAR(left[1], 1.8, 1e-6);
    // Flowing forward again does not bring them back.
    Circuit::send(*pipe, 1, flowAt(0.f));
    EXPECT_EQ(pipe->indicators().size(), 2u);
    Circuit::send(*pipe, 1, flowAt(-100.f));
    EXPECT_TRUE(pipe->indicators().empty());
    EXPECT_EQ(pipe->getTransform()->getNumChildren(), 1u);
}

TEST(FlowPipe, ANegativeFlowDirectionTurnsEveryConeWithoutMovingIt)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> first = circuit.add(1, indicatedPipe(2.f, 0.5f, 0.5f, -1, 2, 2.f));
    Items bend = straightPipe(0.f, 0.5f, 0.5f, 1, -1,
                              {.floats = {{item::flow_pipe::BendRadius, {1.f}},
                                          {item::flow_pipe::BendAngle, {float(builder::kPi / 2)}},
                                          {item::flow_pipe::Start, {2.f, 0.f, 0.f}}},
                               .ints = {{item::flow_pipe::PipeKind, {FlowPipe::KIND_CURVED}}}});
    circuit.add(2, bend);
    Circuit::send(*first, 1, flowAt(0.3f));
    ASSERT_GT(first->indicators().size(), 4u);
    std::vector<osg::Vec3d> centres, axes;
    for (const auto& indicator : first->indicators()) {
        centres.push_back(centreOf(*first, *indicator));
        axes.push_back(axisOf(*first, *indicator));
    }
    Circuit::send(*first, 1, flowAt(0.3f, {.floats = {{item::flow_pipe::FlowDirection, {-1.f}}}}));
    ASSERT_EQ(first->indicators().size(), centres.size());
    for (std::size_t i = 0; i < centres.size(); ++i) {
        SCOPED_TRACE(i);
        expectNear(centreOf(*first, *first->indicators()[i]), centres[i]);
        expectNear(axisOf(*first, *first->indicators()[i]), -axes[i]);
    }
    // Downstream along the straight pipe is +x.
    expectNear(axes.front(), osg::Vec3d(1.0, 0.0, 0.0));
}

TEST(FlowPipe, ANarrowingPipeMovesItsIndicatorsFasterAndMakesThemSmaller)
{
    Circuit circuit;
    // r_in = 0.4 to r_out = 0.1 over L = 2: S = 0.2, one indicator.
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, indicatedPipe(2.f, 0.4f, 0.1f, -1, -1, 0.1f));
    ASSERT_EQ(pipe->indicators().size(), 1u);
    const FlowIndicator& cone = *pipe->indicators()[0];
    double previousArc = 0.0, previousStep = 0.0, previousScale = 0.4 * 0.9;
    for (int step = 1; step <= 4; ++step) {
        Circuit::send(*pipe, 1, flowAt(0.1f * float(step)));
        const double arc = cone.getMatrix().getTrans().x();
        const double scale = cone.getMatrix().getScale().x();
        EXPECT_GT(arc - previousArc, previousStep) << "step " << step;
        EXPECT_LT(scale, previousScale) << "step " << step;
        previousStep = arc - previousArc;
        previousArc = arc;
        previousScale = scale;
    }
}

TEST(FlowPipe, ADensityOfZeroMakesNoIndicatorsUntilOneArrives)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, straightPipe(4.f, 0.5f, 0.5f, -1, -1));
    EXPECT_TRUE(pipe->indicatorsMade());
    EXPECT_TRUE(pipe->indicators().empty());
    Circuit::send(*pipe, 1, {.floats = {{item::flow_pipe::IndicatorDensity, {-3.f}}}});
    EXPECT_TRUE(pipe->indicators().empty());
    Circuit::send(*pipe, 1, {.floats = {{item::flow_pipe::IndicatorDensity, {2.f}}}});
    EXPECT_EQ(pipe->indicators().size(), 8u);
}

TEST(FlowPipe, NotSoGoodMarksAPoseBeyondTheEndOfThePipe)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, straightPipe(4.f, 0.5f, 0.5f, -1, -1));
    testing::internal::CaptureStdout();
    const osg::Matrixd inside = pipe->indicatorPose(*pipe, 1.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NEAR(inside.getTrans().x(), 2.0, 1e-9);
    testing::internal::CaptureStdout();
    const osg::Matrixd beyond = pipe->indicatorPose(*pipe, 3.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "not so good\n");
    EXPECT_NEAR(beyond.getTrans().x(), 6.0, 1e-9) << "the pose is still computed";
}

// --- chains -------------------------------------------------------------------

TEST(FlowPipeChain, IndicatorsTravelThroughEveryPipeInTurnInThatPipesPlaceAndColour)
{
    Circuit circuit;
    // 1: straight along x from the origin; 2: a quarter bend from (2, 0, 0);
    // 3: straight up +y from (3, 1, 0), turned a quarter about z.
    const Items bend =
        straightPipe(0.f, 0.5f, 0.5f, 1, 3,
                     {.floats = {{item::flow_pipe::BendRadius, {1.f}},
                                 {item::flow_pipe::BendAngle, {float(builder::kPi / 2)}},
                                 {item::flow_pipe::Start, {2.f, 0.f, 0.f}}},
                      .ints = {{item::flow_pipe::PipeKind, {FlowPipe::KIND_CURVED}},
                               {item::flow_pipe::IndicatorColour, {0, 255, 0}}}});
    const Items rise =
        straightPipe(2.f, 0.5f, 0.5f, 2, -1,
                     {.floats = {{item::flow_pipe::Start, {3.f, 1.f, 0.f}},
                                 {item::flow_pipe::Orientation, {0.f, -1.f, 0.f, 1.f, 0.f, 0.f}}},
                      .ints = {{item::flow_pipe::IndicatorColour, {0, 0, 255}}}});
    // The last pipe arrives after the first: no indicators until it is there.
    osg::ref_ptr<FlowPipe> first =
        circuit.add(1, straightPipe(2.f, 0.5f, 0.5f, -1, 2,
                                    {.floats = {{item::flow_pipe::IndicatorDensity, {1.f}}},
                                     .ints = {{item::flow_pipe::IndicatorColour, {255, 0, 0}}}}));
    osg::ref_ptr<FlowPipe> second = circuit.add(2, bend);
    EXPECT_FALSE(first->indicatorsMade());
    osg::ref_ptr<FlowPipe> third = circuit.add(3, rise);
    Circuit::send(*first, 1, flowAt(0.f));
    ASSERT_TRUE(first->indicatorsMade());
    EXPECT_TRUE(second->indicators().empty());
    EXPECT_TRUE(third->indicators().empty());

    // The links form a ring.
    EXPECT_EQ(first->next(), second.get());
    EXPECT_EQ(second->next(), third.get());
    EXPECT_EQ(third->next(), first.get());
    EXPECT_EQ(first->previous(), third.get());
    EXPECT_EQ(third->previous(), second.get());
    const double S = 1.0 + builder::kPi / 4 + 1.0;
    EXPECT_NEAR(first->chainFlowLength(), S, 1e-6);
    // Step 0.5 over S: indicators at 0, 0.5, … 2.5.
    ASSERT_EQ(first->indicators().size(), 6u);

    const auto indicatorAt = [&](double coordinate) -> const FlowIndicator& {
        // Indicator 0 sits at flow position x r_in.
        Circuit::send(*first, 1, flowAt(float(coordinate / 0.5)));
        return *first->indicators()[0];
    };
    {
        SCOPED_TRACE("first pipe");
        const FlowIndicator& cone = indicatorAt(0.5);
        expectNear(centreOf(*first, cone), osg::Vec3d(1.0, 0.0, 0.0));
        expectNear(axisOf(*first, cone), osg::Vec3d(1.0, 0.0, 0.0));
        EXPECT_NEAR(diffuseOf(cone).r(), 1.f, 1e-6f);
        EXPECT_EQ(diffuseOf(cone).g(), 0.f);
    }
    {
        SCOPED_TRACE("half way round the bend");
        const FlowIndicator& cone = indicatorAt(1.0 + builder::kPi / 8);
        const double c = std::sqrt(0.5);
        expectNear(centreOf(*first, cone), osg::Vec3d(2.0 + c, 1.0 - c, 0.0));
        expectNear(axisOf(*first, cone), osg::Vec3d(c, c, 0.0));
        EXPECT_NEAR(diffuseOf(cone).g(), 1.f, 1e-6f);
    }
    {
        SCOPED_TRACE("third pipe, turned");
        const FlowIndicator& cone = indicatorAt(1.0 + builder::kPi / 4 + 0.25);
        expectNear(centreOf(*first, cone), osg::Vec3d(3.0, 1.5, 0.0));
        expectNear(axisOf(*first, cone), osg::Vec3d(0.0, 1.0, 0.0));
        EXPECT_NEAR(diffuseOf(cone).b(), 1.f, 1e-6f);
    }
    // The chain moved as a whole keeps every cone inside its pipe.
    for (auto [pipe, number] : {std::pair{first, 1}, {second, 2}, {third, 3}}) {
        const osg::Vec3d start = pipe->getTransform()->getMatrix().getTrans();
        Circuit::send(
            *pipe, number,
            {.floats = {{item::flow_pipe::Start,
                         {float(start.x()), float(start.y()), float(start.z() + 10.0)}}}});
    }
    const FlowIndicator& moved = indicatorAt(1.0 + builder::kPi / 4 + 0.25);
    expectNear(centreOf(*first, moved), osg::Vec3d(3.0, 1.5, 10.0));
}

TEST(FlowPipeChain, NumbersThatNameNoPipeOrRunInACircleMakeNoIndicators)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> dangling = circuit.add(1, indicatedPipe(2.f, 0.5f, 0.5f, -1, 9, 1.f));
    Circuit::send(*dangling, 1, flowAt(1.f));
    EXPECT_EQ(dangling->knownLast(), nullptr);
    EXPECT_FALSE(dangling->indicatorsMade());

    // 5 and 6 name each other upstream and downstream: no end either way.
    osg::ref_ptr<FlowPipe> a = circuit.add(5, straightPipe(2.f, 0.5f, 0.5f, 6, 6));
    osg::ref_ptr<FlowPipe> b = circuit.add(6, straightPipe(2.f, 0.5f, 0.5f, 5, 5));
    Circuit::send(*a, 5, flowAt(1.f));
    EXPECT_EQ(a->firstPipe(), nullptr);
    EXPECT_EQ(b->lastPipe(), nullptr);
    EXPECT_TRUE(a->indicators().empty());
}

TEST(FlowPipeChain, AWiderPipeDownstreamRemakesTheIndicatorsForTheNewLength)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> first = circuit.add(1, indicatedPipe(2.f, 0.5f, 0.5f, -1, 2, 1.f));
    osg::ref_ptr<FlowPipe> second = circuit.add(2, straightPipe(2.f, 0.5f, 0.5f, 1, -1));
    Circuit::send(*first, 1, flowAt(0.f));
    EXPECT_NEAR(first->chainFlowLength(), 2.0, 1e-9);
    ASSERT_EQ(first->indicators().size(), 4u);
    Circuit::send(*second, 2, {.floats = {{item::flow_pipe::OutletRadius, {1.5f}}}});
    EXPECT_NEAR(second->tube()->outletRadius(), 1.5f, 1e-6f) << "the tube is rebuilt";
    Circuit::send(*first, 1, flowAt(0.f));
    EXPECT_NEAR(first->chainFlowLength(), 4.0, 1e-9);
    EXPECT_EQ(first->indicators().size(), 8u);
}

// --- Bézier pipes -------------------------------------------------------------

namespace {

Items bezierPipe(int exact, osg::Vec3 end)
{
    return straightPipe(0.f, 0.2f, 0.2f, -1, -1,
                        {.floats = {{item::flow_pipe::End, {end.x(), end.y(), end.z()}},
                                    {item::flow_pipe::EndDirection, {0.f, 1.f, 0.f}},
                                    {item::flow_pipe::IndicatorDensity, {2.f}}},
                         .ints = {{item::flow_pipe::PipeKind, {FlowPipe::KIND_BEZIER}},
                                  {item::flow_pipe::ExactCurve, {exact}}}});
}

} // namespace

TEST(FlowPipeBezier, EndsAreTakenIntoThePipesOwnAxes)
{
    Circuit circuit;
    // Turned a quarter about z: world +y is the pipe's +x.
    Items turned = bezierPipe(1, {1.f, 3.f, 0.f});
    turned.floats[item::flow_pipe::Start] = {1.f, 1.f, 0.f};
    turned.floats[item::flow_pipe::Orientation] = {0.f, -1.f, 0.f, 1.f, 0.f, 0.f};
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, turned);
    const auto* tube = dynamic_cast<BezierTube*>(pipe->tube());
    ASSERT_NE(tube, nullptr);
    const std::vector<osg::Vec3>& p = tube->curve().controlPoints();
    ASSERT_EQ(p.size(), 4u);
    expectNear(p[3], osg::Vec3d(2.0, 0.0, 0.0));
    expectNear(p[2], osg::Vec3d(1.0, 0.0, 0.0)); // E − T·|E|/2 with T = (1, 0, 0)
    EXPECT_NEAR(pipe->length(), 2.0, 1e-5);
    // The cone at the end of the curve points along the world's +y.
    Circuit::send(*pipe, 1, flowAt(0.999f * 2.f));
    expectNear(axisOf(*pipe, *pipe->indicators()[0]), osg::Vec3d(0.0, 1.0, 0.0), 1e-3);
}

TEST(FlowPipeBezier, ASampledCurveIgnoresLaterShapeChangesButMoves)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, bezierPipe(0, {2.f, 2.f, 0.f}));
    const osg::ref_ptr<Tube> tube = pipe->tube();
    ASSERT_TRUE(static_cast<BezierTube*>(tube.get())->curve().isSampled());
    const std::vector<osg::Vec3> before = tube->vertices().asVector();
    const double length = pipe->length();
    Circuit::send(*pipe, 1,
                  {.floats = {{item::flow_pipe::End, {5.f, -3.f, 1.f}},
                              {item::flow_pipe::EndDirection, {0.f, 0.f, 1.f}},
                              {item::flow_pipe::Start, {0.f, 0.f, 4.f}}}});
    EXPECT_EQ(pipe->tube(), tube.get());
    EXPECT_EQ(pipe->tube()->vertices().asVector(), before);
    EXPECT_EQ(pipe->length(), length);
    EXPECT_EQ(pipe->getTransform()->getMatrix().getTrans(), osg::Vec3d(0.0, 0.0, 4.0));
}

TEST(FlowPipeBezier, AnExactCurveFollowsItsEndAndRemakesTheIndicators)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, bezierPipe(1, {2.f, 0.f, 0.f}));
    ASSERT_FALSE(static_cast<BezierTube*>(pipe->tube())->curve().isSampled());
    const std::size_t before = pipe->indicators().size();
    Circuit::send(*pipe, 1, {.floats = {{item::flow_pipe::End, {4.f, 0.f, 0.f}}}});
    const auto* tube = static_cast<BezierTube*>(pipe->tube());
    expectNear(tube->curve().controlPoints()[3], osg::Vec3d(4.0, 0.0, 0.0));
    EXPECT_GT(pipe->length(), 3.9);
    EXPECT_GT(pipe->indicators().size(), before) << "a longer chain holds more indicators";
    EXPECT_NEAR(pipe->chainFlowLength(), pipe->stretch(), 1e-9);
    // The same start point again (as every replayed state brings it) keeps the tube.
    Circuit::send(*pipe, 1, {.floats = {{item::flow_pipe::Start, {0.f, 0.f, 0.f}}}});
    EXPECT_EQ(pipe->tube(), tube);
    // An item 81 that is no integer leaves the pipe unable to decide: the
    // update fails and is reported, the pipe stays.
    testing::internal::CaptureStdout();
    Circuit::send(*pipe, 1,
                  {.floats = {{item::flow_pipe::End, {1.f, 0.f, 0.f}},
                              {item::flow_pipe::ExactCurve, {1.f}}}});
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("updating", "VisFlowPipeObj")),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("ErrorNr: 81"), std::string::npos) << output;
    EXPECT_EQ(pipe->tube(), tube);
}

// --- packet errors ------------------------------------------------------------

TEST(FlowPipeErrors, AMissingItemIsReportedAndThePipeBuiltOnceItArrives)
{
    Circuit circuit;
    Items incomplete = straightPipe(2.f, 0.5f, 0.5f, -1, -1);
    incomplete.ints.erase(item::flow_pipe::Downstream);
    testing::internal::CaptureStdout();
    osg::ref_ptr<FlowPipe> pipe = circuit.add(4, incomplete);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("initializing", "VisFlowPipeObj") +
                          " Will try to reinitialize later.\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("ErrorNr: 83"), std::string::npos) << output;
    EXPECT_FALSE(pipe->isInitialized());
    EXPECT_EQ(pipe->getTransform()->getNumChildren(), 0u) << "nothing half built";
    EXPECT_EQ(pipe->getName(), "") << "not found by others yet";

    testing::internal::CaptureStdout();
    Circuit::send(*pipe, 4, {.ints = {{item::flow_pipe::Downstream, {-1}}}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(pipe->isInitialized());
    EXPECT_EQ(pipe->getTransform()->getNumChildren(), 1u) << "one tube";
    EXPECT_EQ(pipe->getName(), "4");
}

TEST(FlowPipeErrors, AWronglyTypedItemDropsThePacketWithoutChangingThePipe)
{
    Circuit circuit;
    osg::ref_ptr<FlowPipe> pipe = circuit.add(1, indicatedPipe(4.f, 0.5f, 0.5f, -1, -1, 1.f));
    Circuit::send(*pipe, 1, flowAt(0.5f));
    const std::vector<double> before = arcPositions(*pipe);
    testing::internal::CaptureStdout();
    Circuit::send(*pipe, 1,
                  {.floats = {{item::flow_pipe::Start, {7.f, 7.f, 7.f}}},
                   .ints = {{item::flow_pipe::FlowPosition, {3}}}});
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("updating", "VisFlowPipeObj")),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("ErrorNr: 84"), std::string::npos) << output;
    EXPECT_EQ(arcPositions(*pipe), before);
    EXPECT_EQ(pipe->getTransform()->getMatrix().getTrans(), osg::Vec3d(0.0, 0.0, 0.0));
}

// The reference problems of the constrained least-squares solver, one
// table per family: unconstrained (with options), equality constrained,
// inequality constrained and contradictory, and usage errors.

#include "LseiTestSupport.h"

#include "flex/solver/Lsei.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

using flextest::kUnset;
using flextest::Problem;
using flextest::Rows;

const double kRoot = std::sqrt(std::numeric_limits<double>::epsilon());

struct Case
{
    std::string name;
    Problem problem;
    std::vector<double> options{1.0};
    int mode = 0;
    std::vector<double> x{};
    double rnorme = 0.0;
    double rnorml = kUnset;
    std::array<int, 3> ip{-1, -1, -1}; // -1: not checked
    std::vector<double> covariance{};  // N x N, row by row
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

void checkCase(const Case& c)
{
    const flextest::Solution s = flextest::solve(c.problem, c.options);
    EXPECT_EQ(s.output, "");
    ASSERT_EQ(s.mode, c.mode);
    for (int i = 0; i < 3; ++i) {
        if (c.ip[i] >= 0) {
            EXPECT_EQ(s.ip[i], c.ip[i]) << "IP(" << i + 1 << ")";
        }
    }
    if (c.mode >= 2)
        return; // X and the norms are undefined
    flextest::expectNear(s.x, c.x, 1e-13, "x");
    EXPECT_NEAR(s.rnorme, c.rnorme, 1e-12 * std::max(1.0, c.rnorme));
    if (!std::isnan(c.rnorml)) {
        EXPECT_NEAR(s.rnorml, c.rnorml, 1e-12 * std::max(1.0, c.rnorml));
    }
    const int n = c.problem.n;
    if (!c.covariance.empty()) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                EXPECT_NEAR(s.w[i + static_cast<size_t>(j) * s.mdw], c.covariance[i * n + j], 1e-12)
                    << "covariance (" << i + 1 << "," << j + 1 << ")";
        }
    }
}

// The bordered interpolation systems of the flexible bodies on five
// coplanar points (rank 8 of 9).
Rows bordered(std::vector<std::array<double, 3>> points)
{
    return flextest::borderedSystem(points, {0.1, 0.2, 0.3, 0.4, 0.5});
}

const Rows kU4 = {{1, 0, 1, 1}, {0, 1, 1, 2}, {1, 1, 2, 3}, {1, -1, 0, 4}};
const Rows kU2 = {{1, 2, 3, 1}, {4, 5, 6, 2}, {7, 8, 9, 3}};
const Rows kV1 = {{1, 1, 6}, {1, 2, 5}, {1, 3, 7}, {1, 4, 10}};
const Rows kIdentity3 = {{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}};

// --- Unconstrained: ME = MG = 0 -------------------------------------------

class Unconstrained : public testing::TestWithParam<Case>
{
};

TEST_P(Unconstrained, MatchesReference)
{
    checkCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Lsei, Unconstrained,
    testing::Values(
        Case{.name = "U1_Nonsingular",
             .problem = {{}, {{4, -2, 1, 3}, {-2, 4, -2, 0}, {1, -2, 4, 9}}, {}, 3},
             .x = {1, 2, 3},
             .rnorml = 0.0,
             .ip = {0, 3, 29}},
        Case{.name = "U2_SingularConsistent",
             .problem = {{}, kU2, {}, 3},
             .x = {-1.0 / 18, 1.0 / 9, 5.0 / 18},
             .rnorml = 0.0,
             .ip = {0, 2, 29}},
        Case{.name = "U3_SingularInconsistent",
             .problem = {{}, {{1, 2, 3, 1}, {4, 5, 6, 0}, {7, 8, 9, 0}}, {}, 3},
             .x = {-23.0 / 36, -1.0 / 18, 19.0 / 36},
             .rnorml = 1.0 / std::sqrt(6.0),
             .ip = {0, 2, -1}},
        Case{.name = "U4_TallRankDeficient",
             .problem = {{}, kU4, {}, 3},
             .x = {5.0 / 3, -2.0 / 3, 1},
             .rnorml = 5.0 / std::sqrt(3.0),
             .ip = {0, 2, 30}},
        Case{.name = "U5_TruncatedBelowTolerance",
             .problem = {{}, {{1, 0, 1}, {0, 1e-9, 1}}, {}, 2},
             .x = {1, 0},
             .rnorml = 1.0,
             .ip = {0, 1, -1}},
        Case{.name = "U5_KeptAboveTolerance",
             .problem = {{}, {{1, 0, 1}, {0, 1e-7, 1}}, {}, 2},
             .x = {1, 1e7},
             .rnorml = 0.0,
             .ip = {0, 2, -1}},
        Case{.name = "U5_Key5LowersTolerance",
             .problem = {{}, {{1, 0, 1}, {0, 1e-9, 1}}, {}, 2},
             .options = {4, 5, 1e-12, 1},
             .x = {1, 1e9},
             .ip = {0, 2, -1}},
        Case{.name = "U5_Key4DoesNotReachLeastSquares",
             .problem = {{}, {{1, 0, 1}, {0, 1e-9, 1}}, {}, 2},
             .options = {4, 4, 1e-12, 1},
             .x = {1, 0},
             .ip = {0, 1, -1}},
        Case{.name = "U6_Underdetermined",
             .problem = {{}, {{1, 1, 2}}, {}, 2},
             .x = {1, 1},
             .rnorml = 0.0,
             .ip = {0, 1, -1}},
        Case{.name = "U7_BorderedCoplanarSquare",
             .problem = {{},
                         bordered(
                             {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}, {{1, 1, 0}}, {{2, 0.5, 0}}}),
                         {},
                         9},
             .x = {-0.0186744330607047, 0.0373488661214093, -0.0186744330607046, 0.0373488661214092,
                   -0.0373488661214092, 0.105502953938953, 0.1439895512694243, 0.2, 0},
             .rnorml = 0.0,
             .ip = {0, 8, -1}},
        Case{.name = "U8_BorderedCoplanarTilted",
             .problem =
                 {{},
                  bordered(
                      {{{1, 0, 0}}, {{0, 1, 0}}, {{0, 0, 1}}, {{0.5, 0.5, 0}}, {{0.2, 0.3, 0.5}}}),
                  {},
                  9},
             .x = {0.1898005713530418, 0.2218575341520378, 0.1602848139949789, -0.2513732915101009,
                   -0.3205696279899573, 0.1109360902893412, -0.0562714818481718, 0.0548355983403494,
                   0.1123719737971638},
             .ip = {0, 8, -1}},
        Case{.name = "V1_Covariance",
             .problem = {{}, kV1, {}, 2},
             .options = {4, 1, 1, 1},
             .x = {3.5, 1.4},
             .rnorml = std::sqrt(4.2),
             .covariance = {3.15, -1.05, -1.05, 0.42}},
        Case{.name = "V1_CovarianceUnscaled",
             .problem = {{}, kV1, {}, 2},
             .options = {4, 1, 1, 7, 10, 1, 1},
             .x = {3.5, 1.4},
             .covariance = {1.5, -0.5, -0.5, 0.2}},
        Case{.name = "V2_ColumnNormScaling",
             .problem = {{}, kU4, {}, 3},
             .options = {4, 2, 1, 1},
             .x = {23.0 / 12, -5.0 / 12, 3.0 / 4}},
        Case{.name = "V2_UserScaling",
             .problem = {{}, kU4, {}, 3},
             .options = {6, 3, 1, 2, 3, 1},
             .x = {95.0 / 147, -248.0 / 147, 297.0 / 147}},
        Case{.name = "V2_LaterGroupOverrides",
             .problem = {{}, kU4, {}, 3},
             .options = {4, 2, 1, 9, 3, 1, 2, 3, 1},
             .x = {95.0 / 147, -248.0 / 147, 297.0 / 147}},
        Case{.name = "ZeroColumnUnderNormScaling",
             .problem = {{}, {{1, 0, 2}, {1, 0, 4}}, {}, 2},
             .options = {4, 2, 1, 1},
             .x = {3, 0},
             .rnorml = std::sqrt(2.0)}),
    caseName);

// --- Equality constraints ---------------------------------------------------

class Equality : public testing::TestWithParam<Case>
{
};

TEST_P(Equality, MatchesReference)
{
    checkCase(GetParam());
}

const double k25over3 = 25.0 / 3.0;

INSTANTIATE_TEST_SUITE_P(
    Lsei, Equality,
    testing::Values(Case{.name = "E1_OneEquality",
                         .problem = {{{1, 1, 1, 1}}, kIdentity3, {}, 3},
                         .x = {-2.0 / 3, 1.0 / 3, 4.0 / 3},
                         .rnorml = 5.0 / std::sqrt(3.0),
                         .ip = {1, 2, -1}},
                    Case{.name = "E1_Covariance",
                         .problem = {{{1, 1, 1, 1}}, kIdentity3, {}, 3},
                         .options = {4, 1, 1, 1},
                         .x = {-2.0 / 3, 1.0 / 3, 4.0 / 3},
                         .covariance = {k25over3 * 2 / 3, -k25over3 / 3, -k25over3 / 3,
                                        -k25over3 / 3, k25over3 * 2 / 3, -k25over3 / 3,
                                        -k25over3 / 3, -k25over3 / 3, k25over3 * 2 / 3}},
                    // Every unknown fixed by E: the least-squares residual is reported
                    // as 0 although ||b - A x|| is 2.
                    Case{.name = "E2_EqualitiesFixEverything",
                         .problem = {{{1, 0, 1}, {0, 1, 2}}, {{1, 1, 5}}, {}, 2},
                         .x = {1, 2},
                         .rnorml = 0.0,
                         .ip = {2, 0, -1}},
                    Case{.name = "E3_DependentButConsistent",
                         .problem = {{{1, 1, 0, 1}, {2, 2, 0, 2}}, kIdentity3, {}, 3},
                         .x = {0, 1, 3},
                         .rnorml = std::sqrt(2.0),
                         .ip = {1, -1, -1}},
                    Case{.name = "E4_EqualityWithKey4",
                         .problem = {{{1, 1, 1, 1}}, kIdentity3, {}, 3},
                         .options = {4, 4, 1e-10, 1},
                         .x = {-2.0 / 3, 1.0 / 3, 4.0 / 3},
                         .ip = {1, 2, -1}},
                    Case{.name = "C1_ContradictoryEqualities",
                         .problem = {{{1, 1, 1}, {1, 1, 3}}, {{1, 0, 0}, {0, 1, 0}}, {}, 2},
                         .mode = 1,
                         .x = {1, 1},
                         .rnorme = std::sqrt(2.0),
                         .rnorml = std::sqrt(2.0),
                         .ip = {1, -1, -1}}),
    caseName);

// --- Inequality constraints -------------------------------------------------

class Inequality : public testing::TestWithParam<Case>
{
};

TEST_P(Inequality, MatchesReference)
{
    checkCase(GetParam());
}

const Rows kC2Inequalities = {{1, 0, 1}, {-1, 0, 0}};

INSTANTIATE_TEST_SUITE_P(
    Lsei, Inequality,
    testing::Values(
        Case{.name = "I1_ProjectionOntoTriangle",
             .problem = {{}, {{1, 0, 2}, {0, 1, 1.5}}, {{1, 0, 0}, {0, 1, 0}, {-1, -1, -1}}, 2},
             .x = {0.75, 0.25},
             .rnorml = 1.25 * std::sqrt(2.0),
             .ip = {0, 2, 54}},
        Case{.name = "I1_InsideTriangle",
             .problem = {{}, {{1, 0, 0.2}, {0, 1, 0.3}}, {{1, 0, 0}, {0, 1, 0}, {-1, -1, -1}}, 2},
             .x = {0.2, 0.3},
             .rnorml = 0.0,
             .ip = {0, 2, 54}},
        Case{.name = "I2_BoundActive",
             .problem = {{}, {{1, 0, 2}, {1, 0, 1}, {0, 1, -1}}, {{1, 0, 0}, {0, 1, 0}}, 2},
             .x = {1.5, 0},
             .rnorml = std::sqrt(1.5)},
        Case{.name = "I3_EqualityAndBounds",
             .problem = {{{1, 1, 1, 1}}, kIdentity3, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}, 3},
             .x = {0, 0, 1},
             .rnorml = 3.0,
             .ip = {1, 2, -1}},
        Case{.name = "I4_EqualityInequalityRankDeficient",
             .problem = {{{1, 0, -1, 0}}, kU4, {{0, 1, 0, 0.5}}, 3},
             .x = {31.0 / 30, 0.5, 31.0 / 30},
             .rnorml = 3.7058512292499457},
        Case{.name = "I5_InequalitiesOnly",
             .problem = {{}, {}, {{1, 1, 2}}, 2},
             .x = {1, 1},
             .rnorml = 0.0,
             .ip = {0, 0, -1}},
        Case{.name = "C2_ContradictoryInequalities",
             .problem = {{}, {{1, 0, 0}, {0, 1, 0}}, kC2Inequalities, 2},
             .mode = 2,
             .ip = {0, 2, -1}},
        Case{.name = "C3_BothContradictory",
             .problem = {{{1, 1, 1}, {1, 1, 3}}, {}, kC2Inequalities, 2},
             .mode = 3,
             .ip = {1, -1, -1}},
        Case{.name = "C3_BothContradictoryWithLeastSquares",
             .problem = {{{1, 1, 1}, {1, 1, 3}}, {{1, 0, 0}, {0, 1, 0}}, kC2Inequalities, 2},
             .mode = 3},
        Case{.name = "C4_FixedPointViolatesInequality",
             .problem = {{{1, 0, 1}, {0, 1, 1}}, {{1, 0, 0}}, {{1, 1, 3}}, 2},
             .mode = 2,
             .ip = {2, 0, -1}},
        Case{.name = "C4_FixedPointMeetsInequality",
             .problem = {{{1, 0, 1}, {0, 1, 1}}, {{1, 0, 0}}, {{1, 1, 1}}, 2},
             .x = {1, 1},
             .ip = {2, 0, -1}}),
    caseName);

// --- Usage errors -------------------------------------------------------------

constexpr long long kMinimum = LLONG_MIN;

struct UsageCase
{
    std::string name;
    int me = 0;
    int ma = 2;
    int mg = 0;
    int n = 2;
    int mdw = -1;             // -1: max(M, N)
    long long lws = kMinimum; // kMinimum: the minimum length; else minimum + this
    long long lip = kMinimum;
    std::vector<double> options{1.0};
    std::string message;
};

void PrintTo(const UsageCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string usageName(const testing::TestParamInfo<UsageCase>& info)
{
    return info.param.name;
}

class Usage : public testing::TestWithParam<UsageCase>
{
};

// A usage error prints exactly one message, returns MODE 4 and leaves X and
// W as they were; only the two lengths have been written into IP.
TEST_P(Usage, PrintsMessageAndTouchesNothing)
{
    const UsageCase& c = GetParam();
    const int m = std::max(c.me, 0) + std::max(c.ma, 0) + std::max(c.mg, 0);
    const int rows = std::max({m, c.n, 1});
    const int mdw = c.mdw >= 0 ? c.mdw : rows;
    std::vector<double> w(static_cast<size_t>(rows) * (std::max(c.n, 1) + 1));
    for (size_t i = 0; i < w.size(); ++i)
        w[i] = 1.0 + static_cast<double>(i % 7);
    const std::vector<double> before = w;
    std::vector<double> x(static_cast<size_t>(std::max(c.n, 1)), 7.0);
    const long long lwsMin = flex::lseiWorkLength(std::max(c.me, 0), std::max(c.ma, 0),
                                                  std::max(c.mg, 0), std::max(c.n, 0));
    const long long lipMin = flex::lseiIntWorkLength(std::max(c.mg, 0), std::max(c.n, 0));
    const int lws = static_cast<int>(c.lws == kMinimum ? lwsMin : lwsMin + c.lws);
    const int lip = static_cast<int>(c.lip == kMinimum ? lipMin : lipMin + c.lip);
    std::vector<double> ws(static_cast<size_t>(lwsMin + 16));
    std::vector<int> ip(static_cast<size_t>(lipMin + 16), -5);
    double rnorme = -1.0;
    double rnorml = -1.0;
    int mode = -1;

    testing::internal::CaptureStdout();
    flex::dlsei(w.data(), mdw, c.me, c.ma, c.mg, c.n, c.options.data(), x.data(), rnorme, rnorml,
                mode, ws.data(), ip.data(), lws, lip);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_EQ(mode, 4);
    EXPECT_EQ(output, c.message);
    EXPECT_EQ(w, before);
    for (double v : x)
        EXPECT_EQ(v, 7.0);
    EXPECT_EQ(ip[0], lws);
    EXPECT_EQ(ip[1], lip);
    EXPECT_EQ(ip[2], -5);
}

const char kCounts[] = "ALL OF THE VARIABLES N, ME, MA, MG MUST BE .GE. 0";
const char kWs[] = "Insufficient storage allocated for array WS\n";
const char kIp[] = "Insufficient storage allocated for array IP";
const char kMdw[] = "MDW.LT.ME+MA+MG IS AN ERROR";
const char kUndefined[] = "THE OPTION VECTOR IS UNDEFINED";
const char kCycling[] = "THE LINKS IN THE OPTION VECTOR ARE CYCLING.";
const char kCovariance[] = "MDW .LT. N WHEN COV MATRIX NEEDED, IS AN ERROR";

INSTANTIATE_TEST_SUITE_P(
    Lsei, Usage,
    testing::Values(
        UsageCase{.name = "NegativeN", .n = -1, .message = kCounts},
        UsageCase{.name = "NegativeMe", .me = -1, .message = kCounts},
        UsageCase{.name = "NegativeMa", .ma = -1, .message = kCounts},
        UsageCase{.name = "NegativeMg", .mg = -3, .message = kCounts},
        UsageCase{.name = "CountsCheckedBeforeStorage", .n = -1, .lws = -10, .message = kCounts},
        // MA = N = 2 needs LWS = 24 and LIP = 6.
        UsageCase{.name = "WsTen", .lws = 10 - 24, .message = kWs},
        UsageCase{.name = "WsOneBelowMinimum", .lws = -1, .message = kWs},
        UsageCase{.name = "WsOneBelowWithAllRows",
                  .me = 2,
                  .ma = 3,
                  .mg = 4,
                  .n = 5,
                  .lws = -1,
                  .message = kWs},
        UsageCase{.name = "IpFive", .lip = 5 - 6, .message = kIp},
        UsageCase{.name = "IpOneBelowWithInequalities", .mg = 3, .n = 4, .lip = -1, .message = kIp},
        UsageCase{.name = "WsCheckedBeforeIp", .lws = -1, .lip = -1, .message = kWs},
        UsageCase{
            .name = "MdwBelowRows", .me = 1, .ma = 2, .mg = 1, .n = 2, .mdw = 3, .message = kMdw},
        UsageCase{.name = "MdwCheckedBeforeOptions", .mdw = 1, .options = {0}, .message = kMdw},
        UsageCase{.name = "FirstLinkZero", .options = {0}, .message = kUndefined},
        UsageCase{.name = "FirstLinkTooLarge", .options = {100001}, .message = kUndefined},
        UsageCase{.name = "NextLinkZero", .options = {4, 99, 0, 0}, .message = kUndefined},
        UsageCase{.name = "NextLinkNegative", .options = {4, 99, 0, -2}, .message = kUndefined},
        UsageCase{.name = "NextLinkTooLarge", .options = {4, 99, 0, 100001}, .message = kUndefined},
        UsageCase{.name = "LinksCycle", .options = {4, 99, 0, 4, 99, 0}, .message = kCycling},
        UsageCase{.name = "ErrorAfterValidGroup",
                  .options = {4, 5, 0.1, 7, 99, 0, 0},
                  .message = kUndefined},
        UsageCase{.name = "CovarianceNeedsMdw",
                  .ma = 1,
                  .mdw = 1,
                  .options = {4, 1, 1, 1},
                  .message = kCovariance},
        UsageCase{.name = "CovarianceWithScalingLeavesW",
                  .ma = 1,
                  .mdw = 1,
                  .options = {4, 2, 1, 7, 1, 1, 1},
                  .message = kCovariance}),
    usageName);

// --- Edge cases of the entry ----------------------------------------------

const Problem kU1{{}, {{4, -2, 1, 3}, {-2, 4, -2, 0}, {1, -2, 4, 9}}, {}, 3};

TEST(LseiEntry, ZeroLengthsSkipTheirChecks)
{
    flextest::Call call;
    call.lws = 0;
    call.lip = 0;
    const flextest::Solution s = flextest::solve(kU1, {1.0}, call);
    EXPECT_EQ(s.output, "");
    EXPECT_EQ(s.mode, 0);
    flextest::expectNear(s.x, {1, 2, 3}, 1e-13, "x");
}

TEST(LseiEntry, NegativeLengthsSkipTheirChecks)
{
    flextest::Call call;
    call.lws = -3;
    call.lip = -1;
    const flextest::Solution s = flextest::solve(kU1, {1.0}, call);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.output, "");
}

TEST(LseiEntry, NothingToSolveReturnsModeZero)
{
    for (const Problem& p : {Problem{{}, {{1, 2}}, {}, 0}, Problem{{}, {}, {}, 3}}) {
        flextest::Call call;
        call.xBefore = 7.0;
        const flextest::Solution s = flextest::solve(p, {1.0}, call);
        EXPECT_EQ(s.mode, 0);
        EXPECT_EQ(s.rnorme, 0.0);
        EXPECT_EQ(s.rnorml, 0.0);
        EXPECT_EQ(s.x[0], 7.0);
        EXPECT_EQ(s.ip[2], -5) << "IP(3) is left alone";
        EXPECT_EQ(s.output, "");
    }
}

// {1.0} selects nothing: the same results as the defaults spelled out, on
// problems that depend on each default.
TEST(LseiEntry, OptionOneSelectsNothing)
{
    const std::vector<double> defaults = {4, 4, kRoot, 7, 5, kRoot, 10, 1, 0, 13, 2, 0, 1};
    const std::vector<Problem> problems = {
        {{}, {{1, 0, 1}, {0, 1e-9, 1}}, {}, 2},
        {{{1, 1, 0, 1}, {2, 2, 0, 2}}, kIdentity3, {}, 3},
        {{{1, 1, 1, 1}}, kIdentity3, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}, 3}};
    for (const Problem& p : problems) {
        const flextest::Solution none = flextest::solve(p, {1.0});
        const flextest::Solution negative = flextest::solve(p, {-1.0});
        const flextest::Solution spelled = flextest::solve(p, defaults);
        EXPECT_EQ(none.mode, 0);
        EXPECT_EQ(none.x, spelled.x);
        EXPECT_EQ(none.x, negative.x);
        EXPECT_EQ(none.rnorml, spelled.rnorml);
        EXPECT_EQ(none.w, spelled.w);
        EXPECT_EQ(std::vector<int>(none.ip.begin(), none.ip.begin() + 3),
                  std::vector<int>(spelled.ip.begin(), spelled.ip.begin() + 3));
    }
}

TEST(LseiEntry, SpanFaceMatchesRoutine)
{
    std::vector<double> w = kU1.matrix(3);
    std::vector<double> x(3);
    std::vector<double> ws(static_cast<size_t>(flex::lseiWorkLength(0, 3, 0, 3)));
    std::vector<int> ip(static_cast<size_t>(flex::lseiIntWorkLength(0, 3)));
    const flex::LseiResult r = flex::lsei(w, 3, 0, 3, 0, 3, {}, x, ws, ip);
    EXPECT_EQ(r.mode, 0);
    EXPECT_EQ(r.rankE, 0);
    EXPECT_EQ(r.rankA, 3);
    EXPECT_EQ(r.wsUsed, 29);
    flextest::expectNear(x, {1, 2, 3}, 1e-13, "x");
}

TEST(LseiEntry, SpanFaceReportsShortWorkSpace)
{
    std::vector<double> w = kU1.matrix(3);
    std::vector<double> x(3, 7.0);
    std::vector<double> ws(static_cast<size_t>(flex::lseiWorkLength(0, 3, 0, 3)) - 1);
    std::vector<int> ip(static_cast<size_t>(flex::lseiIntWorkLength(0, 3)));
    for (size_t size : {ws.size(), size_t{0}}) {
        testing::internal::CaptureStdout();
        const flex::LseiResult r =
            flex::lsei(w, 3, 0, 3, 0, 3, {}, x, std::span<double>(ws.data(), size), ip);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), kWs);
        EXPECT_EQ(r.mode, 4);
        EXPECT_EQ(x, std::vector<double>(3, 7.0));
    }
}

TEST(LseiEntry, SpanFaceRejectsShortMatrix)
{
    std::vector<double> w(11);
    std::vector<double> x(3);
    std::vector<double> ws(64);
    std::vector<int> ip(16);
    EXPECT_THROW(flex::lsei(w, 3, 0, 3, 0, 3, {}, x, ws, ip), std::length_error);
}

} // namespace

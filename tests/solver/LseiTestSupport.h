#pragma once
// Building problems for the constrained least-squares tests: rows of
// [E f], [A b] and [G h] assembled into the column-major W the routine
// takes, and a call with work space of exactly the minimum lengths.

#include "flex/solver/Lsei.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace flextest {

// Each row holds N coefficients followed by the right-hand side.
using Rows = std::vector<std::vector<double>>;

inline constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();

struct Problem
{
    Rows e;
    Rows a;
    Rows g;
    int n = 0;

    int me() const { return static_cast<int>(e.size()); }
    int ma() const { return static_cast<int>(a.size()); }
    int mg() const { return static_cast<int>(g.size()); }
    int m() const { return me() + ma() + mg(); }

    // W with leading dimension mdw (at least m(); at least 1).
    std::vector<double> matrix(int mdw) const
    {
        std::vector<double> w(static_cast<size_t>(mdw) * (n + 1), 0.0);
        int r = 0;
        for (const Rows* block : {&e, &a, &g}) {
            for (const auto& row : *block) {
                for (int j = 0; j <= n; ++j)
                    w[static_cast<size_t>(r) + static_cast<size_t>(j) * mdw] = row[j];
                ++r;
            }
        }
        return w;
    }
};

struct Solution
{
    int mode = -1;
    double rnorme = kUnset;
    double rnorml = kUnset;
    std::vector<double> x;
    std::vector<double> w; // W after the call
    std::vector<int> ip;
    int mdw = 0;
    std::string output; // what the routine printed
};

// How the routine is called: the leading dimension (default max(M, N, 1)),
// the declared lengths of WS and IP (default: the minimum lengths) and the
// value X holds before the call. The arrays themselves always have at least
// the minimum lengths.
struct Call
{
    int mdw = -1;
    std::optional<long long> lws;
    std::optional<long long> lip;
    double xBefore = 0.0;
};

inline Solution solve(const Problem& p, const std::vector<double>& options = {1.0},
                      const Call& call = {})
{
    Solution s;
    s.mdw = call.mdw >= 0 ? call.mdw : std::max({p.m(), p.n, 1});
    const int rows = std::max({s.mdw, p.m(), 1});
    s.w = p.matrix(rows);
    s.x.assign(static_cast<size_t>(std::max(p.n, 1)), call.xBefore);
    const long long lwsMin = flex::lseiWorkLength(p.me(), p.ma(), p.mg(), p.n);
    const long long lipMin = flex::lseiIntWorkLength(p.mg(), p.n);
    const int lws = static_cast<int>(call.lws.value_or(lwsMin));
    const int lip = static_cast<int>(call.lip.value_or(lipMin));
    std::vector<double> ws(static_cast<size_t>(std::max({lwsMin, 1LL, 0LL + lws})), 0.0);
    s.ip.assign(static_cast<size_t>(std::max({lipMin, 3LL, 0LL + lip})), -5);
    // W is laid out with `rows` rows; a smaller declared MDW is the usage
    // error under test and is only ever reported.
    testing::internal::CaptureStdout();
    flex::dlsei(s.w.data(), s.mdw, p.me(), p.ma(), p.mg(), p.n, options.data(), s.x.data(),
                s.rnorme, s.rnorml, s.mode, ws.data(), s.ip.data(), lws, lip);
    s.output = testing::internal::GetCapturedStdout();
    return s;
}

// |actual - expected| within a relative tolerance of the larger of the
// expected entry and the vector's largest entry times 1e-3 (entries that
// sit on a bound come out as rounding noise).
inline void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                       double tolerance, const char* what)
{
    ASSERT_GE(actual.size(), expected.size()) << what;
    double largest = 0.0;
    for (double v : expected)
        largest = std::max(largest, std::fabs(v));
    for (size_t i = 0; i < expected.size(); ++i) {
        const double scale = std::max({std::fabs(expected[i]), 1.0e-3 * largest, 1.0e-3});
        EXPECT_NEAR(actual[i], expected[i], tolerance * scale) << what << "[" << i << "]";
    }
}

// The bordered interpolation system of the flexible bodies for points p
// (three coordinates each) and values v: [K P; P^T 0] [c; d] = [v; 0] with
// K(i,j) = |p_i - p_j| and row i of P = (1, p_i).
inline Rows borderedSystem(const std::vector<std::array<double, 3>>& points,
                           const std::vector<double>& values)
{
    const int count = static_cast<int>(points.size());
    const int n = count + 4;
    Rows rows(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(n + 1), 0.0));
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < count; ++j) {
            const double dx = points[i][0] - points[j][0];
            const double dy = points[i][1] - points[j][1];
            const double dz = points[i][2] - points[j][2];
            rows[i][j] = std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        rows[i][count] = 1.0;
        rows[count][i] = 1.0;
        for (int c = 0; c < 3; ++c) {
            rows[i][count + 1 + c] = points[i][c];
            rows[count + 1 + c][i] = points[i][c];
        }
        rows[i][n] = values[i];
    }
    return rows;
}

} // namespace flextest

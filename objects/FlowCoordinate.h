#pragma once
// The flow coordinate of a flow pipe chain.
//
// Each pipe covers a stretch of length L · r_out of the chain's flow
// coordinate. Inside a pipe, flow coordinate x lies at arc position
//   s(x) = x / ((r_out − r_in) · x / (L · r_out) + r_in),
// so s(0) = 0 and s(L · r_out) = L, and near the inlet one unit of flow
// coordinate is 1 / r_in of length: the same flow moves faster where the
// pipe is narrow. With r_in = r_out, s = x / r_in: constant speed.
//
// Threading: pure functions.

#include <cmath>

namespace flow {

// The stretch of the chain's flow coordinate one pipe covers.
inline double stretch(double length, double outletRadius)
{
    return length * outletRadius;
}

// Arc position s of flow coordinate x in a pipe of length L. Where the
// formula has no finite value (a pipe without length or radius) the answer
// is the inlet, 0.
inline double arcPosition(double x, double length, double inletRadius, double outletRadius)
{
    const double s = x / ((outletRadius - inletRadius) * x / (length * outletRadius) + inletRadius);
    return std::isfinite(s) ? s : 0.0;
}

} // namespace flow

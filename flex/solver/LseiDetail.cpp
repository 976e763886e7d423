#include "flex/solver/LseiDetail.h"

#include <utility>

namespace flex::detail {

double relativePrecision()
{
    static const double precision = [] {
        volatile double e = 1.0;
        volatile double sum = 1.0 + e / 2.0;
        while (sum != 1.0) {
            e = e / 2.0;
            sum = 1.0 + e / 2.0;
        }
        return static_cast<double>(e);
    }();
    return precision;
}

namespace {

inline double& lower(double* c, long ldc, int r, int col)
{
    return r >= col ? c[(r - 1) + (col - 1) * ldc] : c[(col - 1) + (r - 1) * ldc];
}

} // namespace

void reflectSymmetric(double* c, long ldc, int n, int pivot, int l1, const double* row,
                      long rowStride, double up, double s, double* p)
{
    const double beta = up * s;
    if (s == 0.0 || beta >= 0.0)
        return;
    auto u = [&](int l) -> double {
        if (l == pivot)
            return up;
        return l >= l1 && l <= n ? row[(l - 1) * rowStride] : 0.0;
    };
    // H C H = C + u q^T + q u^T with p = C u / beta and
    // q = p + (u^T p / (2 beta)) u.
    double up2 = 0.0;
    for (int r = 1; r <= n; ++r) {
        double sum = lower(c, ldc, r, pivot) * up;
        for (int l = l1; l <= n; ++l)
            sum += lower(c, ldc, r, l) * row[(l - 1) * rowStride];
        p[r - 1] = sum / beta;
    }
    up2 = p[pivot - 1] * up;
    for (int l = l1; l <= n; ++l)
        up2 += p[l - 1] * row[(l - 1) * rowStride];
    const double gamma = up2 / (2.0 * beta);
    for (int r = 1; r <= n; ++r)
        p[r - 1] += gamma * u(r);
    for (int col = 1; col <= n; ++col) {
        const double ucol = u(col);
        for (int r = col; r <= n; ++r) {
            const double ur = u(r);
            if (ur != 0.0 || ucol != 0.0)
                c[(r - 1) + (col - 1) * ldc] += ur * p[col - 1] + p[r - 1] * ucol;
        }
    }
}

void swapSymmetric(double* c, long ldc, int n, int i, int j)
{
    if (i == j)
        return;
    if (i > j)
        std::swap(i, j);
    auto at = [&](int r, int col) -> double& { return c[(r - 1) + (col - 1) * ldc]; };
    std::swap(at(i, i), at(j, j));
    for (int col = 1; col < i; ++col)
        std::swap(at(i, col), at(j, col));
    for (int r = i + 1; r < j; ++r)
        std::swap(at(r, i), at(j, r));
    for (int r = j + 1; r <= n; ++r)
        std::swap(at(r, i), at(r, j));
}

void fillUpper(double* c, long ldc, int n)
{
    for (int col = 2; col <= n; ++col) {
        for (int r = 1; r < col; ++r)
            c[(r - 1) + (col - 1) * ldc] = c[(col - 1) + (r - 1) * ldc];
    }
}

} // namespace flex::detail

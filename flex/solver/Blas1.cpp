#include "flex/solver/Blas1.h"

#include <cmath>

namespace flex {

namespace {

// Offset of the first element visited for a vector of n entries walked with
// increment inc (the far end when inc is negative).
inline long start(int n, int inc)
{
    return inc < 0 ? static_cast<long>(1 - n) * inc : 0;
}

} // namespace

double ddot(const int& n, const double* x, const int& incx, const double* y, const int& incy)
{
    double sum = 0.0;
    if (n <= 0)
        return sum;
    long ix = start(n, incx);
    long iy = start(n, incy);
    for (int i = 0; i < n; ++i, ix += incx, iy += incy)
        sum += x[ix] * y[iy];
    return sum;
}

void daxpy(const int& n, const double& a, const double* x, const int& incx, double* y,
           const int& incy)
{
    if (n <= 0 || a == 0.0)
        return;
    long ix = start(n, incx);
    long iy = start(n, incy);
    for (int i = 0; i < n; ++i, ix += incx, iy += incy)
        y[iy] += a * x[ix];
}

void dcopy(const int& n, const double* x, const int& incx, double* y, const int& incy)
{
    if (n <= 0)
        return;
    long ix = start(n, incx);
    long iy = start(n, incy);
    for (int i = 0; i < n; ++i, ix += incx, iy += incy)
        y[iy] = x[ix];
}

void dscal(const int& n, const double& a, double* x, const int& incx)
{
    if (n <= 0 || incx <= 0)
        return;
    for (long i = 0, ix = 0; i < n; ++i, ix += incx)
        x[ix] *= a;
}

void dswap(const int& n, double* x, const int& incx, double* y, const int& incy)
{
    if (n <= 0)
        return;
    long ix = start(n, incx);
    long iy = start(n, incy);
    for (int i = 0; i < n; ++i, ix += incx, iy += incy) {
        const double t = x[ix];
        x[ix] = y[iy];
        y[iy] = t;
    }
}

double dnrm2(const int& n, const double* x, const int& incx)
{
    if (n < 1 || incx < 1)
        return 0.0;
    // Sum of squares relative to the largest magnitude seen so far.
    double scale = 0.0;
    double ssq = 1.0;
    for (long i = 0, ix = 0; i < n; ++i, ix += incx) {
        const double a = std::fabs(x[ix]);
        if (a == 0.0)
            continue;
        if (scale < a) {
            const double r = scale / a;
            ssq = 1.0 + ssq * r * r;
            scale = a;
        } else {
            const double r = a / scale;
            ssq += r * r;
        }
    }
    return scale * std::sqrt(ssq);
}

double dasum(const int& n, const double* x, const int& incx)
{
    double sum = 0.0;
    if (n <= 0 || incx <= 0)
        return sum;
    for (long i = 0, ix = 0; i < n; ++i, ix += incx)
        sum += std::fabs(x[ix]);
    return sum;
}

int idamax(const int& n, const double* x, const int& incx)
{
    if (n < 1 || incx <= 0)
        return 0;
    int best = 1;
    double bestValue = std::fabs(x[0]);
    for (long i = 1, ix = incx; i < n; ++i, ix += incx) {
        const double a = std::fabs(x[ix]);
        if (a > bestValue) {
            best = static_cast<int>(i) + 1;
            bestValue = a;
        }
    }
    return best;
}

void drotmg(double& d1, double& d2, double& x1, const double& y1, double* param)
{
    // Rescaling keeps the weights within [1/gamma^2, gamma^2]; each step moves
    // a factor gamma between a weight's square root and its row.
    constexpr double gamma = 4096.0;
    constexpr double gammaSquared = gamma * gamma;
    constexpr double inverseGammaSquared = 1.0 / gammaSquared;

    double flag = 0.0;
    double h11 = 0.0;
    double h12 = 0.0;
    double h21 = 0.0;
    double h22 = 0.0;

    auto zeroAll = [&] {
        flag = -1.0;
        h11 = h12 = h21 = h22 = 0.0;
        d1 = d2 = x1 = 0.0;
    };

    if (d1 < 0.0) {
        zeroAll();
    } else {
        const double p2 = d2 * y1;
        if (p2 == 0.0) {
            param[0] = -2.0;
            return;
        }
        const double p1 = d1 * x1;
        const double q2 = p2 * y1;
        const double q1 = p1 * x1;
        if (std::fabs(q1) > std::fabs(q2)) {
            h21 = -y1 / x1;
            h12 = p2 / p1;
            const double u = 1.0 - h12 * h21;
            if (u > 0.0) {
                flag = 0.0;
                d1 /= u;
                d2 /= u;
                x1 *= u;
            } else {
                zeroAll();
            }
        } else if (q2 < 0.0) {
            zeroAll();
        } else {
            flag = 1.0;
            h11 = p1 / p2;
            h22 = x1 / y1;
            const double u = 1.0 + h11 * h22;
            const double t = d2 / u;
            d2 = d1 / u;
            d1 = t;
            x1 = y1 * u;
        }

        // A rescaled H is stored in full.
        auto makeFull = [&] {
            if (flag == 0.0) {
                h11 = 1.0;
                h22 = 1.0;
            } else if (flag == 1.0) {
                h21 = -1.0;
                h12 = 1.0;
            }
            flag = -1.0;
        };
        if (d1 != 0.0) {
            while (d1 <= inverseGammaSquared || d1 >= gammaSquared) {
                makeFull();
                if (d1 <= inverseGammaSquared) {
                    d1 *= gammaSquared;
                    x1 /= gamma;
                    h11 /= gamma;
                    h12 /= gamma;
                } else {
                    d1 /= gammaSquared;
                    x1 *= gamma;
                    h11 *= gamma;
                    h12 *= gamma;
                }
            }
        }
        if (d2 != 0.0) {
            while (std::fabs(d2) <= inverseGammaSquared || std::fabs(d2) >= gammaSquared) {
                makeFull();
                if (std::fabs(d2) <= inverseGammaSquared) {
                    d2 *= gammaSquared;
                    h21 /= gamma;
                    h22 /= gamma;
                } else {
                    d2 /= gammaSquared;
                    h21 *= gamma;
                    h22 *= gamma;
                }
            }
        }
    }

    param[0] = flag;
    if (flag < 0.0) {
        param[1] = h11;
        param[2] = h21;
        param[3] = h12;
        param[4] = h22;
    } else if (flag == 0.0) {
        param[2] = h21;
        param[3] = h12;
    } else {
        param[1] = h11;
        param[4] = h22;
    }
}

void drotm(const int& n, double* x, const int& incx, double* y, const int& incy,
           const double* param)
{
    const double flag = param[0];
    if (n <= 0 || flag == -2.0)
        return;
    double h11 = 1.0;
    double h12 = 0.0;
    double h21 = 0.0;
    double h22 = 1.0;
    if (flag < 0.0) {
        h11 = param[1];
        h21 = param[2];
        h12 = param[3];
        h22 = param[4];
    } else if (flag == 0.0) {
        h21 = param[2];
        h12 = param[3];
    } else {
        h11 = param[1];
        h12 = 1.0;
        h21 = -1.0;
        h22 = param[4];
    }
    long ix = start(n, incx);
    long iy = start(n, incy);
    for (int i = 0; i < n; ++i, ix += incx, iy += incy) {
        const double w = x[ix];
        const double z = y[iy];
        x[ix] = w * h11 + z * h12;
        y[iy] = w * h21 + z * h22;
    }
}

} // namespace flex

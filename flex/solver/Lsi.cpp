#include "flex/solver/Lsi.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/H12.h"
#include "flex/solver/Hfti.h"
#include "flex/solver/Lpdp.h"
#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <cmath>

namespace flex {

namespace {

// Forms fac * P Z [T^-1 T^-T 0; 0 0] Z^T P^T in W(1..n,1..n) from the
// factorisation dhfti left in W: T in the upper triangle of rows 1..k, the
// right reflections in W(1..k, k+1..n) with up scalars g, the exchanges in
// ip(1..exchanges). tdiag and p are scratch of k and n entries.
void formCovariance(double* w, long ldw, int n, int k, int exchanges, const int* ip,
                    const double* g, double fac, double* tdiag, double* p)
{
    auto at = [&](int i, int j) -> double& { return w[(i - 1) + (j - 1) * ldw]; };
    for (int i = 1; i <= k; ++i)
        tdiag[i - 1] = at(i, i);

    // U = T^-1 in place, column by column: U(1..j-1, j) = -U(1..j-1,1..j-1)
    // T(1..j-1, j) / T(j, j).
    for (int j = 1; j <= k; ++j) {
        at(j, j) = 1.0 / at(j, j);
        const double ajj = -at(j, j);
        for (int i = 1; i < j; ++i) {
            double s = 0.0;
            for (int l = i; l < j; ++l)
                s += at(i, l) * at(l, j);
            at(i, j) = s;
        }
        for (int i = 1; i < j; ++i)
            at(i, j) *= ajj;
    }
    // U U^T into the lower triangle, row by row; the diagonal entry of a row
    // is written last because it replaces U's.
    for (int i = 1; i <= k; ++i) {
        for (int c = 1; c <= i; ++c) {
            double s = 0.0;
            for (int l = i; l <= k; ++l)
                s += at(i, l) * at(c, l);
            at(i, c) = s;
        }
    }
    for (int c = 1; c <= n; ++c) {
        for (int r = std::max(c, k + 1); r <= n; ++r)
            at(r, c) = 0.0;
    }
    if (k < n) {
        for (int i = 1; i <= k; ++i)
            detail::reflectSymmetric(w, ldw, n, i, k + 1, &at(i, 1), ldw, g[i - 1], tdiag[i - 1],
                                     p);
    }
    for (int j = exchanges; j >= 1; --j)
        detail::swapSymmetric(w, ldw, n, j, ip[j - 1]);
    for (int c = 1; c <= n; ++c) {
        for (int r = c; r <= n; ++r)
            at(r, c) *= fac;
    }
    detail::fillUpper(w, ldw, n);
}

} // namespace

void dlsi(double* w, const int& mdw, const int& ma, const int& mg, const int& n,
          const double* prgopt, double* x, double& rnorm, int& mode, double* ws, int* ip)
{
    const long ldw = mdw;
    auto at = [&](int i, int j) -> double& { return w[(i - 1) + (j - 1) * ldw]; };
    const double eps = detail::relativePrecision();
    const int lb = std::max(ma + mg, n);
    const int workFigure = n + lb + (mg + 2) * (n + 7);

    mode = 0;
    rnorm = 0.0;
    if (n <= 0 || ma + mg == 0) {
        ip[0] = 0;
        ip[1] = workFigure;
        return;
    }

    bool covariance = false;
    bool unscaled = false;
    double tauRelative = std::sqrt(eps);
    detail::walkOptions(prgopt, true, [&](int key, const double* data) {
        if (key == 1)
            covariance = data[0] != 0.0;
        else if (key == 10)
            unscaled = data[0] != 0.0;
        else if (key == 5)
            tauRelative = std::max(eps, data[0]);
    });

    double anorm = 0.0;
    for (int j = 1; j <= n; ++j)
        anorm = std::max(anorm, dasum(ma, &at(1, j), 1));
    const double tau = tauRelative * anorm;

    // Work space: b, later x0 (lb entries), the right reflections' up
    // scalars (n), the left ones' (n), later overlaid by dlpdp's block.
    double* b = ws;
    double* g = ws + lb;
    double* h = g + n;
    std::fill(b, b + lb, 0.0);
    dcopy(ma, &at(1, n + 1), 1, b, 1);

    int krank = 0;
    double residual = 0.0;
    const int one = 1;
    dhfti(w, mdw, ma, n, b, lb, one, tau, krank, &residual, h, g, ip);
    const int exchanges = std::min(ma, n);
    double fac = 1.0;
    if (krank < ma && !unscaled)
        fac = residual * residual / (ma - krank);

    if (mg == 0) {
        dcopy(n, b, 1, x, 1);
        rnorm = residual;
    } else {
        const int g1 = ma + 1;
        const int stride = mdw;
        if (exchanges > 0) {
            // h - G x0, then G in the unknowns of the triangulation: the
            // column exchanges, the right reflections and G1 T^-1.
            for (int r = g1; r <= ma + mg; ++r)
                at(r, n + 1) -= ddot(n, &at(r, 1), stride, b, 1);
            for (int j = 1; j <= exchanges; ++j) {
                if (ip[j - 1] != j)
                    dswap(mg, &at(g1, j), 1, &at(g1, ip[j - 1]), 1);
            }
            if (krank > 0 && krank < n) {
                const int kp1 = krank + 1;
                for (int i = krank; i >= 1; --i) {
                    double up = g[i - 1];
                    dh12(2, i, kp1, n, &at(i, 1), mdw, up, &at(g1, 1), mdw, 1, mg);
                }
            }
            for (int r = g1; r <= ma + mg; ++r) {
                for (int j = 1; j <= krank; ++j) {
                    double s = at(r, j);
                    for (int i = 1; i < j; ++i)
                        s -= at(r, i) * at(i, j);
                    at(r, j) = s / at(j, j);
                }
            }
        }

        double wnorm = 0.0;
        int lpdpMode = 0;
        const int n2 = n - krank;
        dlpdp(&at(g1, 1), mdw, mg, krank, n2, prgopt, x, wnorm, lpdpMode, h, ip + n);
        if (lpdpMode != 1) {
            mode = 2;
            ip[0] = krank;
            ip[1] = workFigure;
            return;
        }
        // x = T^-1 w for the first k unknowns, z for the rest, back to the
        // original unknowns, plus x0.
        for (int j = krank; j >= 1; --j) {
            x[j - 1] /= at(j, j);
            for (int i = 1; i < j; ++i)
                x[i - 1] -= at(i, j) * x[j - 1];
        }
        if (exchanges > 0) {
            if (krank > 0 && krank < n) {
                const int kp1 = krank + 1;
                for (int i = 1; i <= krank; ++i) {
                    double up = g[i - 1];
                    dh12(2, i, kp1, n, &at(i, 1), mdw, up, x, 1, n, 1);
                }
            }
            for (int j = exchanges; j >= 1; --j) {
                const int p = ip[j - 1];
                if (p != j)
                    std::swap(x[j - 1], x[p - 1]);
            }
            daxpy(n, 1.0, b, 1, x, 1);
        }
        rnorm = std::sqrt(residual * residual + wnorm * wnorm);
    }

    if (covariance && mdw >= n)
        formCovariance(w, ldw, n, krank, exchanges, ip, g, fac, b, h);

    ip[0] = krank;
    ip[1] = workFigure;
}

} // namespace flex

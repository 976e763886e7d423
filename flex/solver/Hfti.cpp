#include "flex/solver/Hfti.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/H12.h"
#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <cmath>

namespace flex {

namespace {

// Index (one-based, first on ties) of the largest of h(from..to).
int firstLargest(const double* h, int from, int to)
{
    int best = from;
    for (int l = from + 1; l <= to; ++l) {
        if (h[l - 1] > h[best - 1])
            best = l;
    }
    return best;
}

// Applies the reflection just built in column j (pivot j, rows j+1..m, up
// scalar up) to the next `count` columns, as dh12 does, and downdates each
// column's squared norm h by its new entry in row j.
void reflectColumns(double* column, long lda, int j, int m, double up, int count, double* h)
{
    const double pivot = column[j - 1];
    const double beta = up * pivot;
    const int below = m - j;
    const bool identity = pivot == 0.0 || !(beta < 0.0) || below <= 0;
    const double inverseBeta = identity ? 0.0 : 1.0 / beta;
    const double* u = column + j;
    for (int c = 1; c <= count; ++c) {
        double* target = column + c * lda;
        if (!identity) {
            double sigma = target[j - 1] * up + detail::dotContiguous(below, target + j, u);
            if (sigma != 0.0) {
                sigma *= inverseBeta;
                target[j - 1] += sigma * up;
                detail::axpyContiguous(below, sigma, u, target + j);
            }
        }
        h[c - 1] -= target[j - 1] * target[j - 1];
    }
}

// Applies the left reflections 1..min(m, n) to x. When the right
// reflections have replaced the diagonal of rows 1..k, the pivot values of
// those rows' left reflections are recovered from the reflection vector v
// itself: up * pivot = -|v|^2 / 2.
void applyLeft(const double* a, long lda, int m, int n, int k, const double* h, double* x,
               bool diagonalReplaced)
{
    const int l = std::min(m, n);
    for (int j = 1; j <= l; ++j) {
        const double up = h[j - 1];
        const double* column = a + (j - 1) * lda;
        const int below = m - j;
        if (below <= 0 || up == 0.0)
            continue;
        double pivot = column[j - 1];
        if (diagonalReplaced && j <= k)
            pivot = -(up * up + detail::dotContiguous(below, column + j, column + j)) / (2.0 * up);
        const double beta = up * pivot;
        if (!(beta < 0.0))
            continue;
        double sigma = x[j - 1] * up + detail::dotContiguous(below, column + j, x + j);
        if (sigma == 0.0)
            continue;
        sigma /= beta;
        x[j - 1] += sigma * up;
        detail::axpyContiguous(below, sigma, column + j, x + j);
    }
}

// The rest of a solve once the left reflections are applied: the residual
// norm, back substitution with T, the right reflections and the column
// exchanges.
void finishSolve(const double* a, long lda, int m, int n, int k, const double* g, const int* ip,
                 double* x, double& rnorm)
{
    auto at = [&](int i, int j) { return a + (i - 1) + (j - 1) * lda; };
    const int tail = m - k;
    rnorm = dnrm2(tail, x + k, 1);
    if (k == 0) {
        std::fill(x, x + n, 0.0);
        return;
    }
    for (int j = k; j >= 1; --j) {
        const double xj = x[j - 1] / *at(j, j);
        x[j - 1] = xj;
        detail::axpyContiguous(j - 1, -xj, at(1, j), x);
    }
    if (k < n) {
        std::fill(x + k, x + n, 0.0);
        // Each right reflection is stored in row i: pivot T(i, i), vector in
        // columns k+1..n; x takes them in the order 1..k.
        for (int i = 1; i <= k; ++i) {
            const double up = g[i - 1];
            const double pivot = *at(i, i);
            const double beta = up * pivot;
            if (pivot == 0.0 || !(beta < 0.0))
                continue;
            double sigma = x[i - 1] * up;
            for (int c = k + 1; c <= n; ++c)
                sigma += x[c - 1] * *at(i, c);
            if (sigma == 0.0)
                continue;
            sigma /= beta;
            x[i - 1] += sigma * up;
            for (int c = k + 1; c <= n; ++c)
                x[c - 1] += sigma * *at(i, c);
        }
    }
    const int l = std::min(m, n);
    for (int j = l; j >= 1; --j) {
        const int p = ip[j - 1];
        if (p != j)
            std::swap(x[j - 1], x[p - 1]);
    }
}

} // namespace

void dhfti(double* a, const int& mda, const int& m, const int& n, double* b, const int& mdb,
           const int& nb, const double& tau, int& krank, double* rnorm, double* h, double* g,
           int* ip)
{
    if (mda < m) {
        detail::writeMessage("MDA.LT.M, PROBABLE ERROR.");
        return;
    }
    if (nb > 1 && mdb < std::max(m, n)) {
        detail::writeMessage("MDB.LT.MAX(M,N).AND.NB.GT.1. PROBABLE ERROR.");
        return;
    }

    const long lda = mda;
    auto at = [&](int i, int j) -> double& { return a[(i - 1) + (j - 1) * lda]; };
    const int l = std::min(m, n);
    const double eps = detail::relativePrecision();

    // Triangulation with column pivoting. h(j..n) holds the squared norms of
    // the columns' unreduced parts: downdated by each column's new entry in
    // the pivot row as the reflection passes it (while the column is still
    // in cache), and computed afresh when the downdate has lost too much
    // against the largest norm.
    double hmax = 0.0;
    for (int j = 1; j <= l; ++j) {
        int lmax = j > 1 ? firstLargest(h, j, n) : j;
        const bool recompute = j == 1 || 0.001 * h[lmax - 1] <= eps * hmax;
        if (recompute) {
            for (int c = j; c <= n; ++c) {
                const double* column = &at(j, c);
                h[c - 1] = detail::dotContiguous(m - j + 1, column, column);
            }
            lmax = firstLargest(h, j, n);
            hmax = h[lmax - 1];
        }
        ip[j - 1] = lmax;
        if (lmax != j) {
            dswap(m, &at(1, j), 1, &at(1, lmax), 1);
            h[lmax - 1] = h[j - 1];
        }
        h[j - 1] = 0.0;
        const int jp1 = j + 1;
        const int none = 0;
        dh12(1, j, jp1, m, &at(1, j), 1, h[j - 1], nullptr, 1, mda, none);
        reflectColumns(&at(1, j), lda, j, m, h[j - 1], n - j, h + j);
    }

    // Pseudo-rank: the leading diagonal entries above tau, up to the first
    // that is not.
    int k = 0;
    for (int j = 1; j <= l; ++j) {
        if (!(std::fabs(at(j, j)) > tau))
            break;
        k = j;
    }

    // The left reflections reach the right-hand sides before the right
    // reflections overwrite the triangle's diagonal, which holds their pivot
    // values.
    for (int jb = 1; jb <= nb; ++jb)
        applyLeft(a, lda, m, n, k, h, b + static_cast<long>(jb - 1) * mdb, false);

    // Right reflections turn [R11 R12] into [T 0] so that the truncated
    // problem's minimal-length solution is found.
    if (k > 0 && k < n) {
        for (int i = k; i >= 1; --i) {
            g[i - 1] = 0.0;
            const int kp1 = k + 1;
            const int above = i - 1;
            dh12(1, i, kp1, n, &at(i, 1), mda, g[i - 1], a, mda, 1, above);
        }
    }
    krank = k;

    for (int jb = 1; jb <= nb; ++jb)
        finishSolve(a, lda, m, n, k, g, ip, b + static_cast<long>(jb - 1) * mdb, rnorm[jb - 1]);
}

void dhftiSolve(const double* a, const int& mda, const int& m, const int& n, double* b,
                const int& mdb, const int& nb, const int& krank, double* rnorm, const double* h,
                const double* g, const int* ip)
{
    const long lda = mda;
    for (int jb = 1; jb <= nb; ++jb) {
        double* x = b + static_cast<long>(jb - 1) * mdb;
        applyLeft(a, lda, m, n, krank, h, x, krank < n);
        finishSolve(a, lda, m, n, krank, g, ip, x, rnorm[jb - 1]);
    }
}

} // namespace flex

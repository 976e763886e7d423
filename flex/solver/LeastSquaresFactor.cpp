#include "flex/solver/LeastSquaresFactor.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/Hfti.h"
#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace flex {

void LeastSquaresFactor::factor(std::span<const double> a, int lda, int m, int n)
{
    if (m < 0 || n < 0 || lda < std::max(m, 1) ||
        (n > 0 &&
         a.size() < static_cast<size_t>(lda) * static_cast<size_t>(n - 1) + static_cast<size_t>(m)))
        throw std::length_error("LeastSquaresFactor: the matrix does not fit its span");
    _m = m;
    _n = n;
    const int ld = std::max(m, 1);
    _a.assign(static_cast<size_t>(ld) * static_cast<size_t>(std::max(n, 1)), 0.0);
    for (int j = 0; j < n; ++j)
        std::copy_n(a.begin() + static_cast<long>(j) * lda, m,
                    _a.begin() + static_cast<long>(j) * ld);
    _h.assign(static_cast<size_t>(std::max(n, 1)), 0.0);
    _g.assign(static_cast<size_t>(std::max(n, 1)), 0.0);
    _pivots.assign(static_cast<size_t>(std::max(std::min(m, n), 1)), 0);
    _side.assign(static_cast<size_t>(std::max({m, n, 1})), 0.0);

    // The tolerance of the entry routine for an unconstrained problem.
    double anorm = 0.0;
    for (int j = 0; j < n; ++j)
        anorm = std::max(anorm, dasum(m, _a.data() + static_cast<long>(j) * ld, 1));
    const double tau = std::sqrt(detail::relativePrecision()) * anorm;
    const int noSides = 0;
    const int mdb = static_cast<int>(_side.size());
    double unusedNorm = 0.0;
    dhfti(_a.data(), ld, m, n, _side.data(), mdb, noSides, tau, _rank, &unusedNorm, _h.data(),
          _g.data(), _pivots.data());
    _factored = true;
}

double LeastSquaresFactor::solve(std::span<const double> b, std::span<double> x)
{
    if (!_factored)
        throw std::length_error("LeastSquaresFactor: solve before factor");
    if (b.size() < static_cast<size_t>(_m) || x.size() < static_cast<size_t>(_n))
        throw std::length_error("LeastSquaresFactor: the sides do not fit the matrix");
    std::fill(_side.begin(), _side.end(), 0.0);
    std::copy_n(b.begin(), _m, _side.begin());
    const int ld = std::max(_m, 1);
    const int mdb = static_cast<int>(_side.size());
    const int oneSide = 1;
    double residual = 0.0;
    dhftiSolve(_a.data(), ld, _m, _n, _side.data(), mdb, oneSide, _rank, &residual, _h.data(),
               _g.data(), _pivots.data());
    std::copy_n(_side.begin(), _n, x.begin());
    return residual;
}

} // namespace flex

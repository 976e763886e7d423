#include "flex/solver/H12.h"

#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <cmath>

namespace flex {

void dh12(const int& mode, const int& lpivot, const int& l1, const int& m, double* u,
          const int& iue, double& up, double* c, const int& ice, const int& icv, const int& ncv)
{
    if (lpivot <= 0 || lpivot >= l1 || l1 > m)
        return;
    const long ue = iue;
    double& pivot = u[(lpivot - 1) * ue];

    if (mode == 1) {
        double scale = std::fabs(pivot);
        for (int i = l1; i <= m; ++i)
            scale = std::max(scale, std::fabs(u[(i - 1) * ue]));
        if (scale <= 0.0)
            return;
        // The norm is taken relative to the largest entry so that it cannot
        // overflow or underflow.
        const double inverse = 1.0 / scale;
        double sum = (pivot * inverse) * (pivot * inverse);
        for (int i = l1; i <= m; ++i) {
            const double t = u[(i - 1) * ue] * inverse;
            sum += t * t;
        }
        double s = scale * std::sqrt(sum);
        if (pivot > 0.0)
            s = -s;
        up = pivot - s;
        pivot = s;
    } else if (pivot == 0.0) {
        return;
    }

    const double beta = up * pivot;
    if (beta >= 0.0 || ncv <= 0)
        return;
    const double inverseBeta = 1.0 / beta;
    const int count = m - l1 + 1;
    const long ce = ice;

    if (ue == 1 && ce == 1) {
        // Contiguous vectors: the hot path of a dense factorisation.
        const double* tail = u + (l1 - 1);
        for (int j = 0; j < ncv; ++j) {
            double* vector = c + static_cast<long>(j) * icv;
            double* vectorTail = vector + (l1 - 1);
            double sigma = vector[lpivot - 1] * up + detail::dotContiguous(count, vectorTail, tail);
            if (sigma == 0.0)
                continue;
            sigma *= inverseBeta;
            vector[lpivot - 1] += sigma * up;
            detail::axpyContiguous(count, sigma, tail, vectorTail);
        }
        return;
    }

    for (int j = 0; j < ncv; ++j) {
        double* vector = c + static_cast<long>(j) * icv;
        double sigma = vector[(lpivot - 1) * ce] * up;
        for (int i = l1; i <= m; ++i)
            sigma += vector[(i - 1) * ce] * u[(i - 1) * ue];
        if (sigma == 0.0)
            continue;
        sigma *= inverseBeta;
        vector[(lpivot - 1) * ce] += sigma * up;
        for (int i = l1; i <= m; ++i)
            vector[(i - 1) * ce] += sigma * u[(i - 1) * ue];
    }
}

} // namespace flex

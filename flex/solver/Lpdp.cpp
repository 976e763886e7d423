#include "flex/solver/Lpdp.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/LseiDetail.h"
#include "flex/solver/Wnnls.h"

#include <algorithm>
#include <cmath>

namespace flex {

namespace {

// The dual step: builds [rows; y^T] u ~ e_last with the equality rows first,
// solves it for u >= 0 and returns sigma = 1 - y^T u, or 0 when the
// constraints are incompatible (zero residual or sigma lost in rounding).
struct DualProblem
{
    double* a;
    long lda;
    int m;
    int yColumn;
    const double* prgopt;
    double* ws;
    int* is;

    double* block() const { return ws; }
    double* u(int rows) const { return ws + static_cast<long>(rows) * (m + 1); }

    // The dual system's rows are columns of A: equalityCount of them from
    // column equalityFirst, then lsqCount from column lsqFirst, then y.
    double solve(int equalityFirst, int equalityCount, int lsqFirst, int lsqCount,
                 int blockRows) const
    {
        const int rows = equalityCount + lsqCount + 1;
        double* b = block();
        const long ld = blockRows;
        auto put = [&](int r, int c) -> double& { return b[(r - 1) + (c - 1) * ld]; };
        auto from = [&](int i, int j) { return a[(i - 1) + (j - 1) * lda]; };
        for (int i = 1; i <= m; ++i) {
            for (int r = 1; r <= equalityCount; ++r)
                put(r, i) = from(i, equalityFirst + r - 1);
            for (int r = 1; r <= lsqCount; ++r)
                put(equalityCount + r, i) = from(i, lsqFirst + r - 1);
            put(rows, i) = from(i, yColumn);
        }
        for (int r = 1; r < rows; ++r)
            put(r, m + 1) = 0.0;
        put(rows, m + 1) = 1.0;

        double* solution = u(blockRows);
        double* work = solution + m;
        is[0] = 0;
        is[1] = 0;
        double rho = 0.0;
        int wnnlsMode = 0;
        const int lsqRows = lsqCount + 1;
        const int free = 0;
        const int mdb = blockRows;
        // An iteration limit (mode 1) still leaves a usable iterate.
        dwnnls(b, mdb, equalityCount, lsqRows, m, free, prgopt, solution, rho, wnnlsMode, is, work);
        double yu = 0.0;
        for (int i = 1; i <= m; ++i)
            yu += from(i, yColumn) * solution[i - 1];
        const double sigma = 1.0 - yu;
        if (wnnlsMode == 2 || !(rho > 0.0) || 1.0 + 0.1 * std::fabs(sigma) == 1.0)
            return 0.0;
        return sigma;
    }

    // sum over i of A(i, column) * u(i).
    double combine(int column, int blockRows) const
    {
        const double* solution = u(blockRows);
        double s = 0.0;
        for (int i = 1; i <= m; ++i)
            s += a[(i - 1) + (column - 1) * lda] * solution[i - 1];
        return s;
    }
};

} // namespace

void dlpdp(double* a, const int& mda, const int& m, const int& n1, const int& n2,
           const double* prgopt, double* x, double& wnorm, int& mode, double* ws, int* is)
{
    const int n = n1 + n2;
    const long lda = mda;
    auto at = [&](int i, int j) -> double& { return a[(i - 1) + (j - 1) * lda]; };
    mode = 1;
    wnorm = 0.0;
    std::fill(x, x + std::max(n, 0), 0.0);
    if (m <= 0 || n <= 0)
        return;

    const int stride = mda;
    for (int i = 1; i <= m; ++i) {
        const double norm = dnrm2(n, &at(i, 1), stride);
        if (norm != 0.0) {
            const int count = n + 1;
            const double inverse = 1.0 / norm;
            dscal(count, inverse, &at(i, 1), stride);
        }
    }
    const double ynorm = dnrm2(m, &at(1, n + 1), 1);
    if (ynorm == 0.0)
        return; // x = 0 meets G x >= 0
    {
        const double inverse = 1.0 / ynorm;
        dscal(m, inverse, &at(1, n + 1), 1);
    }
    // H's column scales are kept in x(N1+1..N) until z is known.
    for (int j = n1 + 1; j <= n; ++j) {
        const double norm = dnrm2(m, &at(1, j), 1);
        x[j - 1] = norm != 0.0 ? 1.0 / norm : 0.0;
        if (norm != 0.0)
            dscal(m, x[j - 1], &at(1, j), 1);
    }

    // A negative first link means "no options" to the entry routine; the
    // inner solver would reject it.
    static const double noOptions[] = {1.0};
    const double* options = detail::optionInt(prgopt[0]) < 0 ? noOptions : prgopt;
    const int blockRows = n + 1;
    DualProblem dual{a, lda, m, n + 1, options, ws, is};

    if (n1 > 0) {
        const double sigma = dual.solve(n1 + 1, n2, 1, n1, blockRows);
        if (sigma == 0.0) {
            mode = 2;
            return;
        }
        for (int k = 1; k <= n1; ++k)
            x[k - 1] = dual.combine(k, blockRows) / sigma;
        // The constraints left for z: y - G w.
        for (int i = 1; i <= m; ++i)
            at(i, n + 1) -= ddot(n1, &at(i, 1), stride, x, 1);
    }
    if (n2 > 0) {
        const double sigma = dual.solve(0, 0, n1 + 1, n2, blockRows);
        if (sigma == 0.0) {
            mode = 2;
            return;
        }
        for (int j = n1 + 1; j <= n; ++j)
            x[j - 1] *= dual.combine(j, blockRows) / sigma;
    }
    dscal(n, ynorm, x, 1);
    wnorm = dnrm2(n1, x, 1);
}

} // namespace flex

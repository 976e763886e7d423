#include "flex/solver/Wnnls.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace flex {

namespace {

// The active-set solver on the caller's arrays. Row i of W has the weight
// d(i) and is either an equality ("heavy") or a least-squares ("light")
// row; rotations move rows' contents about, and the class travels with the
// dominant content. Columns are never moved: index(1..nsetp) lists the
// chosen columns in the order of their pivot rows 1..nsetp, index(nsetp+1..N)
// the others.
class ActiveSet
{
public:
    ActiveSet(double* w, int mdw, int me, int ma, int n, int l, double* x, int* iwork, double* work)
        : _w(w), _ldw(mdw), _m(me + ma), _me(me), _n(n), _l(l), _x(x), _index(iwork),
          _heavy(iwork + n), _d(work), _scale(work + _m), _z(work + _m + n),
          _dual(work + _m + 2 * n), _heavyNorm(work + _m + 3 * n), _lightNorm(work + _m + 4 * n)
    {
    }

    // Returns MODE (0 or 1) and sets rnorm.
    int solve(double tau, double weightFactor, int scaling, const double* userScale, double& rnorm);

private:
    double& at(int i, int j) { return _w[(i - 1) + static_cast<long>(j - 1) * _ldw]; }
    double* row(int i) { return &at(i, 1); }

    void swapRows(int a, int b);
    void rotate(int k, int i, int col);
    bool tryAdd(int pos, bool requirePositive);
    void removeAt(int pos);
    void solveTriangle();

    double* _w;
    long _ldw;
    int _m;
    int _me;
    int _n;
    int _l;
    double* _x;
    int* _index;
    int* _heavy;
    double* _d;
    double* _scale;
    double* _z;
    double* _dual;
    double* _heavyNorm;
    double* _lightNorm;
    int _nsetp = 0;
    double _tau2 = 0.0;
    double _heavyWeight = 1.0;
};

void ActiveSet::swapRows(int a, int b)
{
    if (a == b)
        return;
    const int count = _n + 1;
    const int stride = static_cast<int>(_ldw);
    dswap(count, row(a), stride, row(b), stride);
    std::swap(_d[a - 1], _d[b - 1]);
    std::swap(_heavy[a - 1], _heavy[b - 1]);
}

// Eliminates W(i, col) against the pivot row k with a modified Givens
// rotation applied across the whole rows.
void ActiveSet::rotate(int k, int i, int col)
{
    const double y = at(i, col);
    if (y == 0.0)
        return;
    double x1 = at(k, col);
    const bool exchanged = !(std::fabs(_d[k - 1] * x1 * x1) > std::fabs(_d[i - 1] * y * y));
    double param[5];
    drotmg(_d[k - 1], _d[i - 1], x1, y, param);
    const int count = _n + 1;
    const int stride = static_cast<int>(_ldw);
    drotm(count, row(k), stride, row(i), stride, param);
    at(i, col) = 0.0;
    if (exchanged)
        std::swap(_heavy[k - 1], _heavy[i - 1]);
}

// Tries to make the column at position pos (among the unchosen) the next
// chosen one. It must be independent of the chosen columns: first its
// equality part against theirs; where that part is only rounding left over
// from earlier eliminations it is cleared and the least-squares part must
// be independent instead. With requirePositive its value in the enlarged
// least-squares solution must be positive.
bool ActiveSet::tryAdd(int pos, bool requirePositive)
{
    const int col = _index[pos - 1];
    const int k = _nsetp + 1;
    if (k > _m)
        return false;
    double heavyAbove = 0.0;
    double heavyBelow = 0.0;
    double lightAbove = 0.0;
    double lightBelow = 0.0;
    for (int i = 1; i <= _m; ++i) {
        const double v = at(i, col);
        const double t = _d[i - 1] * v * v;
        if (_heavy[i - 1])
            (i < k ? heavyAbove : heavyBelow) += t;
        else
            (i < k ? lightAbove : lightBelow) += t;
    }
    const double heavyRef = std::max(_heavyNorm[col - 1], heavyAbove + heavyBelow);
    const bool heavyIndependent = heavyBelow > 0.0 && heavyBelow > _tau2 * heavyRef;
    if (!heavyIndependent) {
        if (heavyBelow > 0.0) {
            for (int i = k; i <= _m; ++i) {
                if (_heavy[i - 1])
                    at(i, col) = 0.0;
            }
        }
        const double lightRef = std::max(_lightNorm[col - 1], lightAbove + lightBelow);
        if (!(lightBelow > 0.0 && lightBelow > _tau2 * lightRef))
            return false;
    }

    double numerator = 0.0;
    double denominator = 0.0;
    int pivot = k;
    double pivotSize = -1.0;
    for (int i = k; i <= _m; ++i) {
        const double v = at(i, col);
        const double t = _d[i - 1] * v * v;
        numerator += _d[i - 1] * v * at(i, _n + 1);
        denominator += t;
        if (t > pivotSize) {
            pivotSize = t;
            pivot = i;
        }
    }
    if (!(denominator > 0.0))
        return false;
    if (requirePositive && !(numerator / denominator > 0.0))
        return false;

    std::swap(_index[pos - 1], _index[k - 1]);
    _nsetp = k;
    swapRows(pivot, k);
    for (int i = k + 1; i <= _m; ++i)
        rotate(k, i, col);
    return true;
}

// Moves the chosen column at position pos back among the unchosen and
// restores the triangle with rotations of neighbouring rows.
void ActiveSet::removeAt(int pos)
{
    const int col = _index[pos - 1];
    for (int q = pos; q < _nsetp; ++q)
        _index[q - 1] = _index[q];
    _index[_nsetp - 1] = col;
    --_nsetp;
    for (int q = pos; q <= _nsetp; ++q)
        rotate(q, q + 1, _index[q - 1]);
}

void ActiveSet::solveTriangle()
{
    for (int p = _nsetp; p >= 1; --p) {
        double s = at(p, _n + 1);
        for (int q = p + 1; q <= _nsetp; ++q)
            s -= at(p, _index[q - 1]) * _z[q - 1];
        _z[p - 1] = s / at(p, _index[p - 1]);
    }
}

int ActiveSet::solve(double tau, double weightFactor, int scaling, const double* userScale,
                     double& rnorm)
{
    const int n = _n;
    const int m = _m;
    _tau2 = tau * tau;

    // Column scaling.
    for (int j = 1; j <= n; ++j) {
        double s = 1.0;
        if (scaling == 1) {
            const double norm = dnrm2(m, &at(1, j), 1);
            s = norm > 0.0 ? 1.0 / norm : 1.0;
        } else if (scaling == 2) {
            s = userScale[j - 1];
        }
        _scale[j - 1] = s;
        if (s != 1.0)
            dscal(m, s, &at(1, j), 1);
    }

    // The equality rows' weight: large enough that they are met to working
    // precision, small enough that rounding left in them after elimination
    // stays below the least-squares rows.
    double equalityNorm = 0.0;
    double leastSquaresNorm = 0.0;
    for (int j = 1; j <= n; ++j) {
        equalityNorm = std::max(equalityNorm, dasum(_me, &at(1, j), 1));
        leastSquaresNorm = std::max(leastSquaresNorm, dasum(m - _me, &at(_me + 1, j), 1));
    }
    _heavyWeight = 1.0;
    if (equalityNorm > 0.0) {
        const double lambda =
            std::min(weightFactor * std::max(equalityNorm, leastSquaresNorm) / equalityNorm,
                     std::sqrt(std::numeric_limits<double>::max()) * 1.0e-10);
        _heavyWeight = lambda * lambda;
    }
    for (int i = 1; i <= m; ++i) {
        _heavy[i - 1] = i <= _me ? 1 : 0;
        _d[i - 1] = i <= _me ? _heavyWeight : 1.0;
    }
    for (int j = 1; j <= n; ++j) {
        _heavyNorm[j - 1] = _heavyWeight * ddot(_me, &at(1, j), 1, &at(1, j), 1);
        _lightNorm[j - 1] = ddot(m - _me, &at(_me + 1, j), 1, &at(_me + 1, j), 1);
        _index[j - 1] = j;
        _x[j - 1] = 0.0;
        _dual[j - 1] = 0.0;
    }
    _nsetp = 0;

    // The free columns first, largest remaining weighted norm first; a free
    // column that depends on the chosen ones stays out (its value is 0).
    constexpr double dependentFree = -1.0;
    for (;;) {
        int best = 0;
        double bestNorm = 0.0;
        for (int p = _nsetp + 1; p <= n; ++p) {
            const int col = _index[p - 1];
            if (col > _l || _dual[col - 1] == dependentFree)
                continue;
            double norm = 0.0;
            for (int i = _nsetp + 1; i <= m; ++i)
                norm += _d[i - 1] * at(i, col) * at(i, col);
            if (norm > bestNorm) {
                bestNorm = norm;
                best = p;
            }
        }
        if (best == 0)
            break;
        if (!tryAdd(best, false))
            _dual[_index[best - 1] - 1] = dependentFree;
    }
    solveTriangle();
    for (int p = 1; p <= _nsetp; ++p)
        _x[_index[p - 1] - 1] = _z[p - 1];

    int mode = 0;
    const int maxIterations = 3 * (n - _l);
    int iterations = 0;
    for (;;) {
        // Duals of the unchosen constrained columns: the weighted products
        // of their remaining parts with the residual.
        for (int p = _nsetp + 1; p <= n; ++p) {
            const int col = _index[p - 1];
            if (col <= _l)
                continue;
            double dual = 0.0;
            for (int i = _nsetp + 1; i <= m; ++i)
                dual += _d[i - 1] * at(i, col) * at(i, n + 1);
            _dual[col - 1] = dual;
        }
        bool entered = false;
        for (;;) {
            int best = 0;
            double bestDual = 0.0;
            for (int p = _nsetp + 1; p <= n; ++p) {
                const int col = _index[p - 1];
                if (col > _l && _dual[col - 1] > bestDual) {
                    bestDual = _dual[col - 1];
                    best = p;
                }
            }
            if (best == 0)
                break;
            const int col = _index[best - 1];
            if (tryAdd(best, true)) {
                entered = true;
                break;
            }
            _dual[col - 1] = 0.0;
        }
        if (!entered)
            break;
        if (++iterations > maxIterations) {
            mode = 1;
            break;
        }

        // Move towards the new least-squares solution, dropping constrained
        // columns that would turn negative, until it is feasible.
        for (;;) {
            solveTriangle();
            double alpha = 2.0;
            int blocking = 0;
            for (int p = 1; p <= _nsetp; ++p) {
                const int col = _index[p - 1];
                if (col <= _l || _z[p - 1] > 0.0)
                    continue;
                const double xc = _x[col - 1];
                const double t = xc / (xc - _z[p - 1]);
                if (t < alpha) {
                    alpha = t;
                    blocking = p;
                }
            }
            if (blocking == 0) {
                for (int p = 1; p <= _nsetp; ++p)
                    _x[_index[p - 1] - 1] = _z[p - 1];
                break;
            }
            if (++iterations > maxIterations) {
                mode = 1;
                break;
            }
            for (int p = 1; p <= _nsetp; ++p) {
                double& xc = _x[_index[p - 1] - 1];
                xc += alpha * (_z[p - 1] - xc);
            }
            _x[_index[blocking - 1] - 1] = 0.0;
            for (int p = _nsetp; p >= 1; --p) {
                const int col = _index[p - 1];
                if (col > _l && _x[col - 1] <= 0.0) {
                    _x[col - 1] = 0.0;
                    removeAt(p);
                }
            }
        }
        if (mode != 0)
            break;
    }

    // Residual of the unchosen rows, the equality rows' part without their
    // weight.
    double sum = 0.0;
    for (int i = _nsetp + 1; i <= m; ++i) {
        const double r = at(i, n + 1);
        double t = _d[i - 1] * r * r;
        if (_heavy[i - 1])
            t /= _heavyWeight;
        sum += t;
    }
    rnorm = std::sqrt(sum);
    for (int j = 1; j <= n; ++j)
        _x[j - 1] *= _scale[j - 1];
    return mode;
}

} // namespace

void dwnnls(double* w, const int& mdw, const int& me, const int& ma, const int& n, const int& l,
            const double* prgopt, double* x, double& rnorm, int& mode, int* iwork, double* work)
{
    mode = 0;
    if (ma + me <= 0 || n <= 0)
        return;
    const long long workNeeded = static_cast<long long>(me) + ma + 5LL * n;
    const long long iworkNeeded = static_cast<long long>(me) + ma + n;
    if (iwork[0] > 0 && iwork[0] < workNeeded) {
        detail::writeMessage("INSUFFICIENT STORAGE ALLOCATED FOR WORK(*)");
        mode = 2;
        return;
    }
    if (iwork[1] > 0 && iwork[1] < iworkNeeded) {
        detail::writeMessage("INSUFFICIENT STORAGE ALLOCATED FOR IWORK(*)");
        mode = 2;
        return;
    }
    if (mdw < me + ma) {
        detail::writeMessage("THE VALUE MDW.LT.ME+MA IS AN ERROR");
        mode = 2;
        return;
    }
    if (l < 0 || l > n) {
        detail::writeMessage("L.GE.0 .AND. L.LE.N IS REQUIRED");
        mode = 2;
        return;
    }

    // Options (the part of the family's list this routine reads).
    const double eps = detail::relativePrecision();
    double tau = std::sqrt(eps);
    double weightFactor = 1.0 / std::sqrt(eps);
    int scaling = 0;
    const double* userScale = nullptr;
    const detail::OptionWalk walk =
        detail::walkOptions(prgopt, false, [&](int key, const double* data) {
            if (key == 6) {
                if (data[0] != 0.0)
                    scaling = 1;
            } else if (key == 7) {
                scaling = 2;
                userScale = data;
            } else if (key == 8) {
                tau = std::max(eps, data[0]);
            } else if (key == 9) {
                weightFactor = std::max(1.0, data[0]);
            }
        });
    if (walk == detail::OptionWalk::Undefined) {
        detail::writeMessage("IN DWNNLS, THE OPTION VECTOR IS UNDEFINED");
        mode = 2;
        return;
    }
    if (walk == detail::OptionWalk::Cycling) {
        detail::writeMessage("IN DWNNLS, THE LINKS IN THE OPTION VECTOR ARE CYCLING.");
        mode = 2;
        return;
    }

    ActiveSet solver(w, mdw, me, ma, n, l, x, iwork, work);
    mode = solver.solve(tau, weightFactor, scaling, userScale, rnorm);
}

} // namespace flex

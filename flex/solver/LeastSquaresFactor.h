#pragma once
// A least-squares matrix factorised once and solved for many right-hand
// sides: the flexible bodies keep their interpolation matrix for a body's
// whole life and only the right-hand side changes.
//
// The results are those of dlsei for the same matrix with ME = MG = 0 and no
// options (the same pivoted triangulation, pseudo-rank tolerance
// sqrt(eps) * ||A||_1 and minimal-length solution), so a second side costs
// O(M N) instead of a new factorisation.
//
// Threading: one thread at a time per object (solve uses the object's
// scratch). factor allocates; solve does not.

#include <span>
#include <vector>

namespace flex {

class LeastSquaresFactor
{
public:
    // Copies and factorises the M x N column-major matrix a (leading
    // dimension lda >= M). Throws std::length_error when a is too short.
    void factor(std::span<const double> a, int lda, int m, int n);

    // x (N entries) for the right-hand side b (M entries); returns the
    // residual norm. Throws std::length_error for short spans or before
    // factor.
    double solve(std::span<const double> b, std::span<double> x);

    int rows() const { return _m; }
    int columns() const { return _n; }
    // The pseudo-rank found by factor.
    int rank() const { return _rank; }

private:
    std::vector<double> _a;
    std::vector<double> _h;
    std::vector<double> _g;
    std::vector<double> _side;
    std::vector<int> _pivots;
    int _m = 0;
    int _n = 0;
    int _rank = 0;
    bool _factored = false;
};

} // namespace flex

#pragma once
// Least squares with inequality constraints: minimise ||A x - b|| subject
// to G x >= h.
//
// W is MDW x (N+1): rows 1..MA hold [A b], rows MA+1..MA+MG hold [G h]; it
// is overwritten. X receives the N unknowns, RNORM the residual norm of the
// least-squares rows and MODE 0 (solved) or 2 (the inequalities are
// contradictory; X and RNORM are then undefined).
//
// A is triangulated with column pivoting to the pseudo-rank k that its
// diagonal allows against tau * ||A||_1 (tau = sqrt(eps), or key 5 of
// PRGOPT); without inequalities the minimal-length solution is returned.
// With them the problem becomes a least distance problem in the
// transformed unknowns, solved by dlpdp. Keys read from PRGOPT: 1 (non-zero:
// return the N x N covariance in W(1..N,1..N) when MODE is 0, which needs
// MDW >= N), 10 (non-zero: leave it unscaled by the residual variance) and
// 5 (tau, at least eps). A list that cannot be walked is treated as empty:
// this routine writes no messages.
//
// WS needs N + max(MA+MG, N) + (MG+2)(N+7) entries, IP MG + 2N + 1. On
// return IP(1) holds k and IP(2) that work space figure.
//
// Threading: reentrant; no allocation.

namespace flex {

void dlsi(double* w, const int& mdw, const int& ma, const int& mg, const int& n,
          const double* prgopt, double* x, double& rnorm, int& mode, double* ws, int* ip);

} // namespace flex

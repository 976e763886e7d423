#pragma once
// Least squares by Householder triangulation with column pivoting and a
// pseudo-rank: the minimal-length solution of A x ~ b after truncating A to
// the leading k columns (in pivot order) whose diagonal exceeds tau.
//
// A is M x N (leading dimension mda >= M), overwritten by its factorisation:
// the left reflections below the diagonal with their up scalars in h(1..N),
// the triangle T on top and, when the pseudo-rank k is below N, the right
// reflections that remove columns k+1..N from rows 1..k in rows 1..k with
// their up scalars in g(1..k); ip(1..min(M,N)) holds the column exchanges.
// B holds nb right-hand sides of max(M,N) entries each (mdb apart when
// nb > 1) and receives the solutions; rnorm(j) is the residual norm of side
// j. tau is an absolute tolerance. krank receives k.
//
// Messages (bare text on standard output, then return with nothing done):
// "MDA.LT.M, PROBABLE ERROR." and
// "MDB.LT.MAX(M,N).AND.NB.GT.1. PROBABLE ERROR.".
//
// dhftiSolve solves further right-hand sides with a factorisation that
// dhfti left in a, h, g and ip (nb may be 0 in the dhfti call that makes
// it); the results equal those dhfti would have given for the same sides.
//
// Threading: reentrant; no allocation.

namespace flex {

void dhfti(double* a, const int& mda, const int& m, const int& n, double* b, const int& mdb,
           const int& nb, const double& tau, int& krank, double* rnorm, double* h, double* g,
           int* ip);

void dhftiSolve(const double* a, const int& mda, const int& m, const int& n, double* b,
                const int& mdb, const int& nb, const int& krank, double* rnorm, const double* h,
                const double* g, const int* ip);

} // namespace flex

#pragma once
// Dense least squares with equality and inequality constraints: the solver
// that the flexible bodies use for their interpolation systems.
//
// dlsei solves, for N unknowns x,
//   E x = f   (ME rows, met exactly when they can be, else in the least
//              squares sense),
//   A x ~ b   (MA rows, in the least squares sense),
//   G x >= h  (MG rows, each holding),
// with W an MDW x (N+1) column-major array whose rows are [E f], then
// [A b], then [G h] (overwritten). X receives x, RNORME ||f - E x||,
// RNORML ||b - A x|| and MODE
//   0  solved;
//   1  the equalities are contradictory (x is the solution that meets them
//      as well as they can be met, and is still meaningful);
//   2  the inequalities are contradictory;
//   3  both;
//   4  usage error (a message was printed; nothing else was touched but
//      IP(1..2)).
// For MODE 2 and 3, X, RNORME and RNORML are undefined.
//
// The method: E is reduced by Householder reflections from the right with
// a rank decision, the A and G rows are carried into the remaining
// unknowns, and the reduced problem is least squares with inequalities
// (pivoted Householder triangulation with pseudo-rank and minimal-length
// solution; inequalities through least distance programming and weighted
// non-negative least squares).
//
// WS holds LWS doubles and IP LIP integers, at least
//   LWS >= 2(ME+N) + max(MA+MG, N) + (MG+2)(N+7),   LIP >= MG + 2N + 2;
// a length <= 0 skips its check. The lengths are written into IP(1) and
// IP(2) first. On return IP(1) is the rank found for E, IP(2) the
// pseudo-rank of the reduced least-squares matrix and IP(3) the number of
// WS entries used. Nothing is allocated.
//
// PRGOPT is the linked option list: PRGOPT(1) is the one-based index of the
// next group's link, a group at index LAST holds its key at LAST+1 and its
// data from LAST+2, and a link of 1 ends the list, so {1.0} selects nothing
// (a negative first link too). Keys:
//   1  non-zero: the N x N covariance of x is returned in W(1..N,1..N)
//      (MODE 0 or 1; needs MDW >= N);
//   2  non-zero: columns scaled by the inverse of their norms (a zero column
//      by 0, so its unknown comes back 0);
//   3  N scale factors for the columns;
//   4  the rank and consistency tolerance of E, at least eps (sqrt(eps));
//   5  the relative pseudo-rank tolerance of the reduced matrix, at least
//      eps (sqrt(eps));
//   10 non-zero: the covariance is not scaled by the residual variance.
// Unknown keys are ignored; a later group overrides an earlier one.
//
// Messages, printed as bare text on standard output before returning with
// MODE 4, in the order the checks run:
//   "ALL OF THE VARIABLES N, ME, MA, MG MUST BE .GE. 0"
//   "Insufficient storage allocated for array WS\n"
//   "Insufficient storage allocated for array IP"
//   (N < 1 or ME+MA+MG < 1: MODE 0 with both norms 0, nothing else done)
//   "MDW.LT.ME+MA+MG IS AN ERROR"
//   "THE OPTION VECTOR IS UNDEFINED"
//   "THE LINKS IN THE OPTION VECTOR ARE CYCLING."
//   "MDW .LT. N WHEN COV MATRIX NEEDED, IS AN ERROR"
//
// Threading: every routine here is reentrant; the machine precision is
// determined once, on the first call, in a thread-safe way.

#include <span>

namespace flex {

void dlsei(double* w, const int& mdw, const int& me, const int& ma, const int& mg, const int& n,
           const double* prgopt, double* x, double& rnorme, double& rnorml, int& mode, double* ws,
           int* ip, const int& lws, const int& lip);

// The minimum lengths of WS and IP for a problem of the given shape.
long long lseiWorkLength(int me, int ma, int mg, int n);
long long lseiIntWorkLength(int mg, int n);

struct LseiResult
{
    int mode = 4;
    double rnorme = 0.0;
    double rnorml = 0.0;
    int rankE = 0;  // IP(1)
    int rankA = 0;  // IP(2)
    int wsUsed = 0; // IP(3)
};

// dlsei over spans: the lengths of ws and ip are passed as LWS and LIP, an
// empty option list stands for {1.0}. Throws std::length_error when w, x or
// ip cannot hold what the shape needs (that is a programming error, not a
// usage error of the routine).
LseiResult lsei(std::span<double> w, int mdw, int me, int ma, int mg, int n,
                std::span<const double> options, std::span<double> x, std::span<double> ws,
                std::span<int> ip);

} // namespace flex

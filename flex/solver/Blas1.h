#pragma once
// Level-1 vector kernels of the constrained least-squares family, with the
// classic strided calling convention: a vector is a first element, a count
// and an increment; a negative increment walks the vector from its far end,
// as the classic kernels do. Scalars are passed by reference like the rest
// of the family. Nothing here allocates.
//
// drotmg/drotm are the modified (square-root free) Givens rotation: a row
// pair (x, y) with weights (d1, d2) is turned so that y's first entry
// vanishes while the weighted sums of squares are preserved. The parameter
// array holds the flag and the four entries of H:
//   flag -1: H = [h11 h12; h21 h22]   flag 0: H = [1 h12; h21 1]
//   flag  1: H = [h11 1; -1 h22]      flag -2: H = identity
// stored as param = {flag, h11, h21, h12, h22}.
//
// Threading: every routine is reentrant.

namespace flex {

double ddot(const int& n, const double* x, const int& incx, const double* y, const int& incy);
void daxpy(const int& n, const double& a, const double* x, const int& incx, double* y,
           const int& incy);
void dcopy(const int& n, const double* x, const int& incx, double* y, const int& incy);
void dscal(const int& n, const double& a, double* x, const int& incx);
void dswap(const int& n, double* x, const int& incx, double* y, const int& incy);
// Euclidean norm, scaled so that it neither overflows nor underflows.
double dnrm2(const int& n, const double* x, const int& incx);
double dasum(const int& n, const double* x, const int& incx);
// One-based index of the first entry of largest magnitude; 0 when n < 1.
int idamax(const int& n, const double* x, const int& incx);
void drotmg(double& d1, double& d2, double& x1, const double& y1, double* param);
void drotm(const int& n, double* x, const int& incx, double* y, const int& incy,
           const double* param);

} // namespace flex

#pragma once
// Least distance programming with free variables: find w (N1 unknowns) of
// least length and any z (N2 unknowns) such that G w + H z >= y.
//
// A is M x (N1+N2+1) with leading dimension mda: columns 1..N1 hold G,
// columns N1+1..N1+N2 hold H and column N1+N2+1 holds y; it is overwritten
// (rows and H's columns are normalised). X receives (w, z), WNORM the length
// of w and MODE 1 (solved) or 2 (the constraints cannot all hold).
//
// The dual problem is a non-negative least-squares problem in M unknowns u:
// [G^T; y^T] u ~ (0, ..., 0, 1) subject to H^T u = 0, solved by dwnnls; w
// follows from its residual. A second such problem without equality rows
// then gives the z of least (scaled) length for that w. PRGOPT is handed to
// dwnnls (a negative first link, "no options" for the family's entry, is
// handed on as an empty list).
//
// WS needs (N1+N2+1)(M+1) + M + (N1+N2+1) + 5M entries, IS M+N1+N2+1.
// There are no messages.
//
// Threading: reentrant; no allocation.

namespace flex {

void dlpdp(double* a, const int& mda, const int& m, const int& n1, const int& n2,
           const double* prgopt, double* x, double& wnorm, int& mode, double* ws, int* is);

} // namespace flex

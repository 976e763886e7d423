#pragma once
// Weighted non-negative least squares with equality rows: minimise
// ||A x - b|| subject to E x = f (rows that are satisfied as well as they
// can be before the least-squares rows count at all) and x(L+1..N) >= 0,
// with x(1..L) free.
//
// W is MDW x (N+1): rows 1..ME hold [E f], rows ME+1..ME+MA hold [A b]; it
// is overwritten. X receives the N unknowns, RNORM the residual norm of the
// whole system, MODE 0 (solved), 1 (iteration limit reached; X is the last
// iterate) or 2 (usage error).
//
// IWORK(1) and IWORK(2) hold the declared lengths of WORK and IWORK on
// entry (a value <= 0 skips that check); WORK needs ME+MA+5N entries and
// IWORK ME+MA+N. Both are then used as work space.
//
// Checks, each printing its text (bare, on standard output), setting MODE
// to 2 and returning: "INSUFFICIENT STORAGE ALLOCATED FOR WORK(*)",
// "INSUFFICIENT STORAGE ALLOCATED FOR IWORK(*)", "THE VALUE MDW.LT.ME+MA IS
// AN ERROR", "L.GE.0 .AND. L.LE.N IS REQUIRED". With ME+MA <= 0 or N <= 0 it
// returns at once with MODE 0.
//
// Options read from PRGOPT (the linked list of the family; a negative first
// link is an error here, reported as "IN DWNNLS, THE OPTION VECTOR IS
// UNDEFINED", and too many groups as "IN DWNNLS, THE LINKS IN THE OPTION
// VECTOR ARE CYCLING."; both set MODE to 2):
//   key 6, 1 value: non-zero scales each column by the inverse of its norm;
//   key 7, N values: the column scale factors themselves;
//   key 8, 1 value: the independence tolerance, max(eps, value)
//                   (default sqrt(eps));
//   key 9, 1 value: the weight factor of the equality rows, max(1, value)
//                   (default 1/sqrt(eps)).
// The solution is returned unscaled.
//
// Method: the equality rows carry a large weight, kept apart from the rows
// themselves and updated by modified Givens rotations, and the active-set
// iteration of Lawson and Hanson runs on the weighted system; an entering
// column must be independent of the chosen ones (its equality part against
// theirs, else its least-squares part) and must enter with a positive value.
//
// Threading: reentrant; no allocation.

namespace flex {

void dwnnls(double* w, const int& mdw, const int& me, const int& ma, const int& n, const int& l,
            const double* prgopt, double* x, double& rnorm, int& mode, int* iwork, double* work);

} // namespace flex

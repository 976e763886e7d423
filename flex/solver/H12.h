#pragma once
// One Householder reflection: constructed from a vector, or applied to a set
// of vectors. This is the building block of every orthogonal reduction in
// the constrained least-squares family.
//
// The reflection acts on the pivot element p and the range l1..m of each
// vector (one-based indices) and is the identity when p <= 0, p >= l1 or
// l1 > m. It is I + v v^T / beta with v = (up at p; u(l1..m)) and
// beta = up * u(p); after construction u(p) holds the new pivot value, whose
// sign is opposite to the old pivot's (positive when the old one was zero).
//
//   mode 1: construct from u (pivot and range overwritten, up set), then
//           apply to the ncv vectors c;
//   mode 2: apply a reflection built earlier to the ncv vectors c.
//
// u's elements are iue apart; vector k of c starts at c + (k-1)*icv and its
// elements are ice apart. A zero vector constructs nothing and leaves up
// alone: callers set up to 0 first so that a later mode 2 call is the
// identity.
//
// Threading: reentrant.

namespace flex {

void dh12(const int& mode, const int& lpivot, const int& l1, const int& m, double* u,
          const int& iue, double& up, double* c, const int& ice, const int& icv, const int& ncv);

} // namespace flex

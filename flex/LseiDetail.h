#pragma once
// Pieces shared by the routines of the constrained least-squares family and
// by nothing else: the message output, the machine precision, the walk over
// the linked option list, and the two inner loops that dominate the cost of
// a dense solve.

#include <cmath>
#include <cstdio>

namespace flex::detail {

// Writes a message of the family: the bare text on standard output, no line
// end added. The caller returns right after; the only other report is MODE.
inline void writeMessage(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// The relative machine precision: the smallest power of two that still
// changes 1.0 when added to it. Determined once, on the first call.
double relativePrecision();

// Converts an option list entry to an integer by truncation; values that
// cannot be a link or a key (huge, not a number) become -1, which no caller
// accepts as a link.
inline int optionInt(double value)
{
    if (!(std::fabs(value) < 1.0e9))
        return -1;
    return static_cast<int>(value);
}

enum class OptionWalk
{
    Done,
    Undefined,
    Cycling,
};

// Walks the linked option list. The list starts with the index (one-based)
// of the next group; a group at index LAST holds that link, its key at
// LAST+1 and its data from LAST+2. A link of 1 ends the list. visit(key,
// data) is called per group with data pointing at the group's first datum.
// A negative first link means "no options" where negativeMeansNone is set
// and is an error otherwise.
template <class Visit>
OptionWalk walkOptions(const double* prgopt, bool negativeMeansNone, Visit&& visit)
{
    constexpr int maxLink = 100000;
    constexpr int maxGroups = 1000;
    int last = 1;
    int link = optionInt(prgopt[0]);
    if (link < 0 && negativeMeansNone)
        return OptionWalk::Done;
    if (link <= 0 || link > maxLink)
        return OptionWalk::Undefined;
    int groups = 0;
    while (link > 1) {
        if (++groups > maxGroups)
            return OptionWalk::Cycling;
        const int next = optionInt(prgopt[link - 1]);
        if (next <= 0 || next > maxLink)
            return OptionWalk::Undefined;
        visit(optionInt(prgopt[last]), prgopt + last + 1);
        last = link;
        link = next;
    }
    return OptionWalk::Done;
}

// sum of x[i] * y[i] for i < n, both contiguous. Four partial sums keep the
// loop free of a single dependency chain.
inline double dotContiguous(int n, const double* x, const double* y)
{
    double s0 = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += x[i] * y[i];
        s1 += x[i + 1] * y[i + 1];
        s2 += x[i + 2] * y[i + 2];
        s3 += x[i + 3] * y[i + 3];
    }
    for (; i < n; ++i)
        s0 += x[i] * y[i];
    return (s0 + s2) + (s1 + s3);
}

// y[i] += a * x[i] for i < n, both contiguous.
inline void axpyContiguous(int n, double a, const double* __restrict x, double* __restrict y)
{
    for (int i = 0; i < n; ++i)
        y[i] += a * x[i];
}

} // namespace flex::detail

namespace flex::detail {

// Symmetric matrices held in their lower triangle (entries (r, c), r >= c,
// of the column-major array c with leading dimension ldc): the covariance is
// built this way so that the reflection vectors kept in the strict upper
// triangle of the same array survive until they have been used.

// C <- H C H for the reflection with pivot `pivot`, range l1..n, vector
// entries row[(l - 1) * rowStride] for l in l1..n, up scalar `up` and pivot
// value s (as stored by dh12). p is scratch of n entries. The identity when
// s = 0 or up * s >= 0, as in dh12.
void reflectSymmetric(double* c, long ldc, int n, int pivot, int l1, const double* row,
                      long rowStride, double up, double s, double* p);

// Exchanges coordinates i and j (one-based) of the lower-stored C of order n.
void swapSymmetric(double* c, long ldc, int n, int i, int j);

// Copies the lower triangle of C (order n) into its upper triangle.
void fillUpper(double* c, long ldc, int n);

} // namespace flex::detail

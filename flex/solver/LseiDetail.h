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

// Two doubles processed together (the width every x86-64 processor has);
// loads and stores go through memcpy so that no alignment is assumed.
typedef double Packet __attribute__((vector_size(16)));

inline Packet loadPacket(const double* p)
{
    Packet v;
    __builtin_memcpy(&v, p, sizeof(v));
    return v;
}

inline void storePacket(double* p, Packet v)
{
    __builtin_memcpy(p, &v, sizeof(v));
}

// sum of x[i] * y[i] for i < n, both contiguous. Eight partial sums keep
// the loop free of a single dependency chain.
inline double dotContiguous(int n, const double* x, const double* y)
{
    Packet s0 = {0.0, 0.0};
    Packet s1 = {0.0, 0.0};
    Packet s2 = {0.0, 0.0};
    Packet s3 = {0.0, 0.0};
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        s0 += loadPacket(x + i) * loadPacket(y + i);
        s1 += loadPacket(x + i + 2) * loadPacket(y + i + 2);
        s2 += loadPacket(x + i + 4) * loadPacket(y + i + 4);
        s3 += loadPacket(x + i + 6) * loadPacket(y + i + 6);
    }
    for (; i + 2 <= n; i += 2)
        s0 += loadPacket(x + i) * loadPacket(y + i);
    const Packet s = (s0 + s2) + (s1 + s3);
    double sum = s[0] + s[1];
    if (i < n)
        sum += x[i] * y[i];
    return sum;
}

// y[i] += a * x[i] for i < n, both contiguous and not overlapping.
inline void axpyContiguous(int n, double a, const double* __restrict x, double* __restrict y)
{
    const Packet av = {a, a};
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        storePacket(y + i, loadPacket(y + i) + av * loadPacket(x + i));
        storePacket(y + i + 2, loadPacket(y + i + 2) + av * loadPacket(x + i + 2));
        storePacket(y + i + 4, loadPacket(y + i + 4) + av * loadPacket(x + i + 4));
        storePacket(y + i + 6, loadPacket(y + i + 6) + av * loadPacket(x + i + 6));
    }
    for (; i + 2 <= n; i += 2)
        storePacket(y + i, loadPacket(y + i) + av * loadPacket(x + i));
    if (i < n)
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

#include "flex/solver/Lsei.h"

#include "flex/solver/Blas1.h"
#include "flex/solver/H12.h"
#include "flex/solver/Lsi.h"
#include "flex/solver/LseiDetail.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

namespace flex {

long long lseiWorkLength(int me, int ma, int mg, int n)
{
    return 2LL * (static_cast<long long>(me) + n) +
           std::max(static_cast<long long>(ma) + mg, static_cast<long long>(n)) +
           (static_cast<long long>(mg) + 2) * (static_cast<long long>(n) + 7);
}

long long lseiIntWorkLength(int mg, int n)
{
    return static_cast<long long>(mg) + 2LL * n + 2;
}

void dlsei(double* w, const int& mdw, const int& me, const int& ma, const int& mg, const int& n,
           const double* prgopt, double* x, double& rnorme, double& rnorml, int& mode, double* ws,
           int* ip, const int& lws, const int& lip)
{
    // The lengths live in IP(1) and IP(2) from here on (an IP declared with
    // one entry has no room for the second).
    ip[0] = lws;
    if (lip <= 0 || lip >= 2)
        ip[1] = lip;
    mode = 4;

    if (n < 0 || me < 0 || ma < 0 || mg < 0) {
        detail::writeMessage("ALL OF THE VARIABLES N, ME, MA, MG MUST BE .GE. 0");
        return;
    }
    if (lws > 0 && lws < lseiWorkLength(me, ma, mg, n)) {
        detail::writeMessage("Insufficient storage allocated for array WS\n");
        return;
    }
    if (lip > 0 && lip < lseiIntWorkLength(mg, n)) {
        detail::writeMessage("Insufficient storage allocated for array IP");
        return;
    }
    const int m = me + ma + mg;
    if (n < 1 || m < 1) {
        rnorme = 0.0;
        rnorml = 0.0;
        mode = 0;
        return;
    }
    if (mdw < m) {
        detail::writeMessage("MDW.LT.ME+MA+MG IS AN ERROR");
        return;
    }

    const long ldw = mdw;
    auto at = [&](int i, int j) -> double& { return w[(i - 1) + (j - 1) * ldw]; };
    const double eps = detail::relativePrecision();
    const int k0 = std::min(me, n);
    // Work space: E's up scalars (k0), L's saved diagonal (k0), the column
    // scales (n), then the inequality solver's part.
    double* up = ws;
    double* diagonal = ws + k0;
    double* scale = ws + 2 * k0;
    double* lsiWork = scale + n;

    // Options. The scales are gathered into WS while walking, so that a
    // later group overrides an earlier one; W changes only once the whole
    // list has been accepted.
    bool covariance = false;
    double tau = std::sqrt(eps);
    std::fill(scale, scale + n, 1.0);
    const detail::OptionWalk walk =
        detail::walkOptions(prgopt, true, [&](int key, const double* data) {
            if (key == 1) {
                covariance = data[0] != 0.0;
            } else if (key == 2) {
                if (data[0] != 0.0) {
                    for (int j = 1; j <= n; ++j) {
                        const double norm = dnrm2(m, &at(1, j), 1);
                        scale[j - 1] = norm != 0.0 ? 1.0 / norm : 0.0;
                    }
                }
            } else if (key == 3) {
                std::copy(data, data + n, scale);
            } else if (key == 4) {
                tau = std::max(eps, data[0]);
            }
        });
    if (walk == detail::OptionWalk::Undefined) {
        detail::writeMessage("THE OPTION VECTOR IS UNDEFINED");
        return;
    }
    if (walk == detail::OptionWalk::Cycling) {
        detail::writeMessage("THE LINKS IN THE OPTION VECTOR ARE CYCLING.");
        return;
    }
    if (covariance && mdw < n) {
        detail::writeMessage("MDW .LT. N WHEN COV MATRIX NEEDED, IS AN ERROR");
        return;
    }
    for (int j = 1; j <= n; ++j) {
        if (scale[j - 1] != 1.0)
            dscal(m, scale[j - 1], &at(1, j), 1);
    }

    double enorm = 0.0;
    for (int j = 1; j <= n; ++j)
        enorm = std::max(enorm, dasum(me, &at(1, j), 1));
    const double fnorm = dasum(me, &at(1, n + 1), 1);
    const double tau2 = tau * tau;

    // Reduce E by rows with reflections from the right, choosing each time
    // the row with the largest part outside the span of the rows already
    // chosen relative to its part inside; the running largest values carry
    // over from one step to the next.
    int kranke = k0;
    double snmax = 0.0;
    double rnmax = 0.0;
    for (int i = 1; i <= k0; ++i) {
        int imax = i;
        for (int k = i; k <= me; ++k) {
            const int outside = n - i + 1;
            const int inside = i - 1;
            const double sn = ddot(outside, &at(k, i), mdw, &at(k, i), mdw);
            const double rn = ddot(inside, &at(k, 1), mdw, &at(k, 1), mdw);
            if (rn == 0.0 && sn > snmax) {
                snmax = sn;
                imax = k;
            } else if (k == i || sn * rnmax > rn * snmax) {
                snmax = sn;
                rnmax = rn;
                imax = k;
            }
        }
        if (imax != i) {
            const int count = n + 1;
            dswap(count, &at(i, 1), mdw, &at(imax, 1), mdw);
        }
        if (!(snmax > rnmax * tau2)) {
            kranke = i - 1;
            break;
        }
        up[i - 1] = 0.0;
        const int ip1 = i + 1;
        const int below = m - i;
        dh12(1, i, ip1, n, &at(i, 1), mdw, up[i - 1], below > 0 ? &at(ip1, 1) : nullptr, mdw, 1,
             below);
    }

    for (int i = 1; i <= kranke; ++i)
        diagonal[i - 1] = at(i, i);

    // Dependent E rows: zero their first kranke columns with left
    // reflections so that [L; 0] remains and f follows.
    if (kranke < me) {
        const int first = kranke + 1;
        for (int k = kranke; k >= 1; --k) {
            double upk = 0.0;
            const int before = k - 1;
            dh12(1, k, first, me, &at(1, k), 1, upk, w, 1, mdw, before);
            dh12(2, k, first, me, &at(1, k), 1, upk, &at(1, n + 1), 1, mdw, 1);
        }
    }

    // y1 = L^-1 f~, then the A and G rows carried into the remaining
    // unknowns; a row whose remaining part is negligible against its part in
    // span(E) is taken to lie in that span.
    for (int i = 1; i <= kranke; ++i) {
        double s = at(i, n + 1);
        for (int j = 1; j < i; ++j)
            s -= at(i, j) * x[j - 1];
        x[i - 1] = s / at(i, i);
    }
    for (int r = me + 1; r <= m; ++r) {
        at(r, n + 1) -= ddot(kranke, &at(r, 1), mdw, x, 1);
        if (kranke < n) {
            const int tail = n - kranke;
            const double tailSquared = ddot(tail, &at(r, kranke + 1), mdw, &at(r, kranke + 1), mdw);
            const double headSquared = ddot(kranke, &at(r, 1), mdw, &at(r, 1), mdw);
            if (tailSquared <= tau2 * headSquared) {
                for (int j = kranke + 1; j <= n; ++j)
                    at(r, j) = 0.0;
            }
        }
    }
    const int dependent = me - kranke;
    rnorme = dnrm2(dependent, &at(kranke + 1, n + 1), 1);

    // The A and G rows move up over the dependent E rows; the ranges
    // overlap, so rows are copied first to last.
    if (kranke < me) {
        for (int r = 0; r < ma + mg; ++r) {
            const int count = n + 1;
            dcopy(count, &at(me + 1 + r, 1), mdw, &at(kranke + 1 + r, 1), mdw);
        }
    }

    const int reduced = n - kranke;
    dlsi(&at(kranke + 1, kranke + 1), mdw, ma, mg, reduced, prgopt, x + kranke, rnorml, mode,
         lsiWork, ip + 1);

    bool transform = true;
    if (me > 0) {
        const double xnrme = dasum(kranke, &at(1, n + 1), 1);
        if (rnorme > tau * (enorm * xnrme + fnorm))
            mode += 1;
        if (kranke == n && mg > 0) {
            // All unknowns are fixed by E: the inequalities can only be
            // checked.
            const double ynorm = dasum(n, x, 1);
            const int firstG = kranke + ma + 1;
            for (int r = firstG; r < firstG + mg; ++r) {
                const double residual = at(r, n + 1);
                const double gnorm = dasum(n, &at(r, 1), mdw);
                if (residual > tau * (gnorm * ynorm + std::fabs(residual))) {
                    mode += 2;
                    transform = false;
                    break;
                }
            }
        }
    }

    if (transform && mode <= 1) {
        for (int i = 1; i <= kranke; ++i)
            at(i, i) = diagonal[i - 1];
        for (int i = kranke; i >= 1; --i) {
            const int ip1 = i + 1;
            dh12(2, i, ip1, n, &at(i, 1), mdw, up[i - 1], x, 1, n, 1);
        }
        if (covariance) {
            // D Z [0 0; 0 C] Z^T D with C from dlsi in W(kranke+1.., kranke+1..):
            // similarity reflections on the lower triangle, whose strict upper
            // part still holds the reflection vectors.
            for (int c = 1; c <= kranke; ++c) {
                for (int r = c; r <= n; ++r)
                    at(r, c) = 0.0;
            }
            for (int i = std::min(kranke, n - 1); i >= 1; --i)
                detail::reflectSymmetric(w, ldw, n, i, i + 1, &at(i, 1), ldw, up[i - 1],
                                         diagonal[i - 1], lsiWork);
            detail::fillUpper(w, ldw, n);
            for (int c = 1; c <= n; ++c) {
                for (int r = 1; r <= n; ++r)
                    at(r, c) *= scale[r - 1] * scale[c - 1];
            }
        }
        for (int j = 1; j <= n; ++j)
            x[j - 1] *= scale[j - 1];
    }

    ip[0] = kranke;
    ip[2] += 2 * kranke + n;
}

LseiResult lsei(std::span<double> w, int mdw, int me, int ma, int mg, int n,
                std::span<const double> options, std::span<double> x, std::span<double> ws,
                std::span<int> ip)
{
    static const double noOptions[] = {1.0};
    const bool solves = n >= 1 && me >= 0 && ma >= 0 && mg >= 0 && me + ma + mg >= 1;
    if (solves && mdw > 0 && w.size() < static_cast<size_t>(mdw) * static_cast<size_t>(n + 1))
        throw std::length_error("lsei: W holds " + std::to_string(w.size()) +
                                " entries, MDW*(N+1) is " +
                                std::to_string(static_cast<long long>(mdw) * (n + 1)));
    if (solves && x.size() < static_cast<size_t>(n))
        throw std::length_error("lsei: X holds " + std::to_string(x.size()) + " entries, N is " +
                                std::to_string(n));
    if (ip.size() < 2)
        throw std::length_error("lsei: IP needs room for its two lengths");

    // An empty WS is declared with length 1, so that the routine's own check
    // reports it (a length of 0 would skip the check).
    auto clampLength = [](size_t size) {
        return static_cast<int>(std::min<size_t>(std::max<size_t>(size, 1), INT_MAX));
    };
    const int lws = clampLength(ws.size());
    const int lip = clampLength(ip.size());
    double emptyWork = 0.0;
    LseiResult result;
    dlsei(w.data(), mdw, me, ma, mg, n, options.empty() ? noOptions : options.data(), x.data(),
          result.rnorme, result.rnorml, result.mode, ws.empty() ? &emptyWork : ws.data(), ip.data(),
          lws, lip);
    if (solves && result.mode <= 3 && mdw >= me + ma + mg) {
        result.rankE = ip[0];
        result.rankA = ip[1];
        result.wsUsed = ip[2];
    }
    return result;
}

} // namespace flex

#pragma once

// The tridiagonal solve of a soil column's implicit step.

#include "soil/node_pairs.hpp"

namespace torva {

// 2^600 and 2^-600: far from both ends of the doubles' range, so that a
// row's pivot, however small or large, cannot take a determinant past them.
inline constexpr double kDeterminantLarge = 0x1p600, kDeterminantSmall = 0x1p-600;

// The power of two that brings a determinant of this size back within the
// bounds: 2^-600 above them, 2^600 below, 1 (which changes nothing) within.
inline double rescaling(double size) {
    return size > kDeterminantLarge   ? kDeterminantSmall
           : size < kDeterminantSmall ? kDeterminantLarge
                                      : 1.0;
}
inline NodePair rescaling(NodePair size) {
    return size > pair_of(kDeterminantLarge)   ? pair_of(kDeterminantSmall)
           : size < pair_of(kDeterminantSmall) ? pair_of(kDeterminantLarge)
                                               : pair_of(1.0);
}

// One link of a chain of the elimination by determinants: from the
// determinants p and q of the leading rows up to the last one and the one
// before, and y = r' p of the last, those of the next row, whose diagonal
// is b, whose right-hand side is r and whose face towards the last row has
// the conductance g. For one chain (double) or two side by side, one in
// each lane (NodePair).
template <typename T>
inline void link_determinant(T b, T g, T r, T& p, T& q, T& y) {
    const T next = b * p - (g * g) * q;
    y = r * p + g * y;
    q = p;
    p = next;
    const T size = magnitude(p);
    if (any_outside(size, kDeterminantSmall, kDeterminantLarge)) [[unlikely]] {
        const T scale = rescaling(size);
        p *= scale;
        q *= scale;
        y *= scale;
    }
}

// Solves the system of a column of n nodes whose row i holds -g[i] below the
// diagonal b[i] and -g[i + 1] above it, g being the conductances of the faces
// (g[0] and g[n], the boundary faces, take no part). The elimination runs
// from both ends towards the middle node at once: each elimination is a
// chain of dependent steps, and two chains of half the length run side by
// side in the processor, so the solve takes about half the time of one chain
// from the top. The chains carry determinants rather than pivots, which
// keeps the divisions out of them (see link_determinant). The solution
// replaces r; w is n entries of scratch. The off-diagonal entries are read
// as the conductances themselves, their signs folded into the arithmetic.
inline void solve_tridiagonal(int n, const double* g, const double* b, double* w, double* r) {
    // The last values of each chain are carried in registers rather than
    // read back from the arrays just written, which would add a store and a
    // load to every link of the chains. w[i] holds the eliminated entry above
    // the diagonal of row i (downward chain, sign turned) or below it
    // (upward chain, sign turned).
    if (n < 3) {
        double inverse = 1.0 / b[0];
        double c_last = w[0] = g[1] * inverse;
        double r_last = r[0] *= inverse;
        for (int i = 1; i < n; ++i) {
            inverse = 1.0 / (b[i] - g[i] * c_last);
            c_last = w[i] = g[i + 1] * inverse;
            r_last = r[i] = (r[i] + g[i] * r_last) * inverse;
        }
        for (int i = n - 2; i >= 0; --i) r_last = r[i] += w[i] * r_last;
        return;
    }
    const int m = n / 2;          // the middle node
    const int below = n - 1 - m;  // nodes m + 1 .. n - 1, eliminated upwards
    // Each chain carries the determinants of its leading rows, p (this row)
    // and q (the row before), and y = r' p, the eliminated right-hand side
    // times the determinant; the pivot of a row is p / q. Neither recurrence
    // divides, so a link of either chain is a multiplication and an addition;
    // each row's one division, its reciprocal determinant, stands aside from
    // both chains. The determinants shrink or grow with the length of the
    // chain, so they are scaled by a power of two (exact) when they stray far.
    // The two chains do the same arithmetic on their own rows, so they go
    // side by side in the two lanes of a pair, the downward chain (from the
    // top) in the first and the upward one in the second; each lane rounds
    // as one chain on its own would.
    NodePair p = {b[0], b[n - 1]}, q = pair_of(1.0), y = {r[0], r[n - 1]};
    NodePair inverse = pair_of(1.0) / p;
    NodePair eliminated = NodePair{g[1], g[n - 1]} * inverse;
    NodePair solved = y * inverse;
    w[0] = eliminated[0];
    w[n - 1] = eliminated[1];
    r[0] = solved[0];
    r[n - 1] = solved[1];
    for (int k = 1; k < below; ++k) {
        const int i = k, j = n - 1 - k;
        link_determinant(NodePair{b[i], b[j]}, NodePair{g[i], g[j + 1]}, NodePair{r[i], r[j]}, p, q,
                         y);
        inverse = pair_of(1.0) / p;
        eliminated = NodePair{g[i + 1], g[j]} * (q * inverse);
        solved = y * inverse;
        w[i] = eliminated[0];
        w[j] = eliminated[1];
        r[i] = solved[0];
        r[j] = solved[1];
    }
    double c_up = eliminated[0], r_up = solved[0], r_down = solved[1];
    const double a_down = eliminated[1];
    if (m > below) {
        const int i = m - 1;
        double p_up = p[0], q_up = q[0], y_up = y[0];
        link_determinant(b[i], g[i], r[i], p_up, q_up, y_up);
        const double up = 1.0 / p_up;
        c_up = w[i] = g[i + 1] * (q_up * up);
        r_up = r[i] = y_up * up;
    }
    const double middle =
        (r[m] + g[m] * r_up + g[m + 1] * r_down) / (b[m] - g[m] * c_up - g[m + 1] * a_down);
    r[m] = middle;
    r_up = r_down = middle;
    for (int k = 1; k <= below; ++k) {
        r_up = r[m - k] += w[m - k] * r_up;
        r_down = r[m + k] += w[m + k] * r_down;
    }
    if (m > below)
        r[0] += w[0] * r_up;
}

}  // namespace torva

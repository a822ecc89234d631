#pragma once

// The tridiagonal solve of a soil column's implicit step.

namespace torva {

// Solves the system of a column of n nodes whose row i holds -g[i] below the
// diagonal b[i] and -g[i + 1] above it, g being the conductances of the faces
// (g[0] and g[n], the boundary faces, take no part). The elimination runs
// from both ends towards the middle node at once: each elimination is a
// chain of dependent steps, a division in each, and two chains of half the
// length run side by side in the processor, so the solve takes about half the
// time of one chain from the top. The solution replaces r; w is n entries of
// scratch. The off-diagonal entries are read as the conductances themselves,
// their signs folded into the arithmetic, which gives the same numbers to the
// last digit as the system written out with its negative entries.
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
    // Nodes 0 .. m - 1 downwards (m nodes, below or below + 1 of them).
    double up = 1.0 / b[0];
    double down = 1.0 / b[n - 1];
    double c_up = w[0] = g[1] * up;
    double r_up = r[0] *= up;
    double a_down = w[n - 1] = g[n - 1] * down;
    double r_down = r[n - 1] *= down;
    for (int k = 1; k < below; ++k) {
        const int i = k, j = n - 1 - k;
        up = 1.0 / (b[i] - g[i] * c_up);
        down = 1.0 / (b[j] - g[j + 1] * a_down);
        c_up = w[i] = g[i + 1] * up;
        r_up = r[i] = (r[i] + g[i] * r_up) * up;
        a_down = w[j] = g[j] * down;
        r_down = r[j] = (r[j] + g[j + 1] * r_down) * down;
    }
    if (m > below) {
        const int i = m - 1;
        up = 1.0 / (b[i] - g[i] * c_up);
        c_up = w[i] = g[i + 1] * up;
        r_up = r[i] = (r[i] + g[i] * r_up) * up;
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

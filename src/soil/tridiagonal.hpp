#pragma once

// The tridiagonal solve of a soil column's implicit step.

namespace torva {

// Tridiagonal solve (a below, b on, c above the diagonal) eliminating from
// both ends towards the middle node at once. Each elimination is a chain of
// dependent steps, a division in each; two chains of half the length run
// side by side in the processor, so the solve takes about half the time of
// one chain from the top. The solution replaces r; a and c are overwritten.
inline void solve_tridiagonal(int n, double* a, const double* b, double* c, double* r) {
    // The last values of each chain are carried in registers rather than
    // read back from the arrays just written, which would add a store and a
    // load to every link of the chains.
    if (n < 3) {
        double inverse = 1.0 / b[0];
        double c_last = c[0] *= inverse;
        double r_last = r[0] *= inverse;
        for (int i = 1; i < n; ++i) {
            inverse = 1.0 / (b[i] - a[i] * c_last);
            c_last = c[i] *= inverse;
            r_last = r[i] = (r[i] - a[i] * r_last) * inverse;
        }
        for (int i = n - 2; i >= 0; --i) r_last = r[i] -= c[i] * r_last;
        return;
    }
    const int m = n / 2;          // the middle node
    const int below = n - 1 - m;  // nodes m + 1 .. n - 1, eliminated upwards
    // Nodes 0 .. m - 1 downwards (m nodes, below or below + 1 of them).
    double up = 1.0 / b[0];
    double down = 1.0 / b[n - 1];
    double c_up = c[0] *= up;
    double r_up = r[0] *= up;
    double a_down = a[n - 1] *= down;
    double r_down = r[n - 1] *= down;
    for (int k = 1; k < below; ++k) {
        const int i = k, j = n - 1 - k;
        up = 1.0 / (b[i] - a[i] * c_up);
        down = 1.0 / (b[j] - c[j] * a_down);
        c_up = c[i] *= up;
        r_up = r[i] = (r[i] - a[i] * r_up) * up;
        a_down = a[j] *= down;
        r_down = r[j] = (r[j] - c[j] * r_down) * down;
    }
    if (m > below) {
        const int i = m - 1;
        up = 1.0 / (b[i] - a[i] * c_up);
        c_up = c[i] *= up;
        r_up = r[i] = (r[i] - a[i] * r_up) * up;
    }
    const double middle =
        (r[m] - a[m] * r_up - c[m] * r_down) / (b[m] - a[m] * c_up - c[m] * a_down);
    r[m] = middle;
    r_up = r_down = middle;
    for (int k = 1; k <= below; ++k) {
        r_up = r[m - k] -= c[m - k] * r_up;
        r_down = r[m + k] -= a[m + k] * r_down;
    }
    if (m > below)
        r[0] -= c[0] * r_up;
}

}  // namespace torva

#pragma once

// The tridiagonal solve of a soil column's implicit step.

namespace torva {

// Tridiagonal solve (a below, b on, c above the diagonal) eliminating from
// both ends towards the middle node at once. Each elimination is a chain of
// dependent steps, a division in each; two chains of half the length run
// side by side in the processor, so the solve takes about half the time of
// one chain from the top. The solution replaces r; a and c are overwritten.
inline void solve_tridiagonal(int n, double* a, const double* b, double* c, double* r) {
    if (n < 3) {
        double inverse = 1.0 / b[0];
        c[0] *= inverse;
        r[0] *= inverse;
        for (int i = 1; i < n; ++i) {
            inverse = 1.0 / (b[i] - a[i] * c[i - 1]);
            c[i] *= inverse;
            r[i] = (r[i] - a[i] * r[i - 1]) * inverse;
        }
        for (int i = n - 2; i >= 0; --i) r[i] -= c[i] * r[i + 1];
        return;
    }
    const int m = n / 2;          // the middle node
    const int below = n - 1 - m;  // nodes m + 1 .. n - 1, eliminated upwards
    // Nodes 0 .. m - 1 downwards (m nodes, below or below + 1 of them).
    double up = 1.0 / b[0];
    double down = 1.0 / b[n - 1];
    c[0] *= up;
    r[0] *= up;
    a[n - 1] *= down;
    r[n - 1] *= down;
    for (int k = 1; k < below; ++k) {
        const int i = k, j = n - 1 - k;
        up = 1.0 / (b[i] - a[i] * c[i - 1]);
        down = 1.0 / (b[j] - c[j] * a[j + 1]);
        c[i] *= up;
        r[i] = (r[i] - a[i] * r[i - 1]) * up;
        a[j] *= down;
        r[j] = (r[j] - c[j] * r[j + 1]) * down;
    }
    if (m > below) {
        const int i = m - 1;
        up = 1.0 / (b[i] - a[i] * c[i - 1]);
        c[i] *= up;
        r[i] = (r[i] - a[i] * r[i - 1]) * up;
    }
    r[m] = (r[m] - a[m] * r[m - 1] - c[m] * r[m + 1]) / (b[m] - a[m] * c[m - 1] - c[m] * a[m + 1]);
    for (int k = 1; k <= below; ++k) {
        r[m - k] -= c[m - k] * r[m - k + 1];
        r[m + k] -= a[m + k] * r[m + k - 1];
    }
    if (m > below)
        r[0] -= c[0] * r[1];
}

}  // namespace torva

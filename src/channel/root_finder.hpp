#pragma once
// Brent's method: inverse quadratic interpolation, secant steps and bisection
// on a bracket that always holds a sign change, so it converges as fast as the
// secant method on smooth functions and never slower than bisection.

#include <cmath>

namespace torva {

struct BrentRoot {
    double root = 0.0;
    bool bracketed = true;   // f changed sign between the two starting points
    bool converged = false;  // the bracket closed within the tolerance in time
};

inline constexpr int kBrentMaxIterations = 100;

// Root of f between a and b, to within tolerance (absolute) plus 6e-8 of the
// root's size. A template so that the culvert laws pass lambdas without
// allocating inside a time step.
template <class F>
BrentRoot brent_root(F&& f, double a, double b, double tolerance) {
    constexpr double kEps = 3.0e-8;
    double fa = f(a);
    double fb = f(b);
    if ((fa > 0.0 && fb > 0.0) || (fa < 0.0 && fb < 0.0))
        return {0.0, false, false};
    double c = b;
    double fc = fb;
    double d = 0.0;
    double e = 0.0;
    for (int iteration = 1; iteration <= kBrentMaxIterations; ++iteration) {
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            c = a;  // keep the sign change between b and c
            fc = fa;
            e = d = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {  // b is the best estimate so far
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 2.0 * kEps * std::fabs(b) + 0.5 * tolerance;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0.0)
            return {b, true, true};
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            double p;
            double q;
            const double s = fb / fa;
            if (a == c) {  // secant
                p = 2.0 * xm * s;
                q = 1.0 - s;
            } else {  // inverse quadratic interpolation
                const double qq = fa / fc;
                const double r = fb / fc;
                p = s * (2.0 * xm * qq * (qq - r) - (b - a) * (r - 1.0));
                q = (qq - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0)
                q = -q;
            p = std::fabs(p);
            const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
            const double min2 = std::fabs(e * q);
            if (2.0 * p < (min1 < min2 ? min1 : min2)) {
                e = d;  // the interpolation is accepted
                d = p / q;
            } else {
                d = xm;  // it converges too slowly: bisect
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : (xm >= 0.0 ? tol1 : -tol1);
        fb = f(b);
    }
    return {b, true, false};
}

}  // namespace torva

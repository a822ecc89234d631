#pragma once
// Test functions with known global optima for the Shuffled Complex Evolution
// search, and a helper that runs the search on one of them. Shared by the
// unit tests (a few seeds) and the sweep benchmark (100 seeds).

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "calibration/evaluator.hpp"
#include "calibration/sce_search.hpp"

namespace torva::sce_test {

// Goldstein-Price on [-2, 2]^2: minimum 3 at (0, -1).
inline double goldstein_price(const Point& p) {
    const double x = p[1], y = p[2];
    const double a =
        1.0 + (x + y + 1.0) * (x + y + 1.0) *
                  (19.0 - 14.0 * x + 3.0 * x * x - 14.0 * y + 6.0 * x * y + 3.0 * y * y);
    const double b =
        30.0 + (2.0 * x - 3.0 * y) * (2.0 * x - 3.0 * y) *
                   (18.0 - 32.0 * x + 12.0 * x * x + 48.0 * y - 36.0 * x * y + 27.0 * y * y);
    return a * b;
}

// Rosenbrock on [-5, 5]^2: minimum 0 at (1, 1), at the end of a long curved valley.
inline double rosenbrock(const Point& p) {
    const double x = p[1], y = p[2];
    return 100.0 * (y - x * x) * (y - x * x) + (1.0 - x) * (1.0 - x);
}

// Hartmann's six-dimensional function on [0, 1]^6, minimum -3.32237, shifted by
// 4 so that it is positive everywhere: the search ranks points by magnitude.
inline double hartmann6_plus_4(const Point& p) {
    static constexpr double a[4][6] = {{10, 3, 17, 3.5, 1.7, 8},
                                       {0.05, 10, 17, 0.1, 8, 14},
                                       {3, 3.5, 1.7, 10, 17, 8},
                                       {17, 8, 0.05, 10, 0.1, 14}};
    static constexpr double q[4][6] = {{0.1312, 0.1696, 0.5569, 0.0124, 0.8283, 0.5886},
                                       {0.2329, 0.4135, 0.8307, 0.3736, 0.1004, 0.9991},
                                       {0.2348, 0.1451, 0.3522, 0.2883, 0.3047, 0.6650},
                                       {0.4047, 0.8828, 0.8732, 0.5743, 0.1091, 0.0381}};
    static constexpr double alpha[4] = {1.0, 1.2, 3.0, 3.2};
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        double e = 0.0;
        for (int j = 0; j < 6; ++j) e += a[i][j] * (p[j + 1] - q[i][j]) * (p[j + 1] - q[i][j]);
        sum += alpha[i] * std::exp(-e);
    }
    return 4.0 - sum;
}

struct TestFunction {
    const char* name;
    double (*f)(const Point&);
    int dimensions;
    double lower, upper;
    double optimum;    // the global minimum
    double tolerance;  // a best value this close to the optimum has found it
    int complexes;
};

inline const TestFunction kGoldsteinPrice{
    "Goldstein-Price", goldstein_price, 2, -2.0, 2.0, 3.0, 1e-3, 2};
inline const TestFunction kRosenbrock{"Rosenbrock", rosenbrock, 2, -5.0, 5.0, 0.0, 1e-3, 2};
inline const TestFunction kHartmann6{"Hartmann 6", hartmann6_plus_4, 6,    0.0,
                                     1.0,          4.0 - 3.32237,    1e-3, 5};

// The settings of the published test runs: at most 10000 evaluations, the
// criterion must change by 0.01 % over 10 loops, default complexes.
inline SceSettings settings_for(const TestFunction& t, int seed) {
    SceSettings s;
    s.maxn = 10000;
    s.kstop = 10;
    s.pcento = 1e-4;
    s.ngs = t.complexes;
    s.iseed = seed;
    s.nopt = t.dimensions;
    s.a.assign(t.dimensions + 1, 0.0);
    s.bl.assign(t.dimensions + 1, t.lower);
    s.bu.assign(t.dimensions + 1, t.upper);
    return s;
}

// Runs the search quietly (console and log to the null device).
inline SceOutcome search(const TestFunction& t, int seed, int workers = 1,
                         std::FILE* output = nullptr) {
    SceSettings s = settings_for(t, seed);
    std::FILE* quiet = std::fopen("/dev/null", "w");
    check_sce_settings(s, quiet, nullptr);
    SceStreams streams;
    streams.console = quiet;
    streams.output = output;
    streams.log_name = "/dev/null";
    FunctionEvaluator evaluator(t.f, workers);
    SceOutcome outcome;
    run_sce_search(s, evaluator, streams, outcome);
    std::fclose(quiet);
    return outcome;
}

inline bool found_optimum(const TestFunction& t, const SceOutcome& outcome) {
    return outcome.best_criterion - t.optimum < t.tolerance;
}

}  // namespace torva::sce_test

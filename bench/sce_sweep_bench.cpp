// The Shuffled Complex Evolution search over 100 seeds on each test function:
// the share of seeds that find the global optimum and the median number of
// evaluations, reported as counters (success_rate, median_evaluations).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "sce_test_functions.hpp"

namespace {

using namespace torva;

void sweep(benchmark::State& state, const sce_test::TestFunction& t) {
    constexpr int kSeeds = 100;
    int found = 0;
    std::vector<int> evaluations;
    for (auto _ : state) {
        found = 0;
        evaluations.clear();
        for (int seed = 1; seed <= kSeeds; ++seed) {
            const SceOutcome outcome = sce_test::search(t, seed);
            found += sce_test::found_optimum(t, outcome) ? 1 : 0;
            evaluations.push_back(outcome.evaluations);
        }
    }
    std::sort(evaluations.begin(), evaluations.end());
    state.counters["success_rate"] = static_cast<double>(found) / kSeeds;
    state.counters["median_evaluations"] =
        0.5 * (evaluations[kSeeds / 2 - 1] + evaluations[kSeeds / 2]);
}

BENCHMARK_CAPTURE(sweep, goldstein_price, sce_test::kGoldsteinPrice)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sweep, rosenbrock, sce_test::kRosenbrock)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sweep, hartmann6, sce_test::kHartmann6)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

// One model step of Richards infiltration over a 1000 x 1000 grid of 50-node
// columns under a steady rain of half the topsoil's Ks. Target: 2 M column-steps a second on 2
// threads (0.5 s a model step). Reports the mean sub-steps a column step
// (those of the slow soil below the wetting front among them, and apart) and
// Picard iterations a sub-step. The 10,000-column cases are there for quick
// profiling, with the slow soil (third argument 1) and with every node in
// every sub-step (0).

#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/richards.hpp"

namespace {

using namespace torva;

constexpr double kStep = 60.0;  // s

// Loam over a clay loam over sand, 50 nodes and the bottom node.
const char* const kTable =
    "1 0\n1\n"
    "1.32 0.434 0.027 0.20 0.22 11.15 20 0.12 0.27 1 1\n"
    "0.23 0.464 0.075 0.26 0.194 25.89 40 0.197 0.318 2 0\n"
    "21.0 0.417 0.020 0.10 0.592 7.26 20 0.03 0.09 2 0\n";

std::unique_ptr<Model> rained_on_grid(int cells, RunContext& ctx, bool slow_soil) {
    auto model = std::make_unique<Model>();
    model->grid.num_cells = cells;
    model->grid.cell_size = 30.0;
    model->project.infiltration = InfiltrationMethod::richards;
    RichardsColumns& rc = model->soil.richards;
    rc.iter_max = 10;
    rc.slow_soil = slow_soil;
    parse_richards_soil_table(rc, ctx, kTable, "bench", false, false);
    lay_out_richards_columns(rc, ctx, "bench");
    std::vector<int> types(static_cast<std::size_t>(cells) + 1, 1);
    initialise_richards_columns(rc, ctx, types, cells);
    Soil& soil = model->soil;
    const std::size_t size = static_cast<std::size_t>(cells) + 1;
    for (auto* v : {&soil.infiltrated_depth, &soil.infiltration_rate, &soil.cumulative_depth,
                    &soil.event_depth, &soil.surface_moisture})
        v->assign(size, 0.0);
    model->overland.depth.assign(size, 0.0);
    return model;
}

void rain(Model& model) {
    const double rate = 0.5 * 1.32 / 360000.0;
    for (std::size_t i = 1; i < model.overland.depth.size(); ++i)
        model.overland.depth[i] = rate * kStep;
}

void BM_RichardsColumnsStep(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int cells = static_cast<int>(state.range(1));
    const bool slow_soil = state.range(2) != 0;
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    RunContext ctx;
    auto model = rained_on_grid(cells, ctx, slow_soil);
    // Ten to seventeen minutes of the rain first, so that the sub-steps have
    // grown to their steady length: on eight single columns, whose states
    // the columns then take in turn (they are alike), which keeps the
    // million-column cases short. The eight differ in when their slow soil
    // is next brought forward, so each step brings forward that of some
    // columns, as in a watershed whose rain began at different times.
    constexpr int kWarmStates = 8;
    std::vector<std::unique_ptr<Model>> warm;
    for (int w = 0; w < kWarmStates; ++w) {
        warm.push_back(rained_on_grid(1, ctx, slow_soil));
        for (int s = 0; s < 10 + w; ++s) {
            rain(*warm.back());
            richards_infiltration(*warm.back(), ctx, kStep);
        }
    }
    RichardsColumns& rc = model->soil.richards;
    for (int i = 1; i <= cells; ++i) {
        const RichardsColumns& w = warm[static_cast<std::size_t>(i % kWarmStates)]->soil.richards;
        std::copy_n(&w.head[w.stride], rc.stride, &rc.head[i * rc.stride]);
        std::copy_n(&w.theta[w.stride], rc.stride, &rc.theta[i * rc.stride]);
        rc.substep[i] = w.substep[1];
        rc.top[i] = w.top[1];
        rc.slow[i] = w.slow[1];
        rc.trends[i] = w.trends[1];
        std::copy_n(&w.trend[2 * w.stride], 2 * rc.stride, &rc.trend[2 * i * rc.stride]);
        std::copy_n(&w.relations[4 * w.stride], 4 * rc.stride, &rc.relations[4 * i * rc.stride]);
    }
    const long long substeps = rc.substeps, iterations = rc.iterations, steps = rc.column_steps,
                    slow = rc.slow_substeps;
    for (auto _ : state) {
        rain(*model);
        richards_infiltration(*model, ctx, kStep);
        benchmark::DoNotOptimize(rc.theta.data());
    }
    const double column_steps = static_cast<double>(rc.column_steps - steps);
    state.counters["column_steps_per_s"] = benchmark::Counter(
        static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["substeps_per_column_step"] = (rc.substeps - substeps) / column_steps;
    state.counters["slow_substeps_per_column_step"] = (rc.slow_substeps - slow) / column_steps;
    state.counters["picard_per_substep"] = static_cast<double>(rc.iterations - iterations) /
                                           static_cast<double>(rc.substeps - substeps);
    omp_set_num_threads(before);
}
// The 10,000 columns take their three steps five times over and report the
// median, a steadier figure than one short run; on two threads they show
// what a second thread gives with all columns in cache.
BENCHMARK(BM_RichardsColumnsStep)
    ->Args({1, 10000, 1})
    ->Args({1, 10000, 0})
    ->Args({2, 10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RichardsColumnsStep)
    ->Args({1, 1000000, 1})
    ->Args({2, 1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

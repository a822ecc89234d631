// Long-term runs: the evapotranspiration of one weather hour over a
// 1000 x 1000 grid (target: at most 60 ns a cell on 2 threads), and the
// example valley's long-term runs as shipped, its month and its year
// (target: a year under a minute).

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "meteo/evapotranspiration.hpp"
#include "quiet_run.hpp"
#include "run/driver.hpp"

namespace {

using namespace torva;

// A 1000 x 1000 grid of gently tilted cells with four land uses in bands, at
// an April mid-morning hour with some cloud.
std::unique_ptr<Model> et_grid(int rows, int cols, EtMethod method) {
    auto model = std::make_unique<Model>();
    const int n = rows * cols;
    model->grid.rows = rows;
    model->grid.cols = cols;
    model->grid.cell_size = 30.0;
    model->grid.num_cells = n;
    model->overland.depth.assign(n + 1, 0.0);
    model->overland.bed_slope_x.assign(n + 1, 0.0);
    model->overland.bed_slope_y.assign(n + 1, 0.0);
    Soil& soil = model->soil;
    soil.albedo.assign(n + 1, 0.2);
    soil.vegetation_height.assign(n + 1, 0.3);
    soil.transmission_coefficient.assign(n + 1, 0.8);
    soil.canopy_resistance.assign(n + 1, 70.0);
    soil.potential_et.assign(n + 1, 0.0);
    Hydromet& hm = model->hydromet;
    hm.method = method;
    hm.snow_water_equivalent.assign(n + 1, 0.0);
    hm.surface_temperature.assign(n + 1, 285.0);
    hm.net_radiation.assign(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) {
        const int kind = (i / cols) % 4;
        soil.albedo[i] = 0.15 + 0.03 * kind;
        soil.vegetation_height[i] = 0.1 + 0.3 * kind;
        model->overland.bed_slope_x[i] = 0.01 * ((i % 7) - 3);
        model->overland.bed_slope_y[i] = 0.005 * ((i % 5) - 2);
    }
    hm.weather = {2021, 4, 15, 10, 1013.25, 55.0, 3.0, 3.0, 12.0, 400.0, 600.0};
    hm.sun = solar_geometry(2021, 4, 15, 10, 40.0);
    return model;
}

void BM_EvapotranspirationHour(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const EtMethod method = state.range(1) ? EtMethod::deardorff : EtMethod::penman_monteith;
    auto model = et_grid(1000, 1000, method);
    RunContext ctx;
    ctx.out = std::fopen("/dev/null", "w");
    omp_set_num_threads(threads);
    prepare_evapotranspiration(*model, ctx);
    for (auto _ : state) {
        evapotranspiration(*model, ctx);
        benchmark::DoNotOptimize(model->soil.potential_et.data());
    }
    omp_set_num_threads(omp_get_num_procs());
    std::fclose(ctx.out);
    const double cells = model->grid.num_cells;
    state.counters["ns_per_cell"] = benchmark::Counter(
        cells * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Runs a project from the top of the source tree, its console thrown away,
// and reports the share of its model steps that the clock strode over in dry
// spells (the rest were worked phase by phase), how many were worked, and the
// share of the worked steps' wall time that went to dry ones (no water on the
// ground).
void run_project(benchmark::State& state, const std::string& project) {
    const int threads = static_cast<int>(state.range(0));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(TORVA_SOURCE_DIR);
    omp_set_num_threads(threads);
    double steps = 0.0, strided = 0.0, step_seconds = 0.0, dry_seconds = 0.0, one_thread = 0.0;
    for (auto _ : state) {
        RunContext ctx;
        const bool ran = bench::quiet_run(state, ctx, project, "the long-term run failed",
                                          [&](const Model& model) {
                                              steps = model.clock.step_index + 1.0;
                                              strided = model.clock.strided_steps;
                                          });
        step_seconds = ctx.phase_times.step_seconds;
        dry_seconds = ctx.phase_times.dry_step_seconds;
        one_thread = static_cast<double>(ctx.phase_times.single_thread_steps);
        if (!ran)
            break;
    }
    omp_set_num_threads(omp_get_num_procs());
    std::filesystem::current_path(before);
    state.counters["model_steps"] = steps;
    state.counters["dry_step_share"] = steps > 0.0 ? strided / steps : 0.0;
    state.counters["worked_steps"] = steps - strided;
    state.counters["dry_time_share"] = step_seconds > 0.0 ? dry_seconds / step_seconds : 0.0;
    // Worked steps whose cell loops ran on one thread.
    state.counters["one_thread_steps"] = one_thread;
}

void BM_ExampleValleyLongTermMonth(benchmark::State& state) {
    run_project(state, "examples/valley/valley_longterm.prj");
}

void BM_ExampleValleyLongTermYear(benchmark::State& state) {
    run_project(state, "examples/valley/valley_year.prj");
}

BENCHMARK(BM_EvapotranspirationHour)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"threads", "deardorff"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ExampleValleyLongTermMonth)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_ExampleValleyLongTermYear)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

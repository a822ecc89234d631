// One ADE model step on a 1000 x 1000 grid with water on every cell, at 1 and
// 2 threads. The surface is a gently undulating plane and the water shallow,
// so no sub-step is halved: each model step is exactly two sweeps. And the
// whole overland phase of a step with rain on every cell, on a tenth of them
// (a square patch) and on none, from a dry start: what a step costs as the
// wet share of the grid falls.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "meteo/precipitation.hpp"
#include "soil/infiltration.hpp"
#include "surface/overland.hpp"

namespace {

using namespace torva;

std::unique_ptr<Model> wet_plane(int side) {
    auto m = std::make_unique<Model>();
    Grid& g = m->grid;
    g.rows = g.cols = side;
    g.cell_size = 30.0;
    g.cell_number.assign((side + 2) * (side + 2), 0);
    int n = 0;
    for (int r = 1; r <= side; ++r)
        for (int c = 1; c <= side; ++c) g.number_at(r, c) = ++n;
    g.num_cells = n;
    for (auto* a : {&g.east_neighbour, &g.south_neighbour, &g.west_neighbour, &g.north_neighbour,
                    &g.cell_row, &g.cell_col})
        a->assign(n + 1, 0);
    g.elevation.assign(n + 1, 0.0);
    for (int r = 1; r <= side; ++r)
        for (int c = 1; c <= side; ++c) {
            const int i = g.number_at(r, c);
            g.cell_row[i] = r;
            g.cell_col[i] = c;
            g.elevation[i] = 100.0 - 0.002 * 30.0 * (r + c) + 0.05 * std::sin(0.1 * r * c);
            g.east_neighbour[i] = g.number_at(r, c + 1);
            g.west_neighbour[i] = g.number_at(r, c - 1);
            g.south_neighbour[i] = g.number_at(r + 1, c);
            g.north_neighbour[i] = g.number_at(r - 1, c);
        }
    g.outlet_cell = n;
    m->project[Card::OVERTYPE].given = true;
    m->project[Card::OVERTYPE].text = "ade";
    m->run.time_step = 10.0;
    m->run.outlet_slope = 0.002;
    m->surface.manning_n.assign(n + 1, 0.1);
    m->surface.retention_depth.assign(n + 1, 0.001);
    RunContext ctx;
    compute_bed_slopes(*m, ctx);
    for (int i = 1; i <= n; ++i) m->overland.depth[i] = 0.02;
    return m;
}

// The bytes one fully wet cell-step of `route_ade` moves to and from memory,
// counted as STREAM's copy counts them (each array element read or written
// once; a re-read of what the same row just brought into the cache is not
// counted): the pass that finds the spans reads the depth, retention and
// column (20); each sweep's faces read the neighbour array, elevation,
// depth, retention and 1 / n and write the discharge (44); the east sweep's
// cells, which take their discharges while the row is in the cache, read
// the neighbour array and write the face volume and depth (20), the south
// sweep's cells read the discharge, the neighbour array and the depth and
// write the face volume and depth (36); the first sweep also saves the
// depths (8). The `bytes_per_s` counter is thus comparable with that of
// BM_MemoryCopyBandwidth.
constexpr double kAdeBytesPerCellStep = 20.0 + 44.0 + 20.0 + 44.0 + 36.0 + 8.0;

void BM_AdeModelStep(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    omp_set_num_threads(threads);
    auto m = wet_plane(1000);
    RunContext ctx;
    for (auto _ : state) {
        benchmark::DoNotOptimize(route_ade(*m, ctx, m->run.time_step));
        m->overland.ade_sweep_toggle = m->overland.ade_sweep_toggle == 1 ? 2 : 1;
    }
    if (ctx.error.pending())
        state.SkipWithError("the ADE step stopped");
    const double cell_steps = static_cast<double>(m->grid.num_cells) * state.iterations();
    state.counters["cell_steps_per_s"] =
        benchmark::Counter(cell_steps, benchmark::Counter::kIsRate);
    state.counters["bytes_per_s"] =
        benchmark::Counter(cell_steps * kAdeBytesPerCellStep, benchmark::Counter::kIsRate,
                           benchmark::Counter::kIs1024);
    omp_set_num_threads(omp_get_num_procs());
}

BENCHMARK(BM_AdeModelStep)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: the percentage of cells that get rain (100, 10 or 0) and the
// thread count. Each step puts 30 mm/h of 10 s on the raining cells, then
// runs the overland phase.
void BM_OverlandWetFraction(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    auto m = wet_plane(1000);
    Model& model = *m;
    for (int i = 1; i <= model.grid.num_cells; ++i) model.overland.depth[i] = 0.0;
    // A storm covers one patch: a square of the given share of the grid in
    // its middle.
    const int side = static_cast<int>(std::lround(1000.0 * std::sqrt(percent / 100.0)));
    const int from = (1000 - side) / 2;
    std::vector<int> raining;
    for (int r = from; r < from + side; ++r)
        for (int c = from; c < from + side; ++c) raining.push_back(r * 1000 + c + 1);
    const double rain = 0.030 / 3600.0 * model.run.time_step;
    RunContext ctx;
    for (auto _ : state) {
        for (int i : raining) model.overland.depth[i] += rain;
        overland_flow_phase(model, ctx);
    }
    if (ctx.error.pending())
        state.SkipWithError("the overland phase stopped");
    state.counters["cell_steps_per_s"] =
        benchmark::Counter(static_cast<double>(model.grid.num_cells) * state.iterations(),
                           benchmark::Counter::kIsRate);
    omp_set_num_threads(omp_get_num_procs());
}

BENCHMARK(BM_OverlandWetFraction)
    ->Args({100, 1})
    ->Args({10, 1})
    ->Args({0, 1})
    ->Args({100, 2})
    ->Args({10, 2})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: the percentage of cells it rains on (100, 10 or 0), the thread
// count, and 1 to visit only the cells that may hold water or 0 to make
// every step forget them and visit every cell. Each step runs the rain
// phases of a step as the run does: rainfall with interception (0.5 mm of
// canopy store), plain Green and Ampt, and the overland phase; the counters
// give each phase's wall time per step.
void BM_RainPhasesWetFraction(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    const bool follow_water = state.range(2) != 0;
    auto m = wet_plane(1000);
    Model& model = *m;
    const int n = model.grid.num_cells;
    for (int i = 1; i <= n; ++i) model.overland.depth[i] = 0.0;
    SurfaceParameters& s = model.surface;
    s.interception = true;
    s.interception_storage.assign(n + 1, 0.5);
    s.interception_coeff.assign(n + 1, 0.1);
    s.intercepted_depth.assign(n + 1, 0.0);
    s.effective_rain_rate.assign(n + 1, 0.0);
    model.project.infiltration = InfiltrationMethod::green_ampt;
    RunContext ctx;
    allocate_infiltration_state(model, ctx);
    model.soil.conductivity.assign(n + 1, 1e-6);
    model.soil.capillary_head.assign(n + 1, 0.1);
    model.soil.moisture.assign(n + 1, 0.2);
    Precipitation& p = model.precip;
    p.rain_rate.assign(n + 1, 0.0);
    p.status = PrecipStatus::raining;
    p.raining = true;
    model.clock.calendar.month = 7;
    const int side = static_cast<int>(std::lround(1000.0 * std::sqrt(percent / 100.0)));
    const int from = (1000 - side) / 2;
    for (int r = from; r < from + side; ++r)
        for (int c = from; c < from + side; ++c) p.rain_rate[r * 1000 + c + 1] = 30.0;
    ++p.rate_changes;
    using Clock = std::chrono::steady_clock;
    double rain = 0.0, infiltration = 0.0, overland = 0.0;
    const auto seconds = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    for (auto _ : state) {
        if (!follow_water)
            model.overland.water.known = false;
        const auto t0 = Clock::now();
        apply_rainfall_phase(model, ctx);
        const auto t1 = Clock::now();
        plain_green_ampt(model, model.run.time_step);
        const auto t2 = Clock::now();
        overland_flow_phase(model, ctx);
        const auto t3 = Clock::now();
        rain += seconds(t0, t1);
        infiltration += seconds(t1, t2);
        overland += seconds(t2, t3);
    }
    if (ctx.error.pending())
        state.SkipWithError("a rain phase stopped");
    const auto per_step_ms = [&](double total) {
        return benchmark::Counter(1000.0 * total / static_cast<double>(state.iterations()));
    };
    state.counters["rain_ms"] = per_step_ms(rain);
    state.counters["infiltration_ms"] = per_step_ms(infiltration);
    state.counters["overland_ms"] = per_step_ms(overland);
    state.counters["cell_steps_per_s"] = benchmark::Counter(
        static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
    omp_set_num_threads(omp_get_num_procs());
}

// Each case beside its every-cell twin, so the two are measured within the
// same minute.
void rain_phase_cases(benchmark::internal::Benchmark* b) {
    for (const int threads : {1, 2})
        for (const int percent : {100, 10, 0})
            for (const int follow : {0, 1}) b->Args({percent, threads, follow});
}

BENCHMARK(BM_RainPhasesWetFraction)
    ->Apply(rain_phase_cases)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

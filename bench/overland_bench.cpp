// One ADE model step on a 1000 x 1000 grid with water on every cell, at 1 and
// 2 threads. The surface is a gently undulating plane and the water shallow,
// so no sub-step is halved: each model step is exactly two sweeps. And the
// whole overland phase of a step with rain on every cell, on a tenth of them
// (a compact patch) and on none, at one stage of a storm: what a step costs
// as the wet share of the grid falls.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
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
// once; a re-read of what the same rows just brought into the cache is not
// counted): the pass that finds the spans reads the depth and retention
// (16); the two sweeps go down the rows together, so their faces read the
// elevation, depth, retention and 1 / n once (32) and write the discharges
// across the rows (8; those along the rows stay in a row's buffer); the
// cells write the two face volumes (16) and their depths (8, both sweeps'
// updates while the rows are in the cache); the first sweep also saves the
// depths (8). On rows whose neighbours all lie the same distance on, no
// neighbour array is read. The `bytes_per_s` counter is thus comparable
// with that of BM_MemoryCopyBandwidth.
constexpr double kAdeBytesPerCellStep = 16.0 + 32.0 + 8.0 + 16.0 + 8.0 + 8.0;

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

// A storm over the plane: 30 mm/h on a compact square patch of `percent` %
// of the cells, upslope of the middle (its rows all in the grid's upper
// half, where a split of the rows between two threads would give one thread
// the whole storm), its runoff running down over the dry cells below.
std::vector<int> storm_patch(int side, int percent) {
    const int patch = static_cast<int>(std::lround(side * std::sqrt(percent / 100.0)));
    const int from = (side - patch) / 4;
    std::vector<int> cells;
    for (int r = from; r < from + patch; ++r)
        for (int c = from; c < from + patch; ++c) cells.push_back(r * side + c + 1);
    return cells;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

double seconds_between(std::chrono::steady_clock::time_point a,
                       std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// A step's cost depends on the storm's stage: before the soil and the
// retention fill, the overland phase has nothing to move. The cases are
// therefore timed at one stage of the storm, a fixed number of steps after
// its start, and over a fixed number of steps, whatever their speed.
constexpr int kOverlandWarmUpSteps = 30;  // 2.5 mm of rain: every wet cell flows
constexpr int kOverlandTimedSteps = 20;

// Arguments: the percentage of cells that get rain (100, 10 or 0) and the
// thread count. Each step puts 30 mm/h of 10 s on the raining cells, then
// runs the overland phase; from a dry start, the first steps are not timed.
void BM_OverlandWetFraction(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    auto m = wet_plane(1000);
    Model& model = *m;
    for (int i = 1; i <= model.grid.num_cells; ++i) model.overland.depth[i] = 0.0;
    const std::vector<int> raining = storm_patch(1000, percent);
    const double rain = 0.030 / 3600.0 * model.run.time_step;
    RunContext ctx;
    const auto step = [&] {
        for (int i : raining) model.overland.depth[i] += rain;
        overland_flow_phase(model, ctx);
    };
    for (int k = 0; k < kOverlandWarmUpSteps; ++k) step();
    const long long sub_steps = model.overland.sub_steps;
    for (auto _ : state) step();
    if (ctx.error.pending())
        state.SkipWithError("the overland phase stopped");
    state.counters["cell_steps_per_s"] =
        benchmark::Counter(static_cast<double>(model.grid.num_cells) * state.iterations(),
                           benchmark::Counter::kIsRate);
    state.counters["sub_steps"] =
        static_cast<double>(model.overland.sub_steps - sub_steps) / state.iterations();
    omp_set_num_threads(omp_get_num_procs());
}

BENCHMARK(BM_OverlandWetFraction)
    ->Args({100, 1})
    ->Args({10, 1})
    ->Args({0, 1})
    ->Args({100, 2})
    ->Args({10, 2})
    ->Args({0, 2})
    ->Iterations(kOverlandTimedSteps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The phases of a rain step as the run passes through them: rainfall with
// interception (0.5 mm of canopy store), plain Green and Ampt, and the ADE
// overland phase, on the 1000 x 1000 plane.
struct RainStorm {
    std::unique_ptr<Model> model;
    RunContext ctx;
    // Per step, the wall time of each phase, s.
    std::vector<double> rain, infiltration, overland, whole;
    long long water_cells = 0;  // cells rainfall and Green and Ampt visited
    long long ade_cells = 0;    // cells the ADE sweeps covered

    explicit RainStorm(int percent) : model(wet_plane(1000)) {
        Model& m = *model;
        const int n = m.grid.num_cells;
        for (int i = 1; i <= n; ++i) m.overland.depth[i] = 0.0;
        SurfaceParameters& s = m.surface;
        s.interception = true;
        s.interception_storage.assign(n + 1, 0.5);
        s.interception_coeff.assign(n + 1, 0.1);
        s.intercepted_depth.assign(n + 1, 0.0);
        s.effective_rain_rate.assign(n + 1, 0.0);
        m.project.infiltration = InfiltrationMethod::green_ampt;
        allocate_infiltration_state(m, ctx);
        m.soil.conductivity.assign(n + 1, 1e-6);
        m.soil.capillary_head.assign(n + 1, 0.1);
        m.soil.moisture.assign(n + 1, 0.2);
        Precipitation& p = m.precip;
        p.rain_rate.assign(n + 1, 0.0);
        p.status = PrecipStatus::raining;
        p.raining = true;
        m.clock.calendar.month = 7;
        for (int i : storm_patch(1000, percent)) p.rain_rate[i] = 30.0;
        ++p.rate_changes;
    }

    // One step; `follow_water` false makes it forget which cells may hold
    // water, so that every phase visits every cell.
    void step(bool follow_water, bool timed) {
        using Clock = std::chrono::steady_clock;
        Model& m = *model;
        if (!follow_water)
            m.overland.water.known = false;
        const auto t0 = Clock::now();
        apply_rainfall_phase(m, ctx);
        const auto t1 = Clock::now();
        plain_green_ampt(m, m.run.time_step);
        const auto t2 = Clock::now();
        overland_flow_phase(m, ctx);
        const auto t3 = Clock::now();
        if (!timed)
            return;
        rain.push_back(seconds_between(t0, t1));
        infiltration.push_back(seconds_between(t1, t2));
        overland.push_back(seconds_between(t2, t3));
        whole.push_back(seconds_between(t0, t3));
        const RowSpans& visited = m.soil.infiltrating;
        for (int r = 1; r <= visited.rows(); ++r)
            water_cells += std::max(0, visited.end[r] - visited.begin[r]);
        ade_cells += m.overland.span_before[span_rows(m.overland) + 1];
    }
};

// 20 minutes of rain: the soil and the retention of the raining cells have
// filled, and all of them run off.
constexpr int kRainWarmUpSteps = 120;
constexpr int kRainTimedSteps = 20;

// Medians over the timed steps, in ms, and what the steps visited.
void report_storm(benchmark::State& state, const RainStorm& s, const std::string& prefix,
                  long long sub_steps, bool whole_step_only = false) {
    const auto ms = [](const std::vector<double>& v) {
        return benchmark::Counter(1000.0 * median(v));
    };
    const double steps = static_cast<double>(s.whole.size());
    state.counters[prefix + "step_ms"] = ms(s.whole);
    if (whole_step_only)
        return;
    state.counters[prefix + "rain_ms"] = ms(s.rain);
    state.counters[prefix + "infiltration_ms"] = ms(s.infiltration);
    state.counters[prefix + "overland_ms"] = ms(s.overland);
    state.counters[prefix + "water_cells"] = static_cast<double>(s.water_cells) / steps;
    state.counters[prefix + "ade_cells"] = static_cast<double>(s.ade_cells) / steps;
    state.counters[prefix + "sub_steps"] = static_cast<double>(sub_steps) / steps;
}

// Arguments: the percentage of cells it rains on (100, 10 or 0), the thread
// count, and 1 to visit only the cells that may hold water or 0 to make
// every step forget them and visit every cell. The counters give the
// medians of each phase's wall time per step, the cells the rain phases
// visited and the ADE sweeps covered, and the ADE sub-steps, per step.
void BM_RainPhasesWetFraction(benchmark::State& state) {
    const int percent = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    const bool follow_water = state.range(2) != 0;
    RainStorm storm(percent);
    for (int k = 0; k < kRainWarmUpSteps; ++k) storm.step(true, false);
    const long long sub_steps = storm.model->overland.sub_steps;
    for (auto _ : state) storm.step(follow_water, true);
    if (storm.ctx.error.pending())
        state.SkipWithError("a rain phase stopped");
    report_storm(state, storm, "", storm.model->overland.sub_steps - sub_steps);
    state.counters["cell_steps_per_s"] =
        benchmark::Counter(static_cast<double>(storm.model->grid.num_cells) * state.iterations(),
                           benchmark::Counter::kIsRate);
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
    ->Iterations(kRainTimedSteps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Argument: the thread count. Rain on every cell, on a tenth of them and on
// none, at the same stage of the storm, one step of each in turn, so that a
// busy machine slows the three alike: `tenth_speedup` and `dry_speedup` are
// the median step with rain everywhere over the median step with rain on a
// tenth of the cells and on none.
void BM_RainStepWetRatio(benchmark::State& state) {
    omp_set_num_threads(static_cast<int>(state.range(0)));
    RainStorm all(100), tenth(10), dry(0);
    for (int k = 0; k < kRainWarmUpSteps; ++k)
        for (RainStorm* s : {&all, &tenth, &dry}) s->step(true, false);
    long long sub_steps[3];
    int k = 0;
    for (RainStorm* s : {&all, &tenth, &dry}) sub_steps[k++] = s->model->overland.sub_steps;
    for (auto _ : state)
        for (RainStorm* s : {&all, &tenth, &dry}) s->step(true, true);
    for (RainStorm* s : {&all, &tenth, &dry})
        if (s->ctx.error.pending())
            state.SkipWithError("a rain phase stopped");
    report_storm(state, all, "all_", all.model->overland.sub_steps - sub_steps[0]);
    report_storm(state, tenth, "tenth_", tenth.model->overland.sub_steps - sub_steps[1]);
    report_storm(state, dry, "dry_", dry.model->overland.sub_steps - sub_steps[2], true);
    state.counters["tenth_speedup"] = median(all.whole) / median(tenth.whole);
    state.counters["dry_speedup"] = median(all.whole) / median(dry.whole);
    omp_set_num_threads(omp_get_num_procs());
}

BENCHMARK(BM_RainStepWetRatio)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(kRainTimedSteps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

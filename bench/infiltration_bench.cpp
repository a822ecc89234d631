// One plain Green and Ampt infiltration step (with its accounting) over a
// 1000 x 1000 grid where every cell holds water. Target: under 10 ms on 2 cores.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/infiltration.hpp"

namespace {

using namespace torva;

std::unique_ptr<Model> wet_grid(int rows, int cols) {
    auto model = std::make_unique<Model>();
    const int n = rows * cols;
    model->grid.rows = rows;
    model->grid.cols = cols;
    model->grid.cell_size = 30.0;
    model->grid.num_cells = n;
    model->project.infiltration = InfiltrationMethod::green_ampt;
    model->run.time_step = 10.0;
    model->run.time_step_days = 10.0 / 86400.0;
    model->clock.start_time = model->clock.current_time = 2451545.0;
    model->overland.depth.assign(n + 1, 1.0);
    Soil& soil = model->soil;
    soil.conductivity.assign(n + 1, 0.0);
    soil.capillary_head.assign(n + 1, 0.0);
    soil.moisture.assign(n + 1, 0.0);
    soil.porosity.assign(n + 1, 0.45);
    for (int i = 1; i <= n; ++i) {
        // a few soils in bands, as an index map would give them
        const int kind = (i / cols) % 4;
        soil.conductivity[i] = (0.1 + kind) / 360000.0;
        soil.capillary_head[i] = 0.05 + 0.05 * kind;
        soil.moisture[i] = 0.1 + 0.05 * kind;
    }
    return model;
}

void BM_PlainGreenAmptStep(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    auto model = wet_grid(1000, 1000);
    RunContext ctx;
    int step = 0;
    model->clock.current_time = model->clock.start_time;
    infiltration_phase(*model, ctx);  // event set-up and first step
    for (auto _ : state) {
        ++step;
        model->clock.current_time = model->clock.start_time + step * model->run.time_step_days;
        infiltration_phase(*model, ctx);
        benchmark::DoNotOptimize(model->soil.infiltrated_depth.data());
    }
    state.counters["cells"] = 1e6;
    omp_set_num_threads(before);
}
BENCHMARK(BM_PlainGreenAmptStep)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

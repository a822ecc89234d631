// One groundwater step of an hour on 1000 x 1000 active cells of 10 m (an
// aquifer 20 m thick, K = 1e-4 m/s, porosity 0.2, the border held at its
// head) under a recharge that lifts the water table by 1 cm, solved by line
// SOR (rows then columns, omega 1.5, GW_LSOR_CON 1e-5 m). Each iteration
// starts from the same heads. The counters give the line sweeps and the
// outer (transmissivity) iterations of the step, and the cells.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "groundwater/groundwater.hpp"
#include "support/grids.hpp"

namespace {

using namespace torva;

constexpr int kSide = 1000;
constexpr double kStep = 3600.0;  // s

std::unique_ptr<Model> square_aquifer() {
    auto model = std::make_unique<Model>();
    test::build_grid(model->grid, kSide, kSide, 10.0, [](int, int) { return 30.0; });
    const int n = model->grid.num_cells;
    Groundwater& gw = model->groundwater;
    gw.simulated = true;
    gw.tolerance = 1e-5;
    gw.relaxation = 1.5;
    gw.direction = SweepDirection::alternating;
    gw.cell.assign(n + 1, AquiferCell::active);
    for (int i = 1; i <= n; ++i) {
        const int r = model->grid.cell_row[i], c = model->grid.cell_col[i];
        if (r == 1 || c == 1 || r == kSide || c == kSide)
            gw.cell[i] = AquiferCell::fixed_head;
    }
    gw.head.assign(n + 1, 20.0);
    gw.bottom.assign(n + 1, 0.0);
    gw.conductivity.assign(n + 1, 1e-4);
    gw.porosity.assign(n + 1, 0.2);
    gw.static_flux.assign(n + 1, 0.0);
    RunContext ctx;
    prepare_groundwater(*model, ctx);
    // 1 cm of water table in an hour: 0.01 m x 0.2 / 3600 s.
    for (int i = 1; i <= n; ++i) gw.source[i] = 0.01 * 0.2 / kStep;
    return model;
}

void BM_GroundwaterStepLineSor(benchmark::State& state) {
    auto model = square_aquifer();
    const std::vector<double> start = model->groundwater.head;
    RunContext ctx;
    for (auto _ : state) {
        state.PauseTiming();
        model->groundwater.head = start;
        state.ResumeTiming();
        if (!advance_groundwater(*model, ctx, kStep))
            state.SkipWithError("the groundwater step failed");
    }
    const Groundwater& gw = model->groundwater;
    state.counters["sweeps"] = static_cast<double>(gw.last_sweeps);
    state.counters["outer_iterations"] = gw.last_outer_iterations;
    state.counters["cells"] = model->grid.num_cells;
    state.counters["rise_m"] = gw.head[model->grid.number_at(kSide / 2, kSide / 2)] - 20.0;
}
BENCHMARK(BM_GroundwaterStepLineSor)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

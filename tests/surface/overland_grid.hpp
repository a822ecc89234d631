#pragma once
// Hand-built watersheds for the overland tests: a grid drawn by functions,
// a model of it with one scheme, step and roughness, run step by step.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "surface/overland.hpp"

namespace torva::test {

inline void give_card(Model& m, Card card, const std::string& text = "") {
    m.project[card].given = true;
    m.project[card].text = text;
}

// A watershed of rows x cols cells of dx metres on the ground drawn by
// `ground`, draining through cell `outlet` (0: nowhere) at the slope 0.01,
// its bed slopes set up for the scheme with roughness n and no retention;
// `before` adds what the set-up reads (dikes, boundaries).
inline std::unique_ptr<Model> overland_watershed(
    RunContext& ctx, const std::string& scheme, double dt, int rows, int cols, double dx,
    const std::function<double(int, int)>& ground, int outlet = 0, double n = 0.05,
    const std::function<void(Model&)>& before = nullptr) {
    auto m = std::make_unique<Model>();
    give_card(*m, Card::OVERTYPE, scheme);
    m->run.time_step = dt;
    m->run.time_step_days = dt / 86400.0;
    m->run.hydrograph_interval = 1.0;
    m->run.outlet_slope = 0.01;
    m->clock.start_time = m->clock.current_time = 2459000.5;
    build_grid(m->grid, rows, cols, dx, ground);
    m->grid.outlet_cell = outlet;
    if (before)
        before(*m);
    m->surface.manning_n.assign(m->grid.num_cells + 1, n);
    m->surface.retention_depth.assign(m->grid.num_cells + 1, 0.0);
    compute_bed_slopes(*m, ctx);
    return m;
}

// Level ground at 10 m.
inline double level(int, int) {
    return 10.0;
}

inline double surface_volume(const Model& m) {
    double v = 0.0;
    for (int i = 1; i <= m.grid.num_cells; ++i) v += m.overland.depth[i];
    return v * m.grid.cell_size * m.grid.cell_size;
}

// Runs `steps` overland steps, `rain_depth` metres falling on every cell before
// each of the first `rain_steps`, and calls `after(k)` after step k (from 0).
// Returns the volume that left at the outlet, m3.
inline double run_steps(Model& m, RunContext& ctx, int steps, double rain_depth = 0.0,
                        int rain_steps = 0, const std::function<void(int)>& after = nullptr) {
    double out = 0.0;
    for (int k = 0; k < steps && !ctx.error.pending(); ++k) {
        for (int i = 1; i <= m.grid.num_cells && k < rain_steps; ++i)
            m.overland.depth[i] += rain_depth;
        overland_flow_phase(m, ctx);
        EXPECT_FALSE(ctx.error.pending()) << "step " << k;
        m.clock.current_time = m.clock.start_time + (++m.clock.step_index) * m.run.time_step_days;
        out += m.outlet.discharge * m.run.time_step;
        if (after)
            after(k);
    }
    return out;
}

}  // namespace torva::test

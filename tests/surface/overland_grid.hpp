#pragma once
// Hand-built watersheds for the overland tests: a grid drawn by functions,
// a model of it with one scheme, step and roughness.

#include <gtest/gtest.h>

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

// A model with an overland scheme and a step length; its grid comes next.
inline std::unique_ptr<Model> overland_model(const std::string& scheme, double dt) {
    auto m = std::make_unique<Model>();
    give_card(*m, Card::OVERTYPE, scheme);
    m->run.time_step = dt;
    m->run.time_step_days = dt / 86400.0;
    m->run.hydrograph_interval = 1.0;
    m->run.quiet = false;
    m->run.outlet_slope = 0.01;
    m->clock.start_time = m->clock.current_time = 2459000.5;
    return m;
}

// Uniform roughness, no retention, and the bed slopes of the built grid.
inline void finish_set_up(Model& m, RunContext& ctx, double manning_n) {
    const int n = m.grid.num_cells;
    m.surface.manning_n.assign(n + 1, manning_n);
    m.surface.retention_depth.assign(n + 1, 0.0);
    compute_bed_slopes(m, ctx);
    ASSERT_FALSE(ctx.error.pending());
}

inline void rain(Model& m, double metres) {
    for (int i = 1; i <= m.grid.num_cells; ++i) m.overland.depth[i] += metres;
}

inline double surface_volume(const Model& m) {
    double v = 0.0;
    for (int i = 1; i <= m.grid.num_cells; ++i) v += m.overland.depth[i];
    return v * m.grid.cell_size * m.grid.cell_size;
}

inline void step_clock(Model& m) {
    ++m.clock.step_index;
    m.clock.current_time = m.clock.start_time + m.clock.step_index * m.run.time_step_days;
}

}  // namespace torva::test

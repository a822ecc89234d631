#pragma once
// Hand-built watersheds for the overland tests: a grid drawn by functions,
// a model of it with one scheme, step and roughness, and the console captured.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "surface/overland.hpp"

namespace torva::test {

// Every position where `inside` holds is a cell, with the elevation that
// `ground` gives; cells are numbered row by row.
inline void build_grid(
    Grid& g, int rows, int cols, double cell_size, const std::function<double(int, int)>& ground,
    const std::function<bool(int, int)>& inside = [](int, int) { return true; }) {
    g.rows = rows;
    g.cols = cols;
    g.cell_size = cell_size;
    g.cell_number.assign((rows + 2) * (cols + 2), 0);
    int n = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            if (inside(r, c))
                g.number_at(r, c) = ++n;
    g.num_cells = n;
    g.area = n * cell_size * cell_size;
    for (auto* a : {&g.cell_row, &g.cell_col, &g.east_neighbour, &g.south_neighbour,
                    &g.west_neighbour, &g.north_neighbour})
        a->assign(n + 1, 0);
    g.elevation.assign(n + 1, 0.0);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) {
            const int i = g.number_at(r, c);
            if (!i)
                continue;
            g.cell_row[i] = r;
            g.cell_col[i] = c;
            g.elevation[i] = ground(r, c);
            g.east_neighbour[i] = g.number_at(r, c + 1);
            g.west_neighbour[i] = g.number_at(r, c - 1);
            g.south_neighbour[i] = g.number_at(r + 1, c);
            g.north_neighbour[i] = g.number_at(r - 1, c);
        }
}

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

// Console output of a test goes to a temporary file so it can be compared.
struct CapturedConsole {
    std::FILE* file = std::tmpfile();
    explicit CapturedConsole(RunContext& ctx) { ctx.out = file; }
    ~CapturedConsole() { std::fclose(file); }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;
    std::string text() {
        std::fflush(file);
        std::rewind(file);
        std::string s;
        char buf[4096];
        std::size_t got;
        while ((got = std::fread(buf, 1, sizeof buf, file)) > 0) s.append(buf, got);
        return s;
    }
};

}  // namespace torva::test

// The ADE scheme works only on the wet spans of each row. Rain on a patch of
// a tilted, bumpy grid spreads, runs off and leaves films behind, the soil
// takes them all, and a second storm follows; every depth,
// face discharge, outlet volume and cleanup total must be those of the scheme
// run over every cell, to the bit, on one thread and on two, at model steps
// short enough for one sub-step and long enough for retries.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

struct Outcome {
    std::vector<double> depth, qx, qy, outlet, faces;
    double cleanup = 0.0;
    int fewest_span_cells = 0;  // the smallest share of the grid the spans held
};

Outcome rain_on_a_patch(bool spans, int threads, double dt) {
    omp_set_num_threads(threads);
    RunContext ctx;
    test::Console console(ctx);
    auto m = test::overland_watershed(
        ctx, "ade", dt, 40, 30, 10.0,
        [](int r, int c) { return 50.0 - 0.02 * r + 0.03 * std::sin(0.7 * c) * std::cos(0.5 * r); },
        0, 0.05, [](Model& model) { model.grid.outlet_cell = 40 * 30 - 15; });
    Overland& ov = m->overland;
    ov.min_parallel_cells = 0;
    ov.wet_spans = spans;
    for (int i = 1; i <= m->grid.num_cells; ++i)
        m->surface.retention_depth[i] = i % 7 == 0 ? 0.002 : 0.0;
    Outcome o;
    o.fewest_span_cells = m->grid.num_cells;
    const int steps = static_cast<int>(1200.0 / dt);
    for (int k = 0; k < steps && !ctx.error.pending(); ++k) {
        const double t = k * dt;
        // Dry at first, then a storm; at 600 s the soil takes every film
        // (a dry spell of two steps), and a second storm follows.
        if ((t >= 60.0 && t < 300.0) || t >= 720.0)
            for (int r = 6; r <= 12; ++r)
                for (int c = 8; c <= 15; ++c)
                    m->overland.depth[m->grid.number_at(r, c)] += 0.080 / 3600.0 * dt;
        if (t >= 600.0 && t < 600.0 + 2.0 * dt)
            for (int i = 1; i <= m->grid.num_cells; ++i) m->overland.depth[i] = 0.0;
        // Water put on the cells here, as by a phase that does not say where,
        // makes the phase read every depth.
        ov.water.known = false;
        overland_flow_phase(*m, ctx);
        o.outlet.push_back(m->outlet.discharge);
        double faces = 0.0;  // every face discharge, dry steps included
        for (int i = 1; i <= m->grid.num_cells; ++i)
            faces += std::fabs(ov.discharge_x[i]) + std::fabs(ov.discharge_y[i]);
        o.faces.push_back(faces);
        o.fewest_span_cells = std::min(o.fewest_span_cells, ov.span_before[span_rows(ov) + 1]);
    }
    EXPECT_FALSE(ctx.error.pending()) << console.text();
    o.depth = ov.depth;
    o.qx = ov.discharge_x;
    o.qy = ov.discharge_y;
    o.cleanup = m->totals.run.overland_cleanup;
    omp_set_num_threads(omp_get_num_procs());
    return o;
}

TEST(WetSpans, GiveEveryFigureOfTheSchemeOverEveryCell) {
    for (const double dt : {2.0, 10.0, 60.0}) {
        const Outcome all = rain_on_a_patch(false, 1, dt);
        EXPECT_EQ(all.fewest_span_cells, 40 * 30);
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(std::to_string(dt) + " s, " + std::to_string(threads) + " threads");
            const Outcome wet = rain_on_a_patch(true, threads, dt);
            EXPECT_LT(wet.fewest_span_cells, 40 * 30 / 4);  // the spans did leave cells out
            EXPECT_EQ(wet.depth, all.depth);
            EXPECT_EQ(wet.qx, all.qx);
            EXPECT_EQ(wet.qy, all.qy);
            EXPECT_EQ(wet.outlet, all.outlet);
            EXPECT_EQ(wet.faces, all.faces);
            EXPECT_EQ(wet.cleanup, all.cleanup);
        }
    }
}

}  // namespace
}  // namespace torva

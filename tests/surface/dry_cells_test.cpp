// Rainfall, interception and plain Green and Ampt visit only the cells that
// may hold water and those it rains on. A storm cell crosses a tilted grid
// of 80 x 60 cells record by record, stops, and comes back; water runs off
// its track, the soil and the canopy take their share, and a channel-like
// source floods a cell far from the storm now and then. Every depth, canopy
// store, rate and total must be those of the same phases run over every
// cell, to the bit, on one thread and on two; so must the deepest water
// of each cell, which the overland phase follows on the same cells.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "meteo/precipitation.hpp"
#include "soil/infiltration.hpp"
#include "surface/overland_grid.hpp"

namespace torva {
namespace {

constexpr int kRows = 80;
constexpr int kCols = 60;

struct Outcome {
    std::vector<double> depth, max_depth, held, effective, infiltrated, rate, cumulative;
    double precipitation = 0.0, interception = 0.0, infiltration = 0.0, outlet = 0.0;
    int fewest_water_cells = kRows * kCols;  // the smallest set of cells visited
    int fewest_read_depths = kRows * kCols;  // the fewest depths the ADE phase read
};

int cells_in(const RowSpans& spans) {
    int count = 0;
    for (int r = 1; r <= spans.rows(); ++r) count += std::max(0, spans.end[r] - spans.begin[r]);
    return count;
}

// `seeping`: a water table stands at the surface, and between the soil and
// the overland phase water seeps out onto a dry cell without saying so.
Outcome storm_cell(const std::string& scheme, bool follow_water, int threads,
                   bool seeping = false) {
    omp_set_num_threads(threads);
    RunContext ctx;
    test::Console console(ctx);
    const double dt = 10.0;
    auto m = test::overland_watershed(
        ctx, scheme, dt, kRows, kCols, 10.0,
        [](int r, int c) { return 50.0 - 0.05 * r + 0.02 * std::sin(0.5 * c) * std::cos(0.3 * r); },
        kRows * kCols - kCols / 2, 0.05,
        [](Model& m) { test::give_card(m, Card::FLOOD_GRID, "flood.map"); });
    Model& model = *m;
    const int n = model.grid.num_cells;
    model.overland.min_parallel_cells = 0;
    for (int i = 1; i <= n; ++i) model.surface.retention_depth[i] = i % 5 == 0 ? 0.001 : 0.0;

    SurfaceParameters& s = model.surface;
    s.interception = true;
    s.interception_storage.assign(n + 1, 0.0);
    s.interception_coeff.assign(n + 1, 0.2);
    s.intercepted_depth.assign(n + 1, 0.0);
    s.effective_rain_rate.assign(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) s.interception_storage[i] = i % 3 == 0 ? 0.0 : 0.4;  // mm

    model.project.infiltration = InfiltrationMethod::green_ampt;
    EXPECT_TRUE(allocate_infiltration_state(model, ctx));
    Soil& soil = model.soil;
    soil.conductivity.assign(n + 1, 0.0);
    soil.capillary_head.assign(n + 1, 0.11);
    soil.moisture.assign(n + 1, 0.05);                                             // deficit
    for (int i = 1; i <= n; ++i) soil.conductivity[i] = i % 4 == 0 ? 1e-7 : 3e-6;  // m/s

    Precipitation& p = model.precip;
    p.rain_rate.assign(n + 1, 0.0);
    p.status = PrecipStatus::raining;
    p.raining = true;
    model.clock.calendar.month = 7;

    Outcome o;
    for (int k = 0; k < 240 && !ctx.error.pending(); ++k) {
        // A new record every 6 steps: a storm cell of radius 8 cells moves
        // down the slope; between steps 90 and 150 it does not rain.
        if (k % 6 == 0) {
            const double centre_r = 10.0 + 0.3 * k, centre_c = 10.0 + 0.1 * k;
            const bool dry_spell = k >= 90 && k < 150;
            for (int i = 1; i <= n; ++i) {
                const double dr = model.grid.cell_row[i] - centre_r;
                const double dc = model.grid.cell_col[i] - centre_c;
                p.rain_rate[i] = !dry_spell && dr * dr + dc * dc < 64.0 ? 60.0 : 0.0;
            }
            ++p.rate_changes;
        }
        if (!follow_water)
            model.overland.water.known = false;
        apply_rainfall_phase(model, ctx);
        plain_green_ampt(model, dt);
        if (model.overland.water.known)
            o.fewest_water_cells = std::min(o.fewest_water_cells, cells_in(model.overland.water));
        model.soil.water_table_reaches_surface = seeping;
        if (seeping && k % 40 == 19)
            model.overland.depth[model.grid.number_at(5, 55)] += 0.02;
        overland_flow_phase(model, ctx);
        if (model.overland.wet_spans)
            o.fewest_read_depths =
                std::min(o.fewest_read_depths, model.overland.water_before[kRows + 1]);
        o.outlet += model.outlet.discharge;
        // The bank of a channel overflows onto a cell far from the storm.
        if (k % 40 == 39) {
            const int cell = model.grid.number_at(70, 50);
            model.overland.depth[cell] += 0.01;
            if (model.overland.water.known)
                model.overland.mark_wet(model.grid.cell_row[cell], cell);
        }
    }
    EXPECT_FALSE(ctx.error.pending()) << console.text();
    o.depth = model.overland.depth;
    o.max_depth = model.overland.max_depth;
    o.held = s.intercepted_depth;
    o.effective = s.effective_rain_rate;
    o.infiltrated = soil.infiltrated_depth;
    o.rate = soil.infiltration_rate;
    o.cumulative = soil.cumulative_depth;
    o.precipitation = model.totals.run.precipitation;
    o.interception = model.totals.run.interception;
    o.infiltration = model.totals.run.infiltration;
    omp_set_num_threads(omp_get_num_procs());
    return o;
}

// Every scheme: the ADE step notes the wet cells in its pass that finds the
// spans, the others in their passes over every depth.
TEST(DryCells, RainInterceptionAndInfiltrationGiveTheFiguresOfEveryCell) {
    for (const std::string scheme : {"ade", "explicit", "ade-pc"}) {
        const Outcome all = storm_cell(scheme, false, 1);
        EXPECT_GT(all.precipitation, 0.0);
        EXPECT_GT(all.interception, 0.0);
        EXPECT_GT(all.infiltration, 0.0);
        EXPECT_GT(all.outlet, 0.0);
        EXPECT_EQ(all.max_depth.size(), static_cast<std::size_t>(kRows * kCols + 1));
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(scheme + ", " + std::to_string(threads) + " threads");
            const Outcome wet = storm_cell(scheme, true, threads);
            EXPECT_LT(wet.fewest_water_cells, kRows * kCols / 4);  // cells were left out
            if (scheme == "ade")
                EXPECT_LT(wet.fewest_read_depths, kRows * kCols / 4);
            EXPECT_EQ(wet.depth, all.depth);
            EXPECT_EQ(wet.max_depth, all.max_depth);
            EXPECT_EQ(wet.held, all.held);
            EXPECT_EQ(wet.effective, all.effective);
            EXPECT_EQ(wet.infiltrated, all.infiltrated);
            EXPECT_EQ(wet.rate, all.rate);
            EXPECT_EQ(wet.cumulative, all.cumulative);
            EXPECT_EQ(wet.precipitation, all.precipitation);
            EXPECT_EQ(wet.interception, all.interception);
            EXPECT_EQ(wet.infiltration, all.infiltration);
            EXPECT_EQ(wet.outlet, all.outlet);
        }
    }
}

// Water that a phase puts on a dry cell without widening the cells known to
// hold water (here seepage from a water table at the surface) is still found
// and moved: the overland phase then reads every depth.
TEST(DryCells, WaterThatAppearsUnannouncedStillFlows) {
    const Outcome all = storm_cell("ade", false, 1, true);
    const Outcome wet = storm_cell("ade", true, 2, true);
    EXPECT_GT(all.max_depth[kCols * 4 + 55], 0.01);
    EXPECT_EQ(wet.depth, all.depth);
    EXPECT_EQ(wet.max_depth, all.max_depth);
    EXPECT_EQ(wet.outlet, all.outlet);
}

}  // namespace
}  // namespace torva

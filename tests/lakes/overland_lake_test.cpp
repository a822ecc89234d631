// Overland lakes: a lake in a closed depression follows the hypsometry of
// its cells, floods its neighbours in order of elevation, takes in runoff and
// gives back cells as it falls; the lake files are checked as they are read.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "lakes/lakes.hpp"
#include "meteo/precipitation.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"
#include "surface/overland_grid.hpp"

namespace torva {
namespace {

using test::TempDir;

// The depression: a pit at 100.0 m (row 4, column 4) inside eight cells that
// rise from 100.1 to 100.8 m, each reachable across an edge from a lower one,
// in a rim of 103 m. Behind a rim cell of 102 m (row 3, column 6) lies a pit
// at 100.05 m (row 3, column 7); another pit at 100.05 m (row 2, column 2)
// touches the depression only at the corner of its 100.6 m cell.
const std::vector<std::vector<double>> kDepression = {
    {103, 103, 103, 103, 103, 103, 103},           //
    {103, 100.05, 103, 103, 103, 103, 103},        //
    {103, 103, 100.6, 100.3, 100.5, 102, 100.05},  //
    {103, 103, 100.2, 100.0, 100.4, 103, 103},     //
    {103, 103, 100.7, 100.1, 100.8, 103, 103},     //
    {103, 103, 103, 103, 103, 103, 103},           //
    {103, 103, 103, 103, 103, 103, 103},
};

// The cells of the depression in the order their ground rises, as (row, column).
const std::pair<int, int> kFloodOrder[] = {{4, 4}, {5, 4}, {4, 3}, {3, 4}, {4, 5},
                                           {3, 5}, {3, 3}, {5, 3}, {5, 5}};

// A watershed on `ground` with overland lakes read from a lake map (lake
// numbers per row) and lake file, written into a folder of their own for the
// set-up to read.
std::unique_ptr<Model> lake_watershed(RunContext& ctx,
                                      const std::vector<std::vector<double>>& ground,
                                      const std::vector<std::vector<int>>& lake_map,
                                      const std::string& lake_file, double dt = 60.0,
                                      const std::string& scheme = "ade") {
    const TempDir dir;
    const int rows = static_cast<int>(ground.size());
    const int cols = static_cast<int>(ground[0].size());
    dir.write("lake.map",
              test::map_of(rows, cols, 10.0, [&](int r, int c) { return lake_map[r - 1][c - 1]; }));
    dir.write("lake.txt", lake_file);
    auto m = test::overland_watershed(ctx, scheme, dt, rows, cols, 10.0,
                                      [&](int r, int c) { return ground[r - 1][c - 1]; });
    test::give_card(*m, Card::OVERLAND_LAKE_MAP, dir.file("lake.map"));
    test::give_card(*m, Card::OVERLAND_LAKE_FILE, dir.file("lake.txt"));
    m->run.quiet = true;
    set_up_lakes(*m, ctx);
    m->precip.rain_rate.assign(m->grid.num_cells + 1, 0.0);
    m->precip.status = PrecipStatus::raining;
    m->precip.raining = true;
    return m;
}

std::vector<std::vector<int>> one_lake_at(int rows, int cols, int row, int col) {
    std::vector<std::vector<int>> map(rows, std::vector<int>(cols, 0));
    map[row - 1][col - 1] = 1;
    return map;
}

// The level that volume V gives over the depression's cells: the cells
// flood in order of elevation, and over the k lowest, V = A sum(L - z).
double depression_level(double volume, int& flooded) {
    double ground_sum = 0.0;
    double level = 0.0;
    flooded = 0;
    for (const auto& [r, c] : kFloodOrder) {
        const double z = kDepression[r - 1][c - 1];
        if (flooded > 0 && level <= z)
            break;
        ground_sum += z;
        ++flooded;
        level = (volume / 100.0 + ground_sum) / flooded;
    }
    return level;
}

// One model step: rain, overland flow, the lake update.
void step(Model& m, RunContext& ctx) {
    apply_rainfall_phase(m, ctx);
    overland_flow_phase(m, ctx);
    overland_lakes_phase(m, ctx);
    m.clock.current_time += m.run.time_step_days;
}

TEST(OverlandLake, RisesThroughTheDepressionInOrderOfElevation) {
    for (const char* scheme : {"ade", "ade-pc", "explicit"}) {
        SCOPED_TRACE(scheme);
        RunContext ctx;
        test::Console console(ctx);
        // Initial level 100.055 m over the pit: 5.5 m3.
        auto m = lake_watershed(ctx, kDepression, one_lake_at(7, 7, 4, 4),
                                "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.055 0\n", 60.0, scheme);
        ASSERT_FALSE(ctx.error.pending()) << console.text() << console.errors();
        ASSERT_EQ(m->lakes.count, 1);
        EXPECT_NEAR(m->lakes.volume[1], 5.5, 1e-9);
        const Grid& g = m->grid;
        // 600 mm/h on the lake's cells for a 60 s step: 10 mm of rain on each;
        // the land around takes its own rain into the soil and stays dry.
        double stored = m->lakes.volume[1];
        const double initial = stored;
        std::vector<int> joined;  // cells in the order they joined
        for (int k = 0; k < 90; ++k) {
            for (int i = 1; i <= g.num_cells; ++i)
                m->precip.rain_rate[i] = m->lakes.cell_lake[i] > 0 ? 600.0 : 0.0;
            const double rising = m->lakes.level[1];
            const int cells = m->lakes.cells[1];
            step(*m, ctx);
            ASSERT_FALSE(ctx.error.pending()) << console.errors();
            // Rain on the lake raises it by the rain depth times its area over the
            // area of the cells then flooded, until new cells share it.
            stored += 0.01 * 100.0 * cells;
            EXPECT_NEAR(m->lakes.volume[1], stored, 1e-9);
            int flooded = 0;
            EXPECT_NEAR(m->lakes.level[1], depression_level(stored, flooded), 0.0002)
                << "step " << k;
            EXPECT_EQ(m->lakes.cells[1], flooded) << "step " << k;
            if (m->lakes.cells[1] == cells)
                EXPECT_NEAR(m->lakes.level[1] - rising, 0.01, 1e-9) << "step " << k;
            for (int i = 1; i <= g.num_cells; ++i) {
                if (m->lakes.cell_lake[i] > 0) {
                    if (std::find(joined.begin(), joined.end(), i) == joined.end())
                        joined.push_back(i);
                    continue;
                }
                EXPECT_EQ(m->overland.depth[i], 0.0) << "land cell " << i << " step " << k;
            }
        }
        // Each step raises the lake by a centimetre less what a new cell takes:
        // the cells join one a step, and after ninety all nine are flooded.
        ASSERT_EQ(joined.size(), 9u);
        for (std::size_t c = 0; c < joined.size(); ++c)
            EXPECT_EQ(joined[c], g.number_at(kFloodOrder[c].first, kFloodOrder[c].second)) << c;
        EXPECT_GT(m->lakes.level[1], 100.8);
        // The pit behind the 102 m rim and the pit at the corner stay out.
        EXPECT_EQ(m->lakes.cell_lake[g.number_at(3, 7)], 0);
        EXPECT_EQ(m->lakes.cell_lake[g.number_at(2, 2)], 0);
        // The soil leaves the lake's cells alone.
        for (int i = 1; i <= g.num_cells; ++i)
            EXPECT_EQ(m->soil.lake_cell[i] != 0, m->lakes.cell_lake[i] > 0) << i;
        EXPECT_NEAR(m->totals.run.overland_lake_precipitation, stored - initial, 1e-9);
    }
}

// A pond on a knoll: one lake cell at 100.0 m with its level at 100.01 m
// (1 m3), in a ring of cells a metre lower and no outlet. The explicit
// scheme's four faces would give 1 m3 each in one 60 s step (the face limit:
// the lake's 10 mm over the cell): four times what the lake holds. A lake
// gives at most half of what it holds in one step, so each neighbour gets
// 0.125 m3 (1.25 mm) and the lake keeps 0.5 m3 at 100.005 m; step after
// step it falls towards its bed and is never drained dry.
TEST(OverlandLake, PondOnAKnollNeverGivesMoreThanItHolds) {
    RunContext ctx;
    test::Console console(ctx);
    const std::vector<std::vector<double>> knoll = {{99, 99, 99}, {99, 100, 99}, {99, 99, 99}};
    auto m = lake_watershed(ctx, knoll, one_lake_at(3, 3, 2, 2),
                            "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.01 0\n", 60.0, "explicit");
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_NEAR(m->lakes.volume[1], 1.0, 1e-12);
    step(*m, ctx);
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_NEAR(m->lakes.volume[1], 0.5, 1e-12);
    EXPECT_NEAR(m->lakes.level[1], 100.005, 1e-12);
    EXPECT_NEAR(m->totals.run.overland_lake_outflow, 0.5, 1e-12);
    for (int i : {2, 4, 6, 8}) EXPECT_NEAR(m->overland.depth[i], 0.00125, 1e-15) << i;
    for (int i : {1, 3, 7, 9}) EXPECT_EQ(m->overland.depth[i], 0.0) << i;
    for (int k = 0; k < 30; ++k) step(*m, ctx);
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_GT(m->lakes.volume[1], 0.0);
    EXPECT_LT(m->lakes.volume[1], 0.01);
    EXPECT_EQ(m->lakes.cells[1], 1);
    double land = 0.0;
    for (int i = 1; i <= 9; ++i) land += m->overland.depth[i] * 100.0;
    EXPECT_NEAR(land + m->lakes.volume[1], 1.0, 1e-12);
    EXPECT_NEAR(m->totals.run.overland_lake_outflow, 1.0 - m->lakes.volume[1], 1e-12);
}

TEST(OverlandLake, FloodedCellsBringTheirWaterAndCloseValuesFloodTogether) {
    RunContext ctx;
    test::Console console(ctx);
    // A strip: the lake cell at 100.0 m between cells at 100.2 and 100.20005 m,
    // then a cell at 100.5 m, closed at both ends by 103 m.
    const std::vector<std::vector<double>> strip = {{103, 100.2, 100.0, 100.20005, 100.5, 103}};
    auto m = lake_watershed(ctx, strip, {{0, 0, 1, 0, 0, 0}},
                            "TORVA_OVERLAND_LAKE_FILE\n\n# the pond\nLAKE 1 100.1 0\n");
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_NEAR(m->lakes.volume[1], 10.0, 1e-9);
    m->overland.depth[5] = 0.06;  // surface 100.56 m

    // 20.006 m3 lift the lone cell to 100.20006 m: above the 100.2 m cell,
    // which alone would bring the level down to 100.20003 m and leave the
    // other out; within 0.1 mm of each other, both flood in one step.
    m->lakes.pending[1] = 10.006;
    overland_lakes_phase(*m, ctx);
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_EQ(m->lakes.cells[1], 3);
    EXPECT_NEAR(m->lakes.level[1], (0.20006 + 300.40005) / 3.0, 1e-9);

    // 70.006 m3: 100.3667 m over three cells, below the water on the 100.5 m cell.
    m->lakes.pending[1] = 50.0;
    overland_lakes_phase(*m, ctx);
    EXPECT_EQ(m->lakes.cells[1], 3);
    EXPECT_DOUBLE_EQ(m->overland.depth[5], 0.06);
    // 140 m3: 100.6000 m over three cells; the cell floods and its 6 m3 raise
    // the lake: 146 m3 over four cells.
    m->lakes.pending[1] = 69.994;
    overland_lakes_phase(*m, ctx);
    ASSERT_EQ(m->lakes.cells[1], 4);
    EXPECT_DOUBLE_EQ(m->overland.depth[5], 0.0);
    EXPECT_NEAR(m->lakes.volume[1], 146.0, 1e-9);
    EXPECT_NEAR(m->lakes.level[1], (1.46 + 400.90005) / 4.0, 1e-9);
    EXPECT_NEAR(m->totals.run.overland_lake_inflow, 6.0, 1e-12);
}

TEST(OverlandLake, FallingLakeGivesBackItsHighestCellsFirst) {
    RunContext ctx;
    test::Console console(ctx);
    const std::vector<std::vector<double>> strip = {{103, 100.3, 100.0, 100.1, 100.2, 103}};
    // Level 100.4 m over four cells: 10 + 40 + 30 + 20 = 100 m3.
    auto m = lake_watershed(ctx, strip, {{0, 1, 1, 1, 1, 0}},
                            "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.4 0\n");
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_NEAR(m->lakes.volume[1], 100.0, 1e-9);
    // Each row: the volume taken out, the cells left, the level.
    struct Fall {
        double taken;
        int cells;
        double level;
    };
    const Fall falls[] = {
        {35.0, 4, 100.3125},  // 65 m3 over four cells
        {20.0, 3, 100.25},    // 45 m3: four would stand at 100.2625, below 100.3 m
        {30.0, 2, 100.125},   // 15 m3: three would stand at 100.15, below 100.2 m
        {10.0, 1, 100.05},    // 5 m3: two would stand at 100.075, below 100.1 m
    };
    for (const Fall& f : falls) {
        m->lakes.pending[1] = -f.taken;
        overland_lakes_phase(*m, ctx);
        ASSERT_FALSE(ctx.error.pending()) << console.errors();
        EXPECT_EQ(m->lakes.cells[1], f.cells) << f.taken;
        EXPECT_NEAR(m->lakes.level[1], f.level, 1e-9) << f.taken;
    }
    // Released cells are dry land again.
    for (int i : {2, 4, 5}) {
        EXPECT_EQ(m->lakes.cell_lake[i], 0) << i;
        EXPECT_EQ(m->soil.lake_cell[i], 0) << i;
        EXPECT_EQ(m->overland.depth[i], 0.0) << i;
    }
    // More than the lake holds cannot go; taking all it holds would empty it.
    m->lakes.pending[1] = -6.0;
    overland_lakes_phase(*m, ctx);
    EXPECT_NE(console.errors().find("Not enough volume in lake 1 to satisfy drainage demand.\n"
                                    "Program stopped in olake_extent.c\n"),
              std::string::npos);
    ctx.error = ErrorRecord{};
    m->lakes.pending[1] = -5.0;
    overland_lakes_phase(*m, ctx);
    EXPECT_NE(console.errors().find("Lake 1 is being drained below its' original elevation.  "
                                    "This is not\nallowed.  Re-size your initial lake. Program "
                                    "stopped.\n"),
              std::string::npos);
}

TEST(OverlandLake, NegligibleChangeLeavesTheExtentAlone) {
    RunContext ctx;
    test::Console console(ctx);
    const std::vector<std::vector<double>> strip = {{103, 100.0, 100.05, 103}};
    auto m =
        lake_watershed(ctx, strip, {{0, 1, 0, 0}}, "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.05 0\n");
    ASSERT_FALSE(ctx.error.pending());
    // 1e-9 m3 over one cell of 100 m2 is 1e-11 m of depth: the neighbour at
    // the lake's own level stays out.
    m->lakes.pending[1] = 1e-9;
    overland_lakes_phase(*m, ctx);
    EXPECT_EQ(m->lakes.cells[1], 1);
    EXPECT_NEAR(m->lakes.volume[1], 5.0 + 1e-9, 1e-12);
}

// In long-term runs a lake evaporates at the potential rate of its cells;
// the land's potential rate is the soil's business.
TEST(OverlandLake, EvaporatesAtThePotentialRateOfItsCellsAndDriesToItsBed) {
    RunContext ctx;
    test::Console console(ctx);
    const std::vector<std::vector<double>> strip = {{103, 100.3, 100.0, 100.1, 100.2, 103}};
    // Level 100.4 m over the four cells: 100 m3.
    auto m = lake_watershed(ctx, strip, {{0, 1, 1, 1, 1, 0}},
                            "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.4 0\n");
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    m->run.long_term = true;
    m->hydromet.started = true;
    m->clock.step_index = 1;  // past the step that holds the start time
    // 6 mm/h over the lake, 50 mm/h on the land at both ends.
    m->soil.potential_et.assign(m->grid.num_cells + 1, 0.05 / 3600.0);
    for (int i = 2; i <= 5; ++i) m->soil.potential_et[i] = 0.006 / 3600.0;
    // An hour of 60 s steps takes 6 mm from 400 m2: 2.4 m3, and the level
    // falls by 6 mm.
    for (int k = 0; k < 60; ++k) overland_lakes_phase(*m, ctx);
    ASSERT_FALSE(ctx.error.pending()) << console.errors();
    EXPECT_NEAR(m->lakes.volume[1], 97.6, 1e-9);
    EXPECT_NEAR(m->lakes.level[1], 100.394, 1e-9);
    EXPECT_NEAR(m->totals.run.overland_lake_evaporation, 2.4, 1e-9);
    EXPECT_NEAR(m->totals.run.evaporation, 2.4, 1e-9);
    EXPECT_NEAR(m->totals.run.direct_evaporation, 2.4, 1e-9);
    EXPECT_NEAR(m->soil.period_actual_et, 2.4, 1e-9);

    // At 600 mm/h each flooded cell loses 1 m3 a minute. Four cells hold
    // the 100.3 m cell until 60 m3 remain (97.6 - 4 x 10 = 57.6), three the
    // 100.2 m cell until 30 (57.6 - 3 x 10 = 27.6), two the 100.1 m cell
    // until 10 (27.6 - 2 x 9 = 9.6); the last cell empties in the tenth
    // minute after and stays as the lake's empty bed, which loses nothing.
    for (int i = 2; i <= 5; ++i) m->soil.potential_et[i] = 0.6 / 3600.0;
    const struct {
        int minutes, cells;
        double volume;
    } drying[] = {{10, 3, 57.6}, {10, 2, 27.6}, {9, 1, 9.6}, {9, 1, 0.6}, {2, 1, 0.0}};
    for (const auto& d : drying) {
        for (int k = 0; k < d.minutes; ++k) overland_lakes_phase(*m, ctx);
        ASSERT_FALSE(ctx.error.pending()) << d.volume << console.errors();
        EXPECT_EQ(m->lakes.cells[1], d.cells) << d.volume;
        EXPECT_NEAR(m->lakes.volume[1], d.volume, 1e-9);
    }
    EXPECT_EQ(m->lakes.cell_lake[3], 1);
    EXPECT_NEAR(m->lakes.level[1], 100.0, 1e-12);
    EXPECT_NEAR(m->totals.run.overland_lake_evaporation, 100.0, 1e-9);
    EXPECT_NEAR(m->totals.run.evaporation, 100.0, 1e-9);

    // Rain fills the bed again: 600 mm/h for a minute is 1 m3 over its cell.
    m->soil.potential_et.assign(m->grid.num_cells + 1, 0.0);
    m->lakes.pending[1] = 1.0;
    overland_lakes_phase(*m, ctx);
    EXPECT_NEAR(m->lakes.level[1], 100.01, 1e-12);
}

}  // namespace
}  // namespace torva

// Where overland water meets an edge: dikes on either side of a cell, the low
// spots that let water over a dike, and the free-outflow and head boundaries,
// each with the water it moves and counts; and a dam break, the sharpest edge
// the ADE sub-steps meet.

#include <gtest/gtest.h>

#include <cmath>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

using test::build_grid;
using test::finish_set_up;

// Two cells, the first 1 m above the second, either side by side (east) or
// one above the other (south), with 0.2 m of water on the upper one.
std::unique_ptr<Model> upper_and_lower(RunContext& ctx, bool south, int upper_dike,
                                       int lower_dike) {
    auto m = test::overland_model("ade", 10.0);
    build_grid(m->grid, south ? 2 : 1, south ? 1 : 2, 10.0,
               [](int r, int c) { return 12.0 - r - c; });
    m->grid.dike_sides = {0, upper_dike, lower_dike};
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = 0.2;
    return m;
}

TEST(OverlandDikes, ADikeOnTheSideFacingTheLowerCellKeepsAllWaterBack) {
    struct Case {
        const char* what;
        bool south;
        int upper_dike, lower_dike;
        bool blocked;
    };
    for (const Case& c : {Case{"east dike", false, kEastSide, kWestSide, true},
                          Case{"south dike", true, kSouthSide, kNorthSide, true},
                          Case{"dike on the other sides", true, kEastSide | kWestSide, 0, false}}) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        auto m = upper_and_lower(ctx, c.south, c.upper_dike, c.lower_dike);
        overland_flow_phase(*m, ctx);
        EXPECT_EQ(m->overland.depth[2] == 0.0, c.blocked);
        EXPECT_EQ(m->overland.depth[1] == 0.2, c.blocked);
    }
}

// A low spot in the south dike of the upper cell, crest at 10.1 m, open over
// half the cell width. Both cells lie at 10 m; 0.3 m of water stands on the
// upper one: head H = 10.3 - 10.1 = 0.2 m, and the weir passes
//   Q = 0.5 * 0.2^1.5 * 1.48 * 10 = 0.5 * 0.0894427191 * 14.8 = 0.66187612 m3/s,
// which over the 10 s step moves Q * 10 / 100 = 0.066187612 m to the lower cell.
TEST(OverlandLowSpots, WaterOverALowSpotFollowsTheWeirLaw) {
    RunContext ctx;
    auto m = test::overland_model("ade", 10.0);
    test::give_card(*m, Card::LOWSPOT_FILE);
    build_grid(m->grid, 2, 1, 10.0, [](int, int) { return 10.0; });
    m->grid.dike_sides = {0, kSouthSide, kNorthSide};
    m->grid.low_spots.push_back(LowSpot{1, 1, kSouthSide, 0.5, 10.1});
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = 0.3;
    overland_flow_phase(*m, ctx);
    EXPECT_NEAR(m->grid.low_spots[0].flow, 0.66187612, 1e-8);
    EXPECT_NEAR(m->overland.depth[1], 0.3 - 0.066187612, 1e-9);
    EXPECT_NEAR(m->overland.depth[2], 0.066187612, 1e-9);
}

// Three level cells of 10 m in a row (ground 10 m, n 0.05, 10 s): the end
// cells have three open sides. With p = 5/3 as single
// precision, a free-outflow cell of depth h at boundary slope S loses
//   dd = h^p sqrt(S) 10 / 0.05 * 10 / 100 = 20 sqrt(S) h^p,
// and 0.1^p = 0.021544343, so at h = 0.1 m:
//   S = 0.0001: dd = 0.0043088686 m, three times that is below h: one dd leaves;
//   S = 0.04:   dd = 0.086177372 m, over h / 3: the whole 0.1 m leaves.
// A head boundary sets the cell to its level above ground, never below it.
TEST(OverlandBoundary, FreeOutflowAndHeadCellsMoveAndCountTheirWater) {
    struct Case {
        const char* what;
        int cell, type;
        double value, depth;
        double depth_after, slope_out, head_out, head_in;  // m, m3, m3, m3
    };
    const double dd = 0.0043088686;
    for (const Case& c : {
             Case{"small free outflow", 1, 1, 0.0001, 0.1, 0.1 - dd, dd * 100.0, 0.0, 0.0},
             Case{"free outflow over a third", 3, 1, 0.04, 0.1, 0.0, 10.0, 0.0, 0.0},
             Case{"head above ground", 3, 2, 10.3, 0.0, 0.3, 0.0, 0.0, 30.0},
             Case{"head below ground", 3, 2, 9.5, 0.2, 0.0, 0.0, 20.0, 0.0},
         }) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        auto m = test::overland_model("ade", 10.0);
        test::give_card(*m, Card::OV_BOUNDARY);
        build_grid(m->grid, 1, 3, 10.0, [](int, int) { return 10.0; });
        OverlandBoundaryCells& b = m->tables.ov_boundary;
        b.type.assign(4, 0);
        b.value.assign(4, 0.0);
        b.type[c.cell] = c.type;
        b.value[c.cell] = c.value;
        b.index = b.value;
        finish_set_up(*m, ctx, 0.05);
        m->overland.depth[c.cell] = c.depth;
        apply_overland_boundaries(*m, ctx, 10.0);
        EXPECT_NEAR(m->overland.depth[c.cell], c.depth_after, 1e-10);
        EXPECT_GE(m->overland.depth[c.cell], 0.0);
        EXPECT_NEAR(m->totals.run.slope_boundary_outflow, c.slope_out, 1e-8);
        EXPECT_NEAR(m->totals.run.boundary_outflow, c.head_out, 1e-9);
        EXPECT_NEAR(m->totals.run.boundary_inflow, c.head_in, 1e-9);
        EXPECT_EQ(m->totals.event.boundary_outflow, m->totals.run.boundary_outflow);
    }
}

// A dam break: 1 m of water at the head of a level strip of four dry cells,
// one 10 s ADE step. The faces fail the stability test until the sub-steps
// are short enough: no water is made by zeroing negative depths or lost, and
// the face discharges reported for the step carry all the water that crossed.
TEST(OverlandAde, DamBreakSubStepsKeepEveryDropAndReportItAll) {
    RunContext ctx;
    auto m = test::overland_model("ade", 10.0);
    build_grid(m->grid, 1, 4, 10.0, [](int, int) { return 10.0; });
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = 1.0;
    overland_flow_phase(*m, ctx);
    ASSERT_FALSE(ctx.error.pending());
    const std::vector<double>& h = m->overland.depth;
    EXPECT_GT(h[3], 0.0);
    EXPECT_NEAR(h[1] + h[2] + h[3] + h[4], 1.0, 1e-12);
    EXPECT_LT(m->totals.run.overland_cleanup, 1e-9);
    // What crossed each face is what the cells beyond it gained.
    EXPECT_NEAR(m->overland.discharge_x[1] * 10.0, (h[2] + h[3] + h[4]) * 100.0, 1e-9);
    EXPECT_NEAR(m->overland.discharge_x[2] * 10.0, (h[3] + h[4]) * 100.0, 1e-9);
}

// A film of 0.5 mm on a cell 1 m above its dry neighbour, one 1000 s step:
// at the full step the face would take about 0.2 m3 of the 0.05 m3 there. The
// sub-steps halve until the film drains without a negative depth to zero out.
TEST(OverlandAde, FilmOnASteepFaceDrainsWithoutMakingWater) {
    RunContext ctx;
    auto m = test::overland_model("ade", 1000.0);
    build_grid(m->grid, 1, 2, 10.0, [](int, int c) { return 12.0 - c; });
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = 0.0005;
    overland_flow_phase(*m, ctx);
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_NEAR(m->overland.depth[1] + m->overland.depth[2], 0.0005, 1e-15);
    EXPECT_LT(m->totals.run.overland_cleanup, 1e-9);
}

// The predictor-corrector takes half the Manning outflow after each of its two
// passes. A lone 10 m outlet cell holding 0.1 m (n 0.05, outlet slope 0.01)
// gives Q(h) = h^(5/3) sqrt(0.01) / 0.05 * 10 = 20 h^(5/3) m3/s; over 10 s
//   h1 = 0.1 - 0.5 * 20 * 0.1^(5/3) * 10 / 100 = 0.0784556531 m,
//   h2 = h1 - 0.5 * 20 * h1^(5/3) * 10 / 100 = 0.0640773687 m,
// and the outlet reports (0.1 - h2) * 100 / 10 = 0.359226313 m3/s.
TEST(OverlandOutlet, PredictorCorrectorTakesHalfTheOutflowAfterEachPass) {
    RunContext ctx;
    auto m = test::overland_model("ade-pc", 10.0);
    build_grid(m->grid, 1, 1, 10.0, [](int, int) { return 10.0; });
    m->grid.outlet_cell = 1;
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = 0.1;
    overland_flow_phase(*m, ctx);
    EXPECT_NEAR(m->overland.depth[1], 0.0640773687, 1e-10);
    EXPECT_NEAR(m->outlet.discharge, 0.359226313, 1e-9);
}

}  // namespace
}  // namespace torva

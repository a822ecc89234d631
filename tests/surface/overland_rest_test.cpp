// Overland water comes to rest: ponds end level in every scheme, the
// predictor-corrector completes at long steps, no scheme makes a negative
// depth, and a low-spot weir levels two basins without swapping them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

using test::build_grid;
using CapturedConsole = test::Console;
using test::finish_set_up;
using test::rain;
using test::surface_volume;

struct BowlEnd {
    double surface_span = 0.0;  // highest less lowest water surface over the pond, m
    double centre_depth = 0.0;  // m
    double lowest_depth = 0.0;  // lowest depth of any cell at any step, m
    double balance = 0.0;       // (stored - cleanup - rained) / rained
};

// A closed paraboloid bowl: 21 x 21 cells of 10 m, z = 100 + 2.5e-4 r^2 with r
// the distance from the centre cell, n 0.05, 60 mm/h for 30 minutes, then 30
// minutes without rain. Nothing leaves. The 0.03 m of rain over 44100 m2 is
// 1323 m3; a paraboloid z = a r^2 holds pi D^2 / (2 a) below a level D above
// its bottom, so the pond at rest stands D = sqrt(2 a V / pi) = 0.4589 m deep
// at the centre (over the 61 flat cells of the grid it would be 0.4595 m; the
// films left on the dry slopes take a little of it).
BowlEnd bowl(const std::string& scheme, double dt) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = test::overland_model(scheme, dt);
    build_grid(m->grid, 21, 21, 10.0, [](int r, int c) {
        return 100.0 + 2.5e-4 * 100.0 * ((r - 11) * (r - 11) + (c - 11) * (c - 11));
    });
    m->grid.outlet_cell = 0;
    finish_set_up(*m, ctx, 0.05);
    BowlEnd end;
    const int n = m->grid.num_cells;
    const int steps = static_cast<int>(std::lround(3600.0 / dt));
    double rained = 0.0;
    for (int k = 0; k < steps; ++k) {
        if (k * dt < 1800.0) {
            rain(*m, 0.060 / 3600.0 * dt);
            rained += 0.060 / 3600.0 * dt * m->grid.area;
        }
        overland_flow_phase(*m, ctx);
        EXPECT_FALSE(ctx.error.pending()) << console.text();
        if (ctx.error.pending())
            return end;
        for (int i = 1; i <= n; ++i)
            end.lowest_depth = std::min(end.lowest_depth, m->overland.depth[i]);
    }
    double lowest = 1e9, highest = -1e9;
    for (int i = 1; i <= n; ++i) {
        if (m->overland.depth[i] < 0.01)  // the films on the slopes above the pond
            continue;
        const double surface = m->grid.elevation[i] + m->overland.depth[i];
        lowest = std::min(lowest, surface);
        highest = std::max(highest, surface);
    }
    end.surface_span = highest - lowest;
    end.centre_depth = m->overland.depth[m->grid.number_at(11, 11)];
    end.balance = (surface_volume(*m) - m->totals.run.overland_cleanup - rained) / rained;
    return end;
}

TEST(OverlandRest, EverySchemeLeavesTheBowlLevelAtEveryStep) {
    for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
        for (double dt : {1.0, 5.0, 10.0}) {
            SCOPED_TRACE(std::string(scheme) + " at " + std::to_string(dt) + " s");
            const BowlEnd end = bowl(scheme, dt);
            EXPECT_LT(end.surface_span, 0.001);
            EXPECT_NEAR(end.centre_depth, 0.459, 0.005);
            EXPECT_GE(end.lowest_depth, 0.0);
            EXPECT_LT(std::fabs(end.balance), 1e-5);
        }
    }
}

// A steep plane (slope 0.1, n 0.02, 100 mm/h) of 50 cells of 10 m draining at
// its lower end. At equilibrium the outlet passes the rain on the plane:
// Q = i L W = 100 / 3.6e6 * 500 * 10 = 0.138889 m3/s. With 30 s steps the
// predictor-corrector halves its sub-steps where it must and gets there; as on
// the gentle plane the outlet alternates over two steps about that value.
TEST(OverlandRest, PredictorCorrectorCompletesASteepPlaneAtThirtySeconds) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = test::overland_model("ade-pc", 30.0);
    build_grid(m->grid, 1, 50, 10.0, [](int, int c) { return 100.0 - 0.1 * 10.0 * c; });
    m->grid.outlet_cell = 50;
    m->run.outlet_slope = 0.1;
    finish_set_up(*m, ctx, 0.02);
    double previous = 0.0;
    for (int k = 0; k < 120; ++k) {
        rain(*m, 0.100 / 3600.0 * 30.0);
        previous = m->outlet.discharge;
        overland_flow_phase(*m, ctx);
        ASSERT_FALSE(ctx.error.pending()) << console.text();
    }
    EXPECT_NEAR(0.5 * (previous + m->outlet.discharge), 0.138889, 0.001);
}

// A 10 m cell standing 10 m above its four neighbours holds 2 m of water; the
// others are dry. Each face alone may take all 2 m (the lesser of a quarter of
// the 12 m fall and the water held), and at any step the explicit scheme can
// reach (30 s cut five times to 0.12 s) Manning's law still gives
//   q = 2^(5/3) sqrt(12 / 10) / 0.05 = 69.5 m2/s, q dt / dx = 0.86 m
// through every face: 3.4 m in all. The cell's outflow check counts all four
// faces and, with no cut left, the cell gives just what it holds, shared.
TEST(OverlandRest, ExplicitSchemeNeverDrainsACellBelowDry) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = test::overland_model("explicit", 30.0);
    build_grid(m->grid, 3, 3, 10.0, [](int r, int c) { return r == 2 && c == 2 ? 10.0 : 0.0; });
    m->grid.outlet_cell = 0;
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[5] = 2.0;
    for (int k = 0; k < 3; ++k) {
        overland_flow_phase(*m, ctx);
        ASSERT_FALSE(ctx.error.pending());
        for (int i = 1; i <= 9; ++i) EXPECT_GE(m->overland.depth[i], 0.0) << "cell " << i;
    }
    EXPECT_NE(console.text().find("Time step to small to divide"), std::string::npos);
    EXPECT_NEAR(surface_volume(*m), 200.0, 1e-9);
}

// Two flat basins of three cells each (ground 10 m, 10 m cells) meet at a dike
// between cells 3 and 4 with a low spot open over half the width, crest 10.1 m.
// The west basin holds 0.5 m, the east none. At 30 s the weir law would pass
// 0.5 * 0.4^1.5 * 1.48 * 10 * 30 / 100 = 0.56 m at once, more than the 0.25 m
// that levels the two cells: the low spot gives at most that, so the west cell
// is never the lower, and the basins end level at 1.5 m / 6 = 0.25 m.
TEST(OverlandRest, TwoBasinsThroughALowSpotEndLevelWithoutSwapping) {
    for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
        SCOPED_TRACE(scheme);
        RunContext ctx;
        auto m = test::overland_model(scheme, 30.0);
        test::give_card(*m, Card::LOWSPOT_FILE);
        build_grid(m->grid, 1, 6, 10.0, [](int, int) { return 10.0; });
        m->grid.dike_sides = {0, 0, 0, kEastSide, kWestSide, 0, 0};
        m->grid.low_spots.push_back(LowSpot{1, 3, kEastSide, 0.5, 10.1});
        m->grid.outlet_cell = 0;
        finish_set_up(*m, ctx, 0.05);
        for (int i = 1; i <= 3; ++i) m->overland.depth[i] = 0.5;
        for (int k = 0; k < 60; ++k) {
            overland_flow_phase(*m, ctx);
            ASSERT_FALSE(ctx.error.pending());
            EXPECT_GE(m->overland.depth[3], m->overland.depth[4] - 1e-12) << "step " << k;
        }
        for (int i = 1; i <= 6; ++i) EXPECT_NEAR(m->overland.depth[i], 0.25, 0.001);
        EXPECT_NEAR(surface_volume(*m), 150.0, 1e-9);
    }
}

}  // namespace
}  // namespace torva

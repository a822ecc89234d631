// The overland schemes on hand-built watersheds: the face laws, the
// kinematic wave on a plane, ADE against the explicit scheme at every step
// length, the explicit step cuts and what stops the phase; and where water
// meets an edge: dikes on either side of a cell, the low spots that let water
// over a dike, and the free-outflow and head boundaries, each with the water
// it moves and counts, and boundaries whose water surface follows a time
// series (the cell's id picks the first TIME_SERIES_INDEX entry of that id; a
// lookup that cannot be made stops the run with the time series messages).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "surface/overland_grid.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

using test::overland_watershed;
using test::run_steps;
using test::surface_volume;

// ---- The face laws: the fast cube root behind every face discharge ----

// Distance from the true root in units of the last place of the result.
double ulps_from_true_root(double x) {
    const double y = overland_law::cube_root(x);
    const long double exact = cbrtl(static_cast<long double>(x));
    const double ulp = std::nextafter(y, std::numeric_limits<double>::infinity()) - y;
    return static_cast<double>(std::fabs(static_cast<long double>(y) - exact) / ulp);
}

TEST(CubeRoot, WithinOneUnitInTheLastPlaceFromFilmsToFloods) {
    // Flow depths and squared depths from a film of 1e-30 m to 1e12 m2,
    // log-uniform, and every mantissa pattern near the powers of two.
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> decade(-30.0, 12.0);
    double worst = 0.0;
    for (int k = 0; k < 200000; ++k)
        worst = std::max(worst, ulps_from_true_root(std::pow(10.0, decade(random))));
    for (int e = -100; e <= 100; ++e)
        for (double m : {1.0, 1.0 + 1e-15, 1.5, 2.0 - 1e-15})
            worst = std::max(worst, ulps_from_true_root(std::ldexp(m, e)));
    EXPECT_LT(worst, 1.0);
}

TEST(CubeRoot, ExactCubesAndTheEdgesOfTheNumbers) {
    const double inf = std::numeric_limits<double>::infinity();
    const double cubes[][2] = {{8, 2}, {27, 3}, {0.125, 0.5}, {1, 1}, {0, 0}, {-8, -2}, {inf, inf}};
    for (const auto& [x, root] : cubes) EXPECT_EQ(overland_law::cube_root(x), root) << x;
    // The smallest subnormal, 2^-1074, goes to the library: its root is 2^-358.
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_NEAR(overland_law::cube_root(tiny), std::ldexp(1.0, -358),
                std::ldexp(1.0, -358) * 1e-15);
    EXPECT_TRUE(std::isnan(overland_law::cube_root(std::numeric_limits<double>::quiet_NaN())));
    // A depth of 1 m gives 1; 0.001 m gives 1e-5 to round-off.
    EXPECT_EQ(overland_law::depth_to_five_thirds(1.0), 1.0);
    EXPECT_NEAR(overland_law::depth_to_five_thirds(0.001), 1e-5, 1e-20);
}

// The upstream cell drives an ADE face: its depth above its retention and
// its roughness. Water standing 0.5 m higher in the neighbour (n = 0.1, 0.25 m
// deep, 0.05 m retention) flows back across a 10 m face at the slope 0.05:
//   Q = -0.2^(5/3) sqrt(0.05) / 0.1 * 10 = -1.5294490 m3/s.
// Over a 10 s sub-step (100 m2 / 10 s = 10 m2/s) the face limit, the lesser of
// half the 0.5 m fall and the 0.2 m held, is 2 m3/s: it does not bind.
TEST(AdeFace, TheUpstreamCellsDepthAndRoughnessDriveTheFlow) {
    const overland_law::AdeCell cell{10.0, 0.1, 1.0 / 0.05};
    const overland_law::AdeCell neighbour{10.5, 0.2, 1.0 / 0.1};
    EXPECT_NEAR(overland_law::ade_face_discharge(cell, neighbour, 10.0, 10.0), -1.5294490, 1e-7);
    EXPECT_NEAR(overland_law::ade_face_discharge(neighbour, cell, 10.0, 10.0), 1.5294490, 1e-7);
}

// Kinematic wave on a plane. A strip of cells, one cell wide, slopes at S
// towards the outlet cell at its lower end, whose outflow rule discharges at
// the same slope. Rain falls at i (m/s) from t = 0. With the friction slope
// equal to the bed slope the unit discharge is q = alpha h^m, alpha = sqrt(S)/n,
// m = 5/3, and continuity dh/dt + dq/dx = i. Along a characteristic that
// starts from the dry plane h = i t, so until the characteristic from the top
// of the plane (x = 0) reaches the outlet, the outlet sees q(t) = alpha (i t)^m.
// That characteristic travels dx/dt = m alpha h^(m-1), which integrates to
// x = alpha (i t)^m / i: it reaches x = L at t_c = (L i^(1-m) / alpha)^(1/m).
// From then on the plane is in equilibrium and q = i L: the outlet discharge of
// the strip, one cell width W = 10 m wide, is Q = i L W, rain rate times area.
// The predictor-corrector takes half the outlet flow after each direction's
// pass, and the pass order flips every step, so at equilibrium its outlet
// alternates between two values whose mean is the rain on the plane. On a
// steep plane (slope 0.1, n 0.02, 100 mm/h, 50 cells, 30 s steps) it halves its
// sub-steps where it must and gets there too: Q = 100 / 3.6e6 * 500 * 10 =
// 0.138889 m3/s.
TEST(OverlandPlane, EverySchemeFollowsTheKinematicWaveToEquilibrium) {
    const struct {
        const char* scheme;
        int cells;
        double slope, n, rain, dt;  // -, -, mm/h, s
        double tolerance;           // of the equilibrium mean, relative
    } cases[] = {{"ade", 100, 0.01, 0.05, 50.0, 10.0, 0.01},
                 {"explicit", 100, 0.01, 0.05, 50.0, 10.0, 0.01},
                 {"ade-pc", 100, 0.01, 0.05, 50.0, 10.0, 1e-6},
                 {"ade-pc", 50, 0.1, 0.02, 100.0, 30.0, 0.007}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + " on slope " + std::to_string(c.slope));
        const double dx = 10.0, i = c.rain / 1000.0 / 3600.0, length = c.cells * dx;
        RunContext ctx;
        auto m = overland_watershed(
            ctx, c.scheme, c.dt, 1, c.cells, dx,
            [&](int, int col) { return 100.0 - c.slope * dx * col; }, c.cells, c.n);
        m->run.outlet_slope = c.slope;
        const double alpha = std::sqrt(c.slope) / c.n, equilibrium = i * length * dx;
        const double concentration = std::pow(length * std::pow(i, -2.0 / 3.0) / alpha, 0.6);
        std::vector<double> q;
        double worst = 0.0;  // departure from the kinematic wave
        const int steps = static_cast<int>(3.0 * concentration / c.dt);  // all with rain
        run_steps(*m, ctx, steps, i * c.dt, steps, [&](int k) {
            const double t = (k + 1) * c.dt;
            q.push_back(m->outlet.discharge);
            const double wave =
                t < concentration ? dx * alpha * std::pow(i * t, 5.0 / 3.0) : equilibrium;
            worst = std::max(worst, std::fabs(q.back() - wave));
        });
        const std::size_t last = q.size() - 1;
        if (std::string(c.scheme) != "ade-pc") {
            EXPECT_LT(worst, 0.05 * equilibrium);
            EXPECT_NEAR(q[last], equilibrium, c.tolerance * equilibrium);
            continue;
        }
        EXPECT_NEAR(0.5 * (q[last] + q[last - 1]), equilibrium, c.tolerance * equilibrium);
        EXPECT_NEAR(q[last], q[last - 2], 1e-9 * equilibrium);
    }
}

// A V-shaped catchment: two side slopes of 8 % drain into a 1 % valley line
// that leaves at the outlet. Water crosses every face direction and the
// outlet sees a rising limb, a peak and a recession, so the schemes' errors
// show; as the step shrinks ADE must converge to what the explicit scheme
// gives, which at its own adaptive step hardly depends on the model step.
// The hydrograph is the mean outlet discharge of every five minutes.
std::vector<double> v_catchment_hydrograph(const std::string& scheme, double dt) {
    const int rows = 40, cols = 21;
    const double dx = 20.0;
    RunContext ctx;
    test::Console console(ctx);
    auto m = overland_watershed(
        ctx, scheme, dt, rows, cols, dx,
        [&](int r, int c) { return 100.0 + 0.01 * dx * (rows - r) + 0.08 * dx * std::abs(c - 11); },
        (rows - 1) * cols + 11, 0.1);
    std::vector<double> every_five_minutes;
    double volume = 0.0;
    const int per_five_minutes = static_cast<int>(std::lround(300.0 / dt));
    run_steps(*m, ctx, 12 * per_five_minutes, 25.0 / 1000.0 / 3600.0 * dt, 6 * per_five_minutes,
              [&](int k) {
                  volume += m->outlet.discharge * dt;
                  if ((k + 1) % per_five_minutes == 0) {
                      every_five_minutes.push_back(volume / 300.0);
                      volume = 0.0;
                  }
              });
    return every_five_minutes;
}

double largest_difference(const std::vector<double>& a, const std::vector<double>& b) {
    double worst = 0.0;
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k)
        worst = std::max(worst, std::fabs(a[k] - b[k]));
    return worst;
}

TEST(OverlandConvergence, AdeApproachesTheExplicitHydrographAsTheStepShrinks) {
    const std::vector<double> reference = v_catchment_hydrograph("explicit", 1.0);
    const double peak = *std::max_element(reference.begin(), reference.end());
    EXPECT_LT(largest_difference(v_catchment_hydrograph("explicit", 4.0), reference), 0.005 * peak);
    const double at4 = largest_difference(v_catchment_hydrograph("ade", 4.0), reference);
    const double at2 = largest_difference(v_catchment_hydrograph("ade", 2.0), reference);
    const double at1 = largest_difference(v_catchment_hydrograph("ade", 1.0), reference);
    EXPECT_LT(at2, at4);
    EXPECT_LT(at1, at2);
    EXPECT_LT(at1, 0.002 * peak);
    // At coarse steps faces fail the stability test and the sub-step halving
    // carries ADE: the five-minute flows stay within a few percent of the
    // peak (3.3, 4.1 and 7.5 % as built).
    for (const auto& [dt, bound] : {std::pair{30.0, 0.05}, {60.0, 0.05}, {100.0, 0.1}})
        EXPECT_LT(largest_difference(v_catchment_hydrograph("ade", dt), reference), bound * peak)
            << dt << " s";
}

// Two cells at one level, 10 m apart; one holds water.
std::unique_ptr<Model> two_cells(RunContext& ctx, const std::string& scheme, double dt,
                                 double h_left) {
    auto m = overland_watershed(ctx, scheme, dt, 1, 2, 10.0, test::level);
    m->overland.depth[1] = h_left;
    return m;
}

// 0.08 m of water next to a dry cell: q = 0.08^(5/3) sqrt(0.008) / 0.05 =
// 0.0266 m2/s, so q dt / dx is 0.080 m with 30 s (over the 0.06 m celerity
// limit) and 0.027 m with 10 s: the step is cut to 10 s for four more steps;
// the serial form names the failing face first. 1 m of water: q = 6.3 m2/s
// fails even at 30/243 s, and after five cuts the run goes on at that step.
TEST(OverlandExplicit, CutsTheStepWhereAFaceFailsAndResetsItFourStepsLater) {
    const struct {
        double depth;
        ExecutionForm form;
        int steps;
        const char* console;  // of each step, "|" after each
    } cases[] = {
        {0.08, ExecutionForm::parallel, 7,
         " *Changing overland time step to 10.00 seconds...\n||||"
         "|Resetting time step to 30.00 for overland flow...\n||"},
        {0.08, ExecutionForm::serial, 1,
         "\n  ]x:_U_0.0797 H0.0797 Q:0.03 dt:30.00 j:1\n    -> Cell Exceded Celerity Check\n"
         " *Changing overland time step to 10.00 seconds...\n|"},
        {1.0, ExecutionForm::parallel, 1,
         " *Changing overland time step to 10.00 seconds...\n"
         " *Changing overland time step to 3.33 seconds...\n"
         " *Changing overland time step to 1.11 seconds...\n"
         " *Changing overland time step to 0.37 seconds...\n"
         " *Changing overland time step to 0.12 seconds...\n"
         " *Time step to small to divide, continuing with current time step\n|"},
    };
    for (const auto& c : cases) {
        RunContext ctx;
        test::Console console(ctx);
        auto m = two_cells(ctx, "explicit", 30.0, c.depth);
        m->overland.form = c.form;
        std::string per_step;
        run_steps(*m, ctx, c.steps, 0.0, 0, [&](int) { per_step += console.take() + "|"; });
        EXPECT_EQ(per_step, c.console);
        EXPECT_NEAR(surface_volume(*m), c.depth * 100.0, 1e-10);
    }
}

TEST(OverlandExplicit, CellBelowRetentionNeitherSendsNorReceives) {
    RunContext ctx;
    auto m = two_cells(ctx, "explicit", 10.0, 0.0);
    m->overland.depth[2] = 0.05;
    m->surface.retention_depth[1] = 0.01;
    overland_flow_phase(*m, ctx);
    // Cell 1 (dry, below its retention) takes nothing across its east face.
    EXPECT_EQ(m->overland.depth[1], 0.0);
    EXPECT_EQ(m->overland.depth[2], 0.05);
}

// What stops the phase: a 1 m cell standing 1000 m above its two neighbours
// holding 100 m of water (each face may take all of it, so the sweep would
// leave -100 m at every sub-step); a depth that is not a number, or infinite
// (within a row long enough for the test of the depths to take it in lanes);
// a scheme word the phase does not know.
TEST(OverlandPhase, StopsWithAMessage) {
    const struct {
        const char* scheme;
        int cols;
        double dx;
        double (*ground)(int, int);
        int cell;
        double depth;  // of that cell, m
        const char* message;
    } cases[] = {
        {"ade", 3, 1.0, [](int, int c) { return c == 2 ? 1000.0 : 0.0; }, 2, 100.0,
         "The ADE overland routing time step is getting really small\n"
         "less than 1/100 of a second\n"
         "Reduce the model time step by a factor of 2 and try again.\n"
         "Program stopped.\n"},
        {"ade", 2, 10.0, test::level, 2, std::nan(""),
         "A non-real overland flow water depth has been detected in cell 2 after applying "
         "overland boundary conditions and overland pumping.\n"},
        {"ade", 20, 10.0, test::level, 13, -std::numeric_limits<double>::infinity(),
         "A non-real overland flow water depth has been detected in cell 13 after applying "
         "overland boundary conditions and overland pumping.\n"},
        {"kinematic", 2, 10.0, test::level, 2, 0.0,
         "Error: unknown overland flow scheme in the OVERTYPE card: kinematic\n"
         "Use explicit (1), ade (2) or ade-pc (3).\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunContext ctx;
        test::Console console(ctx);
        auto m = overland_watershed(ctx, c.scheme, 1.0, 1, c.cols, c.dx, c.ground);
        if (!ctx.error.pending()) {
            m->overland.depth[c.cell] = c.depth;
            overland_flow_phase(*m, ctx);
        }
        EXPECT_EQ(ctx.error.code, err::message_printed);
        EXPECT_EQ(console.text(), c.message);
    }
}

// A strip of three cells falling 1 m each towards the outlet at its end,
// rained on once: with channels routed explicitly the outlet takes nothing,
// and the deepest water each cell held is kept.
TEST(OverlandPhase, ExplicitChannelRoutingKeepsTheOutletAndMaximumDepthsFollowTheWater) {
    for (bool channels : {true, false}) {
        RunContext ctx;
        auto m = overland_watershed(
            ctx, "ade", 10.0, 1, 3, 10.0, [](int, int c) { return 10.0 - c; }, 3, 0.05,
            [&](Model& model) {
                if (channels)
                    model.project.channel_routing = ChannelRouting::explicit_routing;
                test::give_card(model, Card::FLOOD_GRID, "flood");
            });
        if (channels) {
            run_steps(*m, ctx, 1, 0.01, 1);
            EXPECT_EQ(m->totals.run.outlet_discharge, 0.0);
            EXPECT_NEAR(surface_volume(*m), 3.0, 1e-12);
            continue;
        }
        run_steps(*m, ctx, 1, 0.02, 1);
        const std::vector<double> after_rain = m->overland.max_depth;
        run_steps(*m, ctx, 50);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_GE(m->overland.max_depth[i], after_rain[i]);
            EXPECT_GE(m->overland.max_depth[i], m->overland.depth[i]);
        }
        EXPECT_LT(m->overland.depth[3], m->overland.max_depth[3]);
    }
}

// The explicit scheme works on bed slopes; the ADE schemes of an event run
// need none and have none.
TEST(OverlandSetUp, BedSlopesOfEdgeCellsComeFromTheirNeighbours) {
    RunContext ctx;
    EXPECT_TRUE(overland_watershed(ctx, "ade", 10.0, 2, 2, 10.0, [](int, int) {
                    return 1.0;
                })->overland.bed_slope_x.empty());
    auto m = overland_watershed(ctx, "explicit", 10.0, 2, 2, 10.0,
                                [](int r, int c) { return 10.0 * r * c + c; });
    // Elevations 11 22 / 21 42: x slopes -1.1 and -2.1, y slopes -1 and -2.
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[1], -1.1);
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[2], -1.1);  // from cell 1, numbered one lower
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[4], -2.1);  // from cell 3
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_y[3], -1.0);  // from cell 1, north of it
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_y[4], -2.0);  // from cell 2
}

// Two cells, the first 1 m above the second, either side by side (east) or
// one above the other (south), with 0.2 m of water on the upper one.
TEST(OverlandDikes, ADikeOnTheSideFacingTheLowerCellKeepsAllWaterBack) {
    const struct {
        const char* what;
        bool south;
        int upper_dike, lower_dike;
        bool blocked;
    } cases[] = {{"east dike", false, kEastSide, kWestSide, true},
                 {"south dike", true, kSouthSide, kNorthSide, true},
                 {"dike on the other sides", true, kEastSide | kWestSide, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        auto m = overland_watershed(
            ctx, "ade", 10.0, c.south ? 2 : 1, c.south ? 1 : 2, 10.0,
            [](int r, int col) { return 12.0 - r - col; }, 0, 0.05,
            [&](Model& model) {
                model.grid.dike_sides = {0, c.upper_dike, c.lower_dike};
            });
        m->overland.depth[1] = 0.2;
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
    auto m = overland_watershed(ctx, "ade", 10.0, 2, 1, 10.0, test::level, 0, 0.05, [](Model& m) {
        test::give_card(m, Card::LOWSPOT_FILE);
        m.grid.dike_sides = {0, kSouthSide, kNorthSide};
        m.grid.low_spots.push_back(LowSpot{1, 1, kSouthSide, 0.5, 10.1});
    });
    m->overland.depth[1] = 0.3;
    overland_flow_phase(*m, ctx);
    EXPECT_NEAR(m->grid.low_spots[0].flow, 0.66187612, 1e-8);
    EXPECT_NEAR(m->overland.depth[1], 0.3 - 0.066187612, 1e-9);
    EXPECT_NEAR(m->overland.depth[2], 0.066187612, 1e-9);
}

// Overland boundary cells of the given types and values (index 1 to 3) on a
// level row of three 10 m cells at 10 m, n 0.05.
std::unique_ptr<Model> boundary_row(RunContext& ctx, std::vector<int> type,
                                    std::vector<double> value) {
    return overland_watershed(ctx, "ade", 10.0, 1, 3, 10.0, test::level, 0, 0.05, [&](Model& m) {
        test::give_card(m, Card::OV_BOUNDARY);
        m.tables.ov_boundary = {type, value, value};
    });
}

// The end cells have three open sides. With p = 5/3 as single precision, a
// free-outflow cell of depth h at boundary slope S loses
//   dd = h^p sqrt(S) 10 / 0.05 * 10 / 100 = 20 sqrt(S) h^p,
// and 0.1^p = 0.021544343, so at h = 0.1 m:
//   S = 0.0001: dd = 0.0043088686 m, three times that is below h: one dd leaves;
//   S = 0.04:   dd = 0.086177372 m, over h / 3: the whole 0.1 m leaves.
// A head boundary, fixed or following a series, sets the cell to its level
// above ground, never below it.
TEST(OverlandBoundary, FreeOutflowAndHeadCellsMoveAndCountTheirWater) {
    const struct {
        const char* what;
        int cell, type;
        double value, depth;
        double depth_after, slope_out, head_out, head_in;  // m, m3, m3, m3
    } cases[] = {
        {"small free outflow", 1, 1, 0.0001, 0.1, 0.1 - 0.0043088686, 0.43088686, 0.0, 0.0},
        {"free outflow over a third", 3, 1, 0.04, 0.1, 0.0, 10.0, 0.0, 0.0},
        {"head above ground", 3, 2, 10.3, 0.0, 0.3, 0.0, 0.0, 30.0},
        {"head below ground", 3, 2, 9.5, 0.2, 0.0, 0.0, 20.0, 0.0},
        {"series head above ground", 3, 3, 10.3, 0.0, 0.3, 0.0, 0.0, 30.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        std::vector<int> type(4, 0);
        std::vector<double> value(4, 0.0);
        type[c.cell] = c.type;
        value[c.cell] = c.value;
        auto m = boundary_row(ctx, type, value);
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

// Series "low" rises 10 -> 11 m and "high" 20 -> 22 m over a day; a quarter
// of a day in they stand at 10.25 and 20.5 m. Cell 1 follows a series, cell 2
// holds a fixed head of 12.5 m.
TEST(OverlandSeriesBoundary, CellsTakeTheFirstIndexEntryOfTheirIdOrStopTheRun) {
    const std::string unknown =
        "Error: attempting to extract a value from an unknown time series in the time series "
        "table.    Check the mapping table file (.cmt). The specified time series index is 7, "
        "but the \nindex is not found in the time series index table.\n";
    const struct {
        const char* what;
        TimeSeriesIndexTable index;
        double cell_id;
        double value;  // of the series cell after the update
        std::string message;
    } cases[] = {
        {"one entry", {{4, 0}}, 4.0, 10.25, ""},
        {"first of two entries of one id", {{4, 0}, {4, 1}}, 4.0, 10.25, ""},
        {"the id's own entry among others", {{3, 1}, {4, 0}}, 4.0, 10.25, ""},
        {"integer part of the id", {{3, 1}, {4, 0}}, 3.7, 20.5, ""},
        {"id not in the table", {{4, 0}}, 7.0, 0.0, unknown},
        {"entry whose series was not read",
         {{4, -1}, {4, 0}},
         4.0,
         0.0,
         "Error: attempting to extract a value from a time series that does not exist.\n"},
        {"series without entries",
         {{4, 2}},
         4.0,
         0.0,
         "Error: attempting to extract a value from a time series [empty] with no entries.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        test::Console console(ctx);
        auto m = boundary_row(ctx, {0, 3, 2, 0}, {0.0, c.cell_id, 12.5, 0.0});
        const double t0 = m->clock.start_time;
        ctx.series.time_series = {{"low", {t0, t0 + 1.0}, {10.0, 11.0}, false},
                                  {"high", {t0, t0 + 1.0}, {20.0, 22.0}, false},
                                  {"empty", {}, {}, false}};
        m->tables.time_series_index = c.index;
        m->clock.current_time = t0 + 0.25;
        overland_flow_phase(*m, ctx);
        const OverlandBoundaryCells& b = m->tables.ov_boundary;
        EXPECT_EQ(console.text(), c.message);
        EXPECT_EQ(ctx.error.pending(), !c.message.empty());
        EXPECT_DOUBLE_EQ(b.value[1], c.value);
        EXPECT_EQ(b.value[2], 12.5);  // a fixed head keeps its level
        EXPECT_EQ(b.index[1], c.cell_id);
    }
}

}  // namespace
}  // namespace torva

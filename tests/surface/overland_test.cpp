#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

using CapturedConsole = test::Console;
using test::build_grid;
using test::finish_set_up;
using test::give_card;
using test::rain;
using test::step_clock;
using test::surface_volume;

std::unique_ptr<Model> make_model(const std::string& scheme, double, double dt) {
    return test::overland_model(scheme, dt);
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
// the strip, one cell width W wide, is Q = i L W, rain rate times area.
struct PlaneRun {
    std::vector<double> time;       // s, end of each step
    std::vector<double> discharge;  // m3/s at the outlet
    double equilibrium = 0.0;       // i L W
    double concentration_time = 0.0;
    double alpha = 0.0;
    double rain_rate = 0.0;
};

PlaneRun run_plane(const std::string& scheme) {
    const int cells = 100;
    const double dx = 10.0, slope = 0.01, n = 0.05, dt = 10.0;
    const double i = 50.0 / 1000.0 / 3600.0;
    RunContext ctx;
    auto m = make_model(scheme, n, dt);
    build_grid(m->grid, 1, cells, dx, [&](int, int c) { return 100.0 - slope * dx * c; });
    m->grid.outlet_cell = cells;
    m->run.outlet_slope = slope;
    finish_set_up(*m, ctx, n);

    PlaneRun run;
    run.rain_rate = i;
    run.alpha = std::sqrt(slope) / n;
    const double length = cells * dx;
    run.equilibrium = i * length * dx;
    run.concentration_time = std::pow(length * std::pow(i, 1.0 - 5.0 / 3.0) / run.alpha, 0.6);
    for (int k = 1; k * dt <= 3.0 * run.concentration_time; ++k) {
        rain(*m, i * dt);
        overland_flow_phase(*m, ctx);
        EXPECT_FALSE(ctx.error.pending());
        step_clock(*m);
        run.time.push_back(k * dt);
        run.discharge.push_back(m->outlet.discharge);
    }
    return run;
}

void expect_kinematic_wave(const PlaneRun& run) {
    const double width = 10.0;
    double worst = 0.0;
    for (std::size_t k = 0; k < run.time.size(); ++k) {
        const double t = run.time[k];
        const double analytic = t < run.concentration_time
                                    ? width * run.alpha * std::pow(run.rain_rate * t, 5.0 / 3.0)
                                    : run.equilibrium;
        worst = std::max(worst, std::fabs(run.discharge[k] - analytic));
    }
    EXPECT_LT(worst, 0.05 * run.equilibrium) << "largest departure from the kinematic wave";
    EXPECT_NEAR(run.discharge.back(), run.equilibrium, 0.01 * run.equilibrium);
}

TEST(OverlandPlane, AdeFollowsKinematicWaveToEquilibrium) {
    expect_kinematic_wave(run_plane("ade"));
}

TEST(OverlandPlane, ExplicitFollowsKinematicWaveToEquilibrium) {
    expect_kinematic_wave(run_plane("explicit"));
}

// The predictor-corrector takes half the outlet flow after each direction's
// pass, and the pass order flips every step, so at equilibrium the outlet
// alternates between two values whose mean is the rain on the plane.
TEST(OverlandPlane, PredictorCorrectorReachesEquilibriumOverTwoSteps) {
    const PlaneRun run = run_plane("ade-pc");
    const std::size_t last = run.discharge.size() - 1;
    const double mean = 0.5 * (run.discharge[last] + run.discharge[last - 1]);
    EXPECT_NEAR(mean, run.equilibrium, 1e-6 * run.equilibrium);
    EXPECT_NEAR(run.discharge[last], run.discharge[last - 2], 1e-9 * run.equilibrium);
}

// A V-shaped catchment: two side slopes of 8 % drain into a 1 % valley line
// that leaves at the outlet. Water crosses every face direction and the
// outlet sees a rising limb, a peak and a recession, so the schemes' errors
// show; as the step shrinks ADE must converge to what the explicit scheme
// gives, which at its own adaptive step hardly depends on the model step.
// The hydrograph is the mean outlet discharge of every five minutes.
std::vector<double> v_catchment_hydrograph(const std::string& scheme, double dt) {
    const int rows = 40, cols = 21;
    const double dx = 20.0, n = 0.1, rain_rate = 25.0 / 1000.0 / 3600.0;
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model(scheme, n, dt);
    build_grid(m->grid, rows, cols, dx, [&](int r, int c) {
        return 100.0 + 0.01 * dx * (rows - r) + 0.08 * dx * std::abs(c - 11);
    });
    m->grid.outlet_cell = m->grid.number_at(rows, 11);
    finish_set_up(*m, ctx, n);
    std::vector<double> every_five_minutes;  // mean discharge of each five minutes
    double volume = 0.0;
    const int steps = static_cast<int>(std::lround(3600.0 / dt));
    const int rain_steps = static_cast<int>(std::lround(1800.0 / dt));
    for (int k = 1; k <= steps; ++k) {
        if (k <= rain_steps)
            rain(*m, rain_rate * dt);
        overland_flow_phase(*m, ctx);
        EXPECT_FALSE(ctx.error.pending());
        step_clock(*m);
        volume += m->outlet.discharge * dt;
        if (k % static_cast<int>(std::lround(300.0 / dt)) == 0) {
            every_five_minutes.push_back(volume / 300.0);
            volume = 0.0;
        }
    }
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

// A closed bowl: no outlet, every drop of rain stays on the surface.
double bowl_error(const std::string& scheme, ExecutionForm form) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model(scheme, 0.05, 5.0);
    build_grid(m->grid, 15, 15, 10.0, [](int r, int c) {
        return 0.005 * ((r - 8.3) * (r - 8.3) + (c - 7.6) * (c - 7.6));
    });
    m->grid.outlet_cell = 0;
    finish_set_up(*m, ctx, 0.05);
    m->overland.form = form;
    double rained = 0.0;
    for (int k = 0; k < 120; ++k) {
        if (k < 60) {
            rain(*m, 0.0001 * (1 + k % 3));
            rained += 0.0001 * (1 + k % 3) * m->grid.area;
        }
        overland_flow_phase(*m, ctx);
        EXPECT_FALSE(ctx.error.pending());
    }
    EXPECT_EQ(m->outlet.discharge, 0.0);
    EXPECT_GT(std::fabs(m->overland.depth[1] - m->overland.depth[113]), 0.0);
    return (surface_volume(*m) - m->totals.run.overland_cleanup - rained) / rained;
}

TEST(OverlandBowl, EverySchemeKeepsAllRainAsSurfaceWater) {
    for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
        for (ExecutionForm form : {ExecutionForm::parallel, ExecutionForm::serial}) {
            SCOPED_TRACE(scheme);
            EXPECT_LT(std::fabs(bowl_error(scheme, form)), 1e-12);
        }
    }
}

// A V-shaped valley draining to one outlet, for the thread and form checks.
std::vector<double> valley_hydrograph(const std::string& scheme, int threads, ExecutionForm form) {
    omp_set_num_threads(threads);
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model(scheme, 0.04, 5.0);
    build_grid(m->grid, 31, 25, 20.0, [](int r, int c) {
        return 50.0 + 0.8 * std::fabs(c - 13) + 0.3 * (31 - r) + 0.1 * std::sin(r * c);
    });
    m->grid.outlet_cell = m->grid.number_at(31, 13);
    m->run.outlet_slope = 0.005;
    finish_set_up(*m, ctx, 0.04);
    m->overland.form = form;
    m->overland.min_parallel_cells = 0;
    std::vector<double> q;
    for (int k = 0; k < 200; ++k) {
        if (k < 80)
            rain(*m, 0.00005);
        overland_flow_phase(*m, ctx);
        EXPECT_FALSE(ctx.error.pending());
        q.push_back(m->outlet.discharge);
    }
    omp_set_num_threads(omp_get_num_procs());
    return q;
}

TEST(OverlandThreads, OutletHydrographIsBitIdenticalWithOneAndTwoThreadsAndSerialForm) {
    for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
        SCOPED_TRACE(scheme);
        const std::vector<double> one = valley_hydrograph(scheme, 1, ExecutionForm::parallel);
        const std::vector<double> two = valley_hydrograph(scheme, 2, ExecutionForm::parallel);
        const std::vector<double> serial = valley_hydrograph(scheme, 2, ExecutionForm::serial);
        EXPECT_GT(one[150], 0.0);
        EXPECT_EQ(one, two);
        EXPECT_EQ(one, serial);
    }
}

// Two cells at one level, 10 m apart; one holds water.
std::unique_ptr<Model> two_cells(RunContext& ctx, const std::string& scheme, double dt,
                                 double h_left, double cell_size = 10.0) {
    auto m = make_model(scheme, 0.05, dt);
    build_grid(m->grid, 1, 2, cell_size, [](int, int) { return 10.0; });
    m->grid.outlet_cell = 0;
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[1] = h_left;
    return m;
}

TEST(OverlandExplicit, ReducesToATenSecondStepForFourMoreStepsThenResets) {
    RunContext ctx;
    CapturedConsole console(ctx);
    // q = 0.08^(5/3) sqrt(0.008) / 0.05 = 0.0266 m2/s: q dt / dx is 0.080 m with
    // 30 s (over the 0.06 m celerity limit) and 0.027 m with 10 s.
    auto m = two_cells(ctx, "explicit", 30.0, 0.08);
    std::string per_step;
    for (int k = 1; k <= 7; ++k) {
        const std::size_t before = console.text().size();
        overland_flow_phase(*m, ctx);
        ASSERT_FALSE(ctx.error.pending());
        const std::string all = console.text();
        per_step += "step " + std::to_string(k) + ": " + all.substr(before) + "|";
        if (k == 1) {
            EXPECT_EQ(m->overland.explicit_state.reduced_step, 10.0);
            EXPECT_EQ(m->overland.explicit_state.reduced_steps_left, 4);
        }
    }
    EXPECT_EQ(per_step,
              "step 1:  *Changing overland time step to 10.00 seconds...\n|step 2: |step 3: |"
              "step 4: |step 5: |step 6: Resetting time step to 30.00 for overland flow...\n|"
              "step 7: |");
    EXPECT_NEAR(surface_volume(*m), 0.08 * 100.0, 1e-12);
}

TEST(OverlandExplicit, SerialFormNamesTheFailingFace) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = two_cells(ctx, "explicit", 30.0, 0.08);
    m->overland.form = ExecutionForm::serial;
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(console.text(),
              "\n  ]x:_U_0.0797 H0.0797 Q:0.03 dt:30.00 j:1\n"
              "    -> Cell Exceded Celerity Check\n"
              " *Changing overland time step to 10.00 seconds...\n");
}

TEST(OverlandExplicit, FiveReductionsThenContinuesWithTheShortestStep) {
    RunContext ctx;
    CapturedConsole console(ctx);
    // 1 m of water next to a dry cell: q = 6.3 m2/s fails even at 30/243 s.
    auto m = two_cells(ctx, "explicit", 30.0, 1.0);
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(console.text(),
              " *Changing overland time step to 10.00 seconds...\n"
              " *Changing overland time step to 3.33 seconds...\n"
              " *Changing overland time step to 1.11 seconds...\n"
              " *Changing overland time step to 0.37 seconds...\n"
              " *Changing overland time step to 0.12 seconds...\n"
              " *Time step to small to divide, continuing with current time step\n");
    EXPECT_DOUBLE_EQ(m->overland.explicit_state.reduced_step, 30.0 / 243.0);
    EXPECT_NEAR(surface_volume(*m), 100.0, 1e-10);
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

// A 1 m cell standing 1000 m above its two neighbours holds 100 m of water:
// each face may take all of it (the face limit is the lesser of half the fall
// and the water held), so the sweep would leave -100 m at every sub-step.
TEST(OverlandAde, StopsWhenTheStepFallsBelowAThousandthOfASecond) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model("ade", 0.05, 1.0);
    build_grid(m->grid, 1, 3, 1.0, [](int, int c) { return c == 2 ? 1000.0 : 0.0; });
    finish_set_up(*m, ctx, 0.05);
    m->overland.depth[2] = 100.0;
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_EQ(console.text(),
              "The ADE overland routing time step is getting really small\n"
              "less than 1/100 of a second\n"
              "Reduce the model time step by a factor of 2 and try again.\n"
              "Program stopped.\n");
}

TEST(OverlandAde, KeepsWaterWhenSurfacesLevel) {
    RunContext ctx;
    auto m = two_cells(ctx, "ade", 10.0, 0.1);
    m->overland.depth[2] = 0.1;
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(m->overland.depth[1], 0.1);
    EXPECT_EQ(m->overland.depth[2], 0.1);
    EXPECT_EQ(m->overland.discharge_x[1], 0.0);
}

TEST(OverlandPhase, DryGridRoutesNothingAndReportsNoOutflow) {
    RunContext ctx;
    auto m = make_model("ade", 0.05, 10.0);
    build_grid(m->grid, 3, 3, 10.0, [](int r, int) { return 10.0 - r; });
    m->grid.outlet_cell = 8;
    finish_set_up(*m, ctx, 0.05);
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(m->outlet.discharge, 0.0);
    EXPECT_EQ(m->totals.run.outlet_discharge, 0.0);
}

TEST(OverlandPhase, ExplicitChannelRoutingTakesNoWaterThroughTheOutlet) {
    RunContext ctx;
    auto m = make_model("ade", 0.05, 10.0);
    m->project.channel_routing = ChannelRouting::explicit_routing;
    build_grid(m->grid, 1, 3, 10.0, [](int, int c) { return 10.0 - c; });
    m->grid.outlet_cell = 3;
    finish_set_up(*m, ctx, 0.05);
    rain(*m, 0.01);
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(m->totals.run.outlet_discharge, 0.0);
    EXPECT_NEAR(surface_volume(*m), 3.0, 1e-12);
}

TEST(OverlandPhase, NonRealDepthStopsTheRunNamingTheCell) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = two_cells(ctx, "ade", 10.0, 0.1);
    m->overland.depth[2] = std::nan("");
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_EQ(console.text(),
              "A non-real overland flow water depth has been detected in cell 2 after applying "
              "overland boundary conditions and overland pumping.\n");
}

TEST(OverlandPhase, MaximumDepthFollowsTheHighestWater) {
    RunContext ctx;
    auto m = make_model("ade", 0.05, 10.0);
    give_card(*m, Card::FLOOD_GRID, "flood");
    build_grid(m->grid, 1, 3, 10.0, [](int, int c) { return 10.0 - c; });
    m->grid.outlet_cell = 3;
    finish_set_up(*m, ctx, 0.05);
    rain(*m, 0.02);
    overland_flow_phase(*m, ctx);
    const std::vector<double> after_rain = m->overland.max_depth;
    for (int k = 0; k < 50; ++k) overland_flow_phase(*m, ctx);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_GE(m->overland.max_depth[i], after_rain[i]);
        EXPECT_GE(m->overland.max_depth[i], m->overland.depth[i]);
    }
    EXPECT_LT(m->overland.depth[3], m->overland.max_depth[3]);
}

TEST(OverlandBoundary, UnknownTimeSeriesIdStopsTheRun) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model("ade", 0.05, 10.0);
    give_card(*m, Card::OV_BOUNDARY, "");
    build_grid(m->grid, 1, 2, 10.0, [](int, int) { return 10.0; });
    OverlandBoundaryCells& b = m->tables.ov_boundary;
    b.type = {0, 3, 0};
    b.value = {0.0, 7.0, 0.0};
    b.index = b.value;
    finish_set_up(*m, ctx, 0.05);
    overland_flow_phase(*m, ctx);
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_NE(console.text().find("The specified time series index is 7, but the \nindex is not "
                                  "found in the time series index table.\n"),
              std::string::npos);
}

TEST(OverlandBoundary, TimeSeriesBoundaryTakesTheSeriesValueOfTheStep) {
    RunContext ctx;
    auto m = make_model("ade", 0.05, 10.0);
    give_card(*m, Card::OV_BOUNDARY, "");
    build_grid(m->grid, 1, 2, 10.0, [](int, int) { return 10.0; });
    OverlandBoundaryCells& b = m->tables.ov_boundary;
    b.type = {0, 3, 0};
    b.value = {0.0, 4.0, 0.0};
    b.index = b.value;
    const double t0 = m->clock.start_time;
    ctx.series.time_series.push_back({"stage", {t0, t0 + 1.0}, {10.0, 11.0}, false});
    m->tables.time_series_index.push_back({4, 0});
    finish_set_up(*m, ctx, 0.05);
    m->clock.current_time = t0 + 0.25;
    update_time_series_boundaries(*m, ctx);
    EXPECT_DOUBLE_EQ(b.value[1], 10.25);
    apply_overland_boundaries(*m, ctx, 10.0);
    EXPECT_DOUBLE_EQ(m->overland.depth[1], 0.25);
}

TEST(OverlandSetUp, BedSlopesOfEdgeCellsComeFromTheirNeighbours) {
    RunContext ctx;
    auto m = make_model("ade", 0.05, 10.0);
    build_grid(m->grid, 2, 2, 10.0, [](int r, int c) { return 10.0 * r * c + c; });
    finish_set_up(*m, ctx, 0.05);
    // Elevations 11 22 / 21 42: x slopes -1.1 and -2.1, y slopes -1 and -2.
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[1], -1.1);
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[2], -1.1);  // from cell 1, numbered one lower
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_x[4], -2.1);  // from cell 3
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_y[3], -1.0);  // from cell 1, north of it
    EXPECT_DOUBLE_EQ(m->overland.bed_slope_y[4], -2.0);  // from cell 2
}

TEST(OverlandSetUp, UnknownSchemeWordIsRefused) {
    RunContext ctx;
    CapturedConsole console(ctx);
    auto m = make_model("kinematic", 0.05, 10.0);
    build_grid(m->grid, 1, 2, 10.0, [](int, int) { return 10.0; });
    m->surface.manning_n.assign(3, 0.05);
    compute_bed_slopes(*m, ctx);
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_EQ(console.text(),
              "Error: unknown overland flow scheme in the OVERTYPE card: kinematic\n"
              "Use explicit (1), ade (2) or ade-pc (3).\n");
}

}  // namespace
}  // namespace torva

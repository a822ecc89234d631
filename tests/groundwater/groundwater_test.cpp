// The water table on hand-built aquifers against analytic solutions (the
// Dupuit-Forchheimer recharge mound, the Dupuit-Thiem well, a closed cell
// filling at its source rate) and against an independent explicit solution;
// the solver's rules (fixed heads, relaxation, minimum thickness, sub-step
// halving, thread counts); and whole runs: the refusals of the start-up and
// the balances of a run with an aquifer.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/network_support.hpp"
#include "channel/routing.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "groundwater/groundwater.hpp"
#include "support/grid_projects.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

constexpr double kDay = 86400.0;

using CodeAt = std::function<AquiferCell(int, int)>;

// An aquifer on a rows x cols grid of `cell` m: bottom at 0, ground at 20 m
// (or `ground`), the water table at `head` m, conductivity in m/day; under the
// channels of `model` when one is given.
std::unique_ptr<Model> aquifer(int rows, int cols, double cell, double k_per_day, double porosity,
                               double head, const CodeAt& code,
                               std::unique_ptr<Model> model = std::make_unique<Model>(),
                               double ground = 20.0) {
    test::build_grid(model->grid, rows, cols, cell, [ground](int, int) { return ground; });
    const int n = model->grid.num_cells;
    Groundwater& gw = model->groundwater;
    gw.simulated = true;
    gw.tolerance = 1e-9;
    gw.direction = SweepDirection::rows;
    gw.cell.assign(n + 1, AquiferCell::outside);
    for (int i = 1; i <= n; ++i)
        gw.cell[i] = code(model->grid.cell_row[i], model->grid.cell_col[i]);
    gw.head.assign(n + 1, head);
    gw.bottom.assign(n + 1, 0.0);
    gw.conductivity.assign(n + 1, k_per_day / kDay);
    gw.porosity.assign(n + 1, porosity);
    gw.static_flux.assign(n + 1, 0.0);
    RunContext ctx;
    prepare_groundwater(*model, ctx);
    EXPECT_FALSE(ctx.error.pending());
    return model;
}

// Steps of dt seconds until no head moves by more than 1e-7 m in a step.
void run_to_steady_state(Model& model, double dt) {
    RunContext ctx;
    std::vector<double> before;
    for (int step = 0; step < 500; ++step) {
        before = model.groundwater.head;
        ASSERT_TRUE(advance_groundwater(model, ctx, dt));
        double change = 0.0;
        for (std::size_t i = 1; i < before.size(); ++i)
            change = std::max(change, std::fabs(model.groundwater.head[i] - before[i]));
        if (change < 1e-7)
            return;
    }
    FAIL() << "no steady state";
}

// A strip of 101 cells of 10 m between fixed heads of 10 m at x = 0 and
// x = L = 1000 m (the centres of the end cells), K = 10 m/day, recharge
// R = 1 mm/day on the cells between.
constexpr int kStripCells = 101;
constexpr double kStripK = 10.0;
constexpr double kRecharge = 0.001;  // m/day

std::unique_ptr<Model> recharged_strip() {
    auto model = aquifer(1, kStripCells, 10.0, kStripK, 0.2, 10.0, [](int, int c) {
        return c == 1 || c == kStripCells ? AquiferCell::fixed_head : AquiferCell::active;
    });
    for (int i = 2; i < kStripCells; ++i) model->groundwater.source[i] = kRecharge / kDay;
    return model;
}

TEST(GroundwaterMound, SteadyRechargeMoundMatchesDupuitForchheimer) {
    auto model = recharged_strip();
    run_to_steady_state(*model, 100.0 * kDay);
    // h^2 = h0^2 + (R/K)(L x - x^2); at mid-strip 100 + 1e-4 * 250000 = 125.
    for (int i = 1; i <= kStripCells; ++i) {
        const double x = (i - 1) * 10.0;
        const double exact = std::sqrt(100.0 + kRecharge / kStripK * (1000.0 * x - x * x));
        EXPECT_NEAR(model->groundwater.head[i], exact, 0.005) << "x = " << x;
    }
    EXPECT_EQ(model->groundwater.head[1], 10.0);
    EXPECT_EQ(model->groundwater.head[kStripCells], 10.0);
    // One row is one line: with omega = 1 line Gauss-Seidel solves it in its
    // first sweep, and a second finds nothing left to change.
    EXPECT_LE(model->groundwater.volumes.sweeps, 2 * model->groundwater.volumes.outer_iterations);
}

// S dh/dt = d/dx(K h dh/dx) + R by explicit steps of 100 s on cells of 5 m,
// the same strip and recharge; the heads at `days`.
std::vector<double> explicit_mound(double days) {
    const int cells = 201;
    const double dx = 5.0, dt = 100.0, k = kStripK / kDay, r = kRecharge / kDay, s = 0.2;
    std::vector<double> h(cells, 10.0), next(cells, 10.0);
    for (double t = 0.0; t < days * kDay - 1e-6; t += dt) {
        for (int j = 1; j + 1 < cells; ++j) {
            const double east = k * 0.5 * (h[j] + h[j + 1]) * (h[j + 1] - h[j]) / dx;
            const double west = k * 0.5 * (h[j] + h[j - 1]) * (h[j] - h[j - 1]) / dx;
            next[j] = h[j] + dt / s * ((east - west) / dx + r);
        }
        std::swap(h, next);
    }
    return h;
}

TEST(GroundwaterMound, RisingMoundFollowsAnExplicitSolution) {
    auto model = recharged_strip();
    RunContext ctx;
    // 200 days in steps of a day: the mound has risen about half way.
    for (int step = 0; step < 200; ++step) ASSERT_TRUE(advance_groundwater(*model, ctx, kDay));
    const std::vector<double> reference = explicit_mound(200.0);
    for (int i = 1; i <= kStripCells; i += 10)
        EXPECT_NEAR(model->groundwater.head[i], reference[2 * (i - 1)], 0.01) << "cell " << i;
    EXPECT_GT(model->groundwater.head[51], 10.5);
    EXPECT_LT(model->groundwater.head[51], 11.1);
}

// A well pumping 500 m3/day at the centre of a 41 x 41 grid of 10 m cells,
// the head held at 20 m on and beyond a ring of radius 190 m, K = 20 m/day.
// The ring is a staircase of cells, so its radius is not sharp: the heads are
// compared as Thiem compared two observation wells, each against the head
// at r2 = 150 m, h(r2)^2 - h(r)^2 = Q/(pi K) ln(r2/r).
TEST(GroundwaterWell, DrawdownMatchesDupuitThiem) {
    const double q = 500.0, k = 20.0, h0 = 20.0;
    const auto radius = [](int r, int c) { return 10.0 * std::hypot(r - 21, c - 21); };
    auto model = aquifer(41, 41, 10.0, k, 0.2, h0, [&](int r, int c) {
        return radius(r, c) >= 190.0 ? AquiferCell::fixed_head : AquiferCell::active;
    });
    model->groundwater.direction = SweepDirection::alternating;
    model->groundwater.relaxation = 1.7;
    model->groundwater.tolerance = 1e-8;
    model->groundwater.source[model->grid.number_at(21, 21)] = -q / kDay / 100.0;
    run_to_steady_state(*model, 1000.0 * kDay);
    const auto head = [&](int c) { return model->groundwater.head[model->grid.number_at(21, c)]; };
    const double h2 = head(36);
    for (int c = 23; c <= 33; ++c) {
        const double r = radius(21, c);
        const double exact = std::sqrt(h2 * h2 - q / (M_PI * k) * std::log(150.0 / r));
        EXPECT_NEAR(h2 - head(c), h2 - exact, 0.015 * (h2 - exact)) << "r = " << r;
    }
}

// A closed cell of 10 m filling or draining at its source rate: the head
// moves by source * dt / S, up for recharge or injection, down for pumping;
// where the storage follows the soil layers (redistribution), a rise across
// more than two layers of 0.4 m is split into halves.
TEST(GroundwaterCell, SourceMovesTheHeadBySourceOverStorage) {
    struct Case {
        double source;  // m/day
        double dt;      // days
        int sub_steps;
    };
    const Case cases[] = {
        {0.26, 5.0, 2},   // 1.3 m rise from 10.1 m below ground: three layers, then two
        {0.16, 5.0, 1},   // 0.8 m: two layers
        {-0.16, 5.0, 1},  // pumping lowers it by as much
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        auto model =
            aquifer(1, 1, 10.0, 1.0, 1.0, 9.9, [](int, int) { return AquiferCell::active; });
        model->groundwater.redistribution = true;
        model->groundwater.source[1] = c.source / kDay;
        RunContext ctx;
        ASSERT_TRUE(advance_groundwater(*model, ctx, c.dt * kDay));
        EXPECT_NEAR(model->groundwater.head[1], 9.9 + c.source * c.dt, 1e-9);
        EXPECT_EQ(model->groundwater.last_sub_steps, c.sub_steps);
    }
}

TEST(GroundwaterSolver, RelaxationAndSweepDirectionsReachTheSameHeads) {
    std::vector<double> first;
    for (const double omega : {1.0, 1.3, 1.8})
        for (const SweepDirection d :
             {SweepDirection::rows, SweepDirection::columns, SweepDirection::alternating}) {
            auto model = aquifer(9, 11, 10.0, 5.0, 0.2, 10.0, [](int r, int) {
                return r == 1 ? AquiferCell::fixed_head : AquiferCell::active;
            });
            model->groundwater.relaxation = omega;
            model->groundwater.direction = d;
            for (int i = 1; i <= model->grid.num_cells; ++i)
                model->groundwater.source[i] = 0.01 / kDay;
            RunContext ctx;
            ASSERT_TRUE(advance_groundwater(*model, ctx, 10.0 * kDay));
            if (first.empty())
                first = model->groundwater.head;
            for (std::size_t i = 1; i < first.size(); ++i)
                EXPECT_NEAR(model->groundwater.head[i], first[i], 1e-6);
        }
}

TEST(GroundwaterSolver, DryCellKeepsTheMinimumThicknessAndFillsAgain) {
    // Cell 1 has drained to its bottom; cell 2 holds a fixed head of 10 m.
    // With T1 = 0.001 K the conductance is 2 T1 T2 / (T1 + T2) / dx^2.
    auto model = aquifer(1, 2, 10.0, 10.0, 0.2, 10.0, [](int, int c) {
        return c == 2 ? AquiferCell::fixed_head : AquiferCell::active;
    });
    model->groundwater.head[1] = 0.0;
    RunContext ctx;
    const double dt = 60.0;
    ASSERT_TRUE(advance_groundwater(*model, ctx, dt));
    const double k = 10.0 / kDay, t1 = 0.001 * k, t2 = 10.0 * k;
    const double a = 2.0 * t1 * t2 / (t1 + t2) / 100.0;
    const double expected = a * 10.0 / (0.2 / dt + a);
    EXPECT_NEAR(model->groundwater.head[1], expected, 1e-3 * expected);
    EXPECT_GT(model->groundwater.head[1], 0.0);
}

TEST(GroundwaterSolver, SweepsThatNeverSettleStopTheRunNamingTheStep) {
    // Round-off keeps moving the heads by far more than 1e-300 m.
    auto model = aquifer(5, 5, 10.0, 10.0, 0.2, 10.0, [](int, int) { return AquiferCell::active; });
    model->groundwater.tolerance = 1e-300;
    model->groundwater.relaxation = 1.9;
    model->groundwater.source[13] = 0.01 / kDay;
    RunContext ctx;
    test::Console console(ctx);
    EXPECT_FALSE(advance_groundwater(*model, ctx, kDay));
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_NE(console.text().find("Error: the groundwater line solver did not converge in 10000 "
                                  "sweeps in groundwater step 1 ("),
              std::string::npos)
        << console.text();
}

TEST(GroundwaterSolver, HeadsAreTheSameOnOneAndTwoThreads) {
    std::vector<double> heads[2];
    for (int threads = 1; threads <= 2; ++threads) {
        omp_set_num_threads(threads);
        auto model = aquifer(41, 37, 10.0, 20.0, 0.2, 20.0, [](int r, int c) {
            return r == 1 || c == 37 ? AquiferCell::fixed_head : AquiferCell::active;
        });
        model->groundwater.direction = SweepDirection::alternating;
        model->groundwater.relaxation = 1.4;
        model->groundwater.tolerance = 1e-6;
        model->groundwater.source[model->grid.number_at(20, 18)] = -800.0 / kDay / 100.0;
        RunContext ctx;
        for (int step = 0; step < 3; ++step) ASSERT_TRUE(advance_groundwater(*model, ctx, kDay));
        heads[threads - 1] = model->groundwater.head;
    }
    omp_set_num_threads(omp_get_num_procs());
    EXPECT_EQ(heads[0], heads[1]);
}

// A straight stream of three nodes of 10 m over three aquifer cells of 10 m:
// a trapezoid of 2 m bottom and 1:1 banks, its bed at 100 m, 1 m deep (flow
// area 3 m2, wetted perimeter 2 + 2 sqrt(2) m), the bed 0.5 m thick.
std::unique_ptr<Model> stream_over_aquifer(double head, double depth, double k_bed) {
    test::LinkSpec link;
    link.nodes = 3;
    link.dx = 10.0;
    link.slope = 0.0;
    link.depth = depth;
    auto network = test::make_network({link}, 60.0);
    Channel& ch = network->channel;
    StreamCells& sc = ch.stream;
    sc.count = 3;
    sc.cell = {0, 1, 2, 3};
    sc.first_entry = {0, 1, 2, 3, 4};
    sc.link = {0, 1, 1, 1};
    sc.node = {0, 1, 2, 3};
    sc.fraction = {0.0, 1.0, 1.0, 1.0};
    sc.river_flux.assign(4, 0.0);
    for (int j = 1; j <= 3; ++j) {
        ch.krb(j, 1) = k_bed;
        ch.mrb(j, 1) = 0.5;
        ch.area(j, 1) = (2.0 + depth) * depth;
    }
    return aquifer(
        1, 3, 10.0, 10.0, 0.2, head, [](int, int) { return AquiferCell::active; },
        std::move(network), 110.0);
}

// q = K P L (stage - head) / M over a step of 60 s, with the head no lower
// than the bottom of the bed (99.5 m); a losing node gives at most its 30 m3,
// a gaining one takes at most the 0.2 x 103 m x 100 m2 = 2060 m3 of its cell.
TEST(StreamAquifer, BedPassesDarcyFlowBetweenStreamAndAquifer) {
    const double perimeter = 2.0 + 2.0 * std::sqrt(2.0);
    struct Case {
        const char* what;
        double head, depth, k_bed;
        double volume;  // m3 per node into the aquifer
    };
    const Case cases[] = {
        {"losing over a deep water table", 80.0, 1.0, 1e-5,
         1e-5 * perimeter * 10.0 * (101.0 - 99.5) / 0.5 * 60.0},
        {"losing over a water table in the bed", 99.8, 1.0, 1e-5,
         1e-5 * perimeter * 10.0 * (101.0 - 99.8) / 0.5 * 60.0},
        {"gaining under a high water table", 103.0, 1.0, 1e-5,
         -1e-5 * perimeter * 10.0 * (103.0 - 101.0) / 0.5 * 60.0},
        {"gaining into a dry bed", 103.0, 0.0, 1e-5, -1e-5 * 2.0 * 10.0 * 3.0 / 0.5 * 60.0},
        {"losing all the node holds", 80.0, 1.0, 1.0, 30.0},
        {"gaining all the cell holds", 103.0, 1.0, 1.0, -2060.0},
        {"dry stream over a deep water table", 80.0, 0.0, 1e-5, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto model = stream_over_aquifer(c.head, c.depth, c.k_bed);
        RunContext ctx;
        // The exchange of a channel step of 60 s taken in one sub-step.
        exchange_with_aquifer(*model, ctx, 60.0);
        take_bed_losses(*model, 60.0);
        ASSERT_FALSE(ctx.error.pending());
        const Groundwater& gw = model->groundwater;
        for (int j = 1; j <= 3; ++j) {
            // What the channel gains (as lateral inflow) or loses (from its
            // area), the aquifer gives up or takes.
            const double channel_gain =
                model->channel.qlat(j, 1) * 10.0 * 60.0 +
                (model->channel.area(j, 1) - (2.0 + c.depth) * c.depth) * 10.0;
            EXPECT_NEAR(gw.river_exchange[j] * 100.0, c.volume, 1e-9 * std::fabs(c.volume) + 1e-12);
            EXPECT_NEAR(channel_gain, -c.volume, 1e-9 * std::fabs(c.volume) + 1e-12);
        }
        const double moved = 3.0 * c.volume;
        EXPECT_NEAR(model->totals.run.river_to_groundwater, std::max(moved, 0.0), 1e-9);
        EXPECT_NEAR(model->totals.run.groundwater_to_river, std::max(-moved, 0.0), 1e-9);
        // The aquifer's next step takes the exchange as its source: its
        // storage moves by the same volume.
        model->clock.current_time = model->groundwater.next_time;
        groundwater_phase(*model, ctx);
        ASSERT_FALSE(ctx.error.pending());
        double stored = 0.0;
        for (int j = 1; j <= 3; ++j) stored += gw.stored_water[j] + gw.river_exchange[j];
        EXPECT_NEAR(stored * 100.0 - 3.0 * 0.2 * c.head * 100.0, moved, 1e-6 * 2060.0);
    }
}

}  // namespace
}  // namespace torva

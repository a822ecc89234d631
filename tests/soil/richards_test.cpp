// Richards columns: the soil-water relations at their joins, single columns
// under rain below Ks, saturated, over a water table, with roots, with slow
// soil and with state kept from step to step, a face that carries nothing,
// and the soil table's layout and refusals. The fine-grid comparisons are in
// richards_reference_test.cpp, whole runs of a small watershed in
// richards_run_test.cpp.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "richards_soils.hpp"
#include "soil/power.hpp"
#include "soil/richards.hpp"
#include "soil/richards_relations.hpp"
#include "soil/tridiagonal.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::Column;
using test::soil_table;

// Loam, a Brooks-Corey line of the soil table: Ks cm/h, theta_s, theta_r, theta_i, lambda, hb cm,
// thickness cm, wilting point, field capacity, node spacing cm, root share.
const char* const kLoam = "1.32 0.434 0.027 0.10 0.22 11.15 100 0.12 0.27 0.5 1";

// Loam 20 cm over clay loam 40 cm over sand 20 cm, roots in the loam (and,
// with `deep_roots`, in the clay loam): deep enough for slow soil below a
// wetting front.
std::string layered_soil(bool deep_roots = false) {
    return soil_table("1.32 0.434 0.027 0.20 0.22 11.15 20 0.12 0.27 1 1",
                      std::string("0.23 0.464 0.075 0.26 0.194 25.89 40 0.197 0.318 2 ") +
                          (deep_roots ? "1" : "0"),
                      "21.0 0.417 0.020 0.10 0.592 7.26 20 0.03 0.09 2 0");
}

// Rain of half the loam's Ks over a step of 60 s, m.
constexpr double kHalfKsAMinute = 0.5 * 1.32 / 360000.0 * 60.0;

TEST(RichardsRelations, BrooksCoreyBranchesJoinAndHavercampHalvesAtAlpha) {
    RichardsLayer l;
    l.conductivity = 1e-5;
    l.theta_s = 0.45;
    l.theta_r = 0.05;
    l.pore_index = 0.4;
    l.bubbling_head = -0.2;
    set_brooks_corey_junction(l);
    // S_c = 2 / 2.4 and h_c = -0.2 * 1.2^2.5.
    EXPECT_NEAR(l.junction_head, -0.2 * std::pow(1.2, 2.5), 1e-15);
    EXPECT_NEAR(l.junction_theta, 0.05 + 0.4 / 1.2, 1e-15);
    const double e = 1e-9;
    const SoilWaterState below = brooks_corey(l, l.junction_head - e);
    const SoilWaterState above = brooks_corey(l, l.junction_head + e);
    EXPECT_NEAR(below.theta, above.theta, 1e-8);
    EXPECT_NEAR(below.capacity, above.capacity, 1e-6 * below.capacity);
    EXPECT_NEAR(below.k_relative, above.k_relative, 1e-6 * below.k_relative);
    const SoilWaterState wet = brooks_corey(l, -e);
    EXPECT_NEAR(wet.theta, l.theta_s, 1e-9);
    EXPECT_NEAR(wet.capacity, 0.0, 1e-6);
    EXPECT_NEAR(wet.k_relative, 1.0, 1e-6);
    // The inverse lands on the head it came from on both branches.
    for (double h : {-5.0, -0.3, l.junction_head, -0.1, -0.01})
        EXPECT_NEAR(head_of_theta(SoilWaterRelation::brooks_corey, l, brooks_corey(l, h).theta), h,
                    1e-9 * (1.0 - h));

    // The solver's per-node form of the same curves: the same water content,
    // conductivity and capacity on both branches and at saturation, and the
    // square root of the conductivity the geometric means use.
    const BrooksCoreyNode node = brooks_corey_constants(l);
    for (double h :
         {-50.0, -5.0, -0.3, l.junction_head - e, l.junction_head + e, -0.1, -0.01, 0.0, 0.2}) {
        const SoilWaterState want = brooks_corey(l, h);
        const NodeSoilWater got = brooks_corey_node(node, h);
        EXPECT_NEAR(got.theta, want.theta, 1e-15) << h;
        EXPECT_NEAR(got.conductivity, l.conductivity * want.k_relative,
                    1e-13 * l.conductivity * want.k_relative)
            << h;
        EXPECT_NEAR(got.root_conductivity * got.root_conductivity, got.conductivity,
                    1e-15 * got.conductivity)
            << h;
        EXPECT_NEAR(got.capacity, want.capacity, 1e-13 * want.capacity) << h;
    }

    RichardsLayer hv;
    hv.conductivity = 1e-5;
    hv.theta_s = 0.4;
    hv.theta_r = 0.1;
    hv.alpha = 0.3;
    hv.beta = 3.0;
    hv.a = 2.0;
    hv.b = 4.0;
    EXPECT_NEAR(havercamp(hv, -0.3).theta, 0.1 + 0.5 * 0.3, 1e-15);
    EXPECT_NEAR(head_of_theta(SoilWaterRelation::havercamp, hv, 0.25), -0.3, 1e-12);
    // Saturated soil: theta_s, full conductivity, no capacity, in both relations.
    for (const SoilWaterState s : {brooks_corey(l, 0.2), havercamp(hv, 0.0)}) {
        EXPECT_EQ(s.capacity, 0.0);
        EXPECT_EQ(s.k_relative, 1.0);
    }
}

// The relations' power against the library's, over the bases and exponents
// the relations give (relative saturations and head ratios from 1e-12 to 1,
// near 1 on both sides, exponents of lambda / 2 and of the conductivity),
// and the numbers it leaves to the library.
TEST(RichardsRelations, PowerIsTheLibrarysWithinItsLastDigits) {
    for (const double a : {0.05, 0.296, 3.2, 11.5, 40.0}) {
        for (double x = 1e-12; x < 2.0; x *= 1.0137) {
            for (const double base : {x, 1.0 - x * 1e-3, 1.0 + x * 1e-3}) {
                const double want = std::pow(base, a);
                const double scale = 1.0 + std::fabs(a * std::log2(base));
                EXPECT_NEAR(power(base, a), want, 3e-16 * scale * want) << base << "^" << a;
            }
        }
        EXPECT_EQ(power(1.0, a), 1.0);
        EXPECT_EQ(power(0.0, a), 0.0);
        EXPECT_EQ(power(1e-310, a), std::exp(a * std::log(1e-310)));
        EXPECT_EQ(power(1e303, a), std::exp(a * std::log(1e303)));  // beyond 2^1000
        EXPECT_TRUE(std::isnan(power(std::nan(""), a)));
    }
    EXPECT_EQ(power(1e-12, 40.0), std::exp(40.0 * std::log(1e-12)));  // 2^-1595
}

// The column's tridiagonal solve meets every row of its system, from the
// shortest columns to deep ones whose determinants would leave the range of
// the doubles (storage and conductances of 1e-9 and 1e-7 over 250 nodes
// multiply to 1e-2000) and saturated ones whose storage all but vanishes.
// The elimination from the top and the one from the bottom are scaled each
// on its own: in a column whose halves differ (`lower` multiplies the
// storage and conductances of the lower half) only one of them strays.
TEST(RichardsSolve, EveryRowIsMetFromOneNodeToDeepColumns) {
    struct Case {
        int n;
        double storage, conductance;
        double lower = 1.0;
    };
    for (const Case c :
         {Case{1, 1e-3, 2e-4}, Case{2, 1e-3, 2e-4}, Case{3, 1e-3, 2e-4}, Case{7, 1e-3, 2e-4},
          Case{8, 1e-3, 2e-4}, Case{250, 1e-9, 1e-7}, Case{250, 1e3, 1e2}, Case{40, 2e-10, 1e-4},
          Case{250, 1e-9, 1e-7, 1e7}, Case{250, 1e-2, 1.0, 1e-7}}) {
        std::vector<double> g(c.n + 1), b(c.n), w(c.n), r(c.n);
        const auto part = [&](int i) { return i < c.n / 2 ? 1.0 : c.lower; };
        for (int i = 1; i < c.n; ++i) g[i] = c.conductance * part(i) * (1.0 + 0.5 * std::sin(i));
        for (int i = 0; i < c.n; ++i) {
            b[i] = c.storage * part(i) * (1.0 + 0.3 * std::cos(i)) + g[i] + g[i + 1];
            r[i] = c.storage * part(i) * std::sin(0.7 * i) + (i == 0 ? c.conductance : 0.0);
        }
        const std::vector<double> rhs = r;
        solve_tridiagonal(c.n, g.data(), b.data(), w.data(), r.data());
        for (int i = 0; i < c.n; ++i) {
            const double above = i > 0 ? g[i] * r[i - 1] : 0.0;
            const double below = i + 1 < c.n ? g[i + 1] * r[i + 1] : 0.0;
            const double size = std::fabs(b[i] * r[i]) + std::fabs(above) + std::fabs(below);
            EXPECT_NEAR(b[i] * r[i] - above - below, rhs[i], 1e-12 * size + 1e-300)
                << c.n << " nodes, row " << i;
        }
    }
}

TEST(RichardsColumn, RainBelowKsNeverPondsAndEveryDropIsKept) {
    Column c(soil_table(kLoam), 20);
    const double ks = 1.32 / 360000.0;
    const double before = c.water();
    double infiltrated = 0.0, drained = 0.0, rain = 0.0;
    for (int s = 0; s < 120; ++s) {
        const ColumnStepResult r = c.step(0.5 * ks * 30.0, 30.0);
        rain += 0.5 * ks * 30.0;
        infiltrated += r.infiltrated;
        drained += r.drained;
        EXPECT_EQ(c.top, ColumnTop::flux);
        EXPECT_NEAR(r.surface_left, 0.0, 1e-18);
    }
    EXPECT_NEAR(infiltrated, rain, 1e-15);
    EXPECT_NEAR(c.water() - before, infiltrated - drained, 1e-14);
}

TEST(RichardsColumn, SaturatedColumnStaysSaturatedAndAZeroConductivityFacePassesNothing) {
    // theta_i = theta_s everywhere, water on top: it stays at theta_s.
    Column wet(soil_table("1.32 0.434 0.027 0.434 0.22 11.15 20 0.12 0.27 1 1"), 20);
    for (int s = 0; s < 10; ++s) wet.step(0.05, 60.0);
    for (int i = 0; i < wet.type().nodes; ++i) {
        EXPECT_NEAR(wet.theta()[i], 0.434, 1e-9) << i;
        EXPECT_GE(wet.head()[i], 0.0) << i;
        EXPECT_EQ(brooks_corey(wet.type().layers[0], wet.head()[i]).capacity, 0.0);
    }

    // A saturated top node over one whose conductivity is 0: with the
    // geometric mean nothing passes the face between them, nor the surface.
    Column blocked(soil_table("1.32 0.434 0.027 0.434 0.22 11.15 20 0.12 0.27 1 1"), 20);
    blocked.head()[3] = -1e300;  // K = Ks (hb / h)^(2 + 3 lambda) is 0 in doubles
    blocked.theta()[3] = 0.027;
    const std::vector<double> below(blocked.theta() + 3, blocked.theta() + blocked.type().nodes);
    double infiltrated = 0.0;
    for (int s = 0; s < 5; ++s) infiltrated += blocked.step(0.05, 60.0).infiltrated;
    EXPECT_NEAR(infiltrated, 0.0, 1e-12);
    EXPECT_EQ(blocked.theta()[3], 0.027);
}

// A water content that is not a number stops the column at once: the step
// fails at the first node (the solve spreads the value to every head), and
// the column is left as it was, for the run to stop naming cell and node.
// The same in the slow soil below a wetting front: once it is brought
// forward, the step fails at its first node and leaves the nodes below as
// they were.
TEST(RichardsColumn, AValueThatIsNotANumberStopsTheColumnAsItWas) {
    Column c(soil_table(kLoam), 20);
    c.theta()[4] = std::nan("");
    const int n = c.type().nodes;
    const std::vector<double> heads(c.head(), c.head() + n), water(c.theta(), c.theta() + n);
    const ColumnStepResult r = c.step(0.001, 60.0);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.failed_node, 1);
    EXPECT_EQ(r.substeps, 0);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(c.head()[i], heads[i]) << i;
        if (i != 4)
            EXPECT_EQ(c.theta()[i], water[i]) << i;
    }

    Column layered(layered_soil(), 10);
    const double rain = kHalfKsAMinute;
    for (int s = 0; s < 30; ++s) ASSERT_FALSE(layered.step(rain, 60.0).failed);
    const int first = layered.slow.first;
    ASSERT_GT(first, 0);
    ASSERT_LT(first + 6, layered.type().nodes);
    layered.theta()[first + 5] = std::nan("");
    const int m = layered.type().nodes;
    const std::vector<double> slow_heads(layered.head(), layered.head() + m),
        slow_water(layered.theta(), layered.theta() + m);
    ColumnStepResult failed;
    for (int s = 0; s < 120 && !failed.failed; ++s) failed = layered.step(rain, 60.0);
    EXPECT_TRUE(failed.failed);
    EXPECT_EQ(failed.failed_node, first + 1);
    for (int i = first + 1; i < m; ++i) {
        EXPECT_EQ(layered.head()[i], slow_heads[i]) << i;
        if (i != first + 5)
            EXPECT_EQ(layered.theta()[i], slow_water[i]) << i;
    }
}

// Loam 50 cm deep in 5 cm nodes over a water table, no rain: the column
// settles to hydrostatic equilibrium, h = z - D at every node, whether the
// water table lies inside the column (D = 0.4 m) or below its last node
// (D = 0.8 m, across the gap); under rain of half Ks over a deep water table
// the bottom passes the rain once the column is steady. The column's water
// changes by what crossed its bottom, to round-off.
TEST(RichardsColumn, WaterTableAtTheBottomGivesHydrostaticEquilibriumAndSteadyRecharge) {
    const std::string loam = "1.32 0.434 0.027 0.30 0.22 11.15 50 0.12 0.27 5 1";
    for (const double depth : {0.4, 0.8}) {
        Column c(soil_table(loam), 20);
        const double before = c.water();
        double drained = 0.0;
        for (int s = 0; s < 24 * 200; ++s) {
            const ColumnStepResult r = c.step(c.on_water_table(depth, 0.0, 3600.0));
            ASSERT_FALSE(r.failed);
            drained += r.drained;
        }
        for (int i = 0; i < c.type().nodes; ++i)
            EXPECT_NEAR(c.head()[i], c.type().node_depth[i] - depth, 2e-3) << depth << " " << i;
        EXPECT_NEAR(c.water() - before, -drained, 1e-12);
    }
    Column c(soil_table(loam), 20);
    const double rain = 0.5 * 1.32 / 360000.0 * 3600.0;
    ColumnStepResult r;
    for (int s = 0; s < 24 * 10; ++s) r = c.step(c.on_water_table(3.0, rain, 3600.0));
    EXPECT_NEAR(r.infiltrated, rain, 1e-15);
    EXPECT_NEAR(r.drained, rain, 0.01 * rain);
}

// A column 0.5 m deep (four 10 cm nodes of theta 0.2 and the bottom node)
// over an aquifer of specific yield 0.3. The aquifer's water inside it is
// 0.3 times the height of the water table above the column's bottom (or the
// aquifer's, if higher). A rise of the water table hands its water to the
// column from below: 0.03 m fills the bottom node (0.02 m of room) and puts
// 0.01 m into the node above; the fall back to the bottom drains the bottom
// node to theta_s - 0.3 = 0.1, which gives the 0.03 m back. The column takes
// no more than it has room for, and its water moves by what it took.
TEST(RichardsColumn, WaterTableMovingInsideTheColumnHandsItsWaterOver) {
    Column c(soil_table("1.32 0.40 0.027 0.20 0.22 11.15 40 0.12 0.27 10 1"));
    EXPECT_DOUBLE_EQ(aquifer_water_in_column(c.type(), 0.3, 100.0, 0.3), 0.06);
    EXPECT_DOUBLE_EQ(aquifer_water_in_column(c.type(), 0.3, 0.45, 0.3), 0.045);
    EXPECT_EQ(aquifer_water_in_column(c.type(), 0.7, 100.0, 0.3), 0.0);
    const double before = c.water();
    EXPECT_DOUBLE_EQ(
        hand_water_table_change_to_column(c.rc, c.type(), c.head(), c.theta(), 0.03, 0.4, 0.3),
        0.03);
    EXPECT_EQ(c.theta()[4], 0.40);
    EXPECT_DOUBLE_EQ(c.theta()[3], 0.30);
    EXPECT_DOUBLE_EQ(c.head()[4], 0.05);  // hydrostatic, 5 cm under the water table
    EXPECT_LT(c.head()[3], 0.0);
    EXPECT_DOUBLE_EQ(c.water() - before, 0.03);
    EXPECT_DOUBLE_EQ(
        hand_water_table_change_to_column(c.rc, c.type(), c.head(), c.theta(), -0.03, 0.5, 0.3),
        -0.03);
    EXPECT_NEAR(c.theta()[4], 0.10, 1e-12);
    EXPECT_DOUBLE_EQ(c.theta()[3], 0.30);
    const double room = 0.4 * 0.5 - c.water();
    EXPECT_NEAR(
        hand_water_table_change_to_column(c.rc, c.type(), c.head(), c.theta(), 1.0, 0.0, 0.3), room,
        1e-12);
    EXPECT_NEAR(c.water(), 0.2, 1e-12);
}

// Loam drier than its equilibrium over a water table draws water up through
// its bottom; with an
// aquifer that holds only 1 mm under it, the bottom closes once the column
// has drawn up to that, and the column gains exactly what it drew.
TEST(RichardsColumn, ColumnDrawsNoMoreFromTheAquiferThanItHolds) {
    const std::string loam = "1.32 0.434 0.027 0.25 0.22 11.15 50 0.12 0.27 5 1";
    double drawn[2] = {0.0, 0.0};
    for (const int limited : {0, 1}) {
        Column c(soil_table(loam), 20);
        const double before = c.water();
        for (int s = 0; s < 48; ++s) {
            ColumnStepInput in = c.on_water_table(0.6, 0.0, 3600.0);
            if (limited)
                in.upward_limit = 0.001 - drawn[1];
            const ColumnStepResult r = c.step(in);
            ASSERT_FALSE(r.failed);
            drawn[limited] -= r.drained;
        }
        EXPECT_NEAR(c.water() - before, drawn[limited], 1e-12);
    }
    EXPECT_GT(drawn[0], 0.002);
    EXPECT_LE(drawn[1], 0.001 + 1e-15);
    EXPECT_GT(drawn[1], 0.0009);
}

// Root uptake: a column wetter than field capacity gives the whole demand,
// one at the wilting point gives none, one halfway between about half; what
// the roots took and what drained is what the column lost.
TEST(RichardsColumn, RootsTakeTheDemandTimesTheirWaterStress) {
    const double pet = 5e-3 / 86400.0;  // 5 mm a day
    struct Case {
        const char* theta_i;
        double share;  // of the demand
        double within;
    };
    for (const Case& k :
         {Case{"0.30", 1.0, 1e-12}, Case{"0.12", 0.0, 1e-12}, Case{"0.195", 0.5, 0.01}}) {
        Column c(soil_table(std::string("0.01 0.434 0.027 ") + k.theta_i +
                            " 0.22 11.15 30 0.12 0.27 5 1"),
                 20);
        const double before = c.water();
        ColumnStepInput in;
        in.dt = 3600.0;
        in.potential_et = pet;
        const ColumnStepResult r = c.step(in);
        EXPECT_NEAR(r.uptake, k.share * pet * 3600.0, k.within * pet * 3600.0 + 1e-18) << k.theta_i;
        EXPECT_NEAR(c.water() - before, -r.uptake - r.drained, 1e-15);
    }
}

// Loam over clay loam over sand (50 nodes) under rain of half the loam's Ks
// for four hours, then two dry: below the wetting front the soil runs in
// long sub-steps of its own. It takes in all the rain, keeps every drop, and
// its water contents stay within RICHARDS_DTHETA_MAX of those of the same
// column with every node in every sub-step; what drained differs only by
// what the slow soil has yet to pass on.
TEST(RichardsColumn, SlowSoilBelowTheFrontKeepsEveryDropAndFollowsTheWholeColumn) {
    const std::string table = layered_soil();
    Column slow(table, 10), whole(table, 10);
    whole.rc.slow_soil = false;
    const double rain = kHalfKsAMinute;
    const double before = slow.water();
    double infiltrated = 0.0, drained = 0.0, whole_infiltrated = 0.0, whole_drained = 0.0;
    int slow_substeps = 0, fewest_nodes = slow.type().nodes;
    for (int s = 0; s < 360; ++s) {
        const ColumnStepResult r = slow.step(s < 240 ? rain : 0.0, 60.0);
        const ColumnStepResult w = whole.step(s < 240 ? rain : 0.0, 60.0);
        ASSERT_FALSE(r.failed);
        infiltrated += r.infiltrated;
        drained += r.drained;
        whole_infiltrated += w.infiltrated;
        whole_drained += w.drained;
        slow_substeps += r.slow_substeps;
        fewest_nodes = std::min(fewest_nodes, slow.slow.first);
    }
    EXPECT_NEAR(infiltrated, 240 * rain, 1e-15);
    EXPECT_NEAR(whole_infiltrated, 240 * rain, 1e-15);
    EXPECT_NEAR(slow.water() - before, infiltrated - drained, 1e-15);
    EXPECT_NEAR(drained, whole_drained, 0.15 * whole_drained);
    for (int i = 0; i < slow.type().nodes; ++i)
        EXPECT_NEAR(slow.theta()[i], whole.theta()[i], slow.rc.dtheta_max) << i;
    // The slow soil was used: it began within the loam, and was brought
    // forward in far fewer sub-steps than the column took.
    EXPECT_LE(fewest_nodes, 12);
    EXPECT_GT(slow_substeps, 0);
    EXPECT_LT(slow_substeps, 60);
}

// The slow soil never reaches up among roots that draw water (their uptake
// is taken every sub-step), and a column on a water table, whose bottom
// nodes the moving water table changes every step, is always solved whole;
// either way every drop is counted.
TEST(RichardsColumn, SlowSoilStaysBelowDrawingRootsAndOffTheWaterTable) {
    const std::string table = layered_soil(true);
    struct Case {
        const char* name;
        bool roots;
        bool water_table;
    };
    for (const Case& k : {Case{"roots", true, false}, Case{"water table", false, true}}) {
        Column c(table, 10);
        const double before = c.water();
        double balance = 0.0;
        int slow_substeps = 0;
        for (int s = 0; s < 120; ++s) {
            ColumnStepInput in =
                k.water_table ? c.on_water_table(1.2, 0.0, 60.0) : ColumnStepInput{};
            in.dt = 60.0;
            in.supply = s < 60 ? kHalfKsAMinute : 0.0;
            if (k.roots)
                in.potential_et = 5e-3 / 86400.0;
            const ColumnStepResult r = c.step(in);
            ASSERT_FALSE(r.failed) << k.name;
            balance += r.infiltrated - r.drained - r.uptake;
            slow_substeps += r.slow_substeps;
            if (k.roots)
                EXPECT_TRUE(c.slow.first == 0 || c.slow.first >= c.type().root_nodes) << s;
        }
        EXPECT_NEAR(c.water() - before, balance, 1e-15) << k.name;
        if (k.water_table)
            EXPECT_EQ(slow_substeps, 0);
        else
            EXPECT_GT(slow_substeps, 0);
    }
}

// Each sub-step's iteration starts from the heads the last two sub-steps'
// trends lead to, and a column keeps its trends from one step to the next,
// so under a steady rain nearly every sub-step settles in one iteration
// (without them the first sub-steps of a step take two or three). Where the
// iteration starts does not change what it settles on by more than its own
// test allows, and every drop is kept either way.
TEST(RichardsColumn, HeadTrendsCarriedOverStepsSettleSubStepsInOneIteration) {
    const std::string table = layered_soil();
    Column carried(table, 10), afresh(table, 10);
    const double rain = kHalfKsAMinute;
    const double before = carried.water();
    double balance = 0.0, infiltrated = 0.0;
    int substeps[2] = {0, 0}, iterations[2] = {0, 0};
    for (int s = 0; s < 60; ++s) {
        afresh.rc.trends[1].known = 0;  // as if each step were the first
        const ColumnStepResult r = carried.step(rain, 60.0);
        const ColumnStepResult w = afresh.step(rain, 60.0);
        ASSERT_FALSE(r.failed || w.failed);
        balance += r.infiltrated - r.drained;
        infiltrated += r.infiltrated;
        if (s >= 10) {
            substeps[0] += r.substeps - r.slow_substeps;
            substeps[1] += w.substeps - w.slow_substeps;
            iterations[0] += r.iterations;
            iterations[1] += w.iterations;
        }
    }
    EXPECT_NEAR(carried.water() - before, balance, 1e-15);
    EXPECT_NEAR(infiltrated, 60 * rain, 1e-15);
    EXPECT_LT(iterations[0], 1.3 * substeps[0]);
    EXPECT_GT(iterations[1], 1.8 * substeps[1]);
    for (int i = 0; i < carried.type().nodes; ++i)
        EXPECT_NEAR(carried.theta()[i], afresh.theta()[i], 0.1 * carried.rc.dtheta_max) << i;
}

// A column keeps its nodes' relations from one step to the next and
// evaluates a node again only once its head has moved by a ten-thousandth.
// Whatever is kept is the relations of the head kept with them, exactly,
// after rain that ponds, after drying and with the slow soil brought forward
// many times; the water contents stay within a small share of
// RICHARDS_DTHETA_MAX of a column that evaluates every node afresh each
// step, and every drop is kept, in both relations.
TEST(RichardsColumn, KeptRelationsAreThoseOfTheirHeadsAndKeepTheWater) {
    const struct {
        const char* name;
        std::string table;
        SoilWaterRelation relation;
        bool slow_soil;  // the column is deep enough for slow soil below its front
    } cases[] = {
        {"brooks-corey", layered_soil(), SoilWaterRelation::brooks_corey, true},
        {"havercamp",
         "1 0\n1\n1.0 0.40 0.05 0.20 25 3.0 30 1.1e6 4.7 2\n"
         "1.0 0.40 0.05 0.20 25 3.0 12 1.1e6 4.7 2\n1.0 0.40 0.05 0.20 25 3.0 20 1.1e6 4.7 5\n",
         SoilWaterRelation::havercamp, false},
    };
    for (const auto& k : cases) {
        Column kept(k.table, 10, k.relation), afresh(k.table, 10, k.relation);
        const RichardsSoilType& type = kept.type();
        const NodeRelation* r = &kept.rc.relations[kept.rc.stride];
        NodeRelation* forgotten = &afresh.rc.relations[afresh.rc.stride];
        const double ks = type.layers[0].conductivity;
        const double before = kept.water();
        double balance = 0.0, largest = 0.0, ponded[2] = {0.0, 0.0}, entered[2] = {0.0, 0.0};
        int slow_substeps = 0, ponded_steps = 0;
        for (int s = 0; s < 60; ++s) {
            // Five times Ks for twenty minutes, then none.
            const double rain = s < 20 ? 5.0 * ks * 60.0 : 0.0;
            for (std::size_t i = 0; i < afresh.rc.stride; ++i) forgotten[i].head = std::nan("");
            const ColumnStepResult a = kept.step(rain + ponded[0], 60.0);
            const ColumnStepResult b = afresh.step(rain + ponded[1], 60.0);
            ASSERT_FALSE(a.failed || b.failed) << k.name;
            ponded[0] = a.surface_left;
            ponded[1] = b.surface_left;
            entered[0] += a.infiltrated;
            entered[1] += b.infiltrated;
            balance += a.infiltrated - a.drained;
            slow_substeps += a.slow_substeps;
            ponded_steps += a.surface_left > 0.0;
            // Where the slow soil was last brought forward differs between the
            // two, so its nodes lag differently; the nodes above it do not.
            const auto first_slow = [&](const Column& c) {
                return c.slow.first > 0 ? c.slow.first : type.nodes;
            };
            const int above = std::min(first_slow(kept), first_slow(afresh));
            for (int i = 0; i < above; ++i)
                largest = std::max(largest, std::fabs(kept.theta()[i] - afresh.theta()[i]));
            for (int i = 0; i < type.nodes; ++i) {
                if (std::isnan(r[i].head))
                    continue;
                if (k.relation == SoilWaterRelation::brooks_corey) {
                    const NodeSoilWater w = brooks_corey_node(type.brooks_corey_node[i], r[i].head);
                    ASSERT_EQ(w.theta, r[i].theta) << k.name << " " << s << " " << i;
                    ASSERT_EQ(w.root_conductivity, r[i].conductivity) << k.name << " " << i;
                    ASSERT_EQ(w.capacity, r[i].capacity) << k.name << " " << i;
                } else {
                    const RichardsLayer& l = type.layers[type.node_layer[i]];
                    const SoilWaterState w = havercamp(l, r[i].head);
                    ASSERT_EQ(w.theta, r[i].theta) << k.name << " " << s << " " << i;
                    ASSERT_EQ(l.conductivity * w.k_relative, r[i].conductivity) << k.name << i;
                    ASSERT_EQ(w.capacity, r[i].capacity) << k.name << " " << i;
                }
            }
        }
        EXPECT_NEAR(kept.water() - before, balance, 1e-15) << k.name;
        EXPECT_EQ(slow_substeps > 0, k.slow_soil) << k.name;
        EXPECT_GT(ponded_steps, 0) << k.name;
        // The two take in the same water. A rounding can shift by a step the
        // moment one of them brings its slow soil forward, and with it when
        // the drainage below is counted and the head the nodes above it see
        // at their bottom: their water contents then part by a little more
        // than a hundredth of RICHARDS_DTHETA_MAX for a while.
        EXPECT_NEAR(entered[0], entered[1], 1e-12) << k.name;
        EXPECT_LT(largest, 0.02 * kept.rc.dtheta_max) << k.name;
    }
}

// Columns side by side in a grid each keep their own state: every column of
// a grid under rains of six strengths, some ponding, ends to the last digit
// as the same column alone, on one thread and on two.
TEST(RichardsColumn, EachColumnOfAGridEndsAsItDoesAlone) {
    const std::string table = layered_soil();
    const auto grid = [&](int cells, RunContext& ctx) {
        auto model = std::make_unique<Model>();
        model->grid.num_cells = cells;
        model->grid.cell_size = 30.0;
        model->project.infiltration = InfiltrationMethod::richards;
        RichardsColumns& rc = model->soil.richards;
        rc.iter_max = 10;
        EXPECT_TRUE(parse_richards_soil_table(rc, ctx, table, "soil.tbl", false, false));
        EXPECT_TRUE(lay_out_richards_columns(rc, ctx, "soil.tbl"));
        EXPECT_TRUE(initialise_richards_columns(
            rc, ctx, std::vector<int>(static_cast<std::size_t>(cells) + 1, 1), cells));
        const std::size_t size = static_cast<std::size_t>(cells) + 1;
        for (auto* v : {&model->soil.infiltrated_depth, &model->soil.infiltration_rate,
                        &model->soil.cumulative_depth, &model->soil.event_depth,
                        &model->soil.surface_moisture, &model->overland.depth})
            v->assign(size, 0.0);
        return model;
    };
    // Rain of 0 to 2.5 Ks for the first half hour, then none.
    const auto rain = [](int cell, int step) {
        return step < 30 ? (cell % 6) * kHalfKsAMinute : 0.0;
    };
    constexpr int kCells = 3000, kSteps = 45;
    const int threads_before = omp_get_max_threads();
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        RunContext ctx;
        auto model = grid(kCells, ctx);
        for (int s = 0; s < kSteps; ++s) {
            for (int i = 1; i <= kCells; ++i) model->overland.depth[i] += rain(i, s);
            richards_infiltration(*model, ctx, 60.0);
            ASSERT_FALSE(ctx.error.pending());
        }
        for (int cell : {1, 2, 3, 4, 5, 6, 1001, kCells}) {
            RunContext alone_ctx;
            auto alone = grid(1, alone_ctx);
            for (int s = 0; s < kSteps; ++s) {
                alone->overland.depth[1] += rain(cell, s);
                richards_infiltration(*alone, alone_ctx, 60.0);
            }
            const RichardsColumns& a = alone->soil.richards;
            const RichardsColumns& g = model->soil.richards;
            for (std::size_t j = 0; j < g.stride; ++j) {
                ASSERT_EQ(a.head[a.stride + j], g.head[cell * g.stride + j]) << cell << " " << j;
                ASSERT_EQ(a.theta[a.stride + j], g.theta[cell * g.stride + j]) << cell << " " << j;
            }
            ASSERT_EQ(alone->overland.depth[1], model->overland.depth[cell]) << cell;
        }
    }
    omp_set_num_threads(threads_before);
}

TEST(RichardsSoilTable, LaysOutWholeNodesAndReadsEveryHavercampValue) {
    // 30 cm at 5 cm: 6 nodes; 12 cm at 5 cm: 2 (truncated); 20 cm at 10 cm:
    // 2; and the bottom node at 10 cm.
    const std::string table =
        "1 0\n1\n"
        "1.0 0.40 0.05 0.20 25 3.0 30 1.1e6 4.7 5\n"
        "1.0 0.40 0.05 0.20 25 3.0 12 1.1e6 4.7 5\n"
        "1.0 0.40 0.05 0.20 25 3.0 20 1.1e6 4.7 10\n";
    Column c(table, 1, SoilWaterRelation::havercamp);
    const RichardsSoilType& t = c.type();
    EXPECT_EQ(t.nodes, 11);
    EXPECT_EQ(t.node_layer, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 2}));
    EXPECT_NEAR(t.node_depth.back(), 0.30 + 0.10 + 0.20 + 0.05, 1e-12);
    const RichardsLayer& l = t.layers[0];
    EXPECT_NEAR(l.alpha, 0.25, 1e-15);
    EXPECT_NEAR(l.a * std::pow(100.0, 4.7), 1.1e6, 1e-6);
    // The initial head holds the initial water content.
    EXPECT_NEAR(havercamp(l, c.head()[0]).theta, 0.20, 1e-12);
    EXPECT_NEAR(c.water(), 0.20 * 0.70, 1e-12);
}

TEST(RichardsSoilTable, RefusesTablesNoSoilCanHave) {
    const struct {
        std::string table;
        std::string message;
    } cases[] = {
        {"1\n", "the first line must hold two whole numbers"},
        {"2 0\n" + soil_table(kLoam).substr(4), "the table ends before soil type 2 of 2"},
        {"1 0\n1\n1.32 0.434 0.027 0.10 0.22 11.15 100 0.12 0.27 0.5\n",
         "a Brooks-Corey layer line must hold 11 numbers (soil index 1, layer 1)"},
        {soil_table("1.32 0.434 0.027 0.10 0.22 11.15 100 0.12 0.27 0.5 1 7"),
         "must hold 11 numbers"},
        {soil_table("0 0.434 0.027 0.10 0.22 11.15 100 0.12 0.27 0.5 1"),
         "layer 1: the saturated conductivity must be positive"},
        {soil_table("1.32 0.434 0.434 0.434 0.22 11.15 100 0.12 0.27 0.5 1"),
         "the residual water content must lie from 0 to below the saturated"},
        {soil_table("1.32 0.434 0.027 0.5 0.22 11.15 100 0.12 0.27 0.5 1"),
         "the initial water content must lie between"},
        {soil_table("1.32 0.434 0.027 0.1 0 11.15 100 0.12 0.27 0.5 1"),
         "the pore distribution index must be positive"},
        {soil_table("1.32 0.434 0.027 0.1 0.22 11.15 100 0.12 0.27 0 1"),
         "the node spacing must be positive"},
        {soil_table("1.32 0.434 0.027 0.1 0.22 11.15 100 0.3 0.27 0.5 1"),
         "the wilting point and field capacity must lie in order"},
        {soil_table("1.32 nan 0.027 0.1 0.22 11.15 100 0.12 0.27 0.5 1"), "must hold 11 numbers"},
        {"1 0\n1 2\n", "a line with the soil index alone"},
        {"1 0\n1\n" + std::string(kLoam) + "\n", "the table ends inside soil index 1"},
        {soil_table("1.32 0.434 0.027 0.1 0.22 11.15 0.2 0.12 0.27 0.5 1",
                    "1 0.4 0.05 0.1 0.3 10 0 0.06 0.2 1 0", "1 0.4 0.05 0.1 0.3 10 0 0.06 0.2 1 0"),
         "soil index 1 has no node"},
    };
    for (const auto& c : cases) {
        RichardsColumns rc;
        RunContext ctx;
        test::Console console(ctx);
        const bool read = parse_richards_soil_table(rc, ctx, c.table, "soil.tbl", false, false) &&
                          lay_out_richards_columns(rc, ctx, "soil.tbl");
        EXPECT_FALSE(read) << c.table;
        EXPECT_NE(console.text().find(c.message), std::string::npos) << c.table << console.text();
    }
}

}  // namespace
}  // namespace torva

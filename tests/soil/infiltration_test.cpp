// Soil parameters and Green and Ampt infiltration on small hand-built grids:
// the plain method against the exact solution under ponding, redistribution
// through a pause in the rain, layered soil and the accounting of what entered
// the soil; the parameters read from real map files (unit conversions, the
// moisture deficit of plain Green and Ampt, what redistribution needs, the
// aquifer bottom correction), the soil layer input file and the long-term
// start of an event from the moisture store.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/infiltration.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

constexpr double kStart = 2451545.0;  // Julian date of the first step

struct Soils {
    double ks;   // m/s
    double psi;  // m
    double porosity;
    double moisture;  // theta_i, or the deficit for plain Green and Ampt
    double pore_index = 0.0;
    double residual = 0.0;
};

// A row of cells of 30 m with the soil; with `allocate` their infiltration
// state too, as the event start sets it up.
std::unique_ptr<Model> make_model(int cells, InfiltrationMethod method, double dt, const Soils& s,
                                  bool allocate = false) {
    auto model = std::make_unique<Model>();
    test::build_grid(model->grid, 1, cells, 30.0, [](int, int) { return 0.0; });
    model->project.infiltration = method;
    model->run.time_step = dt;
    model->run.time_step_days = dt / 86400.0;
    model->clock.start_time = model->clock.current_time = kStart;
    model->overland.depth.assign(cells + 1, 0.0);
    Soil& soil = model->soil;
    soil.conductivity.assign(cells + 1, s.ks);
    soil.capillary_head.assign(cells + 1, s.psi);
    soil.porosity.assign(cells + 1, s.porosity);
    soil.moisture.assign(cells + 1, s.moisture);
    soil.pore_index.assign(cells + 1, s.pore_index);
    soil.residual_saturation.assign(cells + 1, s.residual);
    RunContext ctx;
    EXPECT_TRUE(!allocate || allocate_infiltration_state(*model, ctx));
    return model;
}

// Runs the infiltration phase at model step k (the clock at start + k dt).
void infiltrate_at(Model& model, RunContext& ctx, int k) {
    model.clock.current_time = kStart + k * model.run.time_step_days;
    infiltration_phase(model, ctx);
}

// Exact cumulative infiltration under ponding: F - S ln(1 + F/S) = K t with
// S = psi * deficit (Green and Ampt's integral of f = K (1 + S/F)), solved by
// Newton's method; the left side grows monotonically in F.
double exact_green_ampt(double ks, double s, double t) {
    double f = std::sqrt(2.0 * ks * s * t) + ks * t;  // above the root
    for (int i = 0; i < 100; ++i) {
        const double g = f - s * std::log(1.0 + f / s) - ks * t;
        f -= g / (1.0 - s / (s + f));
    }
    return f;
}

// Loamy sand (2.99 cm/h, 6.13 cm, deficit 0.35) and clay (0.03 cm/h, 31.63 cm,
// deficit 0.3), ponded for an hour on two cells of 900 m2: what each took is
// what its surface lost, and the run and event totals hold both cells' water.
TEST(PlainGreenAmpt, FollowsTheExactSolutionUnderPondingForAnHour) {
    for (const Soils& s : {Soils{2.99 / 360000.0, 0.0613, 0.437, 0.35},
                           Soils{0.03 / 360000.0, 0.3163, 0.475, 0.30}}) {
        RunContext ctx;
        auto model = make_model(2, InfiltrationMethod::green_ampt, 10.0, s);
        model->overland.depth = {0.0, 5.0, 5.0};  // far more than an hour can take
        for (int k = 0; k < 360; ++k) infiltrate_at(*model, ctx, k);
        const double exact = exact_green_ampt(s.ks, s.psi * s.moisture, 3600.0);
        const double computed = model->soil.infiltrated_depth[1];
        EXPECT_NEAR(computed, exact, 0.01 * exact) << s.ks;
        EXPECT_EQ(model->soil.cumulative_depth[2], computed);
        EXPECT_NEAR(model->overland.depth[2], 5.0 - computed, 1e-12);
        EXPECT_NEAR(model->totals.run.infiltration, 1800.0 * computed, 1e-12 * computed);
        EXPECT_NEAR(model->totals.event.infiltration, 1800.0 * computed, 1e-12 * computed);
        EXPECT_FALSE(ctx.error.pending());
    }
}

TEST(PlainGreenAmpt, DryCellKeepsItsStateAndEachModelTimeRunsOnce) {
    RunContext ctx;
    auto model = make_model(2, InfiltrationMethod::green_ampt, 10.0, Soils{1e-5, 0.1, 0.45, 0.2});
    model->overland.depth[1] = 5e-11;
    model->overland.depth[2] = 0.001;
    model->soil.infiltration_rate.assign(3, 7.0);
    infiltrate_at(*model, ctx, 0);
    EXPECT_EQ(model->soil.infiltration_rate[1], 0.0);
    EXPECT_EQ(model->overland.depth[1], 5e-11);
    EXPECT_EQ(model->soil.infiltrated_depth[1], 0.0);
    // From F = 0 the first step's capacity, [Ks dt + sqrt((Ks dt)^2 + 8 Ks dt psi dtheta)] / (2 dt)
    // = 2.05e-4 m/s, takes 2 mm over 10 s: the 1 mm on the surface all goes.
    EXPECT_EQ(model->overland.depth[2], 0.0);
    EXPECT_DOUBLE_EQ(model->soil.infiltrated_depth[2], 0.001);
    EXPECT_DOUBLE_EQ(model->soil.infiltration_rate[2], 0.001 / 10.0 * 360000.0);
    // The phase runs once per model time: the same time again changes nothing.
    EXPECT_EQ(model->soil.step, 2);
    model->overland.depth[2] = 0.001;
    infiltration_phase(*model, ctx);
    EXPECT_EQ(model->overland.depth[2], 0.001);
    EXPECT_EQ(model->soil.step, 2);
}

// ---- Redistribution ----
// Soil for the hand-checked cases: lambda = 1 makes the Brooks-Corey powers
// Se^5 (conductivity) and Se^4 (capillary drive); theta_r = 0 and
// theta_s = 0.5 make Se = theta / 0.5, so theta_i = 0.1 has Se = 0.2.
const Soils kRedistributingSoil{1e-5, 0.1, 0.5, 0.1, 1.0, 0.0};

// The infiltration totals of a grid large enough for threads, every cell with
// its own soil and depth, come out the same to the last bit on one thread and
// on two, for both Green and Ampt methods: the sums over cells must not follow
// the threads' shares of the cells.
TEST(GreenAmptTotals, AreTheSameToTheBitOnOneAndTwoThreads) {
    for (const InfiltrationMethod method :
         {InfiltrationMethod::green_ampt, InfiltrationMethod::redistribution}) {
        double totals[2] = {0.0, 0.0};
        std::vector<double> depths[2];
        for (const int threads : {1, 2}) {
            omp_set_num_threads(threads);
            RunContext ctx;
            auto model = make_model(9001, method, 10.0, kRedistributingSoil, true);
            for (int i = 1; i <= 9001; ++i) {
                model->soil.conductivity[i] = 1e-6 * (1.5 + std::sin(0.37 * i));
                model->overland.depth[i] = 0.002 * (1.1 + std::cos(0.11 * i));
            }
            for (int k = 0; k < 12; ++k) infiltrate_at(*model, ctx, k);
            EXPECT_FALSE(ctx.error.pending());
            totals[threads - 1] = model->totals.run.infiltration;
            depths[threads - 1] = model->overland.depth;
        }
        omp_set_num_threads(omp_get_num_procs());
        EXPECT_GT(totals[0], 0.0);
        EXPECT_EQ(std::memcmp(&totals[0], &totals[1], sizeof(double)), 0)
            << totals[0] << " against " << totals[1];
        EXPECT_EQ(depths[0], depths[1]);
    }
}

// Rain below the saturated conductivity soaks in without ponding: plain Green
// and Ampt keeps the rate of the supply; redistribution forms no front and
// leaves the surface water content as it was.
TEST(InfiltrationBelowConductivity, RainSoaksInWithoutPondingOrFront) {
    for (auto method : {InfiltrationMethod::green_ampt, InfiltrationMethod::redistribution}) {
        const bool plain = method == InfiltrationMethod::green_ampt;
        RunContext ctx;
        auto model = make_model(1, method, 10.0, kRedistributingSoil);
        const double rain = 0.5e-5;  // m/s, half of Ks
        for (int k = 0; k < 100; ++k) {
            model->overland.depth[1] += rain * 10.0;
            infiltrate_at(*model, ctx, k);
            ASSERT_EQ(model->overland.depth[1], 0.0) << "step " << k;
        }
        EXPECT_NEAR(model->soil.infiltrated_depth[1], 100 * rain * 10.0, 1e-15);
        if (plain) {
            EXPECT_NEAR(model->soil.infiltration_rate[1], rain * 360000.0, 1e-9);  // cm/h
            continue;
        }
        EXPECT_EQ(model->soil.surface_moisture[1], 0.1);
        EXPECT_EQ(model->soil.front_phase[1], 0);
        EXPECT_EQ(model->soil.wet_marker[1], 0);
        EXPECT_EQ(model->soil.no_front_marker[1], 100);
    }
}

// A saturated first front holding F1 = 1 cm, no supply, dt = 10 s:
//   K(theta_i) = Ks 0.2^5 = 3.2e-9, K(theta_s) = Ks = 1e-5,
//   G = psi (1 - 0.2^4) / (1 - 0.2^4) = 0.1,
//   capillary term Ks G (0.5 - 0.1) / 0.01 = 4e-5,
//   change = 10 * 0.4 / 0.01 * (-3.2e-9 - 1e-5 - 4e-5) = -0.02000128,
// so theta_0 falls from 0.5 to 0.47999872.
// Rain then returns at 1e-3 m/s (1 cm over the step): the new front starts
// at the surface, above the old one (F1 / theta_0 > 0), so the phase becomes
// 2 and the old front redistributes once more without supply:
//   Se = 0.95999744, K = Ks Se^5 = 8.1537e-6,
//   G = 0.1 (Se^4 - 0.0016) / 0.9984 = 0.084911,
//   change = 10 * 0.37999872 / 0.01 * (-3.2e-9 - 8.1537e-6 - 1e-5 * 0.084911 * 37.999872)
//          = -0.0153607, theta_0 = 0.4646383;
// the new front has no depth yet and the deficit 0.5 - 0.4646383, so
//   f = [Ks dt + sqrt((Ks dt)^2 + 8 Ks dt psi 0.0353617)] / (2 dt) = 8.92457e-5 m/s,
// below the supply: the cell ponds with 1 cm - f dt left on the surface.
TEST(Redistribution, HandCheckedPauseThenSecondFront) {
    RunContext ctx;
    auto model = make_model(1, InfiltrationMethod::redistribution, 10.0, kRedistributingSoil, true);
    Soil& soil = model->soil;
    soil.step = 6;
    soil.infiltrated_depth[1] = soil.first_front_depth[1] = 0.01;
    soil.front_moisture[1] = 0.5;
    soil.wet_marker[1] = 5;
    soil.first_ponding_marker[1] = 3;

    green_ampt_with_redistribution(*model, 10.0);
    EXPECT_NEAR(soil.front_moisture[1], 0.47999872, 1e-12);
    EXPECT_NEAR(soil.surface_moisture[1], 0.47999872, 1e-12);
    EXPECT_EQ(soil.wet_marker[1], 6);
    EXPECT_EQ(soil.front_phase[1], 0);
    EXPECT_EQ(soil.infiltration_rate[1], 0.0);

    soil.step = 7;
    model->overland.depth[1] = 0.01;
    green_ampt_with_redistribution(*model, 10.0);
    EXPECT_EQ(soil.front_phase[1], 2);
    EXPECT_NEAR(soil.front_moisture[1], 0.4646383, 1e-7);
    EXPECT_EQ(soil.surface_moisture[1], 0.5);  // two fronts: the surface is saturated
    EXPECT_NEAR(soil.infiltration_rate[1], 8.924574e-5 * 360000.0, 1e-5);
    EXPECT_NEAR(model->overland.depth[1], 0.01 - 8.924574e-4, 1e-9);
    EXPECT_NEAR(soil.infiltrated_depth[1], 0.01 + 8.924574e-4, 1e-9);
    EXPECT_NEAR(soil.first_front_depth[1], 0.01, 1e-15);
}

// Rain at 5 Ks for 20 minutes (the cell ponds), a pause of an hour in which
// the ponded water soaks in and the front redistributes, then rain again:
// during the pause theta_0 falls from theta_s and stays within
// [theta_i, theta_s]; the renewed rain runs a second front (phase 2, the
// surface saturated) until it reaches the first one, after which a single
// saturated front (phase 1) goes on. No water is made or lost on the way.
TEST(Redistribution, PauseInRainRedistributesThenSecondFrontCatchesUp) {
    RunContext ctx;
    auto model = make_model(1, InfiltrationMethod::redistribution, 10.0, kRedistributingSoil, true);
    Soil& soil = model->soil;
    double rained = 0.0, previous_theta0 = 0.0;
    int first_redistributing_step = 0, merged_at = 0;
    for (int k = 0; k < 900; ++k) {
        const bool raining = k < 120 || k >= 480;
        model->overland.depth[1] += raining ? 5e-4 : 0.0;
        rained += raining ? 5e-4 : 0.0;
        const int phase_before = soil.front_phase[1];
        infiltrate_at(*model, ctx, k);
        const double theta0 = soil.front_moisture[1];
        ASSERT_GE(theta0, 0.1);
        ASSERT_LE(theta0, 0.5);
        if (k == 119)
            EXPECT_GT(model->overland.depth[1], 0.0) << "the first burst ponds";
        if (!raining && soil.wet_marker[1] == soil.step - 1) {
            if (first_redistributing_step == 0) {
                first_redistributing_step = k;
                EXPECT_EQ(previous_theta0, 0.5);
            }
            EXPECT_LT(theta0, previous_theta0) << "step " << k;
        }
        if (soil.front_phase[1] == 2)
            EXPECT_EQ(soil.surface_moisture[1], 0.5);
        if (phase_before == 2 && soil.front_phase[1] == 1 && merged_at == 0) {
            merged_at = k;
            EXPECT_EQ(theta0, 0.5);
        }
        previous_theta0 = theta0;
    }
    EXPECT_GT(first_redistributing_step, 120);
    EXPECT_LT(first_redistributing_step, 480);
    EXPECT_GT(merged_at, 480);
    EXPECT_NEAR(soil.infiltrated_depth[1] + model->overland.depth[1], rained, 1e-12);
    EXPECT_NEAR(model->totals.run.infiltration, soil.infiltrated_depth[1] * 900.0, 1e-9);
    EXPECT_NEAR(model->totals.event.infiltration, soil.infiltrated_depth[1] * 900.0, 1e-9);
}

// Two fronts (phase 2): the old one at theta_0 = 0.2 holds F1 = 1.5 cm, the
// new saturated one above it F - F1 = 0.5 cm. When the rain stops they merge
// into one front of
//   theta_i + [(theta_0 + theta_s - 2 theta_i)(F - F1) + (theta_0 - theta_i) F1] / F
//   = 0.1 + [(0.2 + 0.5 - 0.2) 0.005 + 0.1 * 0.015] / 0.02 = 0.1 + 0.004 / 0.02 = 0.3.
// With lambda = 0 unsaturated soil neither conducts nor draws water, so the
// merged front does not redistribute in a pause without supply.
TEST(Redistribution, FrontsMergeInAPauseIntoTheHandComputedWaterContent) {
    RunContext ctx;
    auto model = make_model(1, InfiltrationMethod::redistribution, 10.0,
                            Soils{1e-5, 0.1, 0.5, 0.1, 0.0, 0.0}, true);
    Soil& soil = model->soil;
    soil.step = 8;
    soil.front_phase[1] = 2;
    soil.front_moisture[1] = 0.2;
    soil.infiltrated_depth[1] = 0.02;
    soil.first_front_depth[1] = 0.015;
    soil.wet_marker[1] = soil.first_ponding_marker[1] = 3;
    green_ampt_with_redistribution(*model, 10.0);
    EXPECT_EQ(soil.front_phase[1], 0);
    EXPECT_NEAR(soil.front_moisture[1], 0.3, 1e-15);
    EXPECT_NEAR(soil.surface_moisture[1], 0.3, 1e-15);
    EXPECT_EQ(soil.first_front_depth[1], 0.02);
}

TEST(Redistribution, FrozenAndLakeCellsAreLeftAloneAndWaterTableCellsSaturate) {
    RunContext ctx;
    auto model = make_model(3, InfiltrationMethod::redistribution, 10.0, kRedistributingSoil);
    model->run.long_term = true;
    model->soil.frozen_ground_index = {0.0, 90.0, 0.0, 0.0};
    model->soil.lake_cell = {0, 0, 1, 0};
    model->soil.water_table_at_surface = {0, 0, 0, 1};
    for (int i = 1; i <= 3; ++i) model->overland.depth[i] = 0.01;
    infiltrate_at(*model, ctx, 0);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(model->overland.depth[i], 0.01);
        EXPECT_EQ(model->soil.infiltrated_depth[i], 0.0);
    }
    EXPECT_EQ(model->soil.front_moisture[3], 0.5);
    EXPECT_EQ(model->totals.run.infiltration, 0.0);
}

// ---- Layered soil ----

std::unique_ptr<Model> layered_model(const std::array<SoilLayer, 3>& layers) {
    auto model = make_model(1, InfiltrationMethod::layered_soil, 60.0, Soils{0, 0, 0, 0});
    model->soil.soil_index = {0, 1};
    model->soil.layer_table = {{}, {layers, true}};
    RunContext ctx;
    EXPECT_TRUE(allocate_infiltration_state(*model, ctx));
    return model;
}

// With the front in layer 2 the wetted column conducts at the harmonic mean
// Keff = (z2 + d1) / (z2 / K2 + d1 / K1), z2 = (F - d1 dtheta1) / dtheta2, and
// the step's infiltration F' - F solves
//   psi2 dtheta2 ln((psi2 dtheta2 + F') / (psi2 dtheta2 + F)) + Keff dt = F' - F.
TEST(LayeredSoil, FrontEnteringSlowLayerSlowsByEffectiveConductivity) {
    // fast sandy top 5 cm thick over a slow loam (cm/h, cm)
    auto model = layered_model({SoilLayer{10.0, 5.0, 0.40, 0.20, 5.0},
                                SoilLayer{0.5, 10.0, 0.45, 0.25, 50.0},
                                SoilLayer{0.5, 10.0, 0.45, 0.25, 0.0}});
    RunContext ctx;
    Soil& soil = model->soil;
    model->overland.depth[1] = 2.0;  // m, always ponded
    double rate_in_top = 0.0;
    int k = 0;
    for (; soil.front_depth[1] <= 6.0 && k < 240; ++k) {
        if (soil.front_depth[1] <= 5.0)
            rate_in_top = soil.infiltration_rate[1];
        infiltrate_at(*model, ctx, k);
    }
    const double f_before = soil.infiltrated_depth[1] * 100.0;  // cm
    infiltrate_at(*model, ctx, k);
    ASSERT_FALSE(ctx.error.pending());
    const double f_after = soil.infiltrated_depth[1] * 100.0;
    const double z2 = (f_before - 5.0 * 0.2) / 0.2;
    const double k_eff = (z2 + 5.0) / (z2 / 0.5 + 5.0 / 10.0);
    const double s = 10.0 * 0.2;
    EXPECT_NEAR(s * std::log((s + f_after) / (s + f_before)) + k_eff * (60.0 / 3600.0),
                f_after - f_before, 1e-4);
    EXPECT_LT(k_eff, 10.0);
    EXPECT_LT(soil.infiltration_rate[1], 0.5 * rate_in_top);
    EXPECT_NEAR(soil.infiltrated_depth[1] + model->overland.depth[1], 2.0, 1e-12);
}

// 0.01 cm of supply in a 60 s step, far below the capacity, all enters the
// soil and moves the front by 0.01 cm over the deficit of the layer that
// holds it: 0.40 - 0.20 in the top layer, 0.45 - 0.15 in the second, and
// 1 % of the porosity, 0.004, in a top layer already saturated. With the
// front at 15 cm the soil holds 10 * 0.2 + 5 * 0.3 = 3.5 cm.
TEST(LayeredSoil, SmallSupplyAllInfiltratesAndMovesTheFrontByItsLayersDeficit) {
    for (const auto [top_moisture, front, deficit] :
         {std::tuple{0.20, 0.0, 0.2}, {0.20, 15.0, 0.3}, {0.40, 0.0, 0.004}}) {
        SCOPED_TRACE(testing::Message() << top_moisture << " " << front);
        auto model = layered_model({SoilLayer{2.0, 5.0, 0.40, top_moisture, 10.0},
                                    SoilLayer{1.0, 10.0, 0.45, 0.15, 50.0},
                                    SoilLayer{1.0, 10.0, 0.45, 0.15, 0.0}});
        RunContext ctx;
        const double held = front > 10.0 ? 0.035 : 0.0;  // m
        model->soil.front_depth[1] = front;
        model->soil.infiltrated_depth[1] = held;
        model->overland.depth[1] = 0.0001;  // 0.01 cm
        infiltrate_at(*model, ctx, 0);
        EXPECT_EQ(model->overland.depth[1], 0.0);
        EXPECT_NEAR(model->soil.infiltrated_depth[1], held + 0.0001, 1e-15);
        EXPECT_NEAR(model->soil.front_depth[1], front + 0.01 / deficit, 1e-9);
        EXPECT_NEAR(model->soil.infiltration_rate[1], 0.01 / (60.0 / 3600.0), 1e-9);  // cm/h
    }
}

// Parameters missing at the phase stop the run rather than read past arrays:
// a cell whose soil type has no layers, a method whose maps were never set up.
TEST(InfiltrationPhase, MissingParametersStopTheRunInsteadOfReadingPastArrays) {
    for (const bool layered : {true, false}) {
        auto model =
            layered
                ? layered_model({SoilLayer{2.0, 5.0, 0.40, 0.20, 10.0}, SoilLayer{}, SoilLayer{}})
                : make_model(2, InfiltrationMethod::green_ampt, 10.0, Soils{1e-5, 0.1, 0.45, 0.2});
        if (layered)
            model->soil.soil_index[1] = 4;
        else
            model->soil.capillary_head.clear();
        RunContext ctx;
        test::Console console(ctx);
        model->overland.depth[1] = 0.01;
        infiltrate_at(*model, ctx, 0);
        EXPECT_EQ(ctx.error.code, err::message_printed);
        EXPECT_EQ(model->overland.depth[1], 0.01);
        EXPECT_EQ(console.text(), layered ? "Error: no soil layers given for soil type 4 of grid "
                                            "cell 1 in the soil layer input file\n"
                                          : "Error: the soil parameters of the infiltration "
                                            "method are not set up\n");
    }
}

// A 1 x 2 grid with both cells inside the watershed, working in a folder of
// its own as the program does in its project's; console output captured.
struct SoilSetUp {
    test::TempDir dir;
    std::filesystem::path before = std::filesystem::current_path();
    RunContext ctx;
    test::Console capture{ctx};
    std::unique_ptr<Model> model = std::make_unique<Model>();

    explicit SoilSetUp(InfiltrationMethod method) {
        std::filesystem::current_path(dir.path());
        test::build_grid(model->grid, 1, 2, 10.0, [](int, int) { return 100.0; });
        model->project.infiltration = method;
    }
    ~SoilSetUp() { std::filesystem::current_path(before); }
    void map(Card card, const std::string& name, const std::string& values) {
        dir.write(name,
                  "north: 10\nsouth: 0\neast: 20\nwest: 0\nrows: 1\ncols: 2\n" + values + "\n");
        model->project[card].given = true;
        model->project[card].text = name;
    }
    std::string console() { return capture.text(); }
    std::string errors() { return capture.errors(); }
};

TEST(SoilParameters, MapsAreConvertedAndPlainGreenAmptKeepsTheDeficit) {
    SoilSetUp s(InfiltrationMethod::green_ampt);
    s.map(Card::CONDUCTIVITY, "ks.map", "3.6 7.2");
    s.map(Card::CAPILLARY, "psi.map", "10 20");
    s.map(Card::POROSITY, "phi.map", "0.45 0.45");
    s.map(Card::MOISTURE, "theta.map", "0.3 0.5");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    const Soil& soil = s.model->soil;
    EXPECT_DOUBLE_EQ(soil.conductivity[1], 1e-5);
    EXPECT_DOUBLE_EQ(soil.conductivity[2], 2e-5);
    EXPECT_DOUBLE_EQ(soil.capillary_head[1], 0.1);
    EXPECT_DOUBLE_EQ(soil.capillary_head[2], 0.2);
    EXPECT_NEAR(soil.moisture[1], 0.15, 1e-15);  // deficit 0.45 - 0.3
    EXPECT_EQ(soil.moisture[2], 0.0);            // moisture above porosity
    EXPECT_EQ(s.console(),
              "reading saturated hydraulic conductivity map from file: ks.map\n"
              "reading capillary drive map from file: psi.map\n"
              "reading porosity map from file: phi.map\n"
              "reading soil moisture map from file: theta.map\n"
              "Warning: initial water content > phi at grid 2\n");
}

TEST(SoilParameters, WithoutMoistureSourceTheSoilStartsUniform) {
    SoilSetUp s(InfiltrationMethod::redistribution);
    s.map(Card::CONDUCTIVITY, "ks.map", "3.6 3.6");
    s.map(Card::CAPILLARY, "psi.map", "10 10");
    s.map(Card::POROSITY, "phi.map", "0.45 0.45");
    s.map(Card::PORE_INDEX, "lambda.map", "0.3 0.3");
    s.map(Card::RESIDUAL_SAT, "thr.map", "0.05 0.07");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    EXPECT_NE(s.console().find("initializing uniform initial soil water content\n"),
              std::string::npos);
    EXPECT_EQ(s.model->soil.moisture[2], 0.07);
    EXPECT_EQ(s.model->soil.front_moisture[2], 0.07);
    EXPECT_EQ(s.model->soil.surface_moisture[2], 0.07);
}

// A value no soil can have stops the run at set-up, naming the cell in the
// units of the map, rather than turning into a non-real depth phases later;
// redistribution without its pore index or residual saturation map stops too.
// The console ends with the message.
TEST(SoilParameters, ValuesNoSoilCanHaveAndMissingMapsStopTheRun) {
    using enum InfiltrationMethod;
    const std::string redist = "For infiltration redistribution, ";
    const struct {
        InfiltrationMethod method;
        const char *ks, *porosity, *moisture, *pore_index;  // maps
        std::string message;
    } cases[] = {
        {green_ampt, "3.6 -0.5", "0.45 0.45", "0.3 0.3", "",
         "Error: the saturated hydraulic conductivity of grid cell 2 (row 1, column 2) is -0.5 "
         "cm/h, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "-0.1 0.45", "0.3 0.3", "",
         "Error: the porosity of grid cell 1 (row 1, column 1) is -0.1, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "0.45 1.2", "0.3 0.3", "",
         "Error: the porosity of grid cell 2 (row 1, column 2) is 1.2, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "0.45 0.45", "0.3 -0.1", "",
         "Error: the initial water content of grid cell 2 (row 1, column 2) is -0.1, which no "
         "soil can have.\n"},
        {redistribution, "3.6 3.6", "0.45 0.45", "", "",
         redist + "the pore index map must be specified\n"},
        {redistribution, "3.6 3.6", "0.45 0.45", "", "0.3 0.3",
         redist + "pore index map must be specified\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        SoilSetUp s(c.method);
        const Card cards[] = {Card::CONDUCTIVITY, Card::POROSITY, Card::MOISTURE, Card::PORE_INDEX};
        const char* names[] = {"ks.map", "phi.map", "theta.map", "lambda.map"};
        const char* maps[] = {c.ks, c.porosity, c.moisture, c.pore_index};
        for (int k = 0; k < 4; ++k)
            if (*maps[k])
                s.map(cards[k], names[k], maps[k]);
        s.map(Card::CAPILLARY, "psi.map", "10 20");
        read_soil_parameters(*s.model, s.ctx);
        EXPECT_EQ(s.ctx.error.code, err::message_printed);
        EXPECT_TRUE(s.console().ends_with(c.message)) << s.console();
        if (c.method == redistribution)
            EXPECT_EQ(s.errors(), "Program stopped.\n");
    }
}

TEST(SoilParameters, AquiferBottomAboveGroundIsSetToGround) {
    SoilSetUp s(InfiltrationMethod::none);
    s.model->run.long_term = true;
    s.model->project[Card::GW_SIMULATION].given = true;
    s.map(Card::WATER_TABLE, "wt.map", "98 97");
    s.map(Card::AQUIFER_BOTTOM, "bottom.map", "90 100.5");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    EXPECT_EQ(s.model->soil.water_table[2], 97.0);
    EXPECT_EQ(s.model->soil.aquifer_bottom[1], 90.0);
    EXPECT_EQ(s.model->soil.aquifer_bottom[2], 100.0);
    EXPECT_EQ(s.console(),
              "reading water table map from file: wt.map\n"
              "reading aquifer bottom map from file: bottom.map\n"
              "Aquifer bottom elevation 100.500000 for cell 2 is at or above ground surface "
              "elevation 100.000000 \nAquifer bottom elevation set to ground elevation \n");
}

TEST(SoilLayerFile, FillsTheLayerTableOfEachSoilIndex) {
    SoilSetUp s(InfiltrationMethod::layered_soil);
    // Two soil types: 3, then 1 (a comma may part the values).
    const char* layers =
        "2 0\n3\n1.5, 11.0, 0.43, 0.20, 15\n0.5 21.0 0.47 0.25 30\n0.1 31.0 0.50 0.30\n"
        "1\n2.5 5 0.40 0.10 10\n1.5 6 0.41 0.11 20\n0.5 7 0.42 0.12\n";
    const std::string path = s.dir.write("layers.txt", layers).string();
    ASSERT_TRUE(read_soil_layer_file(*s.model, s.ctx, path));
    const auto& table = s.model->soil.layer_table;
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ((std::vector{table[1].given, table[2].given, table[3].given}),
              (std::vector{true, false, true}));
    EXPECT_EQ((std::vector{table[3].layers[0].conductivity, table[3].layers[0].capillary_head,
                           table[3].layers[1].thickness, table[3].layers[2].initial_moisture,
                           table[1].layers[2].porosity}),
              (std::vector{1.5, 11.0, 30.0, 0.30, 0.42}));

    // A cell of soil type 2, which the file does not hold, stops the set-up;
    // so does a file that ends before its layers do.
    s.model->soil.soil_index = {0, 1, 2};
    set_up_soil_layers(*s.model, s.ctx);
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    const std::string short_file =
        s.dir.write("short.txt", "1 0\n1\n1.5 11.0 0.43 0.20 15\n").string();
    EXPECT_FALSE(read_soil_layer_file(*s.model, s.ctx, short_file));
    EXPECT_EQ(s.console(),
              "Error: no soil layers given for soil type 2 of grid cell 2 in the soil layer input "
              "file\nError: problem reading the soil layer input file " +
                  short_file + ": missing or bad layer values of soil index 1\n");
}

// In a long-term run an event starts from the water of the moisture store:
// theta_i = stored depth / layer depth, kept within [theta_r, theta_s].
TEST(LongTermEventStart, InitialMoistureComesFromTheStoreWithinLimits) {
    RunContext ctx;
    test::Console console(ctx);
    auto m = make_model(3, InfiltrationMethod::redistribution, 60.0, Soils{0, 0, 0.45, 0, 0, 0.05},
                        true);
    m->run.long_term = true;
    Soil& soil = m->soil;
    soil.moisture_layer_depth = 0.4;
    soil.stored_water = {0, 0.08, 0.01, 0.18};
    soil.infiltrated_depth[3] = 0.5;  // the last event's fronts: already in the store
    start_infiltration_event(*m, ctx);
    EXPECT_NEAR(soil.moisture[1], 0.2, 1e-15);
    EXPECT_NEAR(soil.moisture[2], 0.06, 1e-15);  // 0.025 < theta_r: raised to theta_r + 0.01
    EXPECT_NEAR(soil.moisture[3], 0.45, 1e-15);  // store full: theta_s exactly
    EXPECT_EQ(soil.stored_water[3], 0.18);
    EXPECT_EQ(soil.infiltrated_depth[3], 0.0);
    EXPECT_EQ(soil.step, 1);
    EXPECT_EQ(
        console.text(),
        "cell: 2  thi: 0.025000  thr: 0.050000   phi: 0.450000\n"
        "Problem initializing inf_redist in main loop, thi<thr at grid cell 2, increasing it to "
        "0.060000\n");
}

}  // namespace
}  // namespace torva

// The root-zone store of long-term runs over one hour, on a strip of cells
// whose figures are worked out by hand.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/infiltration.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

constexpr double kStart = 2451545.0;  // Julian date of the store's start
constexpr double kHour = 3600.0;

// A strip of cells of 10 m with one soil: porosity 0.45, residual 0.05, pore
// index 0.5, wetting front head 0.4718 m, wilting point 0.07, a root zone
// 0.5 m deep. Brakensiek's bubbling pressure is 0.4718 x 2.5 / 3.5 = 0.337
// m, a tenth of the 3.37 m of field capacity, so field capacity is
// 0.05 + 0.4 x 0.1^0.5 = 0.1764911. `ks` 0 keeps percolation out.
// With `top` water contents a top layer 0.1 m deep holds them, and `theta`
// is the water content of the 0.4 m below it.
std::unique_ptr<Model> store_model(const std::vector<double>& theta, double ks = 0.0,
                                   const std::vector<double>& top = {}) {
    const int n = static_cast<int>(theta.size());
    auto model = std::make_unique<Model>();
    test::build_grid(model->grid, 1, n, 10.0, [](int, int) { return 0.0; });
    model->run.long_term = true;
    model->run.time_step = kHour;
    model->run.time_step_days = kHour / 86400.0;
    model->clock.start_time = model->clock.current_time = kStart;
    model->overland.depth.assign(n + 1, 0.0);
    Soil& soil = model->soil;
    soil.conductivity.assign(n + 1, ks);
    soil.capillary_head.assign(n + 1, 0.4718);
    soil.porosity.assign(n + 1, 0.45);
    soil.residual_saturation.assign(n + 1, 0.05);
    soil.pore_index.assign(n + 1, 0.5);
    soil.wilting_point.assign(n + 1, 0.07);
    soil.moisture_layer_depth = 0.5;
    soil.stored_water.assign(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) soil.stored_water[i] = theta[i - 1] * 0.5;
    if (!top.empty()) {
        soil.top_layer_depth = 0.1;
        soil.top_water.assign(n + 1, 0.0);
        for (int i = 1; i <= n; ++i) {
            soil.top_water[i] = top[i - 1] * 0.1;
            soil.stored_water[i] = soil.top_water[i] + theta[i - 1] * 0.4;
        }
    }
    RunContext ctx;
    EXPECT_TRUE(prepare_soil_store(*model, ctx));
    return model;
}

// One hour of the store at the potential rate `pet` (m/s) on every cell.
void one_hour(Model& model, double pet) {
    RunContext ctx;
    std::fill(model.soil.potential_et.begin() + 1, model.soil.potential_et.end(), pet);
    model.clock.current_time = kStart + kHour / 86400.0;
    soil_moisture_accounting_phase(model, ctx);
}

// PET of 1e-7 m/s asks 0.36 mm in the hour. The stress factor
// (theta - 0.07) / (0.1764911 - 0.07) lets the soil give that share of it:
// all above field capacity, half midway, 0.18781 % just above the wilting
// point, nothing at it. Ponded water goes first and unstressed: 0.1 mm of it,
// then 0.26 mm x 0.7512364 from a store at 0.15.
TEST(SoilStore, StressFactorFallsFromFieldCapacityToTheWiltingPoint) {
    struct Cell {
        double theta, ponded;
        double store_after;  // m
        double aet;          // m/s
    };
    const Cell cells[] = {
        {0.30, 0.0, 0.14964, 1.0e-7},
        {0.1232455532, 0.0, 0.0616227766 - 0.00018, 5.0e-8},
        {0.0702, 0.0, 0.0351 - 6.761128e-7, 1.878091e-10},
        {0.07, 0.0, 0.035, 0.0},
        {0.15, 1.0e-4, 0.075 - 1.9532148e-4, (1.0e-4 + 1.9532148e-4) / kHour},
    };
    std::vector<double> theta;
    for (const Cell& c : cells) theta.push_back(c.theta);
    auto model = store_model(theta);
    EXPECT_NEAR(model->soil.field_capacity[1], 0.1764911064, 1e-9);
    for (int i = 1; i <= 5; ++i) model->overland.depth[i] = cells[i - 1].ponded;
    one_hour(*model, 1.0e-7);
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(model->soil.stored_water[i], cells[i - 1].store_after, 1e-11);
        EXPECT_NEAR(model->soil.actual_et[i], cells[i - 1].aet, 1e-14);
        EXPECT_LE(model->soil.actual_et[i], 1.0e-7);
    }
    EXPECT_EQ(model->overland.depth[5], 0.0);
    // 100 m2 cells: 0.1 mm ponded is 0.01 m3; the soil gave 0.36 + 0.18 +
    // 0.00067611 + 0.19532148 mm.
    EXPECT_NEAR(model->totals.run.direct_evaporation, 0.01, 1e-12);
    EXPECT_NEAR(model->totals.run.evaporation, 0.01 + (0.36 + 0.18 + 0.00067611 + 0.19532148) * 0.1,
                1e-9);
    EXPECT_EQ(model->totals.run.unsaturated_downward_flux, 0.0);
}

// With a top layer 0.1 m deep, the demand of 0.36 mm meets the top layer's
// stress factor first and the layer below's for the rest: a top layer midway
// between wilting point and field capacity gives 0.18 mm and a wet layer
// below the other 0.18; a top layer at the wilting point leaves it all to
// the layer below, which just above its wilting point gives 0.00067611 mm;
// a wet top layer gives all of it.
TEST(SoilStore, TopLayerDriesFirstAndRootsBelowMeetTheRest) {
    struct Cell {
        double top, below;
        double top_after, store_after;  // m
        double aet;                     // m/s
    };
    const Cell cells[] = {
        {0.1232455532, 0.30, 0.01232455532 - 0.00018, 0.01232455532 + 0.12 - 0.00036, 1.0e-7},
        {0.07, 0.0702, 0.007, 0.007 + 0.02808 - 6.761128e-7, 1.878091e-10},
        {0.30, 0.07, 0.03 - 0.00036, 0.03 + 0.028 - 0.00036, 1.0e-7},
    };
    std::vector<double> top, below;
    for (const Cell& c : cells) {
        top.push_back(c.top);
        below.push_back(c.below);
    }
    auto model = store_model(below, 0.0, top);
    one_hour(*model, 1.0e-7);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(model->soil.top_water[i], cells[i - 1].top_after, 1e-11);
        EXPECT_NEAR(model->soil.stored_water[i], cells[i - 1].store_after, 1e-11);
        EXPECT_NEAR(model->soil.actual_et[i], cells[i - 1].aet, 1e-15);
    }
    // An hour of 10.8 mm asks the top layer midway for 5.4 mm, more than the
    // 5.32455532 mm it holds above its wilting point: it gives those, and the
    // wet layer below the rest.
    auto dry = store_model({0.30}, 0.0, {0.1232455532});
    one_hour(*dry, 3.0e-6);
    EXPECT_NEAR(dry->soil.top_water[1], 0.007, 1e-12);
    EXPECT_NEAR(dry->soil.stored_water[1], 0.01232455532 + 0.12 - 0.0108, 1e-11);
}

// Ks = 1e-6 m/s, no demand. Brooks-Corey drainage of a layer of depth D from
// effective saturation Se0 over an hour: Se1 = (Se0^-6 + 6 Ks 3600 / (D 0.4))^(-1/6)
// (exponent 3 + 2 / 0.5 = 7). A saturated top layer over a layer at the
// wilting point drains (1 - 1.54^(-1/6)) x 0.4 x 0.1 = 2.7774144 mm into
// it; a saturated top layer over a saturated layer cannot, and the layer
// below loses (1 - 1.135^(-1/6)) x 0.4 x 0.4 = 3.3414849 mm to recharge.
TEST(SoilStore, TopLayerDrainsIntoTheLayerBelowAsFarAsItHasRoom) {
    auto model = store_model({0.07, 0.45}, 1.0e-6, {0.45, 0.45});
    one_hour(*model, 0.0);
    const Soil& soil = model->soil;
    EXPECT_NEAR(soil.top_water[1], 0.045 - 0.0027774144, 1e-10);
    EXPECT_NEAR(soil.stored_water[1], 0.045 + 0.028, 1e-10);  // 2e-11 m percolates
    EXPECT_NEAR(soil.top_water[2], 0.045, 1e-15);
    EXPECT_NEAR(soil.stored_water[2], 0.225 - 0.0033414849, 1e-10);
    EXPECT_NEAR(soil.recharge[2], 0.0033414849, 1e-10);
    EXPECT_NEAR(model->totals.run.unsaturated_downward_flux, 0.0033414849 * 100.0, 1e-7);
}

// Between events, once the infiltration method sleeps, water standing on the
// ground soaks into the store at Ks (2e-8 m/s: 0.072 mm in the hour) while it
// evaporates at the potential rate (0.36 mm). Stores at the wilting point
// neither drain nor transpire. 1 mm of water meets both and keeps 0.568 mm;
// 0.216 mm meets half of each (0.18 mm evaporated, 0.036 mm soaked up), and
// the soil, now 0.000072 above its wilting point, gives the other 0.18 mm
// times its stress factor 0.000072 / 0.1064911 (1.217003e-7 m); frozen
// ground only evaporates; a full store has no room and only evaporates.
TEST(SoilStore, StandingWaterSoaksInAtKsAndEvaporatesWhileInfiltrationSleeps) {
    struct Cell {
        double theta, ponded, frozen_index;
        double ponded_after, store_after;  // m
    };
    const Cell cells[] = {
        {0.07, 1.0e-3, 0.0, 0.568e-3, 0.035 + 0.072e-3},
        {0.07, 0.216e-3, 0.0, 0.0, 0.035 + 0.036e-3 - 1.217003e-7},
        {0.07, 1.0e-3, 90.0, 0.64e-3, 0.035},
        {0.45, 1.0e-3, 0.0, 0.64e-3, 0.0},
    };
    std::vector<double> theta;
    for (const Cell& c : cells) theta.push_back(c.theta);
    auto model = store_model(theta, 2.0e-8);
    Soil& soil = model->soil;
    soil.store_soaks = true;
    soil.frozen_ground_index.assign(5, 0.0);
    for (int i = 1; i <= 4; ++i) {
        model->overland.depth[i] = cells[i - 1].ponded;
        soil.frozen_ground_index[i] = cells[i - 1].frozen_index;
    }
    one_hour(*model, 1.0e-7);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(model->overland.depth[i], cells[i - 1].ponded_after, 1e-15);
        EXPECT_NEAR(soil.stored_water[i], cells[i - 1].store_after, 1e-12);
    }
    EXPECT_NEAR(model->overland.depth[4], 0.64e-3, 1e-15);
    // 100 m2 cells: 0.108 mm soaked up and 1.26 mm evaporated from the water.
    EXPECT_NEAR(model->totals.run.infiltration, 0.0108, 1e-12);
    EXPECT_NEAR(model->totals.event.infiltration, 0.0108, 1e-12);
    EXPECT_NEAR(model->totals.run.direct_evaporation, 0.126, 1e-12);
}

}  // namespace
}  // namespace torva

// When the water on the ground stands still, so that a long-term run may
// stride over the steps in which it would not move: a 3 x 3 grid of 10 m
// cells at 10 m with a hollow 1 m deep in the middle, the outlet in the
// south-east corner and 1 mm of retention everywhere.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/model_state.hpp"
#include "support/grids.hpp"
#include "surface/overland.hpp"

namespace torva {
namespace {

TEST(StandingWater, StillOnlyWhereNoFaceAndNoOutletCanMoveIt) {
    constexpr double kNaN = NAN;
    struct Case {
        const char* name;
        std::vector<double> depth;  // m, cells 1 to 9 row by row
        bool still;
        OverlandScheme scheme = OverlandScheme::ade;
    };
    const Case cases[] = {
        {"dry ground", {0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {"films below the retention", {5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 0}, true},
        {"a film on the outlet, which passes any depth",
         {5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4, 5e-4},
         false},
        {"a pond in the hollow, its surface below every neighbour's",
         {0, 0, 0, 0, 0.05, 0, 0, 0, 0},
         true},
        {"a pond over the hollow's rim", {0, 0, 0, 0, 1.01, 0, 0, 0, 0}, false},
        {"water above the retention beside a dry cell as high",
         {2e-3, 0, 0, 0, 0, 0, 0, 0, 0},
         false},
        {"level water above the retention running into the hollow",
         {2e-3, 2e-3, 2e-3, 2e-3, 0, 2e-3, 2e-3, 2e-3, 0},
         false},
        {"a depth that is not a number", {0, 0, 0, 0, kNaN, 0, 0, 0, 0}, false},
        {"the explicit scheme, dry",
         {0, 0, 0, 0, 0, 0, 0, 0, 0},
         true,
         OverlandScheme::explicit_scheme},
        {"the explicit scheme, a film below the retention",
         {5e-4, 0, 0, 0, 0, 0, 0, 0, 0},
         false,
         OverlandScheme::explicit_scheme},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = std::make_unique<Model>();
        test::build_grid(model->grid, 3, 3, 10.0,
                         [](int r, int col) { return r == 2 && col == 2 ? 9.0 : 10.0; });
        model->grid.outlet_cell = 9;
        model->overland.scheme = c.scheme;
        model->overland.depth.assign(10, 0.0);
        for (int i = 1; i <= 9; ++i) model->overland.depth[i] = c.depth[i - 1];
        model->surface.retention_depth.assign(10, 1e-3);
        EXPECT_EQ(surface_water_stands_still(*model), c.still);
    }
}

}  // namespace
}  // namespace torva

#pragma once
// Soil tables and single columns of Richards soil for the soil tests.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/richards.hpp"

namespace torva::test {

// A table of one soil type of three layers: `first` over `second` over
// `third`, each a Brooks-Corey line; an empty layer is a 1 cm/h default.
inline std::string soil_table(const std::string& first, const std::string& second = "",
                              const std::string& third = "") {
    const auto layer = [](const std::string& line) {
        return line.empty() ? std::string("1 0.4 0.05 0.1 0.3 10 0 0.06 0.2 1 0") : line;
    };
    return "1 0\n1\n" + first + "\n" + layer(second) + "\n" + layer(third) + "\n";
}

// One column of the table's first soil type, set up as the program sets it up.
struct Column {
    RichardsColumns rc;
    RunContext ctx;
    double substep = 1.0;
    ColumnTop top = ColumnTop::flux;
    SlowSoil slow;

    explicit Column(const std::string& table, int iter_max = 20,
                    SoilWaterRelation relation = SoilWaterRelation::brooks_corey) {
        rc.relation = relation;
        rc.iter_max = iter_max;

        EXPECT_TRUE(parse_richards_soil_table(rc, ctx, table, "soil.tbl", false, false));
        EXPECT_TRUE(lay_out_richards_columns(rc, ctx, "soil.tbl"));
        EXPECT_TRUE(initialise_richards_columns(rc, ctx, {0, 1}, 1));
    }
    const RichardsSoilType& type() const { return rc.types[1]; }
    double* head() { return &rc.head[rc.stride]; }
    double* theta() { return &rc.theta[rc.stride]; }
    double water() { return column_water_depth(type(), theta()); }
    ColumnStepResult step(double supply, double dt) {
        ColumnStepInput in;
        in.supply = supply;
        in.dt = dt;
        return step(in);
    }
    ColumnStepResult step(const ColumnStepInput& in) {
        return advance_column(rc, type(), head(), theta(), substep, top, slow, rc.trends[1],
                              &rc.trend[2 * rc.stride], &rc.relations[rc.stride], in,
                              rc.scratch[0]);
    }
    // The bottom held by a water table `depth` m below the surface, as the
    // phase sets it.
    ColumnStepInput on_water_table(double depth, double supply, double dt) {
        ColumnStepInput in;
        in.supply = supply;
        in.dt = dt;
        in.water_table_bottom = true;
        const int last = type().nodes - 1;
        const double reach = type().node_depth[last] + type().node_dz[last];
        in.bottom_head = depth >= reach ? 0.0 : reach - depth;
        in.bottom_distance =
            depth >= reach ? depth - type().node_depth[last] : type().node_dz[last];
        return in;
    }
    // Depth where theta crosses the middle of theta_i and theta_s of the top layer.
    double front() {
        const RichardsLayer& l = type().layers[0];
        const double mid = 0.5 * (l.theta_i + l.theta_s);
        for (int i = 1; i < type().nodes; ++i)
            if (theta()[i] < mid && theta()[i - 1] >= mid) {
                const double z0 = type().node_depth[i - 1], z1 = type().node_depth[i];
                return z0 + (z1 - z0) * (theta()[i - 1] - mid) / (theta()[i - 1] - theta()[i]);
            }
        return 0.0;
    }
};

}  // namespace torva::test

// The ADE sweeps work out their faces many at a time, both sweeps in one pass
// down the rows. Every face of either sweep of a step must carry exactly the
// discharge the face law gives for the depths the sweep starts from, and
// every cell end as the law leaves it, worked out face by face and cell by
// cell: on rows longer than the sweeps' batches, with flow both ways, the
// face limit biting where deep water lies on nearly level ground, and cells
// that are dry, below their retention or hold a film so thin that its square
// is subnormal.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "surface/overland_grid.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

constexpr int kRows = 8;
constexpr int kCols = 600;

// Bumps of up to 8 mm under 0.30 to 0.40 m of water, with a dry cell and a
// cell below its 2 mm retention here and there, and now and then a column
// of films on a 2 cm ridge between dry columns, 1e-160 m (whose square is
// subnormal) or 1e-3 to 1e-142 m: the films give to their dry neighbours
// and, down the bumps, to one another. Eight rows, so that on one thread
// and on two the south sweep's rows take their discharges both in step
// with the faces of the rows below and after every thread has its faces.
double ground(int r, int c) {
    return 10.0 + 0.002 * ((c * 37 + r * 11) % 5) + (c % 89 == 3 ? 0.02 : 0.0);
}

double depth_at(int r, int c) {
    if (c % 97 == 5 || c % 89 == 2 || c % 89 == 4)
        return 0.0;
    if (c % 89 == 3)
        return r % 2 == 1 ? 1e-160 : std::pow(10.0, -(3 + (c * r) % 140));
    if (c % 83 == 7)
        return 0.001;
    return 0.3 + 1e-4 * ((c * 131 + r * 71) % 997);
}

// Both sweeps' discharges of every face and the depths they leave, against
// the law worked out one face and one cell at a time: direction 1 sweeps the
// east faces first, 2 the south faces.
void check_sweeps(int direction, int threads) {
    omp_set_num_threads(threads);
    RunContext ctx;
    test::Console console(ctx);
    auto m = test::overland_watershed(ctx, "ade", 1.0, kRows, kCols, 10.0, ground);
    Model& model = *m;
    const Grid& g = model.grid;
    Overland& ov = model.overland;
    ov.min_parallel_cells = 0;
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kCols; ++c) {
            const int i = g.number_at(r, c);
            ov.depth[i] = depth_at(r, c);
            model.surface.retention_depth[i] = c % 83 == 7 ? 0.002 : 0.0;
        }
    std::vector<double> h = ov.depth;
    const auto cell = [&](int i) {
        return law::AdeCell{g.elevation[i] + h[i], h[i] - model.surface.retention_depth[i], 20.0,
                            h[i]};
    };
    const double volume_rate = 100.0;  // 10 m cells over 1 s
    int limited = 0, films = 0, both_ways[2] = {0, 0};
    // One sweep: the discharges of the faces from the depths as they stand,
    // then every cell takes those of its two faces.
    const auto sweep = [&](const int* to, const int* from, bool count) {
        const auto law_discharge = [&](int i) {
            const int j = i > 0 ? to[i] : 0;
            return j > 0 ? law::ade_face_discharge(cell(i), cell(j), 10.0, volume_rate) : 0.0;
        };
        std::vector<double> q(g.num_cells + 1, 0.0);
        for (int i = 1; i <= g.num_cells; ++i) {
            const int j = to[i];
            if (j == 0)
                continue;
            bool asked = false;
            const auto passed_on = [&](double sign) {
                asked = true;
                return sign * (law_discharge(from[i]) + law_discharge(j));
            };
            const law::FaceFlow flow =
                law::ade_face_flow(cell(i), cell(j), 10.0, volume_rate, 1.0, passed_on);
            EXPECT_FALSE(flow.failed);
            q[i] = flow.discharge;
            if (!count)
                continue;
            limited += asked;
            films += flow.discharge != 0.0 && std::fabs(flow.discharge) < 1e-200;
            both_ways[flow.discharge > 0.0] += flow.discharge != 0.0;
        }
        for (int i = 1; i <= g.num_cells; ++i) {
            const law::AdeUpdate u = law::ade_depth_update(h[i], (q[from[i]] - q[i]) * 0.01, 1.0);
            EXPECT_FALSE(u.failed);
            h[i] = u.depth;
        }
        return q;
    };
    const std::vector<double> east =
        direction == 1 ? sweep(g.east_neighbour.data(), g.west_neighbour.data(), true)
                       : std::vector<double>();
    const std::vector<double> south =
        sweep(g.south_neighbour.data(), g.north_neighbour.data(), direction == 2);
    const std::vector<double> east_after =
        direction == 2 ? sweep(g.east_neighbour.data(), g.west_neighbour.data(), false) : east;
    // The grid does exercise the limit and flow both ways.
    EXPECT_GT(limited, 50);
    EXPECT_GT(films, 5);
    EXPECT_GT(both_ways[0], 50);
    EXPECT_GT(both_ways[1], 50);

    ov.ade_sweep_toggle = direction;
    overland_flow_phase(model, ctx);
    ASSERT_FALSE(ctx.error.pending()) << console.text();
    for (int i = 1; i <= g.num_cells; ++i) {
        SCOPED_TRACE("cell " + std::to_string(i));
        EXPECT_EQ(ov.discharge_x[i], east_after[i]);
        EXPECT_EQ(ov.discharge_y[i], south[i]);
        EXPECT_EQ(ov.depth[i], h[i]);
    }
    omp_set_num_threads(omp_get_num_procs());
}

TEST(AdeFaces, BothSweepsGiveTheFaceLawToTheBitBothWaysOnOneAndTwoThreads) {
    for (const int direction : {1, 2})
        for (const int threads : {1, 2}) {
            SCOPED_TRACE((direction == 1 ? "east faces first, " : "south faces first, ") +
                         std::to_string(threads) + " threads");
            check_sweeps(direction, threads);
        }
}

}  // namespace
}  // namespace torva

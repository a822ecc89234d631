// The ADE sweeps update their cells many at a time. Every cell must end
// exactly as the one-cell law (overland_law::ade_depth_update) leaves it, and
// the cleanup must add up in the cells' order: across batches, on rows whose
// first cell has no upstream face and where a cell's upstream face breaks
// the rows' pattern, with depths that the sub-step takes below 0 by a little
// (cleaned up) or by much (failing), changes too fast for the sub-step, and
// depths that are not numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "surface/overland_face_batch.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

constexpr int kCells = 300;  // more than two batches
constexpr int kCols = 70;

// Depth and change of the depth over the sub-step, cell by cell in turn.
struct Case {
    double depth, change;
};
const Case kCases[] = {
    {0.02, 0.001},             // an ordinary step
    {0.0005, -0.0005 - 5e-7},  // a little below 0: cleaned up
    {0.0005, -0.0006},         // far below 0: fails
    {0.01, 0.006},             // more than half the depth: fails
    {std::nan(""), 0.001},     // not a number
    {0.0, 0.0},                // dry
    {0.0008, -0.0005},         // more than half of a film: allowed
    {0.3, -0.1},
};

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(AdeCellUpdates, EveryCellAsTheLawLeavesItAndTheCleanupInOrder) {
    // Rows of kCols cells, the first of each without an upstream face, and
    // every 41st cell fed from three cells back.
    std::vector<int> face_from(kCells + 1, 0);
    for (int i = 1; i <= kCells; ++i)
        face_from[i] = (i - 1) % kCols == 0 ? 0 : (i % 41 == 0 ? i - 3 : i - 1);
    std::vector<double> depth0(kCells + 1, 0.0), flux(kCells + 1, 0.0);
    for (int i = 1; i <= kCells; ++i) {
        const Case& c = kCases[i % std::size(kCases)];
        depth0[i] = c.depth;
        flux[i] = flux[face_from[i]] - c.change;  // k = 1: change = upstream - own
    }
    const struct {
        double sub_step;
        bool first, save;
    } runs[] = {{1.0, true, true},    {1.0, false, false}, {0.0005, false, true},
                {0.005, true, false}, {0.01, false, true}, {0.001, true, true}};
    for (const auto& run : runs) {
        SCOPED_TRACE("sub-step " + std::to_string(run.sub_step));
        // The face volumes so far of the same order as a sub-step's, so that
        // the product's rounding shows in the sum: a multiplication fused
        // with the addition (one rounding, not two) changes the last digits.
        std::vector<double> volume0(kCells + 1);
        for (int i = 0; i <= kCells; ++i) volume0[i] = 1e-3 * run.sub_step * (1.0 + 0.37 * i);
        std::vector<double> depth = depth0, volume = volume0, saved(kCells + 1, -1.0);
        const CellUpdate u{flux.data(),
                           face_from.data(),
                           volume.data(),
                           depth.data(),
                           run.save ? saved.data() : nullptr,
                           run.sub_step,
                           1.0,
                           run.first};
        double cleanup = 0.0;
        int failed = 0;
        // Spans as the sweeps give them: a row, then the rest in one.
        failed += update_span_cells(u, 1, kCols + 1, cleanup);
        failed += update_span_cells(u, kCols + 1, kCells + 1, cleanup);

        double expected_cleanup = 0.0;
        int expected_failed = 0;
        for (int i = 1; i <= kCells; ++i) {
            SCOPED_TRACE("cell " + std::to_string(i));
            const overland_law::AdeUpdate e = overland_law::ade_depth_update(
                depth0[i], (flux[face_from[i]] - flux[i]) * 1.0, run.sub_step);
            expected_cleanup += e.cleanup;
            expected_failed += e.failed;
            EXPECT_TRUE(same_bits(depth[i], e.depth)) << depth[i] << " " << e.depth;
            const double q = flux[i];
            EXPECT_TRUE(
                same_bits(volume[i], run.first ? q * run.sub_step : volume0[i] + q * run.sub_step));
            EXPECT_TRUE(same_bits(saved[i], run.save ? depth0[i] : -1.0));
        }
        EXPECT_EQ(failed, expected_failed);
        EXPECT_TRUE(same_bits(cleanup, expected_cleanup)) << cleanup << " " << expected_cleanup;
        // The cases do what they say: a sub-step under a millisecond fails
        // a cell below 0 rather than cleaning it up.
        EXPECT_EQ(expected_cleanup > 0.0, run.sub_step >= 0.001);
        EXPECT_GT(expected_failed, 0);
    }
}

}  // namespace
}  // namespace torva

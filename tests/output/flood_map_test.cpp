// The map of the largest overland depth: after the peak has passed it keeps
// the peak while the water drains away.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

// The values of every step of a binary dataset of the 3 x 3 small project: a
// header of 100 bytes, then per step 4 + 2 + 8 + 9 x 2 bytes and the nine
// doubles.
std::vector<std::vector<double>> steps_of(const std::string& data) {
    std::vector<std::vector<double>> steps;
    for (std::size_t at = 100; at + 104 <= data.size(); at += 104) {
        steps.emplace_back(9);
        std::memcpy(steps.back().data(), data.data() + at + 32, 9 * sizeof(double));
    }
    return steps;
}

// 10 mm/h for 5 minutes of a 10-minute run, maps at every 60 s step. Each
// flood map is, cell by cell, the largest of the depth maps up to it, to the
// last bit; once the rain has stopped the cells drain and every wet cell's
// flood value stays at its peak, above its depth.
TEST(FloodMap, KeepsThePeakDepthAfterThePeakHasPassed) {
    test::TempDir dir;
    test::write_small_project(
        dir, "MAP_FREQ 1\nMAP_TYPE 2\nDEPTH depth.bin\nFLOOD_GRID flood.bin\n", "60");
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const auto depth = steps_of(dir.read("depth.bin"));
    const auto flood = steps_of(dir.read("flood.bin"));
    ASSERT_EQ(depth.size(), flood.size());
    ASSERT_GE(depth.size(), 10u);
    std::vector<double> peak(9, 0.0);
    for (std::size_t s = 0; s < depth.size(); ++s)
        for (int c = 0; c < 9; ++c) {
            peak[c] = std::max(peak[c], depth[s][c]);
            EXPECT_EQ(flood[s][c], peak[c]) << "step " << s << " cell " << c;
        }
    int drained = 0;
    for (int c = 0; c < 9; ++c)
        if (peak[c] > 0.0) {
            EXPECT_LT(depth.back()[c], peak[c]) << "cell " << c;
            ++drained;
        }
    EXPECT_EQ(drained, 9);
}

}  // namespace
}  // namespace torva

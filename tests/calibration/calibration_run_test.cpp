// Calibrations of a small synthetic watershed whose observations the model
// made itself with known parameters: Manning's n 0.05 and a saturated
// conductivity of 1 cm/hr under 40 mm/hr of rain.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "calibration/calibration_state.hpp"
#include "calibration/monte_carlo.hpp"
#include "calibration/sce_mode.hpp"
#include "calibration/synthetic_watershed.hpp"
#include "core/context.hpp"
#include "run/modes.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using namespace test;

// sce.in for the synthetic watershed: the search settings line and the
// roughness line (start, lower, upper); conductivity from 0.1 to 3 cm/hr.
// Without observations of the truth, obs.txt asks for a 0.02 m3/s peak.
void write_search(const TempDir& dir, const std::string& settings,
                  const std::string& roughness = "0.1 0.01 0.2") {
    write_synthetic_watershed(dir);
    dir.write("obs.txt", "1\n0.02 1 10.0 1\n");
    dir.write("sce.in", "p.prj\nparams.txt\nobs.txt\n" + settings + "\n0 0 0 0 0 0\n" + roughness +
                            "\n0.5 0.1 3.0\n");
}

TEST(Calibration, SceRecoversRoughnessAndConductivity) {
    TempDir dir;
    write_search(dir, "3000 5 0.0001 2 7 0 2");
    observe_truth(dir);
    ASSERT_TRUE(calibrate_in(dir, 2)) << dir.read("console.txt");
    const std::string best = dir.read("best.out");
    EXPECT_NEAR(best_value(best, 1), kTrueRoughness, 0.02 * kTrueRoughness) << best;
    EXPECT_NEAR(best_value(best, 2), kTrueConductivity, 0.02 * kTrueConductivity) << best;
    // The best point ran once more as an ordinary simulation.
    EXPECT_TRUE(dir.exists("0000_out.otl"));
}

// A tiny search (two loops of two complexes) on one worker: every file in its
// layout. Each evaluation wrote its own numbered files, the best point's
// ordinary run those with 0000_.
TEST(Calibration, TinySearchWritesItsFilesInTheirLayouts) {
    TempDir dir;
    write_search(dir, "30 5 0.0001 2 7 0 2");
    ASSERT_TRUE(calibrate_in(dir, 1)) << dir.read("console.txt");
    for (const char* name : {"sce_output.dat", "best.out", "0000_log_file.txt"})
        EXPECT_EQ(dir.read(name), test::golden(std::string("calibration/golden/tiny_") + name))
            << name;
    const std::string observations = dir.read("0_obs.log");
    EXPECT_EQ(observations.substr(0, observations.find("\n\n\n") + 3),
              "-------------------------------------------------------\n"
              "Event    weight     peak       weight      volume\n"
              "1       1.00    0.02        1.00     10.00     \n\n\n");
    const std::string working = dir.read("0_hmle.dat");
    EXPECT_EQ(working.substr(0, working.find("---") + 56),
              test::golden("calibration/golden/tiny_hmle_first.txt"));
    for (const char* name : {"0001_out.otl", "0038_out.otl", "0000_out.otl"})
        EXPECT_TRUE(dir.exists(name)) << name;
    EXPECT_FALSE(dir.exists("0039_out.otl"));
}

// The same seed gives the same search with one worker and with two.
TEST(Calibration, SameSeedSameFilesWithOneOrTwoWorkers) {
    TempDir one, two;
    for (const TempDir* dir : {&one, &two}) write_search(*dir, "60 5 0.0001 3 21 0 2");
    ASSERT_TRUE(calibrate_in(one, 1));
    ASSERT_TRUE(calibrate_in(two, 2));
    EXPECT_EQ(one.read("sce_output.dat"), two.read("sce_output.dat"));
    EXPECT_EQ(one.read("best.out"), two.read("best.out"));
}

// Roughness bounds that reach below zero: the simulations of those points stop
// at set-up, score worst, and the search goes on to a point that runs.
TEST(Calibration, FailedSimulationsDoNotStopTheSearch) {
    TempDir dir;
    write_search(dir, "40 5 0.0001 2 3 0 2", "0.1 -0.2 0.2");
    ASSERT_TRUE(calibrate_in(dir, 2)) << dir.read("console.txt");
    EXPECT_NE(dir.read("console.txt").find("failed with error"), std::string::npos);
    EXPECT_NE(dir.read("0000_log_file.txt").find("     inf  : "), std::string::npos);
    EXPECT_GT(best_value(dir.read("best.out"), 1), 0.0);
}

// Twenty draws of the Monte Carlo search from a fixed generator state: the
// best point beats the first draw.
TEST(Calibration, MonteCarloImprovesOnItsFirstDraw) {
    TempDir dir;
    write_synthetic_watershed(dir);
    observe_truth(dir);
    dir.write("mc.in", "p.prj\nparams.txt\nobs.txt\n2\n0.01 0.2\n0.1 3.0\n");
    std::FILE* console = std::fopen((dir.path() / "console.txt").c_str(), "w");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    {
        RunContext reader;
        MonteCarlo search(20, "mc.in", McRunRecord{}, reader);
        std::srand(17);
        ScoreHistory history;
        SimulationObjective objective(calibration_setup(2, console, console), search.project_file(),
                                      search.parameter_file(), search.observations(), history);
        ASSERT_TRUE(search.run(objective));
        search.report(console);
        EXPECT_EQ(history.size(), 20u);
    }
    fs::current_path(before);
    std::fclose(console);
    const std::string log = dir.read("log_file_p0.log");
    const double first = std::stod(log);
    const std::string best = dir.read("best.out");
    EXPECT_LT(std::fabs(std::stod(best)), std::fabs(first)) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 20);
}

}  // namespace
}  // namespace torva

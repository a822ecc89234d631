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
#include <vector>

#include "calibration/calibration_state.hpp"
#include "calibration/monte_carlo.hpp"
#include "calibration/sce_mode.hpp"
#include "calibration/synthetic_watershed.hpp"
#include "core/context.hpp"
#include "grid/raster_library.hpp"
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

// The search finds the roughness and conductivity that made the observations:
// from the event's peak and volume (HMLE) to 2 %, from the whole outlet
// hydrograph (Nash-Sutcliffe, Kling-Gupta) to 1 %.
TEST(Calibration, SceRecoversRoughnessAndConductivity) {
    const struct {
        const char* objective;
        double tolerance;
    } cases[] = {{"", 0.02}, {"OBJECTIVE NSE\n", 0.01}, {"OBJECTIVE KGE\n", 0.01}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.objective);
        TempDir dir;
        write_search(dir, "3000 5 0.0001 2 7 0 2");
        if (*c.objective) {
            observe_truth_hydrograph(dir, "obs.txt");
            dir.write("sce.in", dir.read("sce.in") + c.objective);
        } else {
            observe_truth(dir);
        }
        ASSERT_TRUE(calibrate_in(dir, 2)) << dir.read("console.txt");
        const std::string best = dir.read("best.out");
        EXPECT_NEAR(best_value(best, 1), kTrueRoughness, c.tolerance * kTrueRoughness) << best;
        EXPECT_NEAR(best_value(best, 2), kTrueConductivity, c.tolerance * kTrueConductivity)
            << best;
        // The best point ran once more as an ordinary simulation.
        EXPECT_TRUE(dir.exists("0000_out.otl"));
    }
}

// A tiny search (two loops of two complexes) on one worker: every file in its
// layout. Each evaluation wrote its own numbered files and console log into
// calibration_runs/, the best point's ordinary run its files with 0000_ in
// the working folder; the console has one progress line per loop. With
// KEEP_RUNS BEST an evaluation's files go once it is scored.
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
    for (const char* name :
         {"calibration_runs/0001_out.otl", "calibration_runs/0038_out.otl", "0000_out.otl"})
        EXPECT_TRUE(dir.exists(name)) << name;
    EXPECT_FALSE(dir.exists("calibration_runs/0039_out.otl"));
    EXPECT_FALSE(dir.exists("0001_out.otl"));
    // The simulations' own lines are in their logs, not on the console.
    EXPECT_NE(dir.read("calibration_runs/0001_console.log").find("Run time:"), std::string::npos);
    const std::string console = dir.read("console.txt");
    EXPECT_EQ(console.find("Run time:"), console.rfind("Run time:")) << console;
    for (const char* line :
         {"\nLoop 0: 10 evaluations, best objective ", "\nLoop 1: 21 evaluations, best objective ",
          "\nLoop 2: 38 evaluations, best objective "})
        EXPECT_NE(console.find(line), std::string::npos) << line << console;

    TempDir best_only;
    write_search(best_only, "30 5 0.0001 2 7 0 2");
    best_only.write("sce.in", best_only.read("sce.in") + "KEEP_RUNS BEST\nRUN_FOLDER runs\n");
    ASSERT_TRUE(calibrate_in(best_only, 1)) << best_only.read("console.txt");
    EXPECT_EQ(best_only.read("sce_output.dat"), dir.read("sce_output.dat"));
    EXPECT_FALSE(best_only.exists("runs/0001_out.otl"));
    EXPECT_FALSE(best_only.exists("runs/0001_console.log"));
    EXPECT_TRUE(best_only.exists("0000_out.otl"));
}

// The regular files under `folder`, relative to it, in name order.
std::vector<std::string> files_under(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two workers with a depth map series in each raster form: with KEEP_RUNS
// ALL every evaluation's series is in the run folder, with KEEP_RUNS BEST not
// one file of an evaluation that ran is left there, while the best point's
// run keeps its series.
TEST(Calibration, KeepBestRemovesEveryEvaluationsMaps) {
    struct Form {
        const char* map_type;
        const char* depth;      // the DEPTH card's file or folder
        const char* first_map;  // evaluation 1's first map in the run folder
        const char* best_map;   // the best point's in the working folder
    };
    const std::vector<Form> forms =
        raster_library_built()
            ? std::vector<Form>{{"6", "maps", "maps/0001_depth.0001.tif",
                                 "maps/0000_depth.0001.tif"},
                                {"5", "depth.nc", "0001_depth.nc", "0000_depth.nc"}}
            : std::vector<Form>{
                  {"0", "maps", "maps/0001_depth.0001.asc", "maps/0000_depth.0001.asc"}};
    for (const Form& form : forms) {
        for (const char* keep : {"ALL", "BEST"}) {
            SCOPED_TRACE(std::string("MAP_TYPE ") + form.map_type + ", KEEP_RUNS " + keep);
            TempDir dir;
            write_search(dir, "30 5 0.0001 2 7 0 2");
            dir.write("p.prj", dir.read("p.prj") + "MAP_TYPE " + form.map_type + "\nDEPTH " +
                                   form.depth + "\n");
            dir.write("sce.in", dir.read("sce.in") + "KEEP_RUNS " + keep + "\n");
            fs::create_directory(dir.path() / "maps");  // for the best point's ordinary run
            ASSERT_TRUE(calibrate_in(dir, 2)) << dir.read("console.txt");
            const std::vector<std::string> left = files_under(dir.path() / "calibration_runs");
            if (std::string(keep) == "ALL") {
                EXPECT_NE(std::find(left.begin(), left.end(), form.first_map), left.end());
                EXPECT_GE(left.size(), 38u * 3);  // hydrograph, console log and map(s) of each
            } else {
                EXPECT_EQ(left, std::vector<std::string>{});
            }
            EXPECT_TRUE(dir.exists(form.best_map)) << form.best_map;
        }
    }
}

// The same seed gives the same search with one worker and with two, with map
// series written by every evaluation or none: each evaluation numbers its
// maps (calibration_runs/maps/0005_depth.0001.tif), so none is written by two
// simulations at once.
TEST(Calibration, SameSeedSameFilesWithAnyWorkersAndMaps) {
    const std::string maps =
        raster_library_built() ? "MAP_TYPE 6\nDEPTH maps\n" : "MAP_TYPE 0\nDEPTH maps\n";
    const std::string first_map = raster_library_built()
                                      ? "calibration_runs/maps/0005_depth.0001.tif"
                                      : "calibration_runs/maps/0005_depth.0001.asc";
    const struct {
        int workers;
        bool maps;
    } cases[] = {{1, false}, {1, true}, {2, true}, {2, false}};
    std::string reference_output, reference_best;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.workers) + (c.maps ? " workers, maps" : " workers"));
        TempDir dir;
        write_search(dir, "60 5 0.0001 3 21 0 2");
        if (c.maps) {
            dir.write("p.prj", dir.read("p.prj") + maps);
            fs::create_directory(dir.path() / "maps");  // for the best point's ordinary run
        }
        ASSERT_TRUE(calibrate_in(dir, c.workers)) << dir.read("console.txt");
        EXPECT_EQ(dir.exists(first_map), c.maps);
        if (reference_output.empty()) {
            reference_output = dir.read("sce_output.dat");
            reference_best = dir.read("best.out");
            continue;
        }
        EXPECT_EQ(dir.read("sce_output.dat"), reference_output);
        EXPECT_EQ(dir.read("best.out"), reference_best);
    }
}

// A search none of whose simulations runs has no best point: it stops after
// the initial population, says so, writes no best.out and fails.
TEST(Calibration, SearchWhoseEverySimulationFailsFails) {
    TempDir dir;
    write_search(dir, "40 5 0.0001 2 3 0 2", "-0.2 -0.3 -0.1");
    EXPECT_FALSE(calibrate_in(dir, 2));
    EXPECT_NE(dir.read("console.txt")
                  .find("Error: every simulation of the initial population failed; the search "
                        "stops.\nError: unable to successfully run the SCE method\n"),
              std::string::npos)
        << dir.read("console.txt");
    EXPECT_FALSE(dir.exists("best.out"));
}

// Roughness bounds that reach below zero: the simulations of those points stop
// at set-up, score worst, and the search goes on to a point that runs.
// With KEEP_RUNS BEST the runs that ran leave nothing in the run folder, and
// each failed one leaves the console log its line names.
TEST(Calibration, FailedSimulationsDoNotStopTheSearch) {
    for (const char* keep : {"ALL", "BEST"}) {
        SCOPED_TRACE(keep);
        TempDir dir;
        write_search(dir, "40 5 0.0001 2 3 0 2", "0.1 -0.2 0.2");
        dir.write("sce.in", dir.read("sce.in") + "KEEP_RUNS " + keep + "\n");
        ASSERT_TRUE(calibrate_in(dir, 2)) << dir.read("console.txt");
        const std::string console = dir.read("console.txt");
        EXPECT_NE(console.find("failed with error"), std::string::npos);
        EXPECT_NE(dir.read("0000_log_file.txt").find("     inf  : "), std::string::npos);
        EXPECT_GT(best_value(dir.read("best.out"), 1), 0.0);
        if (std::string(keep) == "ALL")
            continue;
        // Every file left is the log of a failed run, which says why it failed.
        std::vector<std::string> failed_logs;
        for (std::size_t at = console.find("(see "); at != std::string::npos;
             at = console.find("(see ", at + 1))
            failed_logs.push_back(console.substr(at + 5, console.find(')', at) - at - 5));
        std::sort(failed_logs.begin(), failed_logs.end());
        ASSERT_FALSE(failed_logs.empty()) << console;
        std::vector<std::string> left = files_under(dir.path() / "calibration_runs");
        for (std::string& name : left) name = "calibration_runs/" + name;
        EXPECT_EQ(left, failed_logs);
        EXPECT_NE(dir.read(failed_logs.front()).find("Error"), std::string::npos);
    }
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

// Calibration across processes: the built program under mpirun with three
// ranks, against the same calibration on one worker in this process.

#ifdef TORVA_WITH_MPI

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "calibration/synthetic_watershed.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using namespace test;

int mpirun_in(const TempDir& dir, const std::string& args) {
    const std::string command = "cd '" + dir.path().string() +
                                "' && mpirun --allow-run-as-root -np 3 --oversubscribe '" +
                                TORVA_BINARY "' " + args + " > console.txt 2>&1";
    return std::system(command.c_str());
}

void write_search(const TempDir& dir) {
    write_synthetic_watershed(dir);
    dir.write("obs.txt", "1\n0.02 1 10.0 1\n");
    dir.write("sce.in",
              "p.prj\nparams.txt\nobs.txt\n60 5 0.0001 3 21 0 2\n0 0 0 0 0 0\n"
              "0.1 0.01 0.2\n0.5 0.1 3.0\n");
}

// Three ranks with map series on give the search of one worker without them.
TEST(MpiCalibration, ThreeRanksWriteTheFilesOfOneWorker) {
    TempDir ranks, alone;
    write_search(ranks);
    ranks.write("p.prj", ranks.read("p.prj") + "MAP_TYPE 0\nDEPTH maps\n");
    std::filesystem::create_directory(ranks.path() / "maps");  // for the best point's own run
    write_search(alone);
    ASSERT_EQ(mpirun_in(ranks, "-c sce.in"), 0) << ranks.read("console.txt");
    ASSERT_TRUE(calibrate_in(alone, 1));
    EXPECT_EQ(ranks.read("sce_output.dat"), alone.read("sce_output.dat"));
    EXPECT_EQ(ranks.read("best.out"), alone.read("best.out"));
    // The workers (ranks 1 and 2) wrote their own observation logs.
    EXPECT_TRUE(ranks.exists("1_obs.log"));
    EXPECT_TRUE(ranks.exists("2_obs.log"));
    EXPECT_FALSE(ranks.exists("0_obs.log"));
    EXPECT_TRUE(ranks.exists("calibration_runs/maps/0001_depth.0001.asc"));
}

// Workers started in an empty folder, as on a cluster without a shared
// working folder: the master names each worker's missing file and the run
// fails instead of scoring every point worst.
TEST(MpiCalibration, WorkersThatCannotSetUpStopTheSearch) {
    TempDir master, empty;
    write_search(master);
    const std::string command =
        "cd '" + master.path().string() +
        "' && mpirun --allow-run-as-root --oversubscribe -np 1 '" TORVA_BINARY
        "' -c sce.in : -np 2 --wdir '" +
        empty.path().string() + "' '" TORVA_BINARY "' -c sce.in > console.txt 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    const std::string console = master.read("console.txt");
    for (const char* said : {"Error: calibration worker rank 1 could not set up in ",
                             "Error: calibration worker rank 2 could not set up in ",
                             "Can't open SCE input file sce.in\n"})
        EXPECT_NE(console.find(said), std::string::npos) << said << console;
    EXPECT_FALSE(master.exists("best.out"));
}

// Nine runs divided among three ranks, each logging its own three; rank 0
// reports the best of all nine.
TEST(MpiCalibration, MonteCarloRunsAreDividedAndTheBestReduced) {
    TempDir dir;
    write_synthetic_watershed(dir);
    observe_truth(dir);
    dir.write("mc.in", "p.prj\nparams.txt\nobs.txt\n2\n0.01 0.2\n0.1 3.0\n");
    ASSERT_EQ(mpirun_in(dir, "-m9 mc.in"), 0) << dir.read("console.txt");
    double smallest = INFINITY;
    for (const char* name : {"log_file_p0.log", "log_file_p1.log", "log_file_p2.log"}) {
        std::istringstream log(dir.read(name));
        int lines = 0;
        for (std::string line; std::getline(log, line); ++lines)
            smallest = std::fmin(smallest, std::fabs(std::stod(line)));
        EXPECT_EQ(lines, 3) << name;
    }
    EXPECT_DOUBLE_EQ(std::fabs(std::stod(dir.read("best.out"))), smallest);
    for (int run = 1; run <= 9; ++run) {
        char name[32];
        std::snprintf(name, sizeof name, "calibration_runs/%04d_out.otl", run);
        EXPECT_TRUE(dir.exists(name)) << name;
    }
}

// A plain run of the MPI build never starts MPI, whose runtime refuses a
// file-size limit: the run goes through under one.
TEST(MpiCalibration, PlainRunsDoNotStartMpi) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY s.txt\n");
    const std::string command = "cd '" + dir.path().string() +
                                "' && ulimit -f 4000 && '" TORVA_BINARY
                                "' p.prj > console.txt 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << dir.read("console.txt");
    EXPECT_NE(dir.read("console.txt").find("Run time:"), std::string::npos);
}

}  // namespace
}  // namespace torva

#endif

// Batch runs of the built program whose project lines carry replacement
// values: each run takes its own line of the value file and writes its own
// numbered output files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::TempDir;

// Runs `torva args` in the folder and returns its console output; the
// program's status tells whether every run was clean.
std::string run_torva(const TempDir& dir, const std::string& args, bool expect_clean = true) {
    const std::string command = "cd '" + dir.path().string() + "' && '" TORVA_BINARY "' " + args +
                                " > console.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    if (expect_clean)
        EXPECT_EQ(status, 0) << command;
    return dir.read("console.txt");
}

// The small project with its name, length and roughness given by tags.
void write_replaced_project(const TempDir& dir, const std::string& folder_card = "") {
    test::write_small_project(dir, "SUMMARY summary_[NAME].txt\n" + folder_card);
    std::string project = dir.read("p.prj");
    project.replace(project.find("TOT_TIME 10"), 11, "TOT_TIME [T]");
    project.replace(project.find("MANNING_N 0.05"), 14, "MANNING_N [N]");
    project.replace(project.find("\n") + 1, 0,
                    "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\n");
    dir.write("p.prj", project);
    dir.write("params.txt", "3\n[NAME] %s\n[T] %d\n[N] \"%5.3lf\"\n");
    dir.write("values.txt", "first 10 0.05\nsecond 20 0.06\nthird 30 0.07\n");
}

std::string value_report(const std::string& name, const std::string& minutes,
                         const std::string& roughness) {
    return "\nUsing replacement values:\n"
           "  [NAME]         = " +
           name + "\n  [T]            = " + minutes + "\n  [N]            = " + roughness + "\n\n";
}

// Four runs over three value lines: the numbered files go to the
// REPLACE_FOLDER, which projects from the host end with a backslash; the run
// beyond the last value line stops before writing anything.
TEST(BatchReplacement, EachRunTakesItsValueLineAndNumbersItsFiles) {
    TempDir dir;
    write_replaced_project(dir, "REPLACE_FOLDER \"results\\\"\n");
    std::filesystem::create_directory(dir.path() / "results");
    const std::string console = run_torva(dir, "-b4 p.prj", false);
    EXPECT_NE(console.find("TORVA is running in batch mode, and is running 4 runs...\n"),
              std::string::npos);
    // The replaced TOT_TIME sets each run's length, in run order.
    std::size_t at = 0;
    for (const char* minutes : {"10", "20", "30"}) {
        at = console.find("simulation duration " + std::string(minutes) + " minutes\n", at);
        ASSERT_NE(at, std::string::npos) << minutes << console;
    }
    EXPECT_NE(console.find("Error: the value file values.txt has no line 4\n"), std::string::npos);
    // The fourth run ends after reading its project: three runs went on to the time loop.
    std::size_t runs = 0;
    for (at = console.find("Running....\n"); at != std::string::npos;
         at = console.find("Running....\n", at + 1))
        ++runs;
    EXPECT_EQ(runs, 3u);

    // The replaced SUMMARY name, with the run number in front.
    const char* names[] = {"first", "second", "third"};
    const char* minutes[] = {"10", "20", "30"};
    const char* roughness[] = {"0.050", "0.060", "0.070"};
    for (int run = 0; run < 3; ++run) {
        const std::string prefix = "results/000" + std::to_string(run) + "_";
        const std::string summary = dir.read(prefix + "summary_" + names[run] + ".txt");
        EXPECT_NE(summary.find(value_report(names[run], minutes[run], roughness[run])),
                  std::string::npos)
            << summary;
        EXPECT_NE(summary.find("\nTotal times a value was replaced: 3\n\n"), std::string::npos);
        EXPECT_TRUE(dir.exists(prefix + "maskmap")) << prefix << "maskmap";
    }
    EXPECT_EQ(dir.read("results/0000_maskmap"), dir.read("results/0002_maskmap"));
    for (const char* absent : {"maskmap", "0000_maskmap", "results/0003_maskmap"})
        EXPECT_FALSE(dir.exists(absent)) << absent;
    // Each run appends its time, the one refused as well.
    const std::string times = dir.read("out_time.dat");
    EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), 4);
    EXPECT_EQ(times.rfind("total time (s): ", 0), 0u);
}

}  // namespace
}  // namespace torva

// Whole simulations through the run driver: the initialisation sequence, the
// time loop to the end of the period, the closing lines and the exit status.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "core/context.hpp"
#include "run/driver.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::golden;
using test::normalise;
using test::run_program_in;
using test::TempDir;

TEST(RunDriver, MissingProjectFileEndsTheRunWithCodeThree) {
    TempDir dir;
    const auto run = run_program_in(dir.path(), {"absent.prj"});
    EXPECT_EQ(normalise(run.out), golden("run/golden/missing_project.txt"));
    EXPECT_EQ(run.err, "Error opening project file named: absent.prj\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(dir.read("out_time.dat").rfind("total time (s): ", 0), 0u);
}

TEST(RunDriver, HeaderWithCarriageReturnGetsTheDos2unixHint) {
    TempDir dir;
    dir.write("p.prj", "TORVAPROJECT\r\nTIMESTEP 30\r\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.err,
              "File Does not Appear to be a Valid TORVA/KELDOR Project file\n"
              "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
              "TORVA Terminating....\n");
    EXPECT_EQ(normalise(run.out),
              "Parallel version of TORVA (4.0a) with SCE (OpenMP), N total threads.\n"
              "reading run parameters from project file: p.prj\n\nRun time: T(s) \n");
    EXPECT_EQ(run.status, 1);
}

TEST(RunDriver, UniformRainRunReachesTheEndOfItsPeriod) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY summary.txt\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string out = normalise(run.out);
    EXPECT_NE(out.find("\nfinished reading project file\n"), std::string::npos);
    EXPECT_NE(out.find("total time to init(s): T\nRunning....\n"), std::string::npos);
    EXPECT_NE(out.find("Run time: T(s) \n"), std::string::npos);
    const std::string summary = dir.read("summary.txt");
    EXPECT_NE(summary.find("\n\n_________TORVA start-up information________\n"
                           "Run parameters read from ORBAL project file: p.prj\n"),
              std::string::npos);
    EXPECT_NE(summary.find("Running.... \n\n"), std::string::npos);
}

TEST(RunDriver, PhaseTimesArePrintedOnlyWhenAskedFor) {
    TempDir dir;
    test::write_small_project(dir);
    const auto quiet = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(quiet.out.find("by phase"), std::string::npos);

    ::setenv("TORVA_PHASE_TIMES", "1", 1);
    const auto timed = run_program_in(dir.path(), {"p.prj"});
    ::unsetenv("TORVA_PHASE_TIMES");
    ASSERT_EQ(timed.status, 0) << timed.out;
    const std::size_t table = timed.out.find("Wall time of the time loop by phase (s):\n");
    ASSERT_NE(table, std::string::npos) << timed.out;
    EXPECT_LT(timed.out.find("Run time:"), table);
    // The phases and the rest add up to the loop's time, to the printed digits.
    double sum = 0.0, loop = 0.0, value = 0.0;
    char name[32];
    std::istringstream lines(timed.out.substr(table));
    std::string line;
    std::getline(lines, line);
    int rows = 0;
    while (std::getline(lines, line) &&
           std::sscanf(line.c_str(), " %31[a-z ] %lf", name, &value) == 2) {
        ++rows;
        if (std::string(name).rfind("time loop", 0) == 0)
            loop = value;
        else
            sum += value;
    }
    EXPECT_EQ(rows, 9);
    EXPECT_NEAR(sum, loop, 0.005);
}

TEST(RunDriver, UniformRainRunConsoleMatchesGoldenFile) {
    TempDir dir;
    test::write_small_project(dir);
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(normalise(run.out), golden("run/golden/uniform_run.txt"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST(RunDriver, MissingHydrographIntervalWarnsOnceAndGoesOn) {
    TempDir dir;
    std::string project = test::small_project_text();
    project.erase(project.find("HYD_FREQ 5\n"), 11);
    dir.write("p.prj", project);
    test::write_small_project(dir);
    dir.write("p.prj", project);
    const auto run = run_program_in(dir.path(), {"p.prj"});
    const std::string warning =
        "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
    const std::size_t first = run.out.find(warning);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(run.out.find(warning, first + 1), std::string::npos);
    EXPECT_EQ(run.status, 0);
}

TEST(RunDriver, TimeStepLimits) {
    TempDir dir;
    test::write_small_project(dir, "", "0.001");
    const auto tiny = run_program_in(dir.path(), {"p.prj"});
    EXPECT_NE(tiny.out.find("\nError: Time step is 0 seconds.\n"), std::string::npos);
    EXPECT_EQ(tiny.out.find("Running...."), std::string::npos);
    EXPECT_EQ(tiny.status, 1);

    test::write_small_project(dir, "", "90");
    const auto long_step = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(long_step.status, 0) << long_step.out;
}

TEST(RunDriver, MissingOutletSlopeStopsTheRun) {
    TempDir dir;
    test::write_small_project(dir);
    std::string project = test::small_project_text();
    project.replace(project.find("OUTSLOPE 0.01"), 13, "OUTSLOPE 0");
    dir.write("p.prj", project);
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_NE(run.out.find("\nError: Outlet slope not specified.\n"), std::string::npos);
    EXPECT_EQ(run.status, 1);
}

TEST(RunDriver, RunTimeLineNamesThePartitionOnlyWithSeveralThreads) {
    TempDir dir;
    test::write_small_project(dir, "SUPER_QUIET\n");
    for (int threads : {1, 2}) {
        RunContext ctx;
        ctx.total_threads = threads;
        ctx.out = std::tmpfile();
        const auto before = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        EXPECT_EQ(run_simulation(ctx, "p.prj"), 0);
        std::filesystem::current_path(before);
        std::rewind(ctx.out);
        char line[256] = {};
        std::string last;
        while (std::fgets(line, sizeof line, ctx.out)) last = line;
        std::fclose(ctx.out);
        EXPECT_EQ(last.rfind(threads == 1 ? "Run time: " : "0: Run time: ", 0), 0u) << last;
    }
}

TEST(RunDriver, EndTimeBeforeTheStartEndsTheRunAfterTheFirstStep) {
    TempDir dir;
    test::write_small_project(dir, "END_TIME 2020 1 1 0 0\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0);
    const std::string out = normalise(run.out);
    EXPECT_NE(out.find("elapsed time     0.00"), std::string::npos);
    EXPECT_EQ(out.find("elapsed time     5.00"), std::string::npos) << out;
}

}  // namespace
}  // namespace torva

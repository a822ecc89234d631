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

TEST(RunDriver, HeaderWithCarriageReturnGetsTheDos2unixHint) {
    TempDir dir;
    dir.write("p.prj", "TORVAPROJECT\r\nTIMESTEP 30\r\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.err,
              "File Does not Appear to be a Valid TORVA/KELDOR Project file\n"
              "  (File: p.prj; its first line must be TORVAPROJECT)\n"
              "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
              "TORVA Terminating....\n");
    EXPECT_EQ(normalise(run.out),
              "Parallel version of TORVA (4.0a) with SCE (OpenMP), N total threads.\n"
              "reading run parameters from project file: p.prj\n\nRun time: T(s) \n");
    EXPECT_EQ(run.status, 1);
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

// The summary keeps its one-decimal peak line and adds the figure in full, so
// that the small peak of a small watershed is not read as no flow.
TEST(RunDriver, UniformRainRunReachesTheEndOfItsPeriod) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY summary.txt\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(normalise(run.out), golden("run/golden/uniform_run.txt"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    const std::string summary = dir.read("summary.txt");
    for (const char* part : {"\n\n_________TORVA start-up information________\n"
                             "Run parameters read from ORBAL project file: p.prj\n",
                             "Running.... \n\n",
                             "Event peak discharge (cubic meters per second):        0.0\n"
                             "Event peak discharge in full (cubic meters per second):  0.00"})
        EXPECT_NE(summary.find(part), std::string::npos) << part << summary;
}

TEST(RunDriver, MissingHydrographIntervalWarnsOnceAndGoesOn) {
    TempDir dir;
    test::write_small_project(dir);
    dir.write("p.prj", test::edited_project("-HYD_FREQ"));
    const auto run = run_program_in(dir.path(), {"p.prj"});
    const std::string warning =
        "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
    const std::size_t first = run.out.find(warning);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(run.out.find(warning, first + 1), std::string::npos);
    EXPECT_EQ(run.status, 0);
}

TEST(RunDriver, RunTimeLineNamesThePartitionOnlyWithSeveralThreads) {
    TempDir dir;
    test::write_small_project(dir, "SUPER_QUIET\n");
    for (int threads : {1, 2}) {
        RunContext ctx;
        ctx.total_threads = threads;
        test::Console console(ctx);
        const auto before = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        EXPECT_EQ(run_simulation(ctx, "p.prj"), 0);
        std::filesystem::current_path(before);
        const std::string out = console.text();
        const std::string last = out.substr(out.rfind('\n', out.size() - 2) + 1);
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

// The command line: option matching, run counts, the usage text, the banners
// and the exit status of every mode.

#include <gtest/gtest.h>

#include "run/modes.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::golden;
using test::normalise;
using test::run_program_in;
using test::TempDir;

const char* const kStartLine =
    "Parallel version of TORVA (4.0a) with SCE (OpenMP), N total threads.\n";

TEST(CommandLine, NoArgumentPrintsStartLineAndUsage) {
    TempDir dir;
    const auto run = run_program_in(dir.path(), {});
    EXPECT_EQ(normalise(run.out), golden("run/golden/usage.txt"));
    EXPECT_EQ(run.status, 0);
}

TEST(CommandLine, UnknownOptionOrSecondFileArgumentPrintsUsage) {
    TempDir dir;
    for (auto args :
         {std::vector<std::string>{"-x", "p.prj"}, {"p.prj", "extra"}, {"-t", "x"}, {"-tv", "x"}}) {
        const auto run = run_program_in(dir.path(), args);
        EXPECT_EQ(normalise(run.out), golden("run/golden/usage.txt")) << args[0];
        EXPECT_EQ(run.status, 0);
    }
}

TEST(CommandLine, VersionNeedsASecondArgument) {
    TempDir dir;
    const auto banner = run_program_in(dir.path(), {"-v", "x"});
    EXPECT_EQ(normalise(banner.out), golden("run/golden/version.txt"));
    EXPECT_EQ(banner.status, 0);

    // Alone, -v is the name of a project file.
    const auto alone = run_program_in(dir.path(), {"-v"});
    EXPECT_NE(alone.out.find("reading run parameters from project file: -v\n"), std::string::npos);
    EXPECT_EQ(alone.err, "Error opening project file named: -v\n");
    EXPECT_EQ(alone.status, 1);
}

TEST(CommandLine, HelpSensitivityAndDOptionsPrintOnlyTheStartLine) {
    TempDir dir;
    for (const char* option : {"-h", "-s", "-d", "-hello", "-sx"}) {
        const auto run = run_program_in(dir.path(), {option, "x"});
        EXPECT_EQ(normalise(run.out), kStartLine) << option;
        EXPECT_EQ(run.status, 0);
    }
}

TEST(CommandLine, OptionsMatchOnTheirFirstTwoCharacters) {
    RunRequest r;
    ASSERT_TRUE(parse_command_line({"-b25", "p.prj"}, r, stdout));
    EXPECT_EQ(r.mode, RunMode::batch);
    EXPECT_EQ(r.run_count, 25);
    ASSERT_TRUE(parse_command_line({"-bxyz", "p.prj", "ignored"}, r, stdout));
    EXPECT_EQ(r.mode, RunMode::batch);
    EXPECT_EQ(r.run_count, 1);
    EXPECT_EQ(r.input_file, "p.prj");
    ASSERT_TRUE(parse_command_line({"-m7", "mc.in"}, r, stdout));
    EXPECT_EQ(r.mode, RunMode::monte_carlo);
    EXPECT_EQ(r.run_count, 7);
    ASSERT_TRUE(parse_command_line({"-cfoo", "sce.in"}, r, stdout));
    EXPECT_EQ(r.mode, RunMode::sce);
    ASSERT_TRUE(parse_command_line({"-b", "p.prj"}, r, stdout));
    EXPECT_EQ(r.run_count, 1);
}

TEST(CommandLine, OverlongFileNameIsRefused) {
    TempDir dir;
    const std::string name(1024, 'p');
    const auto run = run_program_in(dir.path(), {name});
    EXPECT_NE(run.out.find("Error: the input file name is longer than 1023 characters.\n"),
              std::string::npos);
    EXPECT_EQ(run.status, 1);
    // 1023 characters still fit: the run tries to open it.
    const auto fits = run_program_in(dir.path(), {std::string(1023, 'p')});
    EXPECT_NE(fits.err.find("Error opening project file named: ppp"), std::string::npos);
}

TEST(CommandLine, CalibrationModesWithoutTheirControlFilesRunNothing) {
    TempDir dir;
    const auto sce = run_program_in(dir.path(), {"-c", "sce.in"});
    EXPECT_EQ(normalise(sce.out),
              std::string(kStartLine) +
                  "Can't open SCE input file sce.in\n"
                  "Error: unable to successufully setup SCE-UA. Unable to run.\n");
    EXPECT_EQ(sce.status, 1);
    const auto mc = run_program_in(dir.path(), {"-m5", "mc.in"});
    EXPECT_EQ(normalise(mc.out),
              std::string(kStartLine) + "Error: unable to open the Monte Carlo input file mc.in\n");
    EXPECT_EQ(mc.status, 1);
}

TEST(BatchMode, ZeroRunsPrintsOnlyTheMessage) {
    TempDir dir;
    const auto run = run_program_in(dir.path(), {"-b0", "p.prj"});
    EXPECT_EQ(normalise(run.out), std::string(kStartLine) +
                                      "TORVA is running in batch mode, and is running 0 runs...\n");
    EXPECT_EQ(run.status, 0);
}

TEST(BatchMode, EachRunNumbersItsOutputAndAppendsItsTime) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY summary.txt\n");
    const auto run = run_program_in(dir.path(), {"-b3", "p.prj"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("TORVA is running in batch mode, and is running 3 runs...\n"),
              std::string::npos);
    for (const char* summary : {"0000_summary.txt", "0001_summary.txt", "0002_summary.txt"})
        EXPECT_TRUE(dir.exists(summary)) << summary;
    EXPECT_FALSE(dir.exists("summary.txt"));
    const std::string times = dir.read("out_time.dat");
    EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), 3);
    EXPECT_EQ(times.rfind("total time (s): ", 0), 0u);
}

TEST(BatchMode, OneFailedRunFailsTheBatchButTheOthersStillRun) {
    TempDir dir;
    // Run 0 and 2 read a valid project; line 2 of the values breaks the time step.
    test::write_small_project(dir, "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\n", "[DT]");
    dir.write("params.txt", "1\n[DT] \"%g\"\n");
    dir.write("values.txt", "30\n0\n30\n");
    const auto run = run_program_in(dir.path(), {"-b3", "p.prj"});
    const std::string out = normalise(run.out);
    EXPECT_EQ(run.status, 1);
    std::size_t count = 0;
    for (std::size_t at = 0; (at = out.find("Run time: T(s)", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(count, 3u);
}

}  // namespace
}  // namespace torva

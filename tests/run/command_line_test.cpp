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

// Each command line that runs no simulation, the whole console it gives (a
// golden file under run/golden when the text ends in .txt) and the status.
TEST(CommandLine, EachLineThatRunsNoSimulationGivesItsConsoleAndStatus) {
    const std::string start = kStartLine;
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{}, "usage.txt", 0},
        {{"-x", "p.prj"}, "usage.txt", 0},
        {{"p.prj", "extra"}, "usage.txt", 0},
        {{"-t", "x"}, "usage.txt", 0},
        {{"-tv", "x"}, "usage.txt", 0},
        {{"-v", "x"}, "version.txt", 0},
        {{"-h", "x"}, start, 0},
        {{"-s", "x"}, start, 0},
        {{"-d", "x"}, start, 0},
        {{"-hello", "x"}, start, 0},
        {{"-sx", "x"}, start, 0},
        {{"-c", "sce.in"},
         start + "Can't open SCE input file sce.in\n"
                 "Error: unable to successufully setup SCE-UA. Unable to run.\n",
         1},
        {{"-m5", "mc.in"}, start + "Error: unable to open the Monte Carlo input file mc.in\n", 1},
        {{"-b0", "p.prj"}, start + "TORVA is running in batch mode, and is running 0 runs...\n", 0},
        {{"absent.prj"}, "missing_project.txt", 1},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no argument" : c.args[0]);
        const auto run = run_program_in(dir.path(), c.args);
        EXPECT_EQ(normalise(run.out),
                  c.out.ends_with(".txt") ? golden("run/golden/" + c.out) : c.out);
        EXPECT_EQ(run.status, c.status);
    }
}

TEST(CommandLine, VersionAloneIsTheNameOfAProjectFile) {
    TempDir dir;
    const auto alone = run_program_in(dir.path(), {"-v"});
    EXPECT_NE(alone.out.find("reading run parameters from project file: -v\n"), std::string::npos);
    EXPECT_EQ(alone.err, "Error opening project file named: -v\n");
    EXPECT_EQ(alone.status, 1);
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

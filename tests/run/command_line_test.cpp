// What a user meets first: the command line (option matching, run counts, the
// usage text, the banners and the exit status of every mode), the README's
// minimal project run as written, and messages that say which card to change.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

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

std::string lacking(const std::string& option, const std::string& what) {
    return "Error: option " + option + " (" + what +
           ") is not part of this version of TORVA; torva --help lists the options.\n";
}

// Each command line that runs no simulation, the whole console it gives (a
// golden file under run/golden when the text ends in .txt) and the status.
// Only the calibration modes start the processes' message library (MPI):
// a single run, a batch or the banners never pay its start-up.
TEST(CommandLine, OnlyCalibrationModesAskForCooperatingProcesses) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"-c", "sce.in"}, true},  {{"-m20", "mc.in"}, true},
        {{"-cx", "sce.in"}, true}, {{"-c"}, false},
        {{"-v", "x"}, false},      {{"p.prj"}, false},
        {{"-b2", "p.prj"}, false}, {{}, false},
        {{"-c", "a", "b"}, true},
    };
    for (const auto& [args, wanted] : cases)
        EXPECT_EQ(calibration_requested(args), wanted) << (args.empty() ? "" : args[0]);
}

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
        {{"--help"}, "usage.txt", 0},
        {{"-h"}, "usage.txt", 0},
        {{"-h", "x"}, "usage.txt", 0},
        {{"-hello", "x"}, "usage.txt", 0},
        {{"-v", "x"}, "version.txt", 0},
        // Options the usage text names but this version lacks do nothing:
        // refused, so that a script does not take them for a run.
        {{"-s", "x"}, start + lacking("-s", "sensitivity runs"), 1},
        {{"-sx", "x"}, start + lacking("-s", "sensitivity runs"), 1},
        {{"-d", "x"}, start + lacking("-d", "the -d mode"), 1},
        {{"-t", "x"}, start + lacking("-t", "the test mode"), 1},
        {{"-tv", "x"}, start + lacking("-t", "the test mode"), 1},
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

// A project file may be called -h: then it runs.
TEST(CommandLine, ProjectFileNamedLikeTheHelpOptionRuns) {
    TempDir dir;
    test::write_small_project(dir);
    std::filesystem::rename(dir.path() / "p.prj", dir.path() / "-h");
    const auto run = run_program_in(dir.path(), {"-h"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Running...."), std::string::npos);
}

// A missing project file is said on the error stream, and its run time is
// still logged; "-v" alone is the name of a project file.
TEST(CommandLine, MissingProjectFileSaysSoAndLogsItsTime) {
    for (const char* name : {"absent.prj", "-v"}) {
        TempDir dir;
        const auto run = run_program_in(dir.path(), {name});
        EXPECT_NE(run.out.find(std::string("reading run parameters from project file: ") + name),
                  std::string::npos);
        EXPECT_EQ(run.err, std::string("Error opening project file named: ") + name + "\n");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(dir.read("out_time.dat").rfind("total time (s): ", 0), 0u);
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

// The code block that follows the first mention of `name` after the README's
// minimal project begins.
std::string readme_block(const std::string& name) {
    const std::string readme = test::read_file(std::string(TORVA_TEST_DATA) + "/../README.md");
    const std::size_t section = readme.find("A minimal event run");
    const std::size_t mention = readme.find("`" + name + "`", section);
    const std::size_t start = readme.find("```\n", mention);
    const std::size_t end = readme.find("```", start + 4);
    if (section == std::string::npos || mention == std::string::npos ||
        start == std::string::npos || end == std::string::npos)
        return "";
    return readme.substr(start + 4, end - start - 4);
}

void write_readme_project(const test::TempDir& dir) {
    for (const char* name : {"minimal.prj", "mask.msk", "elevation.ele"}) {
        const std::string text = readme_block(name);
        ASSERT_FALSE(text.empty()) << "README.md has no block for " << name;
        dir.write(name, text);
    }
}

TEST(FrontDoor, ReadmeMinimalProjectRunsAsWritten) {
    test::TempDir dir;
    write_readme_project(dir);
    const test::ProgramRun run = test::run_program_in(dir.path(), {"minimal.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    // 60 mm/h for 10 minutes is 10 mm over nine cells of 100 m2: 9.0 m3.
    const std::string summary = dir.read("summary.txt");
    EXPECT_NE(summary.find("volume of rainfall to overland:            9.0\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("volume of discharge:                       8.6\n"), std::string::npos)
        << summary;
    // The outlet peaks as the rain stops.
    EXPECT_NE(dir.read("outlet.otl").find("   10.00     0.013\n"), std::string::npos);
}

// The list comes after the summary is closed and before the run-time line,
// in the order the files were first opened; numbered runs list their own
// numbered files. A run refused before its outputs lists out_time.dat only.
TEST(FrontDoor, EndOfRunListsTheFilesItWrote) {
    struct Case {
        std::vector<std::string> args;
        std::string edit;  // appended to the project
        std::string list;
    };
    const Case cases[] = {
        {{"minimal.prj"},
         "",
         "Files written:\n  summary.txt\n  outlet.otl\n  maskmap\n  out_time.dat\n"},
        {{"-b2", "minimal.prj"},
         "",
         "Files written:\n  0000_summary.txt\n  0000_outlet.otl\n  0000_maskmap\n  out_time.dat\n"
         "0: Run time:"},
        {{"-b2", "minimal.prj"},
         "",
         "Files written:\n  0001_summary.txt\n  0001_outlet.otl\n  0001_maskmap\n  out_time.dat\n"
         "0: Run time:"},
        {{"minimal.prj"}, "MAP_TYPE 4\n", "project file.\nFiles written:\n  out_time.dat\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.edit);
        test::TempDir dir;
        write_readme_project(dir);
        dir.write("minimal.prj", readme_block("minimal.prj") + c.edit);
        const test::ProgramRun run = test::run_program_in(dir.path(), c.args);
        const std::string console = test::normalise(run.out);
        const std::size_t list = run.out.find(c.list);
        ASSERT_NE(list, std::string::npos) << run.out;
        // Every listed file is there, and the run-time line follows the list.
        std::istringstream lines(run.out.substr(run.out.find("Files written:\n", list) + 15));
        for (std::string line; std::getline(lines, line) && line.starts_with("  ");)
            EXPECT_TRUE(dir.exists(line.substr(2))) << line;
        EXPECT_NE(run.out.find("Run time:", list), std::string::npos);
        EXPECT_EQ(console.find("Files written:"), std::string::npos);
    }
}

TEST(FrontDoor, MessagesSayWhichCardToChange) {
    test::expect_project_cases({
        {"-TIMESTEP",
         "Give the model step in seconds, more than 0, on the TIMESTEP card of the project file."},
        {"-OUTSLOPE",
         "Give the slope at the outlet, more than 0, on the OUTSLOPE card of the project file."},
        {"-MAP_FREQ", "Give the MAP_FREQ card (minutes) in the project file", 0},
        {"MAP_TYPE 4", "MAP_TYPE 4 asks for QDAT files; give MAP_TYPE 0, 1 or 2"},
        {"-MANNING_N",
         "Give MANNING_N (more than 0), a ROUGHNESS map, or a roughness table in the "
         "MAPPING_TABLE file."},
        {"NUM_THREADS 0", "NUM_THREADS takes 1 or more threads", 0},
        {"-WATERSHED_MASK",
         "Error: the project file gives no WATERSHED_MASK card; name the watershed mask map "
         "there."},
        {"-ELEVATION",
         "Error: the project file gives no ELEVATION card; name the elevation map there."},
        {"GRIDSIZE 20", "(The grid size is the GRIDSIZE card.)"},
        {"TIMESTEP 0.001", "\nError: Time step is 0 seconds.\n"},
        {"TIMESTEP 90", "Running....", 0},
        {"OUTSLOPE 0", "\nError: Outlet slope not specified.\n"},
    });
}

}  // namespace
}  // namespace torva

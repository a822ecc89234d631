// What a new user meets first: the README's minimal project runs as written,
// the end of a run lists the files it wrote, and a message about a missing or
// unworkable card says which card to change.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

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
        {"-HYD_FREQ", "Give the HYD_FREQ card (minutes) in the project file", 0},
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
    });
}

}  // namespace
}  // namespace torva

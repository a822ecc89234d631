// A newcomer's first hour: a run refused at set-up leaves the outputs of an
// earlier run as they were, every slip is named where it is read, warnings
// point at what to change, and the end of the run lists what it wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run/terminal_progress.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::ProjectCase;
using test::run_program_in;
using test::TempDir;

// Every file under the folder but the run-time list, which each run extends
// by its line, with its contents.
std::map<std::string, std::string> files_in(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.is_regular_file() && entry.path().filename() != "out_time.dat")
            files[fs::relative(entry.path(), dir.path()).string()] = test::read_file(entry.path());
    return files;
}

// A gauge file of one event with two gauges and three records of 10 minutes.
std::string gauge_file(const std::string& second_record) {
    return "EVENT \"storm\"\nNRGAG 2\nNRPDS 3\nCOORD 5.0 25.0 north\nCOORD 25.0 5.0 south\n"
           "GAGES 2020 6 1 10 0 0.0 0.0\nGAGES 2020 6 1 10 10 " +
           second_record + "\nGAGES 2020 6 1 10 20 0.0 0.0\n";
}

const char* const kGaugeRain =
    "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE rain.gag\n";

// Each run is refused at a different stage of the set-up, after the maps,
// the rain, the overland set-up or the output names are read; none may touch
// the summary, hydrograph, mask map or depth maps that the run before wrote.
TEST(FirstHour, RefusedRunLeavesEveryEarlierOutputByteIdentical) {
    const std::string outputs =
        "SUMMARY out/s.txt\nOUTLET_HYDRO out/q.otl\nMAP_TYPE 0\nDEPTH maps\nMAP_FREQ 5\n";
    const struct {
        std::string edits;
        std::string message;
    } cases[] = {
        {"ELEVATION elevation_utm.ele\n", "Unable to open elevation file"},
        {std::string(kGaugeRain), "gage 2: the rain depth (mm) -40 is negative"},
        {"INITIAL_DEPTH negative.map\n", "depths cannot be negative"},
        {"SIG_OUTLET_HYDRO gone/q6.otl\n", "Error: the folder gone of output gone/q6.otl"},
        {"MAP_TYPE 1\nSURF_MOIST moist.dat\n", "only Green and Ampt with redistribution"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edits);
        TempDir dir;
        test::write_small_project(dir);
        fs::create_directory(dir.path() / "out");
        fs::create_directory(dir.path() / "maps");
        dir.write("p.prj", test::edited_project(outputs));
        const test::ProgramRun first = run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(first.status, 0) << first.out;
        const auto before = files_in(dir);
        ASSERT_TRUE(before.count("maps/depth.0002.asc") && before.count("out/q.otl") &&
                    before.count("maskmap"));

        dir.write("rain.gag", gauge_file("1.0 -40"));
        dir.write("negative.map", test::kSmallHeader + "0 0 0\n0 -0.1 0\n0 0 0\n");
        const std::string project = test::edited_project(outputs + c.edits);
        dir.write("p.prj", project);
        const test::ProgramRun refused = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.out.find(c.message), std::string::npos) << refused.out;
        auto after = files_in(dir);
        for (const char* input : {"rain.gag", "negative.map", "p.prj"}) after.erase(input);
        auto expected = before;
        expected.erase("p.prj");
        EXPECT_EQ(after, expected);
    }
}

// Values that cannot be rain, and maps or paths that do not fit, are refused
// where they are read, naming the file, the place and what to change.
TEST(FirstHour, RefusalsNameTheFileThePlaceAndTheRemedy) {
    const std::string gauges = kGaugeRain;
    std::vector<ProjectCase> cases = {
        {gauges,
         "Error: precipitation file rain.gag, line 7, event \"storm\", record 2, gage 2: the rain "
         "depth (mm) -40 is negative; rain cannot be negative.\n",
         1,
         {{"rain.gag", gauge_file("1.0 -40")}}},
        {gauges,
         "Error: precipitation file rain.gag, line 7, event \"storm\", record 2, gage 1: the rain "
         "depth (mm) nan is not a finite number.\n",
         1,
         {{"rain.gag", gauge_file("nan 1.0")}}},
        {gauges,
         "Error: precipitation file rain.gag, line 7, event \"storm\", record 2, gage 2: the rain "
         "depth (mm) 1e999 is not a finite number.\n",
         1,
         {{"rain.gag", gauge_file("1.0 1e999")}}},
        {gauges,
         "Error: precipitation file rain.gag, line 7, event \"storm\", record 2, gage 2: the rain "
         "depth (mm) x2 is not a number.\n",
         1,
         {{"rain.gag", gauge_file("1.0 x2")}}},
        {gauges,
         "has Windows line ends (a carriage return after NRGAG's number); perhaps issue a "
         "'dos2unix' command on the file.\nCheck the format of the rainfall input file.\n\n"
         "Note: rain.gag (the input file of card PRECIP_FILE) has Windows line ends; perhaps run "
         "'dos2unix rain.gag' and try again.\n",
         1,
         {{"rain.gag", "EVENT \"storm\"\r\nNRGAG 2\r\nNRPDS 1\r\n"}}},
        {"ELEVATION wide.ele\n",
         "Incorrect number of rows and columns in map: wide.ele\n"
         "  The map has 2 rows and 4 columns; the grid has 3 rows and 3 "
         "columns. Change ROWS and COLS in the project file",
         1,
         {{"wide.ele",
           "north: 30\nsouth: 10\neast: 40\nwest: 0\nrows: 2\ncols: 4\n"
           "1 1 1 1\n1 1 1 1\n"}}},
        {"ELEVATION data/elevation.ele\n",
         "  data/elevation.ele (the input file of card ELEVATION)\n"},
        {"SUMMARY results/s.txt\n",
         "Error: the folder results of output results/s.txt (card SUMMARY) does not exist.\n"
         "Paths are relative to the folder the program runs in, "},
    };
    test::expect_project_cases(cases);
}

// Warnings that let the run go on but say what is wrong, on the last screen
// where a newcomer looks.
TEST(FirstHour, WarningsPointAtWhatToChange) {
    std::vector<ProjectCase> cases = {
        {"OUTROW 2\n",
         "Warning: the outlet (OUTROW 2, OUTCOL 2) is not on the edge of the watershed mask; "
         "water leaves the watershed only there, so the cells around it keep their water.\n"
         "  The lowest cell on the edge of the mask is row 3, column 2 (elevation 9.90 m); give "
         "it with OUTROW and OUTCOL.\n",
         0},
        {"OUTLET_HYDROGRAPH out.otl\nSUMMARY s.txt\n",
         "Cards ignored (not known to this version):\n"
         "  line 20 of p.prj: OUTLET_HYDROGRAPH (did you mean OUTLET_HYDRO?)\n"
         "Files written:\n  s.txt\n",
         0},
        {"WATERSHED_MASKS mask.msk\nPRECIP_UNIFORM\n",
         "Cards ignored (not known to this version):\n"
         "  line 20 of p.prj: WATERSHED_MASKS (did you mean WATERSHED_MASK?)\n"
         "  line 21 of p.prj: PRECIP_UNIFORM (did you mean PRECIP_UNIF?)\n",
         0},
    };
    test::expect_project_cases(cases);
}

// The end of a run lists a map series as one line with its count.
TEST(FirstHour, FilesWrittenListsMapSeriesWithTheirCount) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY s.txt\nMAP_TYPE 0\nDEPTH maps\nMAP_FREQ 5\n");
    fs::create_directory(dir.path() / "maps");
    const test::ProgramRun run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    // Maps fall due on the second step and every 5 minutes (10 steps) after
    // it: steps 1, 11 and 21 of a 10-minute run.
    EXPECT_NE(run.out.find("Files written:\n  s.txt\n  maskmap\n  maps/depth.*.asc (3 files)\n"
                           "  out_time.dat\n"),
              std::string::npos)
        << run.out;
}

TEST(FirstHour, ProgressLineGivesModelTimeShareWallTimeAndTimeLeft) {
    EXPECT_EQ(progress_text(6, 1, 2020, 10, 30, 0, 0.45, 12.0),
              "model time  6/01/2020 10:30:00   45.0%  wall 0:12  left ~0:15");
    EXPECT_EQ(progress_text(12, 31, 2021, 23, 59, 59, -1.0, 4000.0),
              "model time 12/31/2021 23:59:59  wall 1:06:40");
}

}  // namespace
}  // namespace torva

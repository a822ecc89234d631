// Initial overland depths and the overland hot start, end to end: a run
// continued from the depths another run left ends with the depths and the
// hydrograph of the whole run, and the water a run starts with counts as
// initial surface storage.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::figure;
using test::TempDir;

struct Case {
    const char* scheme;
    int step, rain;  // s, mm/h
};

// The small project (3 x 3 cells of 10 m draining south, impervious, rain
// from 10:00) run with the scheme, writing its summary and hydrograph under
// its own name.
void write_project(const TempDir& dir, const std::string& name, const Case& c,
                   const std::string& start_time, int total_minutes, int rain_minutes,
                   const std::string& extra) {
    std::ostringstream edits;
    edits << "OVERTYPE " << c.scheme << "\nTIMESTEP " << c.step << "\nTOT_TIME " << total_minutes
          << "\nSTART_TIME " << start_time << "\nRAIN_INTENSITY " << c.rain << "\nRAIN_DURATION "
          << rain_minutes << "\nSUMMARY " << name << ".sum\nOUTLET_HYDRO " << name << ".otl\n"
          << extra;
    test::write_small_project(dir);
    dir.write(name, test::edited_project(edits.str()));
}

// The discharge column of an outlet hydrograph, as printed.
std::vector<std::string> discharges(const std::string& text) {
    std::vector<std::string> column;
    std::istringstream in(text);
    std::string time, discharge;
    while (in >> time >> discharge) column.push_back(discharge);
    return column;
}

// Sixty minutes against its first thirty minutes (ending with a hot start)
// followed by thirty from 10:30 started from that hot start. The rain falls
// in the first half only, so that both halves rain as the whole run does. Both
// start with 0.2 m of water on the centre cell, 0.2 * 100 = 20 m3 of initial
// surface storage. A run ends after the step that passes TOT_TIME minutes
// (rain stops at TOT_TIME): TOT_TIME 58 at 60 s is 60 steps and 28 is 30; at
// 30 s, 59 is 120 steps and 29 is 60. Both halves hold an even number of
// steps, so the ADE sweep order (which alternates every step) starts the
// second half as the whole run reaches it. The explicit scheme keeps a cut
// step for four more steps, which a hot start does not carry: its case rains
// so that no cut is in force at 10:30. Then the second half ends with every
// digit of the whole run's depths, the two hydrographs are the same, and each
// balance closes on its initial storage.
// A gauge that records no rain from 10:30: the second half runs on the water
// the first left.
const char* const kDryHalfHour =
    "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 15 -15\nGAGES 2020 6 1 10 30 0.0\n"
    "GAGES 2020 6 1 11 0 0.0\n";

TEST(OverlandHotStart, ARunContinuedFromItsHotStartEndsAsTheWholeRun) {
    const Case cases[] = {{"ade", 60, 100}, {"ade-pc", 60, 100}, {"explicit", 30, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + " at " + std::to_string(c.step) + " s");
        TempDir dir;
        const int half = c.step == 60 ? 28 : 29;
        const std::string start = "INITIAL_DEPTH depth.map\nWRITE_OV_HOTSTART ";
        write_project(dir, "whole.prj", c, "10 0", half + 30, half, start + "whole.hot\n");
        write_project(dir, "first.prj", c, "10 0", half, half, start + "first.hot\n");
        write_project(dir, "second.prj", c, "10 30", half, 10,
                      "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE dry.gag\n"
                      "READ_OV_HOTSTART first.hot\nWRITE_OV_HOTSTART second.hot\n");
        dir.write("dry.gag", kDryHalfHour);
        dir.write("depth.map", test::kSmallHeader + "0 0 0\n0 0.2 0\n0 0 0\n");
        for (const char* project : {"whole.prj", "first.prj", "second.prj"}) {
            const test::ProgramRun run = test::run_program_in(dir.path(), {project});
            ASSERT_EQ(run.status, 0) << project << "\n" << run.out;
            EXPECT_NE(run.out.find(project[0] == 's'
                                       ? "reading overland hot start depths from file: first.hot\n"
                                       : "reading initial overland depths from file: depth.map\n"),
                      std::string::npos);
        }
        EXPECT_EQ(dir.read("second.hot"), dir.read("whole.hot"));
        std::vector<std::string> halves = discharges(dir.read("first.prj.otl"));
        const std::vector<std::string> second = discharges(dir.read("second.prj.otl"));
        halves.insert(halves.end(), second.begin(), second.end());
        EXPECT_EQ(halves, discharges(dir.read("whole.prj.otl")));
        ASSERT_EQ(halves.size(), 12u);
        const std::string first_summary = dir.read("first.prj.sum");
        const std::string second_summary = dir.read("second.prj.sum");
        EXPECT_EQ(figure(first_summary, "Initial volume on surface="), 20.0);
        EXPECT_EQ(figure(second_summary, "Initial volume on surface="),
                  figure(first_summary, "Final volume on surface="));
        EXPECT_NE(figure(second_summary, "Initial volume on surface="), 0.0);
        for (const std::string& summary : {first_summary, second_summary})
            EXPECT_EQ(figure(summary, "Overall mass balance error ="), 0.0) << summary;
    }
}

// Depth maps and hot start files that cannot be used stop the run by name.
TEST(OverlandHotStart, UnusableDepthFilesStopTheRunNamingThem) {
    const struct {
        std::string cards;
        std::string message;
    } cases[] = {
        {"INITIAL_DEPTH negative.map\n",
         "Error: the initial overland depth of grid cell 6 (row 2, column 3) in negative.map is "
         "-0.1 m; depths cannot be negative.\n"},
        {"INITIAL_DEPTH depth.map\nREAD_OV_HOTSTART depth.map\n",
         "Error: both INITIAL_DEPTH and OV_INIT_DEPTH (READ_OV_HOTSTART) give the initial "
         "overland depths.  Give only one of them.\n"},
        {"OV_INIT_DEPTH missing.hot\n",
         "Error: Unable to open overland hot start file.\n  (File: missing.hot)\n"},
        {"WRITE_OV_HOTSTART no/such/folder.hot\n",
         "Error: the folder no/such of output no/such/folder.hot (card WRITE_OV_HOTSTART) does "
         "not exist.\n"},
        {"WRITE_OV_HOTSTART /dev/full\n",
         "Error: could not write the overland hot start file /dev/full: No space left on "
         "device\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cards);
        if (c.cards.find("/dev/full") != std::string::npos &&
            test::skip_without_full_device(c.cards))
            continue;
        TempDir dir;
        write_project(dir, "run.prj", {"ade", 60, 10}, "10 0", 5, 5, c.cards);
        dir.write("depth.map", test::kSmallHeader + "0 0 0\n0 0 0\n0 0 0\n");
        dir.write("negative.map", test::kSmallHeader + "0 0 0\n0 0 -0.1\n0 0 0\n");
        const test::ProgramRun run = test::run_program_in(dir.path(), {"run.prj"});
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace torva

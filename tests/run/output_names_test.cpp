// Output names that would destroy an input or another output are refused at
// set-up, before any file is opened; batch runs name their outputs by run
// number inside the output's own folder. Outputs that cannot be written stop
// the run with a message that names the file, and exit status 1.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::run_program_in;
using test::TempDir;

const char* const kAdvice =
    "Give every output a name of its own that no input has; nothing has been written.\n";

struct ClashCase {
    const char* cards;
    const char* message;  // the first line; the advice follows
};

const ClashCase kClashes[] = {
    {"SUMMARY elevation.ele\n",
     "Error: output file elevation.ele (card SUMMARY) is the input file of card ELEVATION.\n"},
    {"OUTLET_HYDRO sub/../elevation.ele\n",
     "Error: output file sub/../elevation.ele (card OUTLET_HYDRO) is the input file of card "
     "ELEVATION.\n"},
    {"SUMMARY link.ele\n",
     "Error: output file link.ele (card SUMMARY) is the input file of card ELEVATION.\n"},
    {"SIG_OUTLET_HYDRO \"p.prj\"\n",
     "Error: output file p.prj (card SIG_OUTLET_HYDRO) is the "
     "project file.\n"},
    {"SUMMARY s.txt\nOUTLET_HYDRO ./s.txt\n",
     "Error: output file ./s.txt (card OUTLET_HYDRO) is also the output file of card SUMMARY.\n"},
    {"SUMMARY new/q.txt\nORBAL_HYDRO new/../new/q.txt\n",
     "Error: output file new/../new/q.txt (card ORBAL_HYDRO) is also the output file of card "
     "SUMMARY.\n"},
    {"IN_THETA_LOCATION maps/depth.0002.asc\nOUT_THETA_LOCATION theta.txt\nMAP_TYPE 0\n"
     "DEPTH maps\n",
     "Error: output file maps/depth.0002.asc (card DEPTH, depth.NNNN.asc maps) is the input file "
     "of card IN_THETA_LOCATION.\n"},
    {"MAP_TYPE 0\nDEPTH maps\nSUMMARY maps/depth.0001.asc\n",
     "Error: output file maps/depth.0001.asc (card DEPTH, depth.NNNN.asc maps) is also the output "
     "file of card SUMMARY.\n"},
    {"MAPPING_TABLE table.cmt\nSUMMARY soils.idx\n",
     "Error: output file soils.idx (card SUMMARY) is an index map of the mapping table table.cmt "
     "(card MAPPING_TABLE).\n"},
    {"TIME_SERIES_FILE a.ts\nTIME_SERIES_FILE b.ts\nSUMMARY a.ts\n",
     "Error: output file a.ts (card SUMMARY) is the input file of card TIME_SERIES_FILE.\n"},
    {"SUMMARY out_time.dat\n",
     "Error: output file out_time.dat (the run time list) is also the output file of card "
     "SUMMARY.\n"},
};

TEST(OutputNames, ClashesAreRefusedBeforeAnythingIsWritten) {
    for (const ClashCase& c : kClashes) {
        TempDir dir;
        test::write_small_project(dir, c.cards);
        std::filesystem::create_directory(dir.path() / "sub");
        std::filesystem::create_directory(dir.path() / "maps");
        std::filesystem::create_symlink("elevation.ele", dir.path() / "link.ele");
        dir.write("maps/depth.0002.asc", "1\n2 2\n");
        dir.write(
            "table.cmt",
            "TORVA_INDEX_MAP_TABLES\nINDEX_MAP \"soils.idx\" \"Soils\"\nROUGHNESS \"Soils\"\n");
        dir.write("soils.idx",
                  "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n"
                  "1 1 1\n1 1 1\n1 1 1\n");
        for (const char* name : {"a", "b"})
            dir.write(std::string(name) + ".ts",
                      std::string("TORVA_TS\n") + name + "\nRELATIVE\n0 0 0 0 0 1.0\nEND_TS\n");
        const std::string elevation = dir.read("elevation.ele");
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1) << c.cards;
        EXPECT_NE(run.out.find(std::string(c.message) + kAdvice), std::string::npos)
            << c.cards << run.out;
        EXPECT_EQ(dir.read("elevation.ele"), elevation) << c.cards;
        EXPECT_FALSE(dir.exists("maskmap")) << c.cards;
        EXPECT_FALSE(dir.exists("s.txt")) << c.cards;
        EXPECT_FALSE(dir.exists("new")) << c.cards;
    }
}

// The mask map is written under a fixed name: an input of that name is refused.
TEST(OutputNames, TheMaskMapNeverOverwritesAnInput) {
    TempDir dir;
    test::write_small_project(dir);
    std::string project = dir.read("p.prj");
    project.replace(project.find("mask.msk"), 8, "maskmap");
    dir.write("p.prj", project);
    dir.write("maskmap", dir.read("mask.msk"));
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: output file maskmap (the mask map) is the input file of card "
                           "WATERSHED_MASK.\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(dir.read("maskmap"), dir.read("mask.msk"));
}

// Devices take any number of outputs; a numbered run writes 0000_elevation.ele,
// which is no input.
TEST(OutputNames, DevicesAndNumberedNamesDoNotClash) {
    TempDir dir;
    test::write_small_project(dir, "SUMMARY /dev/null\nOUTLET_HYDRO /dev/null\n");
    EXPECT_EQ(run_program_in(dir.path(), {"p.prj"}).status, 0);
    TempDir batch;
    test::write_small_project(batch, "SUMMARY elevation.ele\n");
    const std::string elevation = batch.read("elevation.ele");
    const auto run = run_program_in(batch.path(), {"-b1", "p.prj"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(batch.read("elevation.ele"), elevation);
    EXPECT_TRUE(batch.exists("0000_elevation.ele"));
}

// Two batch runs with their outputs in a folder: each run's files, map
// series among them, are named by its number inside the folder, and each
// takes its own line of values. The rain volume is intensity x duration x
// area: 10 mm/h x 5 min x 900 m2 = 0.75 m3 in run 0, twice that at 20 mm/h
// in run 1.
TEST(OutputNames, BatchRunsNumberTheFilesInTheirFolders) {
    TempDir dir;
    test::write_small_project(dir, "");
    std::string project = dir.read("p.prj");
    project.replace(project.find("RAIN_INTENSITY 10\n"), 18,
                    "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\nRAIN_INTENSITY [RAIN]\n"
                    "SUMMARY out/summary.txt\nOUTLET_HYDRO out/outlet.otl\nMAP_TYPE 0\n"
                    "DEPTH out\nMAP_FREQ 1\n");
    dir.write("p.prj", project);
    dir.write("params.txt", "1\n[RAIN] \"%4.1lf\"\n");
    dir.write("values.txt", "10\n20\n");
    std::filesystem::create_directory(dir.path() / "out");
    const auto run = run_program_in(dir.path(), {"-b2", "p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* name : {"out/0000_outlet.otl", "out/0001_outlet.otl", "0000_maskmap",
                             "0001_maskmap", "out/0000_depth.0001.asc", "out/0001_depth.0011.asc"})
        EXPECT_TRUE(dir.exists(name)) << name;
    EXPECT_FALSE(dir.exists("out/depth.0001.asc"));
    EXPECT_NE(run.out.find("opening file out/0001_depth.0001.asc\n"), std::string::npos);
    for (const auto& [file, volume] :
         {std::pair{"out/0000_summary.txt", 0.75}, std::pair{"out/0001_summary.txt", 1.5}})
        EXPECT_EQ(test::figure(dir.read(file), "Total amount of precip="), volume) << file;
}

std::string full_message(const std::string& path) {
    return "Error: Can't write output file: " + path + " (No space left on device)\n";
}

TEST(WriteFailures, FullDeviceStopsTheRunNamingTheFile) {
    if (!test::full_device_present())
        GTEST_SKIP() << test::kNoFullDevice;
    struct Case {
        const char* cards;
        const char* full_link;  // a file of the working folder made a link to /dev/full
        const char* shown;      // the file the message names
    };
    const Case cases[] = {
        {"SUMMARY /dev/full\n", "", "/dev/full"},
        {"SIG_OUTLET_HYDRO /dev/full\n", "", "/dev/full"},
        {"OUTLET_HYDRO q.otl\nORBAL_HYDRO /dev/full\n", "", "/dev/full"},
        {"IN_THETA_LOCATION cells.txt\nOUT_THETA_LOCATION /dev/full\n", "", "/dev/full"},
        {"SUMMARY s.txt\n", "maskmap", "maskmap"},
        {"SUMMARY s.txt\n", "out_time.dat", "out_time.dat"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        test::write_small_project(dir, c.cards);
        dir.write("cells.txt", "1\n2 2\n");
        if (*c.full_link)
            std::filesystem::create_symlink("/dev/full", dir.path() / c.full_link);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1) << c.cards << c.full_link;
        EXPECT_NE(run.out.find(full_message(c.shown)), std::string::npos)
            << c.cards << c.full_link << run.out;
    }
}

// The outlet hydrograph is flushed row by row: a full device stops the run at
// its first row, the summary says why, and the balance is never printed as
// if the run had ended well.
TEST(WriteFailures, HydrographFailureStopsTheRunAndIsInTheSummary) {
    if (!test::full_device_present())
        GTEST_SKIP() << test::kNoFullDevice;
    TempDir dir;
    test::write_small_project(dir, "SUMMARY s.txt\nOUTLET_HYDRO /dev/full\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("elapsed time     5.00"), std::string::npos) << run.out;
    const std::string summary = dir.read("s.txt");
    EXPECT_NE(summary.find(full_message("/dev/full")), std::string::npos) << summary;
    EXPECT_EQ(summary.find("Final volume on surface"), std::string::npos) << summary;
}

}  // namespace
}  // namespace torva

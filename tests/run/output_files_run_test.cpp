// Whole runs whose outputs cannot be written: each stops with a message that
// names the file, and exit status 1.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::run_program_in;
using test::TempDir;

constexpr const char* kFull = "Error: Can't write output file: %s (No space left on device)\n";

std::string full_message(const std::string& path) {
    char text[256];
    std::snprintf(text, sizeof text, kFull, path.c_str());
    return text;
}

TEST(WriteFailures, FullDeviceStopsTheRunNamingTheFile) {
    struct Case {
        const char* cards;
        const char* full_link;  // a file of the working folder made a link to /dev/full
        const char* shown;      // the file the message names
    };
    const Case cases[] = {
        {"SUMMARY /dev/full\n", "", "/dev/full"},
        {"SUMMARY s.txt\nOUTLET_HYDRO /dev/full\n", "", "/dev/full"},
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

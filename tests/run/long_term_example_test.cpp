// The README's month-long example of the valley, run as a user runs it from
// the top of the source tree (here a copy whose inputs link to the bundled
// ones), on one thread and on two.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "support/harness.hpp"
#include "support/long_term_watershed.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::figure_after;
using test::TempDir;

// The example's inputs linked into `dir`, its project copied with the thread count.
void link_valley(const TempDir& dir, int threads) {
    const fs::path examples = fs::path(TORVA_EXAMPLES) / "valley";
    const fs::path valley = dir.path() / "examples" / "valley";
    fs::create_directories(valley / "out");
    for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
        const std::string name = entry.path().filename().string();
        if (name != "out" && name != "valley_longterm.prj")
            fs::create_symlink(entry.path(), valley / name);
    }
    dir.write("examples/valley/valley_longterm.prj",
              test::read_file(examples / "valley_longterm.prj") + "NUM_THREADS " +
                  std::to_string(threads) + "\n");
}

// April 2021 on the valley: three storms (the second falls as snow in the
// cold spell and melts in the thaw), every event and the whole run balance,
// the run's totals are those of the example as shipped, and two threads give
// every figure of one.
TEST(LongTermExample, MonthOfTheValleyBalancesAndIsTheSameOnAnyThreads) {
    TempDir one, two;
    link_valley(one, 1);
    link_valley(two, 2);
    for (const TempDir* dir : {&one, &two}) {
        const test::ProgramRun run =
            test::run_program_in(dir->path(), {"examples/valley/valley_longterm.prj"});
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("simulation ended normally"), std::string::npos) << run.out;
    }
    const std::string summary = one.read("examples/valley/out/longterm_summary.txt");
    for (int event = 1; event <= 3; ++event)
        EXPECT_LT(std::fabs(figure_after(summary, "mass conservation error:", event)), 1e-3);
    EXPECT_NE(summary.find("SUMMARY- EVENT 3"), std::string::npos);
    EXPECT_LT(std::fabs(figure_after(summary, "Overall mass balance error =")), 1e-3);
    EXPECT_NE(summary.find("Weather from 3/31/2021  0:00 to 5/1/2021 23:00, 768 hours, 2 values "
                           "repaired"),
              std::string::npos);
    const struct {
        const char* label;
        double m3;
    } totals[] = {
        {"Total amount of precip=", 253049.64},
        {"Total amount of infiltration=", 182959.99},
        {"Total amount of evaporation=", 159651.78},
        {"Total evapotranspiration from soil=", 156677.40},
        {"Total amount of snowfall=", 53862.39},
        {"Total amount of snowmelt=", 53862.39},
        {"Total downward flux from unsaturated zone=", 95746.79},
        {"Total amount of discharge=", 66323.50},
    };
    for (const auto& t : totals)
        EXPECT_NEAR(figure_after(summary, t.label), t.m3, 0.005) << t.label;
    // Snow is melted by the end, and AET never exceeds PET in an hour.
    EXPECT_EQ(figure_after(summary, "Final volume of snow="), 0.0);
    std::istringstream hourly(one.read("examples/valley/out/longterm_hourly.txt"));
    std::string line;
    std::getline(hourly, line);
    int hours = 0;
    while (std::getline(hourly, line)) {
        std::istringstream words(line);
        std::string date, hour;
        double theta = 0.0, pet = 0.0, aet = 0.0;
        ASSERT_TRUE(words >> date >> hour >> theta >> pet >> aet) << line;
        EXPECT_LE(aet, pet + 1e-6) << line;
        ++hours;
    }
    EXPECT_GT(hours, 24 * 25);

    for (const char* output :
         {"examples/valley/out/longterm_hourly.txt", "examples/valley/out/longterm.otl"})
        EXPECT_EQ(one.read(output), two.read(output)) << output;
}

}  // namespace
}  // namespace torva

// Lakes on stream networks, run end to end through the program: rain and
// overland water fill them, they pass their water over a weir, the summary
// shows their lines and every balance closes, whatever the thread count; the
// reservoir of the example valley among them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "channel/y_watershed.hpp"
#include "support/grid_projects.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

// The Y watershed with a lake in place of the western branch: it may spread
// over the six cells of rows 1 and 2, columns 1 to 3 (ground 10.9 m at row
// 2, column 2, 11.0 m beside it, 11.2 and 11.3 m in row 1), and starts at
// 10.95 m over its lowest cell, the weir's crest. The land around it drains
// into it, but it gives nothing back over land, not even to the lower cell
// south of it (10.7 m): what lies below the crest stays in the lake.
using namespace test::y_watershed;
const std::string kChannels = channels(
    "LAKE\nNODES 1\nDX 20\nMINWSE 10.9\nINITWSE 10.95\nMAXWSE 11.6\n"
    "NUMPTS 6\n1 1 1 2 1 3 2 1 2 2 2 3\n",
    "10.95");
const std::string kStreamCells = stream_cells(false);

// 30 mm/h for 30 minutes of a 60-minute run at 5 s steps on the ADE scheme
// (or another).
test::ProgramRun run_lake_program(const TempDir& dir, const std::string& edits,
                                  const std::string& scheme = "ade") {
    test::write_grid_project(dir, 5, 5, 20.0,
                             "OUTROW 5\nOUTCOL 3\nTIMESTEP 5\nTOT_TIME 60\nRAIN_INTENSITY 30\n"
                             "RAIN_DURATION 30\nOVERTYPE " +
                                 scheme +
                                 "\nSUMMARY y.sum\nOUTLET_HYDRO y.otl\n"
                                 "CHANNEL_INPUT y.chn\nSTREAM_CELL y.gst\nCHAN_EXPLIC\n" +
                                 edits,
                             "", {{"elevation.ele", ground}});
    dir.write("y.chn", kChannels);
    dir.write("y.gst", kStreamCells);
    return test::run_program_in(dir.path(), {"p.prj"});
}

std::string run_lake(const TempDir& dir, const std::string& edits,
                     const std::string& scheme = "ade") {
    const test::ProgramRun run = run_lake_program(dir, edits, scheme);
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.read("y.sum");
}

using test::figure;

// Every overland scheme drains the land into the lake; LAKE_OUTPUT follows
// the lake every 10 minutes.
TEST(ChannelLakeRun, RainFillsTheLakeOverItsWeirAndEveryBalanceCloses) {
    for (const std::string scheme : {"ade", "ade-pc", "explicit"}) {
        SCOPED_TRACE(scheme);
        TempDir one, two;
        const std::string output = "HYD_FREQ 10\nLAKE_OUTPUT lakes.out\n";
        const std::string summary = run_lake(one, "NUM_THREADS 1\n" + output, scheme);
        // The lake starts with 0.05 m over its one flooded cell of 400 m2.
        EXPECT_NEAR(figure(summary, "Initial volume in perennial lakes"), 20.0, 0.005);
        // 30 mm/h for 30 minutes is 15 mm: 6 m3 on the flooded cell at least,
        // and rain to the lake never counts as rain to the overland.
        const double lake_rain = figure(summary, "Volume precip to lakes=");
        EXPECT_GE(lake_rain, 6.0 - 0.005);
        EXPECT_NEAR(figure(summary, "Total amount of precip=") + lake_rain, 25 * 400 * 0.015, 0.01);
        EXPECT_GT(figure(summary, "Volume of flow into lakes="), 1.0);
        EXPECT_GT(figure(summary, "Volume of flow from lakes="), 10.0);
        EXPECT_GT(figure(summary, "Final volume in perennial lakes"), 20.0);
        EXPECT_NEAR(figure(summary, "Perennial lake mass bal error m^3="), 0.0, 0.005);
        test::expect_balances_close(summary, 1e-5);
        // The lake form of the overland runs on one thread: two give the same.
        EXPECT_EQ(run_lake(two, "NUM_THREADS 2\n" + output, scheme), summary);
        // A row every 10 minutes, the first after the first step: the lake's
        // level, volume and flooded cells, the last as the summary ends it.
        const std::string rows = one.read("lakes.out");
        ASSERT_EQ(rows.rfind("# time lake1_level lake1_volume lake1_cells\n", 0), 0u) << rows;
        EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 8) << rows;
        const std::string last = rows.substr(rows.rfind('\n', rows.size() - 2) + 1);
        double minutes = 0.0, level = 0.0, volume = 0.0;
        int cells = 0;
        ASSERT_EQ(std::sscanf(last.c_str(), "%lf %lf %lf %d", &minutes, &level, &volume, &cells), 4)
            << last;
        EXPECT_EQ(minutes, 60.0);
        // The run ends one 5 s step after its last row, in which the lake
        // passes about 0.01 m3 more over its weir than it gains.
        EXPECT_NEAR(volume, figure(summary, "Final volume in perennial lakes"), 0.015);
        EXPECT_GE(cells, 1);
        EXPECT_GT(level, 10.95);
        EXPECT_EQ(two.read("lakes.out"), rows);
    }
}

// A run continued from the hot starts of another ends as the whole run: the
// lake's water passes from the first half to the second, to the last digit,
// and each half's balances close.
TEST(ChannelLakeRun, HotStartsCarryTheLakesWater) {
    const HotStartHalves h(
        [](const TempDir& dir, const std::string& edits) { return run_lake(dir, edits); });
    // The first half leaves the lake above its starting 20 m3.
    const double carried = figure(h.first_summary, "Final volume in perennial lakes");
    EXPECT_GT(carried, 25.0);
    EXPECT_EQ(figure(h.summary, "Initial volume in perennial lakes"), carried);
    EXPECT_EQ(figure(h.summary, "Final volume in perennial lakes"),
              figure(h.whole_summary, "Final volume in perennial lakes"));
    EXPECT_EQ(h.second.read("end.chot"), h.whole.read("end.chot"));
    EXPECT_NE(h.first.read("end.chot").find("LAKE 1 "), std::string::npos);
    for (const std::string* s : {&h.first_summary, &h.summary}) {
        EXPECT_NEAR(figure(*s, "Perennial lake mass bal error m^3="), 0.0, 0.005);
        test::expect_balances_close(
            *s, 1e-5,
            {"Overall mass balance error =", "Mass balance error of surface components ="});
    }

    // A lake line for a link that holds no lake would lose its water: refused.
    TempDir wrong;
    wrong.write("bad.chot", "LAKE 3 25.0 11.0\n");
    const test::ProgramRun refused = run_lake_program(wrong, "READ_CHAN_HOTSTART bad.chot\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("Error in the channel hotstart file bad.chot, line 1: link 3 holds "
                               "no lake in this channel network, so the lake's 25.00 m3 have "
                               "nowhere to go.\n"),
              std::string::npos)
        << refused.out;
}

TEST(ChannelLakeRun, ValleyReservoirExampleTakesTheStormAndClosesItsBalances) {
    // The example of the README, run in a copy of the valley's folder.
    TempDir dir;
    const std::filesystem::path valley = std::filesystem::path(TORVA_EXAMPLES) / "valley";
    for (const auto& entry : std::filesystem::directory_iterator(valley)) {
        if (!entry.is_regular_file())
            continue;
        std::string text = test::read_file(entry.path());
        for (std::size_t at; (at = text.find("examples/valley/")) != std::string::npos;)
            text.erase(at, 16);
        dir.write(entry.path().filename().string(), text);
    }
    std::filesystem::create_directory(dir.path() / "out");
    const test::ProgramRun run = test::run_program_in(dir.path(), {"valley_reservoir.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("out/reservoir_summary.txt");
    // The reservoir drowns the reach above the dam on its way up and holds
    // back the peak, which reaches 17.3 m3/s at the outlet without it.
    EXPECT_GT(figure(summary, "Volume of channels taken over by lakes="), 1000.0);
    EXPECT_GT(figure(summary, "Volume of flow from lakes="), 10000.0);
    EXPECT_LT(figure(summary, "Event peak discharge in full (cubic meters per second):"), 14.0);
    EXPECT_GT(figure(summary, "Final volume in perennial lakes"),
              figure(summary, "Initial volume in perennial lakes") + 5000.0);
    EXPECT_NEAR(figure(summary, "Perennial lake mass bal error m^3="), 0.0, 0.005);
    test::expect_balances_close(summary, 1e-5);
}

}  // namespace
}  // namespace torva

// Overland lakes through the whole program: the refusals of the lake map and
// lake file, and a bowl whose runoff fills its lake with every balance closed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::kSmallHeader;
using test::run_program_in;
using test::TempDir;

const std::string kLakeCards = "OVERLAND_LAKE_MAP lake.map\nOVERLAND_LAKE_FILE lake.txt\n";
// The small project's 3 x 3 grid: ground 10.2 10.1 10.2 / 10.1 10.0 10.1 /
// 10.0 9.9 10.0, outlet in row 3, column 2. One lake on the middle cell.
const std::string kCentreLake = kSmallHeader + "0 0 0\n0 1 0\n0 0 0\n";
const std::string kGoodFile = "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 10.05 0\n";

struct LakeRefusal {
    const char* what;
    std::string cards;
    std::string lake_map;
    std::string lake_file;
    std::string message;
};

TEST(OverlandLakeFiles, RefusedWithTheirMessagesBeforeTheRunStarts) {
    const std::vector<LakeRefusal> cases = {
        {"map without file", "OVERLAND_LAKE_MAP lake.map\n", kCentreLake, kGoodFile,
         "Error: the project file gives the OVERLAND_LAKE_MAP card but no OVERLAND_LAKE_FILE "
         "card: overland lakes need both the lake map and the lake input data file.\n"},
        {"file word", kLakeCards, kCentreLake, "TORVA_CHANNEL_LAKE_FILE\nLAKE 1 10.05 0\n",
         "The overland lake input data file doesn't start with\n TORVA_OVERLAND_LAKE_FILE card.\n"
         "The file format is invalid.  Program terminated.\n"},
        {"no cards", kLakeCards, kCentreLake, "TORVA_OVERLAND_LAKE_FILE\n# no lake yet\n",
         "Premature end-of-file in the overland lake input data file.\n"
         "No LAKE cards encountered before end of file.\nProgram terminated.\n"},
        {"a note's first word begins with lake", kLakeCards, kCentreLake,
         "TORVA_OVERLAND_LAKE_FILE\nlakes 1 10.05 0\n",
         "No LAKE cards encountered before end of file.\n(1 line of lake.txt begins with a "
         "word such as lakes, read as notes: a card begins with the word LAKE.)\n"
         "Program terminated.\n"},
        {"card count", kLakeCards, kSmallHeader + "0 0 0\n0 1 2\n0 0 0\n", kGoodFile,
         "Incorrect number of LAKE cards in the overland lake input data file.\n"
         "Expected 2 LAKE cards, read 1\nProgram terminated.\n"},
        {"lake number", kLakeCards, kCentreLake, "TORVA_OVERLAND_LAKE_FILE\nLAKE 3 10.05 0\n",
         "Error: the LAKE card on line 2 of the overland lake input data file lake.txt names no "
         "lake of the lake map: give a lake number from 1 to 1.\n"},
        {"repeated lake", kLakeCards, kSmallHeader + "0 0 0\n0 1 2\n0 0 0\n",
         "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 10.05 0\nLAKE 1 10.2 0\n",
         "Error: lake 1 has two LAKE cards in the overland lake input data file lake.txt, on lines "
         "2 and 3.\n"},
        {"elevation", kLakeCards, kCentreLake, "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 nan 0\n",
         "Error: the initial water-surface elevation of lake 1 on line 2 of the overland lake "
         "input data file lake.txt is not a real number.\n"},
        {"cell above level", kLakeCards, kCentreLake, "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 9.95 0\n",
         "There is a lake cell in lake 1 that is above the initial lake water surface\n"
         "elevation in that lake, which is specified as 9.950000.  This situation is not\n"
         "physically realistic.  Check your lake map.  Program terminated.\n"},
        {"map size", kLakeCards,
         "north: 30\nsouth: 0\neast: 20\nwest: 0\nrows: 3\ncols: 2\n0 0\n0 1\n0 0\n", kGoodFile,
         "lake.map"},
        {"negative lake", kLakeCards, kSmallHeader + "0 0 0\n0 -1 0\n0 0 0\n", kGoodFile,
         "Error: the overland lake map lake.map gives grid cell 5 (row 2, column 2) the lake "
         "number -1: lake numbers are 0 (no lake) or from 1 up.\n"},
        {"lake on the outlet", kLakeCards, kSmallHeader + "0 0 0\n0 0 0\n0 1 0\n",
         "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 10.0 0\n",
         "Error: grid cell 8 (row 3, column 2) of overland lake 1 is the outlet cell, where no "
         "overland lake can stand.  Check your lake map.  Program terminated.\n"},
        {"lake missing from the map", kLakeCards, kSmallHeader + "0 0 0\n0 2 0\n0 0 0\n",
         "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 10.05 0\nLAKE 2 10.05 0\n",
         "Error: overland lake 1 has no cell in the overland lake map, though lake 2 has; number "
         "the lakes of the map from 1 without gaps.\n"},
        {"lake output without lakes", "LAKE_OUTPUT lakes.out\n", kCentreLake, kGoodFile,
         "Error: the LAKE_OUTPUT card asks for the levels of the lakes, but the project has none: "
         "give an OVERLAND_LAKE_MAP with its OVERLAND_LAKE_FILE, or LAKE links in the channel "
         "input file.\n"},
        {"missing file", "OVERLAND_LAKE_MAP lake.map\nOVERLAND_LAKE_FILE none.txt\n", kCentreLake,
         kGoodFile, "Error: Unable to open overland lake input data file.\n  (File: none.txt)\n"},
    };
    for (const LakeRefusal& c : cases) {
        TempDir dir;
        test::write_small_project(dir, "SUMMARY summary.txt\n" + c.cards);
        dir.write("lake.map", c.lake_map);
        dir.write("lake.txt", c.lake_file);
        const test::ProgramRun run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << c.what << "\n"
                                                                          << run.out << run.err;
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_EQ(run.out.find("Running...."), std::string::npos) << c.what;
    }
}

using test::figure;
// The run's balances, without the event's (a run that starts from a hot start
// or without rain has no event input to measure against).
const std::vector<std::string> kRunBalances = {"Overall mass balance error =",
                                               "Mass balance error of surface components ="};

// A bowl of 5 x 5 cells of 10 m, 10.0 m at the centre and rising by 0.1 m a
// cell towards the rim (10.4 m at the corners), with a lake on the centre at
// 10.05 m (5 m3). 20 mm/h fall on the impervious bowl for 30 minutes:
// 25 m3 over its 2500 m2. The outlet sits on the north-west corner.
const std::string kBowlRain =
    "TIMESTEP 5\nTOT_TIME 180\nPRECIP_UNIF\nRAIN_INTENSITY 20\nRAIN_DURATION 30\n";

void write_bowl(const TempDir& dir, const std::string& extra_cards,
                const std::string& rain = kBowlRain, const std::string& lake_cards = kLakeCards) {
    dir.write("mask.msk", test::map_of(5, 5, 10.0, [](int, int) { return 1.0; }));
    dir.write("elevation.ele", test::map_of(5, 5, 10.0, [](int r, int c) {
                  return 10.0 + 0.1 * (std::abs(r - 3) + std::abs(c - 3));
              }));
    dir.write("lake.map",
              test::map_of(5, 5, 10.0, [](int r, int c) { return r == 3 && c == 3 ? 1.0 : 0.0; }));
    // A card begins with the word LAKE in any case; notes may begin with
    // longer words such as lakes.
    dir.write("lake.txt",
              "TORVA_OVERLAND_LAKE_FILE\nLakeside: the pond in the middle of the bowl\n"
              "lakes' levels in metres above the datum\nlake 1 10.05 0\nlakes: one\n");
    dir.write("p.prj",
              "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 5\nCOLS 5\n"
              "GRIDSIZE 10\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 0.01\nMANNING_N 0.05\nHYD_FREQ 30\n"
              "START_DATE 2020 6 1\nSTART_TIME 10 0\nSUMMARY summary.txt\nQUIET\n" +
                  rain + lake_cards + extra_cards);
}

// The overland schemes, each of which exchanges water with the lakes.
const char* const kSchemes[] = {"ade", "ade-pc", "explicit"};

TEST(OverlandLakeRun, RunoffOfAnImperviousBowlFillsItsLakeAndEveryBalanceCloses) {
    for (const std::string scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        std::string totals[2];
        for (int threads : {1, 2}) {
            TempDir dir;
            write_bowl(dir, "NUM_THREADS " + std::to_string(threads) + "\nOVERTYPE " + scheme +
                                "\nLAKE_OUTPUT lake.out\n");
            const test::ProgramRun run = run_program_in(dir.path(), {"p.prj"});
            ASSERT_EQ(run.status, 0) << run.out << run.err;
            const std::string summary = dir.read("summary.txt");
            EXPECT_NEAR(figure(summary, "Total amount of precip="), 25.0, 0.005);
            EXPECT_NEAR(figure(summary, "Initial volume in overland lakes:"), 5.0, 0.005);
            // 10 mm of rain on the one to five cells the lake covered while it rained.
            const double on_lake = figure(summary, "Volume precip to overland lakes:");
            EXPECT_GT(on_lake, 1.0);
            EXPECT_LT(on_lake, 5.0);
            // The lake gains the rain less what the outlet took and the film
            // left on the slopes.
            const double lake = figure(summary, "Final volume in overland lakes:");
            const double left = figure(summary, "Final volume on surface=");
            const double out = figure(summary, "Total amount of discharge=");
            EXPECT_NEAR(lake, 5.0 + 25.0 - left - out, 0.01);
            EXPECT_GT(lake, 5.0 + 0.8 * 25.0) << summary;
            EXPECT_NEAR(figure(summary, "Overland lake mass bal error m^3:"), 0.0, 0.005);
            test::expect_balances_close(summary, 0.001);
            // Every 30 minutes the lake's level, volume and cells: the level is
            // what the volume gives over the centre (10.0 m) and then its four
            // neighbours (10.1 m), and the last row holds the final volume.
            std::istringstream rows(dir.read("lake.out"));
            std::string line;
            std::getline(rows, line);
            EXPECT_EQ(line, "# time olake1_level olake1_volume olake1_cells");
            int count = 0;
            double minutes = 0.0, level = 0.0, volume = 0.0;
            int cells = 0;
            while (rows >> minutes >> level >> volume >> cells) {
                EXPECT_EQ(minutes, 30.0 * count);
                ASSERT_TRUE(cells == 1 || cells == 5) << cells;
                const double ground_sum = cells == 1 ? 10.0 : 10.0 + 4 * 10.1;
                EXPECT_NEAR(level, (volume / 100.0 + ground_sum) / cells, 2e-6) << minutes;
                ++count;
            }
            EXPECT_EQ(count, 7);
            EXPECT_NEAR(volume, lake, 0.005);
            totals[threads - 1] = summary.substr(summary.find("SIMULATION TOTALS"));
        }
        EXPECT_EQ(totals[0], totals[1]);
    }
}

// A pond on a slope, not in a hollow: a strip of seven cells of 10 m falling
// eastwards, 100.3 100.2 100.1 100.0 99.5 99.0 98.9 m, the outlet at the east
// end, and a lake over the second to fourth cells at 100.25 m: 5 + 15 + 25
// = 45 m3. No rain falls. The lake gives its water to the land below it,
// falling as it gives, and never more than it holds: it gives back its two
// upper cells and ends as a film over its lowest one, while the water runs
// out at the outlet.
TEST(OverlandLakeRun, PondBesideLowerLandDrainsWithoutGivingMoreThanItHolds) {
    const std::string header = "north: 10\nsouth: 0\neast: 70\nwest: 0\nrows: 1\ncols: 7\n";
    for (const std::string scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        std::string totals[2];
        for (int threads : {1, 2}) {
            TempDir dir;
            dir.write("mask.msk", header + "1 1 1 1 1 1 1\n");
            dir.write("elevation.ele", header + "100.3 100.2 100.1 100.0 99.5 99.0 98.9\n");
            dir.write("lake.map", header + "0 1 1 1 0 0 0\n");
            dir.write("lake.txt", "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 100.25 0\n");
            dir.write("dry.gag",
                      "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 35 5\nGAGES 2020 6 1 10 0 0.0\n"
                      "GAGES 2020 6 1 11 0 0.0\n");
            dir.write("p.prj",
                      "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 1\n"
                      "COLS 7\nGRIDSIZE 10\nOUTROW 1\nOUTCOL 7\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                      "START_DATE 2020 6 1\nSTART_TIME 10 0\nSUMMARY summary.txt\nQUIET\n"
                      "TIMESTEP 60\nTOT_TIME 30\nPRECIP_FILE dry.gag\nWRITE_OV_HOTSTART end.hot\n" +
                          kLakeCards + "OVERTYPE " + scheme + "\nNUM_THREADS " +
                          std::to_string(threads) + "\n");
            const test::ProgramRun run = run_program_in(dir.path(), {"p.prj"});
            ASSERT_EQ(run.status, 0) << run.out << run.err;
            const std::string summary = dir.read("summary.txt");
            EXPECT_NEAR(figure(summary, "Initial volume in overland lakes:"), 45.0, 0.005);
            EXPECT_EQ(figure(summary, "Total amount of precip="), 0.0);
            const double lake = figure(summary, "Final volume in overland lakes:");
            const double out = figure(summary, "Total amount of discharge=");
            const double left = figure(summary, "Final volume on surface=");
            EXPECT_GE(lake, 0.0);
            EXPECT_LT(lake, 0.05);
            EXPECT_GT(out, 44.5);
            EXPECT_NEAR(lake + out + left, 45.0, 0.015);
            EXPECT_NEAR(figure(summary, "Volume of flow from overland lakes:") -
                            figure(summary, "Volume of flow into overland lakes:"),
                        45.0 - lake, 0.015);
            EXPECT_NEAR(figure(summary, "Overland lake mass bal error m^3:"), 0.0, 0.005);
            test::expect_balances_close(summary, 0.001, kRunBalances);
            // The lake ends on its lowest cell, row 1, column 4.
            const std::string hot = dir.read("end.hot");
            const std::size_t section = hot.find("TORVA_OVERLAND_LAKES 1\nLAKE 1 ");
            ASSERT_NE(section, std::string::npos) << hot;
            const std::string lake_line =
                hot.substr(section, hot.find('\n', hot.find("LAKE 1 ")) - section);
            EXPECT_EQ(lake_line.substr(lake_line.rfind(' ')), " 1") << lake_line;
            EXPECT_NE(hot.find(" 1\n1 4\n", section), std::string::npos) << hot.substr(section);
            totals[threads - 1] = summary.substr(summary.find("SIMULATION TOTALS"));
        }
        EXPECT_EQ(totals[0], totals[1]);
    }
}

// A run continued from the overland hot start of another ends as the whole
// run: the lake's volume, level and the cells it flooded pass from the first
// half to the second, and the second half's hot start is the whole run's to
// the last digit. At 60 s steps a run of TOT_TIME 28 takes 30 steps, half of
// the whole run's; 60 mm/h fall for 28 minutes, and a gauge that records no
// rain starts the second half at 10:30. A run without lakes takes the same
// file with the lakes' water standing on their cells.
TEST(OverlandLakeRun, HotStartCarriesTheLakesAndTheRunGoesOnAsTheWhole) {
    const std::string rain = "TIMESTEP 60\nPRECIP_UNIF\nRAIN_INTENSITY 60\nRAIN_DURATION 28\n";
    const std::string dry =
        "TIMESTEP 60\nPRECIP_FILE dry.gag\nTOT_TIME 28\nWRITE_OV_HOTSTART end.hot\n";
    TempDir whole, first, second, plain;
    write_bowl(whole, "TOT_TIME 58\nWRITE_OV_HOTSTART end.hot\n", rain);
    write_bowl(first, "TOT_TIME 28\nWRITE_OV_HOTSTART end.hot\n", rain);
    const std::string hot_start = "READ_OV_HOTSTART " + first.file("end.hot") + "\n";
    write_bowl(second, hot_start, dry);
    write_bowl(plain, hot_start, dry, "");
    for (const TempDir* dir : {&whole, &first, &second, &plain}) {
        dir->write("dry.gag",
                   "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 25 25\nGAGES 2020 6 1 10 30 0.0\n"
                   "GAGES 2020 6 1 11 0 0.0\n");
        const test::ProgramRun run = run_program_in(dir->path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
    }
    const std::string carried = first.read("end.hot");
    EXPECT_NE(carried.find("TORVA_OVERLAND_LAKES 1\nLAKE 1 "), std::string::npos) << carried;
    const std::string first_summary = first.read("summary.txt");
    const std::string summary = second.read("summary.txt");
    const double lake = figure(first_summary, "Final volume in overland lakes:");
    EXPECT_GT(lake, 20.0);
    EXPECT_EQ(figure(summary, "Initial volume in overland lakes:"), lake);
    EXPECT_EQ(second.read("end.hot"), whole.read("end.hot"));
    for (const std::string* s : {&first_summary, &summary}) {
        EXPECT_NEAR(figure(*s, "Overland lake mass bal error m^3:"), 0.0, 0.005);
        test::expect_balances_close(*s, 1e-6, kRunBalances);
    }
    // Without lake cards the lake's water stands on its cells as overland water.
    EXPECT_NEAR(figure(plain.read("summary.txt"), "Initial volume on surface="),
                lake + figure(first_summary, "Final volume on surface="), 0.01);
}

}  // namespace
}  // namespace torva

// Sacramento accounting in a long-term run of the 3 x 3 watershed with its
// small channel network: two storms ten days apart in June weather, the
// stores' balance and the run's, and every refusal of the cards, the
// parameter file and the weight file.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "channel/network_files.hpp"
#include "support/harness.hpp"
#include "support/long_term_watershed.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::figure_after;
using test::run_program_in;
using test::TempDir;

const std::string kParameters =
    "TORVA_SACRAMENTO\n"
    "# a moist loam under grass\n"
    "UZTWM 50\nUZFWM 40\nLZTWM 130\nLZFSM 25\nLZFPM 60\nUZK 0.3\nLZSK 0.05\nLZPK 0.01\n"
    "PCTIM 0.02\nADIMP 0.1\nRIVA 0.01\nZPERC 40\nREXP 2\nPFREE 0.1\nSIDE 0.2\nRSERV 0.3\n"
    "FRACTION\nUZTWC 0.5\nUZFWC 0.2\nLZTWC 0.6\nLZFSC 0.4\nLZFPC 0.6\nADIMC 0.5\n";

// The long-term project with the network and the accounting; `extra` adds
// cards, and a card word preceded by "-" in `drop` takes that card out.
void write_project(const TempDir& dir, const std::string& parameters = kParameters,
                   const std::string& extra = "", const std::string& drop = "") {
    std::string cards = test::long_term_cards() +
                        "CHANNEL_INPUT chan.txt\nSTREAM_CELL chan.gst\nCHAN_EXPLIC\n"
                        "SACRAMENTO sac.txt\n" +
                        extra;
    if (!drop.empty()) {
        const std::size_t at = cards.find("\n" + drop + "\n");
        if (at != std::string::npos)
            cards.erase(at + 1, drop.size() + 1);
    }
    dir.write("p.prj", cards);
    test::write_long_term_inputs(dir, test::hmx_june_weather(10, 68));
    dir.write("chan.txt", test::kSmallNetwork);
    dir.write("chan.gst", test::kSmallGridStream);
    dir.write("sac.txt", parameters);
}

// The storms bring 10 mm/h for an hour and 2 mm/h for an hour, 12 mm each
// counted from 12:00 to 13:00 (gauge intensities hold until the next
// record): 24 mm on 900 m2 = 21.6 m3, all of it taken in by the sandy soil.
// The stores drain to the channels between the storms, and what they give
// leaves at the outlet; every balance closes.
TEST(SacramentoRun, StoresFeedTheChannelsAndEveryBalanceCloses) {
    TempDir dir;
    write_project(dir, kParameters, "DAILY_OUTPUT hourly.txt\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("summary.txt");
    EXPECT_NE(summary.find("SACRAMENTO SOIL MOISTURE ACCOUNTING"), std::string::npos);
    EXPECT_NE(summary.find("uztwc:      25.000 mm,    50.00%"), std::string::npos) << summary;
    EXPECT_NE(summary.find("lzfpc:      36.000 mm,    60.00%"), std::string::npos);
    EXPECT_DOUBLE_EQ(figure_after(summary, "Initial subsurface storage="),
                     (25.0 + 8.0 + 78.0 + 10.0 + 36.0) * 0.88 + 90.0 * 0.1);
    EXPECT_DOUBLE_EQ(figure_after(summary, "Input rainfall="), 24.0);
    EXPECT_DOUBLE_EQ(figure_after(summary, "Total amount of precip="), 21.6);
    EXPECT_LT(std::fabs(figure_after(summary,
                                     "Sacramento simulation total residual water "
                                     "balance:")),
              1e-9);
    EXPECT_LT(std::fabs(figure_after(summary, "Overall mass balance error =")), 1e-3);
    EXPECT_LT(std::fabs(figure_after(summary, "Mass balance error of surface components =")), 1e-3);
    const double runoff_m3 = figure_after(summary, "Subsurface runoff=", 2);
    const double lateral = figure_after(summary, "Total lateral inflow into channels=");
    const double discharge = figure_after(summary, "Total amount of discharge=");
    // Baseflow keeps coming between the storms; the last hour's inflow may
    // still be on its way.
    EXPECT_GT(runoff_m3, 1.0);
    EXPECT_LE(lateral, runoff_m3 + 0.01);
    EXPECT_GT(lateral, 0.9 * runoff_m3);
    EXPECT_NEAR(discharge, lateral, 0.05);
    EXPECT_GT(figure_after(summary, "AET="), 0.0);
    EXPECT_LE(figure_after(summary, "AET="), figure_after(summary, "PET="));

    // Each hourly line carries the evapotranspiration of its own hour: never
    // above the hour's potential, and the lines add up to the accounting's
    // total (mm over the watershed; a line is an hour in cm/h). The rain of
    // the second storm reads the 12:00 weather before the 11:00 hour is
    // accounted; that hour still shows its evapotranspiration, and 12:00 no
    // more than its potential.
    std::istringstream hourly(dir.read("hourly.txt"));
    std::string line, date, hour;
    std::getline(hourly, line);
    double aet_mm = 0.0;
    int hours = 0;
    double aet_before_storm = 0.0;
    while (std::getline(hourly, line)) {
        double theta = 0.0, pet = 0.0, aet = 0.0;
        std::istringstream(line) >> date >> hour >> theta >> pet >> aet;
        SCOPED_TRACE(line);
        EXPECT_LE(aet, pet + 1e-6);
        if (date == "2021/6/8" && hour == "11:00")
            aet_before_storm = aet;
        aet_mm += aet * 10.0;
        ++hours;
    }
    // From 1 June 12:00 to the end of the second storm's hour, 8 June 13:00.
    EXPECT_EQ(hours, 7 * 24 + 1);
    EXPECT_GT(aet_before_storm, 0.02);
    EXPECT_NEAR(aet_mm, figure_after(summary, "AET="), hours * 5e-6);
}

// A pond on one cell of nine evaporates as a lake, and full tension stores
// give the land its whole demand: the stores answer the demand of the eight
// land cells only, so the grid evaporates no more than its potential (with
// the pond's cell counted in the stores' demand too it would evaporate
// 37.81 m3 against 35.36 m3), and the pond's water enters the surface
// balance as well as the overall one.
TEST(SacramentoRun, PondEvaporatesAsALakeAndTheStoresAnswerTheLand) {
    TempDir dir;
    std::string full = kParameters.substr(0, kParameters.find("FRACTION\n"));
    full += "FRACTION\nUZTWC 1\nUZFWC 0.2\nLZTWC 1\nLZFSC 0.4\nLZFPC 0.6\nADIMC 1\n";
    write_project(dir, full,
                  "OVERLAND_LAKE_MAP lake.map\nOVERLAND_LAKE_FILE lake.txt\n"
                  "DAILY_OUTPUT hourly.txt\n");
    dir.write("elevation.ele",
              test::kSmallHeader + "10.2 10.1 10.2\n9.8 10.0 10.1\n10.0 9.9 10.0\n");
    dir.write("lake.map", test::kSmallHeader + "0 0 0\n1 0 0\n0 0 0\n");
    dir.write("lake.txt", "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 9.89 0\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("summary.txt");
    const double land_pet = figure_after(summary, "PET=", 2);
    const double pond = figure_after(summary, "Total direct evaporation=");
    EXPECT_LE(figure_after(summary, "AET=", 2), land_pet);
    EXPECT_NEAR(figure_after(summary, "Total amount of evaporation="),
                figure_after(summary, "AET=", 2) + pond, 0.01);
    // The grid's potential over the run, from the hourly lines' mean rate
    // (cm/h over the nine cells of 100 m2).
    std::istringstream hourly(dir.read("hourly.txt"));
    std::string line, date, hour;
    std::getline(hourly, line);
    double potential = 0.0;
    while (std::getline(hourly, line)) {
        double theta = 0.0, pet = 0.0;
        std::istringstream(line) >> date >> hour >> theta >> pet;
        potential += pet / 100.0 * 900.0;
    }
    EXPECT_LE(figure_after(summary, "Total amount of evaporation="), potential);
    EXPECT_LT(std::fabs(figure_after(summary, "Mass balance error of surface components =")), 1e-3);
    EXPECT_LT(std::fabs(figure_after(summary, "Overall mass balance error =")), 1e-3);
}

// Every refusal stops the run at set-up with one message, before "Running".
TEST(SacramentoRun, RefusesWhatCannotBeAccounted) {
    const auto replaced = [](const std::string& from, const std::string& to) {
        std::string text = kParameters;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    // The initial stores in mm.
    const std::string in_mm = replaced("FRACTION\n", "");
    // The stream cells: row 1 holds link 1 nodes 1 and 2, row 2 link 1 node 2
    // and link 2 node 1, row 3 link 2 nodes 2 and 3 (all in column 2).
    const std::string weights = "WEIGHTS w.txt\n";
    struct Case {
        std::string parameters;
        std::string extra;
        std::string drop;
        std::string weight_file;
        std::string message;
    };
    const Case cases[] = {
        {kParameters, "GW_SIMULATION\n", "", "",
         "Error: You have specified both groundwater routing and Sacramento soil moisture\n"
         "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n"},
        {kParameters, "", "CHAN_EXPLIC", "",
         "needs the channel network (CHANNEL_INPUT, STREAM_CELL, CHAN_EXPLIC)"},
        {replaced("TORVA_SACRAMENTO", "TORVA_SAC"), "", "", "",
         "sac.txt, line 1: the file must begin with the word TORVA_SACRAMENTO, not TORVA_SAC."},
        {replaced("UZK 0.3\n", ""), "", "", "",
         "Error: Sacramento parameter file sac.txt: missing UZK.\n"},
        {replaced("UZK 0.3\nLZSK 0.05\n", ""), "", "", "", "sac.txt: missing UZK, LZSK.\n"},
        {replaced("ADIMC 0.5\n", ""), "", "", "", "sac.txt: missing ADIMC.\n"},
        {replaced("LZPK 0.01\n", "LZPK 0.01\nlzpk 0.02\n"), "", "", "",
         "line 11: LZPK is given twice (first on line 10)."},
        {replaced("UZK 0.3", "UZK 0"), "", "", "",
         "line 8: UZK is 0; it must lie above 0 and at most 1."},
        {replaced("LZSK 0.05", "LZSK 1.5"), "", "", "",
         "line 9: LZSK is 1.5; it must lie above 0 and at most 1."},
        {replaced("UZTWM 50", "UZTWM -5"), "", "", "",
         "line 3: UZTWM is -5; it must lie above 0 and at most 10000 mm."},
        {replaced("ZPERC 40", "ZPERC nan"), "", "", "",
         "line 14: the value of ZPERC is not a finite number."},
        {replaced("SIDE 0.2", "SIDE"), "", "", "", "line 17: the value of SIDE is missing."},
        {replaced("RSERV 0.3", "RSERV 0.3 0.4"), "", "", "",
         "line 18: one value only may follow RSERV."},
        {replaced("PCTIM 0.02", "PCTIM 0.95"), "", "", "",
         "PCTIM and ADIMP together are 1.05; they must not exceed 1."},
        {replaced("UZFWC 0.2", "UZFWC 1.2"), "", "", "",
         "line 21: UZFWC is 1.2; with FRACTION it must lie from 0 to 1."},
        {std::string(in_mm).replace(in_mm.find("UZFWC 0.2"), 9, "UZFWC 45"), "", "", "",
         "line 20: UZFWC is 45 mm; it must not exceed its capacity of 40 mm."},
        {replaced("FRACTION\n", "FRACTION\nFRACTION\n"), "", "", "",
         "line 20: FRACTION is given twice (first on line 19)."},
        {replaced("RIVA 0.01", "RIPARIAN 0.01"), "", "", "", "line 13: unknown name RIPARIAN."},
        {kParameters + weights, "", "", "1 2 1 1 0.5\n2 2 2 1 0.4\n",
         "Error: the weights of Sacramento weight file w.txt sum to 0.9; they must sum to 1.\n"},
        {kParameters + weights, "", "", "1 2 1 1 0.5\n1 2 2 1 0.5\n",
         "w.txt, line 2: no stream cell at row 1, column 2 holds link 2, node 1."},
        {kParameters + weights, "", "", "1 2 1 1 0.5\n1 2 1 1 0.5\n",
         "w.txt, line 2: this entry has a weight already (line 1)."},
        {kParameters + weights, "", "", "1 2 1 1 0.5\n2 2 2 1 x\n",
         "w.txt, line 2: a line holds row, column, link, node and weight, five numbers."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir dir;
        write_project(dir, c.parameters, c.extra, c.drop);
        if (!c.weight_file.empty())
            dir.write("w.txt", c.weight_file);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out.find("Running...."), std::string::npos);
    }
}

}  // namespace
}  // namespace torva

// Richards columns in whole runs of a small watershed: balances, threads,
// columns over an aquifer, the soil table in the mapping-table file, and
// the options and tables a run refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "richards_soils.hpp"
#include "soil/richards.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::soil_table;

// The small project (3 x 3 cells of 10 m, 10 mm/h for 5 minutes, 10 minutes)
// on Richards columns: a loam of three layers under every cell.
const char* const kRichardsCards =
    "INF_RICHARDS\nSOIL_LAYER_INPUT_FILE soil.tbl\nSOIL_TYPE_MAP soil.idx\n"
    "RICHARDS_ITER_MAX 10\nSUMMARY summary.txt\n";

void write_richards_files(const test::TempDir& dir) {
    dir.write("soil.tbl",
              "1 0\n1\n"
              "1.32 0.434 0.027 0.20 0.22 11.15 10 0.12 0.27 2 1\n"
              "0.68 0.486 0.015 0.25 0.211 20.76 20 0.13 0.33 5 0\n"
              "21.0 0.417 0.020 0.10 0.592 7.26 30 0.03 0.09 10 0\n");
    dir.write("soil.idx", test::kSmallHeader + "1 1 1\n1 1 1\n1 1 1\n");
}

TEST(RichardsRun, SmallWatershedClosesItsBalanceAndIsTheSameOnTwoThreads) {
    std::string outputs[2];
    for (int threads : {1, 2}) {
        test::TempDir dir;
        // A rain of 200 mm/h (15 times Ks) ponds and runs off.
        test::write_small_project(dir, std::string(kRichardsCards) + "RAIN_INTENSITY 200\n" +
                                           "IN_THETA_LOCATION theta.in\nOUT_THETA_LOCATION "
                                           "theta.out\nOUTLET_HYDRO out.otl\nNUM_THREADS " +
                                           std::to_string(threads) + "\n");
        write_richards_files(dir);
        dir.write("theta.in", "1\n2 2\n");
        const auto run = test::run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("Reading Soil Table   Done\nInitialize Richards Params\n"),
                  std::string::npos)
            << run.out;
        // Columns of 5 + 4 + 3 nodes and the bottom node: 0.2 * 0.1 + 0.25 * 0.2
        // + 0.1 * 0.3 + 0.1 * 0.1 = 0.11 m of water on 900 m2.
        EXPECT_NE(run.out.find("Inital volume of water in soil column= 99.000000"),
                  std::string::npos)
            << run.out;
        const std::string summary = dir.read("summary.txt");
        EXPECT_NEAR(test::figure(summary, "Overall mass balance error ="), 0.0, 1e-3) << summary;
        EXPECT_NE(summary.find("Initial volume in soils=                                 99.00"),
                  std::string::npos)
            << summary;
        EXPECT_NE(summary.find("Richards columns: "), std::string::npos);
        // One row every 5 minutes, 13 node water contents each.
        const std::string theta = dir.read("theta.out");
        EXPECT_EQ(std::count(theta.begin(), theta.end(), '\n'), 3);
        const std::string first_row = theta.substr(0, theta.find('\n'));
        EXPECT_EQ(std::count(first_row.begin(), first_row.end(), '.'), 14) << first_row;
        outputs[threads - 1] =
            dir.read("out.otl") + theta + summary.substr(summary.find("SIMULATION TOTALS"));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// The columns over an aquifer whose water table stands 0.3 to 0.6 m under
// the ground (the columns reach 0.7 m): the dry soil draws water up from the
// water table faster than ten minutes of heavy rain reach it. What the
// columns' bottoms took the falling water table gives back from the columns'
// own saturated nodes, so the aquifer under them moves by the recharge and
// that exchange together; every balance closes, and two threads give the
// same.
TEST(RichardsRun, ColumnsOverAnAquiferRechargeItAndTheBalancesClose) {
    std::string outputs[2];
    for (int threads : {1, 2}) {
        test::TempDir dir;
        test::write_small_project(
            dir, std::string(kRichardsCards) +
                     "RAIN_INTENSITY 200\nGW_SIMULATION\nWATER_TABLE wt.map\nAQUIFER_BOTTOM "
                     "bottom.map\nGW_UNIF_HYCOND 1e-4\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n"
                     "AQUIFER_DELTA_Z 0.1\nOUTLET_HYDRO out.otl\nNUM_THREADS " +
                     std::to_string(threads) + "\n");
        write_richards_files(dir);
        dir.write("wt.map", test::kSmallHeader + "9.7 9.6 9.7\n9.6 9.5 9.6\n9.5 9.4 9.5\n");
        dir.write("bottom.map", test::kSmallHeader + "0 0 0\n0 0 0\n0 0 0\n");
        const auto run = test::run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string summary = dir.read("summary.txt");
        EXPECT_NEAR(test::figure(summary, "Overall mass balance error ="), 0.0, 1e-3) << summary;
        const double recharge = test::figure(summary, "Recharge to groundwater =");
        EXPECT_LT(recharge, -1.0) << summary;
        EXPECT_NEAR(
            test::figure(summary, "GW volume end =") - test::figure(summary, "GW volume start ="),
            recharge + test::figure(summary, "Sat/unsat. trickery (into gw) ="), 0.02);
        EXPECT_NEAR(test::figure(summary, "Mass Balance error ="), 0.0, 1e-3);
        outputs[threads - 1] =
            dir.read("out.otl") + summary.substr(summary.find("SIMULATION TOTALS"));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// A flat 3 x 3 watershed, 10 m cells, 40 cm of one soil (theta_s 0.40) in
// 10 cm nodes, the bottom node and 10 cm nodes below reaching the deepest
// water table, 1 m: every column is 1 m deep. The aquifer (specific yield
// 0.3) counts only what lies under the columns, the columns the rest.
//  - Water table 1 m down in one cell, 0.4 m in the others, bottom at 0: the
//    soils hold 100 m2 * (0.2 * 1 + 8 * (0.2 * 0.4 + 0.4 * 0.6)) = 276 m3,
//    the aquifer 900 m2 * 0.3 * 9 m = 2430 m3 (the 0.6 m of overlap in eight
//    cells, 144 m3 of the aquifer's, is not counted twice).
//  - Water table 1 m down, the aquifer 1 cm thick: it holds 2.70 m3, and
//    soil at theta 0.12 (108 m3) draws all of it up in ten hours and no more.
TEST(RichardsRun, ColumnsOnTheWaterTableCountItsWaterOnce) {
    struct Case {
        const char* water_table;
        const char* bottom;
        const char* theta_i;
        const char* minutes;
        double soils_start, aquifer_start, soils_end, aquifer_end;
    };
    const Case cases[] = {
        {"9.0 9.6 9.6\n9.6 9.6 9.6\n9.6 9.6 9.6\n", "0", "0.20", "60", 276.0, 2430.0, 276.0,
         2430.0},
        {"9 9 9\n9 9 9\n9 9 9\n", "8.99", "0.12", "600", 108.0, 2.70, 110.70, 0.0},
    };
    for (const Case& k : cases) {
        test::TempDir dir;
        test::write_small_project(
            dir, std::string(kRichardsCards) +
                     "GW_SIMULATION\nWATER_TABLE wt.map\nAQUIFER_BOTTOM bottom.map\n"
                     "GW_UNIF_HYCOND 1e-4\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n"
                     "AQUIFER_DELTA_Z 0.1\nRAIN_INTENSITY 0.0001\nTOT_TIME " +
                     k.minutes + "\n");
        const std::string flat = "10 10 10\n10 10 10\n10 10 10\n";
        dir.write("elevation.ele", test::kSmallHeader + flat);
        dir.write("soil.idx", test::kSmallHeader + "1 1 1\n1 1 1\n1 1 1\n");
        dir.write("soil.tbl", soil_table(std::string("1.32 0.40 0.027 ") + k.theta_i +
                                         " 0.22 11.15 40 0.12 0.27 10 1"));
        dir.write("wt.map", test::kSmallHeader + k.water_table);
        const std::string bottom = std::string(k.bottom) + " " + k.bottom + " " + k.bottom + "\n";
        dir.write("bottom.map", test::kSmallHeader + bottom + bottom + bottom);
        const auto run = test::run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string summary = dir.read("summary.txt");
        EXPECT_NEAR(test::figure(summary, "Initial volume in soils="), k.soils_start, 0.005)
            << summary;
        EXPECT_NEAR(test::figure(summary, "Initial volume in groundwater="), k.aquifer_start,
                    0.005);
        EXPECT_NEAR(test::figure(summary, "Final volume in soils="), k.soils_end, 0.005);
        EXPECT_NEAR(test::figure(summary, "Final volume in groundwater="), k.aquifer_end, 0.005);
        EXPECT_NEAR(test::figure(summary, "Overall mass balance error ="), 0.0, 1e-3);
        EXPECT_NEAR(test::figure(summary, "Mass Balance error ="), 0.0, 1e-3);
    }
}

// The soil table inside the mapping table file, its index map the soil
// index: the same columns as the file form.
TEST(RichardsRun, SoilTableStandsInTheMappingTableFile) {
    test::TempDir dir;
    test::write_small_project(dir, "INF_RICHARDS\nMAPPING_TABLE soils.cmt\nSUMMARY summary.txt\n");
    dir.write("soil.idx", test::kSmallHeader + "1 1 1\n1 1 1\n1 1 1\n");
    dir.write("soils.cmt",
              "TORVA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx \"Soils\"\n"
              "RICHARDS_EQN_INFILTRATION_BROOKS \"Soils\"\nNUM_IDS 1\nMAX_NUMBER_NODES 13\n"
              "Ks theta_s theta_r theta_i lambda hb thickness wp fc dz roots\n1\n"
              "1.32 0.434 0.027 0.20 0.22 11.15 10 0.12 0.27 2 1\n"
              "0.68 0.486 0.015 0.25 0.211 20.76 20 0.13 0.33 5 0\n"
              "21.0 0.417 0.020 0.10 0.592 7.26 30 0.03 0.09 10 0\n");
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Inital volume of water in root zone= 18.000000"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Inital volume of water in soil column= 99.000000"), std::string::npos);
    EXPECT_NEAR(test::figure(dir.read("summary.txt"), "Overall mass balance error ="), 0.0, 1e-3);
}

// In a long-term run each soil type ends with four values; a Havercamp soil
// takes its wilting point, field capacity and root shares from them.
TEST(RichardsSoilTable, LongTermLineCompletesHavercampSoils) {
    RichardsColumns rc;
    rc.relation = SoilWaterRelation::havercamp;
    RunContext ctx;
    const std::string line = "1.0 0.40 0.05 0.20 25 3.0 10 1.1e6 4.7 5\n";
    ASSERT_TRUE(parse_richards_soil_table(
        rc, ctx, "1 0\n4\n" + line + line + line + "0.1 0.3 0.7 0.2\n", "soil.tbl", false, true));
    const RichardsSoilType& t = rc.types[4];
    EXPECT_EQ(t.layers[1].wilting_point, 0.1);
    EXPECT_EQ(t.layers[2].field_capacity, 0.3);
    EXPECT_NEAR(t.layers[2].root_share, 0.1, 1e-15);
    EXPECT_FALSE(parse_richards_soil_table(rc, ctx, "1 0\n5\n" + line + line + line, "soil.tbl",
                                           false, true));
}

TEST(RichardsRun, OptionsAndTablesThatCannotWorkAreRefused) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"soil.idx", test::kSmallHeader + "1 1 1\n1 1 1\n1 1 2\n"},
        {"soil.tbl",
         "1 0\n1\n1.32 0.434 0.027 0.20 0.22 11.15 10 0.12 0.27 2 1\n"
         "0.68 0.486 0.015 0.25 0.211 20.76 20 0.13 0.33 5 0\n"
         "21.0 0.417 0.020 0.10 0.592 7.26 30 0.03 0.09 10 0\n"},
        {"wt.map", test::kSmallHeader + "9 9 9\n9 9 9\n9 9 9\n"},
        {"bottom.map", test::kSmallHeader + "0 0 0\n0 0 0\n0 0 0\n"}};
    const std::string cards =
        "INF_RICHARDS\nSOIL_LAYER_INPUT_FILE soil.tbl\nSOIL_TYPE_MAP soil.idx\n";
    const std::string aquifer =
        "GW_SIMULATION\nWATER_TABLE wt.map\nAQUIFER_BOTTOM bottom.map\nGW_UNIF_HYCOND 1e-4\n"
        "GW_UNIF_POROSITY 0.3\n";
    test::expect_project_cases({
        {cards, "Error: grid cell 9 has soil index 2, which the Richards soil table does not give",
         1, files},
        {cards + "RICHARDS_C_OPTION vangenuchten\n",
         "Error: RICHARDS_C_OPTION must be brooks (Brooks-Corey) or havercamp: vangenuchten", 1,
         files},
        {cards + "RICHARDS_K_OPTION harmonic\n",
         "Error: RICHARDS_K_OPTION must be geometric or arithmetic: harmonic", 1, files},
        // Havercamp asks for ten values a line; the Brooks-Corey table has eleven.
        {cards + "RICHARDS_C_OPTION havercamp\n",
         "a Havercamp layer line must hold 10 numbers (soil index 1, layer 1)", 1, files},
        {cards + "RICHARDS_DTHETA_MAX 0\n", "Error: RICHARDS_DTHETA_MAX must lie above 0", 1,
         files},
        {cards + "RICHARDS_ITER_MAX 0\n", "Error: RICHARDS_ITER_MAX must be at least 1", 1, files},
        {cards + aquifer, "you must put the AQUIFER_DELTA_Z card in the project file", 1, files},
        {cards + aquifer + "AQUIFER_DELTA_Z 0\n",
         "Error: AQUIFER_DELTA_Z 0: the node spacing below the soil layers (m) must be greater "
         "than 0",
         1, files},
        {"INF_RICHARDS\nSOIL_TYPE_MAP soil.idx\n",
         "Error: Richards infiltration needs the soil table: give SOIL_LAYER_INPUT_FILE or the "
         "RICHARDS_EQN_INFILTRATION_BROOKS table",
         1, files},
    });
}

}  // namespace
}  // namespace torva

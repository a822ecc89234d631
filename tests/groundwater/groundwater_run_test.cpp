// Whole runs with an aquifer under the small 3 x 3 project: what the start-up
// refuses, and the volumes and balances of runs whose aquifer is fed by
// static fluxes, wells and the soil.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

#include "support/grid_projects.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::kSmallHeader;

// The aquifer of the small project: bottom at 0, water table at 8 m (the
// ground stands near 10 m), K 1e-4 m/s, porosity 0.3, every cell a static flux
// cell.
const std::string kAquiferCards =
    "GW_SIMULATION\nWATER_TABLE wt.map\nAQUIFER_BOTTOM bottom.map\nGW_UNIF_HYCOND 1e-4\n"
    "GW_UNIF_POROSITY 0.3\nGW_BOUNDFILE bound.map\nGW_FLUXBOUNDTABLE flux.txt\nGW_TIMESTEP 60\n";

// Nine entries of `flux` m3/day, one per cell.
std::string flux_table(const std::string& flux) {
    std::string table = "9\n";
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c)
            table += std::to_string(r) + " " + std::to_string(c) + " " + flux + "\n";
    return table;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Maps of one value each, "name value name value...", and further files.
Files uniform_maps(const std::string& names_and_values, Files files = {}) {
    std::istringstream in(names_and_values);
    for (std::string name, value; in >> name >> value;)
        files.emplace_back(name, test::uniform_map(3, 3, 10.0, value));
    return files;
}

Files aquifer_files(const std::string& flux = "8.64") {
    return uniform_maps("wt.map 8 bottom.map 0 bound.map 6", {{"flux.txt", flux_table(flux)}});
}

// A closed aquifer (every cell active, no fluxes) under the small project
// with a well at the centre cell from the WELL_TABLE, or leaking to the deep
// aquifer; ten minutes in steps of 60 s.
const std::string kClosedAquifer =
    "GW_SIMULATION\nWATER_TABLE wt.map\nAQUIFER_BOTTOM bottom.map\nGW_UNIF_HYCOND 1e-4\n"
    "GW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\nSUMMARY summary.txt\n";

std::string well_table(const std::string& rows) {
    return "TORVA_INDEX_MAP_TABLES\nINDEX_MAP wells.idx \"W\"\nWELL_TABLE \"W\"\nNUM_IDS 2\n"
           "ID DESCRIPTION RATE SERIES UNUSED\n" +
           rows;
}

// Runs the small project with the cards and files, which must succeed; its summary.
std::string run_aquifer(const test::TempDir& dir, const std::string& cards, const Files& files) {
    test::write_small_project(dir);
    dir.write("p.prj", test::edited_project(cards));
    for (const auto& [name, text] : files) dir.write(name, text);
    const test::ProgramRun run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.read("summary.txt");
}

using test::figure;
const std::vector<std::string> kAquiferBalances = {"Mass Balance error =",
                                                   "Overall mass balance error ="};

TEST(GroundwaterStartUp, RefusesWhatTheAquiferCannotHold) {
    const auto files = aquifer_files();
    // A file given again replaces the one of its name: the later is written last.
    auto with = [&](Files extra) {
        extra.insert(extra.begin(), files.begin(), files.end());
        return extra;
    };
    test::expect_project_cases({
        {kAquiferCards + "GW_LSOR_CON 0",
         "0 can never be reached; the line solver's tolerance (m) must be greater than 0.\n", 1,
         files},
        {kAquiferCards + "GW_RELAX_COEFF 2",
         "2 does not converge; the relaxation factor must lie between 0 and 2.\n", 1, files},
        {kAquiferCards + "GW_RELAX_COEFF 0",
         "0 does not converge; the relaxation factor must lie between 0 and 2.\n", 1, files},
        {kAquiferCards + "GW_LSOR_DIR 4", "4 is no sweep direction", 1, files},
        {kAquiferCards + "GW_TIMESTEP 0", "0 is no groundwater time step", 1, files},
        {kAquiferCards + "GW_LEAKAGE_RATE -1", "-1 is negative; the leakage", 1, files},
        {kAquiferCards + "GW_UNIF_HYCOND 0",
         "Error: the aquifer hydraulic conductivity of cell 1 (row 1, column 1) is 0 m/s; it "
         "must be greater than 0\n",
         1, files},
        {kAquiferCards + "GW_UNIF_POROSITY 0",
         "Error: the aquifer porosity of cell 1 (row 1, column 1) is 0;", 1, files},
        {kAquiferCards,
         "Error: the aquifer bottom of cell 5 (row 2, column 2) at 9 m lies above its initial "
         "water table at 8 m",
         1, with({{"bottom.map", kSmallHeader + "0 0 0\n0 9 0\n0 0 0\n"}})},
        {kAquiferCards,
         "You can't have a dynamic wells in the groundwater boundary map. You must use the\n"
         "WELL_TABLE table in the mapping table file\n",
         1, with({{"bound.map", kSmallHeader + "6 6 6\n6 3 6\n6 6 6\n"}})},
        {kAquiferCards, "Error: groundwater boundary code 4 in cell 9 (row 3, column 3)", 1,
         with({{"bound.map", kSmallHeader + "6 6 6\n6 6 6\n6 6 4\n"}})},
        {kAquiferCards, "which is no static flux cell (code 6)", 1,
         with({{"bound.map", kSmallHeader + "6 6 6\n6 1 6\n6 6 6\n"}})},
        {kAquiferCards + "GW_FLUXBOUNDTABLE none.txt",
         "Can't open static flux table file: none.txt\n", 1, files},
        {kAquiferCards + "-WATER_TABLE", "needs the initial water table (WATER_TABLE)", 1, files},
        {kAquiferCards + "USE_WELLS", "USE_WELLS needs the WELL_TABLE table", 1, files},
        {kAquiferCards + "GW_WELL_LEVEL levels.txt", "GW_WELL_LEVEL", 1, files},
        {"OUT_WELL_LOCATION heads.txt\n" + kAquiferCards, "OUT_WELL_LOCATION reports the heads", 1,
         files},
        // Without a card or table the soil's porosity stands in, with a warning;
        // without a soil either, the run stops.
        {kAquiferCards + "-GW_UNIF_POROSITY\nGREEN_AMPT\nCONDUCTIVITY phi.map\nCAPILLARY "
                         "phi.map\nPOROSITY phi.map\nMOISTURE phi.map\n",
         "\nWarning: You have specified neither spatially-varied, uniform, or mapping table "
         "porosity for\n",
         0, uniform_maps("phi.map 0.4", files)},
        {kAquiferCards + "-GW_UNIF_HYCOND",
         "Error: groundwater simulation needs the aquifer "
         "hydraulic conductivity: give GW_UNIF_HYCOND",
         1, files},
        {kClosedAquifer + "MAPPING_TABLE wells.cmt\nUSE_WELLS",
         "Error: A well was found in the index map (cell [2,3]) that \n  "
         "was not found in the well table.\n",
         1,
         uniform_maps("wt.map 8 bottom.map 0",
                      {{"wells.idx", kSmallHeader + "0 0 0\n0 0 2\n0 0 0\n"},
                       {"wells.cmt", well_table(test::table_row(1, "-1 0 0") + "\n" +
                                                test::table_row(3, "-1 0 0") + "\n")}})},
    });
}

// Ten minutes in groundwater steps of a minute: the nine static flux cells
// take in or give up 8.64 m3/day each (1e-4 m3/s), the rain soaks through a
// soil that holds no more water straight into the recharge account.
TEST(GroundwaterRun, StaticFluxesAndRechargeMoveTheAquiferAndTheBalancesClose) {
    struct Case {
        std::string flux;
        double end_volume;  // m3
    };
    // Start: 9 cells x 100 m2 x 8 m x 0.3 = 2160 m3. The fluxes run over
    // the ten steps of 60 s that end at 10 minutes: 9 x 1e-4 x 600 = 0.54 m3.
    // The rain, 10 mm/h for 5 minutes on 900 m2, is 0.75 m3, all of it
    // recharge.
    const Case cases[] = {{"8.64", 2160.0 + 0.54 + 0.75}, {"-8.64", 2160.0 - 0.54 + 0.75}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flux);
        test::TempDir dir;
        const std::string summary =
            run_aquifer(dir,
                        kAquiferCards +
                            "GREEN_AMPT\nCONDUCTIVITY k.map\nCAPILLARY psi.map\n"
                            "POROSITY phi.map\nMOISTURE phi.map\nSUMMARY summary.txt\n",
                        uniform_maps("k.map 100 psi.map 10 phi.map 0.4", aquifer_files(c.flux)));
        EXPECT_NEAR(figure(summary, "GW volume start ="), 2160.0, 0.005);
        EXPECT_NEAR(figure(summary, "Recharge to groundwater ="), 0.75, 0.005);
        EXPECT_NEAR(figure(summary, "GW volume end ="), c.end_volume, 0.005);
        test::expect_balances_close(summary, 0.001, kAquiferBalances);
    }
}

TEST(GroundwaterRun, WellsAndLeakageTakeWhatTheyAskAndTheHeadsAreWritten) {
    const std::string wells = "MAPPING_TABLE wells.cmt\nUSE_WELLS\nOUT_WELL_LOCATION heads.txt\n";
    const std::string rows = test::table_row(1, "-8.64 0 0", "well") + "\n" +
                             test::table_row(3, "17.28 0 0", "injection") + "\n";
    struct Case {
        std::string cards;
        std::string well_map;
        double pumping, leakage;  // m3
    };
    // Start: 2160 m3. A well of -8.64 m3/day pumps 1e-4 m3/s, 0.06 m3 in
    // 600 s; one injecting 17.28 m3/day gives 0.12 m3; leakage of 1e-6 m/s
    // from nine cells of 100 m2 takes 0.54 m3.
    const Case cases[] = {
        {wells, "0 0 0\n0 1 0\n0 0 0\n", 0.06, 0.0},
        {wells, "0 0 0\n0 3 0\n0 0 0\n", -0.12, 0.0},
        {"GW_LEAKAGE_RATE 1e-6\n", "", 0.0, 0.54},
        // Leakage of 1 m/s would take far more than the aquifer holds: it
        // takes all of it, 0.3 x 8 m x 900 m2, and no more.
        {"GW_LEAKAGE_RATE 1\n", "", 0.0, 2160.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cards + c.well_map);
        test::TempDir dir;
        const std::string summary = run_aquifer(
            dir, kClosedAquifer + c.cards,
            uniform_maps("wt.map 8 bottom.map 0", {{"wells.idx", kSmallHeader + c.well_map},
                                                   {"wells.cmt", well_table(rows)}}));
        EXPECT_NEAR(figure(summary, "Pumping                         "), c.pumping, 0.005);
        EXPECT_NEAR(figure(summary, "Leakage to deep aquifer+"), c.leakage, 0.005);
        EXPECT_NEAR(figure(summary, "GW volume end ="), 2160.0 - c.pumping - c.leakage, 0.005);
        test::expect_balances_close(summary, 0.001, kAquiferBalances);
        if (c.well_map.empty())
            continue;
        // Rows at 0, 5 and 10 minutes: the time, then the head at the well,
        // below 8 m where it pumps and above where it injects.
        const std::string heads = dir.read("heads.txt");
        EXPECT_EQ(heads.substr(0, 28), "    0.00000000     8.000000 ");
        const double last =
            std::strtod(heads.c_str() + heads.rfind("   10.00000000 ") + 15, nullptr);
        EXPECT_EQ(last<8.0, c.pumping> 0.0) << heads;
        EXPECT_EQ(std::count(heads.begin(), heads.end(), '\n'), 3) << heads;
    }
}

// A water table 0.3 m above the highest ground: every cell's soil is
// saturated, the aquifer seeps out onto the surface and runs off; what left
// the aquifer is what the surface gained, and both balances close.
TEST(GroundwaterRun, WaterTableAboveTheGroundSeepsOut) {
    test::TempDir dir;
    const std::string summary = run_aquifer(
        dir,
        kClosedAquifer +
            "GREEN_AMPT\nCONDUCTIVITY k.map\nCAPILLARY psi.map\n"
            "POROSITY phi.map\nMOISTURE m.map\n",
        uniform_maps("wt.map 10.5 bottom.map 0 k.map 1 psi.map 10 phi.map 0.4 m.map 0.2"));
    const double seeped = figure(summary, "Exfiltration back on overland =");
    EXPECT_GT(seeped, 0.1);
    // The aquifer lost what seeped out, less the rain it took back where the
    // water table fell below the surface water.
    EXPECT_NEAR(figure(summary, "GW volume start =") - figure(summary, "GW volume end ="),
                -figure(summary, "Recharge to groundwater ="), 0.005);
    EXPECT_GT(-figure(summary, "Recharge to groundwater ="), 0.1);
    test::expect_balances_close(summary, 0.001,
                                {"Mass Balance error =", "Overall mass balance error =",
                                 "Mass balance error of surface components ="});
}

}  // namespace
}  // namespace torva

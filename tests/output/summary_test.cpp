// The summary file: the event summary, the run's water balance and the mass
// conservation figures of whole runs on small watersheds.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "output/summary.hpp"
#include "support/grid_projects.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::golden;
using test::run_program_in;
using test::TempDir;

using test::map_of;
using test::write_grid_project;

using test::figure;

// Nine cells of 100 m on level ground, so no water moves between them, and a
// roughness so high that the outlet passes next to nothing. 10 mm/h for
// 5 minutes puts 0.8333 mm on each cell: 75 m3 in all.
//
// Interception (June, latitude 0: divisor 1), storage 0.4 mm, coefficient 0.1,
// 30 s steps of P = 0.08333 mm: steps 1-4 intercept all 0.3333 mm; step 5
// fills the remaining 0.0667 mm and intercepts 0.1 x 0.0833 = 0.0083 mm of the
// rest; steps 6-10 intercept 0.0083 mm each. 0.45 mm per cell: 40.5 m3.
// 0.3833 mm reaches the ground of each cell, 34.5 m3 in all.
//
// The southern row soaks up everything (Ks 1000 m/h), the others nothing
// (Ks 0): 11.5 m3 infiltrate and 23.0 m3 remain on the surface.
void write_level_watershed(const TempDir& dir, const std::string& edits = "") {
    write_grid_project(
        dir, 3, 3, 100,
        "ELEVATION level.ele\nMANNING_N 1000000\nNUM_THREADS 1\n"
        "STORAGE_CAPACITY storage.map\nINTERCEPTION_COEFF coeff.map\nGREEN_AMPT\n"
        "CONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\n"
        "MOISTURE moist.map\nSUMMARY summary.txt\n" +
            edits,
        "level.ele 10 storage.map 0.4 coeff.map 0.1 psi.map 10 por.map 0.4 moist.map 0.1",
        {{"ks.map", [](int r, int) { return r == 3 ? 100000.0 : 0.0; }}});
}

TEST(SummaryFile, LevelWatershedWithInterceptionAndInfiltrationMatchesHandCheckedFile) {
    TempDir dir;
    write_level_watershed(dir);
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("summary.txt"), golden("output/golden/level_watershed_summary.txt"));
}

// A gauge event whose records hold no rain.
TEST(EventSummary, EventWithoutRainPrintsMinusOneHundredPercentAndBothNotes) {
    TempDir dir;
    write_level_watershed(dir,
                          "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE dry.gag");
    dir.write("dry.gag",
              "EVENT \"dry spell\"\nNRGAG 1\nNRPDS 2\nCOORD 150 150 \"gauge\"\n"
              "GAGES 2020 6 1 10 0 0.0\nGAGES 2020 6 1 10 5 0.0\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("summary.txt");
    // The note on the missing rain closes the event block, after the cleanup
    // line; the run's balance has no input at all: both errors are reported as 0.
    for (const char* block :
         {"With raingage data using inverse-distance squared interpolation.\n",
          "volume of rainfall to overland:            0.0\n",
          "mass conservation error:             -100.000000 percent\n"
          "Note: positive mass conservation error indicates mass was lost.\n",
          "mass cleanup error from overland:      0.000000 m3\nNote: no rainfall was input.\n",
          "Mass balance error of surface components =                0.000000 percent\n\n"
          "Overall mass balance error =                              0.000000 percent\n"})
        EXPECT_NE(summary.find(block), std::string::npos) << block << summary;
}

// A closed bowl: 9 x 9 cells of 30 m, ground rising with the square of the
// distance from the centre, the outlet in the highest corner, a cell that soaks up all
// its own rain (so it never holds water to discharge), moderate infiltration
// elsewhere. 60 mm/h for 30 minutes is 30 mm on 72900 m2: 2187 m3. Every cubic
// metre must be found again on the surface, in the soil or on the canopy.
TEST(MassBalance, ClosedBowlKeepsEveryCubicMetreForEveryScheme) {
    for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
        SCOPED_TRACE(scheme);
        TempDir dir;
        write_grid_project(
            dir, 9, 9, 30,
            "ELEVATION bowl.ele\nOUTROW 1\nOUTCOL 1\nTIMESTEP 10\nTOT_TIME 60\n"
            "START_DATE 2020 7 1\nRAIN_INTENSITY 60\nRAIN_DURATION 30\nOVERTYPE " +
                std::string(scheme) +
                "\nINTERCEPTION_COEFF coeff.map\nSTORAGE_CAPACITY storage.map\nGREEN_AMPT\n"
                "CONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\nMOISTURE moist.map\n"
                "SUMMARY summary.txt\nQUIET\n",
            "psi.map 5 por.map 0.45 moist.map 0.3 storage.map 2 coeff.map 0.05",
            {{"bowl.ele",
              [](int r, int c) { return 100.0 + 0.02 * ((r - 5) * (r - 5) + (c - 5) * (c - 5)); }},
             {"ks.map", [](int r, int c) { return r == 1 && c == 1 ? 100000.0 : 0.5; }}});
        const auto run = run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string s = dir.read("summary.txt");

        const double precipitation = figure(s, "Total amount of precip=");
        EXPECT_NEAR(precipitation, 2187.0, 0.005);
        EXPECT_EQ(figure(s, "Total amount of discharge="), 0.0);
        const double surface = figure(s, "Final volume on surface=");
        const double infiltration = figure(s, "Total amount of infiltration=");
        const double interception = figure(s, "Total amount of interception=");
        EXPECT_GT(surface, 100.0);
        EXPECT_GT(infiltration, 100.0);
        EXPECT_GT(interception, 100.0);
        // Printed to the centimetre: each term may be off by half a centimetre.
        EXPECT_NEAR(precipitation, surface + infiltration + interception, 0.015);
        // The event sums are printed to the micro-cubic-metre and agree.
        const double in = figure(s, "Mass input + original mass:");
        const double out = figure(s, "Mass output + final mass:");
        EXPECT_NEAR(in, out, 2e-6) << s;
        test::expect_balances_close(s, 1e-6);
        EXPECT_EQ(figure(s, "mass cleanup error from overland:"), 0.0);
    }
}

// The 3 x 3 project with 100 mm/h of rain, a head boundary at 9 m in the
// north-west cell (ground 10.2 m: the cell is emptied every step) and a free
// outflow at slope 1 in the south-east corner. Both boundaries take water out
// of the run and of the event, and both balances still close to the last
// printed digit.
TEST(MassBalance, HeadAndFreeOutflowBoundariesAreOutputsOfBothBalances) {
    TempDir dir;
    test::write_small_project(dir,
                              "RAIN_INTENSITY 100\nMAPPING_TABLE tables.cmt\nOV_BOUNDARY\n"
                              "SUMMARY summary.txt\nQUIET\n");
    dir.write("ob.idx", map_of(3, 3, 10, [](int r, int c) {
                  return r == 1 && c == 1 ? 1.0 : r == 3 && c == 3 ? 2.0 : 0.0;
              }));
    dir.write("tables.cmt",
              "TORVA_INDEX_MAP_TABLES\nINDEX_MAP ob.idx \"B\"\n"
              "OVERLAND_BOUNDARY \"B\"\nNUM_IDS 2\nID D TYPE VALUE\n" +
                  test::table_row(1, "2 9.0", "head") + "\n" + test::table_row(2, "1 1.0", "free") +
                  "\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string s = dir.read("summary.txt");
    EXPECT_GT(figure(s, "Volume lost to specified slope boundary:"), 0.1);
    EXPECT_GT(figure(s, "Volume lost to specified head boundary:"), 0.1);
    test::expect_balances_close(s, 1e-6);
}

// The balances from given figures: the guards and the denominators.
TEST(MassBalance, GuardsAndDenominatorsOfTheRunErrors) {
    Totals t;
    const Storages none;
    // Nothing at all: no division by zero, both errors 0.
    BalanceResults r = compute_run_balance(t, none, none);
    EXPECT_EQ(std::pair(r.overall_error, r.surface_error), std::pair(0.0, 0.0));

    // 100 m3 of rain, 10 m3 discharged, 60 m3 left on the surface, 20 m3
    // infiltrated: 10 m3 unaccounted. Overall: 100 * 10 / 100 = 10 percent.
    // The surface error divides by final surface + inputs: 10 / 160.
    t.run = {.precipitation = 100.0, .infiltration = 20.0, .outlet_discharge = 10.0};
    r = compute_run_balance(t, none, Storages{.surface = 60.0});
    EXPECT_DOUBLE_EQ(r.overall_error, 10.0);
    EXPECT_DOUBLE_EQ(r.surface_error, 100.0 * 10.0 / 160.0);

    // Water gained from a head boundary is an input; water lost to slope
    // boundaries an output.
    t.run.boundary_inflow = 4.0;
    t.run.slope_boundary_outflow = 14.0;
    EXPECT_DOUBLE_EQ(compute_run_balance(t, none, Storages{.surface = 60.0}).overall_error, 0.0);

    // A negative total of initial storage and inputs gives 0, not a sign flip.
    t.run = {.precipitation = 10.0, .groundwater_boundary_flux = -50.0};
    EXPECT_EQ(compute_run_balance(t, none, none).overall_error, 0.0);
}

// The event error is the share of the input not found; water on the ground
// but no rain gives -1 all the same.
TEST(MassBalance, EventErrorIsTheShareOfInputNotFound) {
    Totals t;
    t.event_initial_surface = 50.0;
    t.event = {.precipitation = 150.0,
               .interception = 20.0,
               .infiltration = 30.0,
               .outlet_discharge = 90.0};
    const EventBalance e = compute_event_balance(t, Storages{.surface = 58.0});
    EXPECT_DOUBLE_EQ(e.input, 200.0);
    EXPECT_DOUBLE_EQ(e.output, 198.0);
    EXPECT_DOUBLE_EQ(e.error, 0.01);
    EXPECT_FALSE(e.no_rain);
    t.event = {};
    const EventBalance dry = compute_event_balance(t, Storages{});
    EXPECT_TRUE(dry.no_rain);
    EXPECT_EQ(dry.error, -1.0);
}

}  // namespace
}  // namespace torva

// Long-term runs end to end on a 3 x 3 watershed: hourly weather read from an
// HMX file, two storms, the soil store drying between them, snow, and the
// balances; and the weather that stops a run.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/network_files.hpp"
#include "support/harness.hpp"
#include "support/long_term_watershed.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::run_program_in;
using test::TempDir;

using test::figure_after;
using test::hmx_june_weather;
using test::uniform_map;

// Writes the long-term project with its inputs; `edits` change whole lines
// of the project as test::edited changes them.
void write_long_term_project(const TempDir& dir, const std::string& weather,
                             const std::string& extra = "",
                             const std::vector<std::pair<std::string, std::string>>& edits = {}) {
    dir.write("p.prj",
              test::edited(test::long_term_cards() + "DAILY_OUTPUT hourly.txt\n" + extra, edits));
    test::write_long_term_inputs(dir, weather);
}

// The pond of the centre cell: a pit at 9.8 m beside the outlet cell at 9.9 m,
// and with `lake` an overland lake in it at 9.89 m.
void write_pond(const TempDir& dir, bool lake) {
    dir.write("elevation.ele",
              test::kSmallHeader + "10.2 10.1 10.2\n10.1 9.8 10.1\n10.0 9.9 10.0\n");
    if (!lake)
        return;
    dir.write("lake.map", test::kSmallHeader + "0 0 0\n0 1 0\n0 0 0\n");
    dir.write("lake.txt", "TORVA_OVERLAND_LAKE_FILE\nLAKE 1 9.89 0\n");
}
const std::string kLakeCards = "OVERLAND_LAKE_MAP lake.map\nOVERLAND_LAKE_FILE lake.txt\n";

// The weather with the temperature (deg F) of every line that starts with
// `stamp` set to `t`.
std::string with_temperature(const std::string& weather, const std::string& stamp,
                             const std::string& t) {
    std::istringstream in(weather);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(stamp)) {
            std::istringstream w(line);
            std::vector<std::string> f(11);
            for (auto& x : f) w >> x;
            f[8] = t;
            line.clear();
            for (auto& x : f) line += x + " ";
        }
        out += line + "\n";
    }
    return out;
}

struct HourLine {
    double theta, pet, aet;
};

std::vector<HourLine> hourly_lines(const TempDir& dir) {
    std::istringstream in(dir.read("hourly.txt"));
    std::string line;
    std::getline(in, line);
    std::vector<HourLine> lines;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string date, hour;
        HourLine h{};
        words >> date >> hour >> h.theta >> h.pet >> h.aet;
        lines.push_back(h);
    }
    return lines;
}

// Runs the project of `dir`, which must end well, into its summary (and its
// console); every run here balances.
void run_balanced(const TempDir& dir, std::string& summary, std::string* console = nullptr) {
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    summary = dir.read("summary.txt");
    EXPECT_LT(std::fabs(figure_after(summary, "Overall mass balance error =")), 1e-3) << summary;
    if (console)
        *console = run.out;
}

// Through the dry week after the first storm the store never falls below the
// wilting point, no hour's AET exceeds its PET, and the last dry hour is
// drier than the first after the storm.
void expect_dry_week(const std::vector<HourLine>& hours) {
    ASSERT_GT(hours.size(), 7u * 24u);
    for (std::size_t h = 3; h < 7 * 24; ++h) {
        EXPECT_LE(hours[h].aet, hours[h].pet + 1e-6) << h;
        EXPECT_GE(hours[h].theta, 0.12 - 1e-6) << h;
    }
    EXPECT_LT(hours[7 * 24 - 1].theta, hours[6].theta - 0.01);
}

// Two storms a week apart in sunny June weather: the first wets the store
// above field capacity, the dry week takes it down by evapotranspiration
// and percolation, never below the wilting point, with AET never above PET;
// the second storm is summarised too, and both events and the run balance.
// The same storms in weather 30 F warmer evaporate more.
TEST(LongTermRun, DryWeekBetweenStormsBalancesAndDriesTheSoil) {
    double evaporation[2] = {};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k == 0 ? "50 F" : "80 F");
        TempDir dir;
        write_long_term_project(dir, hmx_june_weather(10, k == 0 ? 50 : 80));
        std::string summary;
        ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
        for (int event = 1; event <= 2; ++event)
            EXPECT_LT(std::fabs(figure_after(summary, "mass conservation error:", event)), 1e-3)
                << summary;
        EXPECT_NE(summary.find("SUMMARY- EVENT 2"), std::string::npos);
        evaporation[k] = figure_after(summary, "Total amount of evaporation=");
        EXPECT_GT(figure_after(summary, "Final volume in soil over GAR soil depth"), 0.0);

        const std::vector<HourLine> hours = hourly_lines(dir);
        ASSERT_NO_FATAL_FAILURE(expect_dry_week(hours));
        // Hour by hour the store only gives water up.
        double previous = 1.0;
        int falling = 0;
        for (std::size_t h = 3; h < 7 * 24; ++h) {
            falling += hours[h].theta < previous ? 1 : 0;
            EXPECT_LE(hours[h].theta, previous + 1e-6) << h;
            previous = hours[h].theta;
        }
        EXPECT_GT(falling, 100);
    }
    EXPECT_GT(evaporation[0], 0.0);
    EXPECT_GT(evaporation[1], 1.2 * evaporation[0]);
}

// A dry spell strided by the weather hour gives the hourly lines of one
// strided by the minute (HYD_FREQ 1 stops a stride at every hydrograph
// row): each stride evaporates the pond in the centre pit (slow soil, so
// the storms' runoff stands there) and the store at the potential rate of
// the hour it spans, and its water shows in that hour's line. Only the
// stress factor, taken at the start of a stride, sets them apart.
TEST(LongTermRun, DrySpellStridedByTheHourGivesTheLinesOfOneStridedByTheMinute) {
    std::vector<HourLine> lines[2];
    const char* rows[] = {"HYD_FREQ 60", "HYD_FREQ 1"};
    for (int k = 0; k < 2; ++k) {
        TempDir dir;
        write_long_term_project(dir, hmx_june_weather(10, 68), "", {{"HYD_FREQ 60", rows[k]}});
        write_pond(dir, false);
        dir.write("ks.map", uniform_map("0.005"));
        std::string summary;
        ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
        EXPECT_GT(figure_after(summary, "Total direct evaporation="), 4.9) << summary;
        lines[k] = hourly_lines(dir);
    }
    // From the first storm (1 June 12:00) to the second's hour (8 June 12:00),
    // which the first run strides up to.
    ASSERT_GT(lines[0].size(), 7u * 24u);
    ASSERT_GT(lines[1].size(), 7u * 24u);
    for (std::size_t h = 0; h <= 7 * 24; ++h) {
        SCOPED_TRACE(h);
        EXPECT_EQ(lines[0][h].pet, lines[1][h].pet);
        EXPECT_NEAR(lines[0][h].theta, lines[1][h].theta, 3e-4);
        EXPECT_NEAR(lines[0][h].aet, lines[1][h].aet, 1.5e-3);
        EXPECT_LE(lines[0][h].aet, lines[0][h].pet + 1e-6);
    }
}

// The same season on Richards columns (a loam over a slow clay loam in 5 cm
// nodes, roots in the top 30 cm): the roots take the demand times their water
// stress, so the root zone dries through the week, never below the wilting
// point, with AET never above PET, and the run balances with every volume the
// roots took counted as evaporation.
TEST(LongTermRun, RichardsColumnsDryThroughRootUptake) {
    TempDir dir;
    write_long_term_project(dir, hmx_june_weather(10, 68), "",
                            {{"INF_REDIST",
                              "INF_RICHARDS\nSOIL_LAYER_INPUT_FILE soil.tbl\n"
                              "SOIL_TYPE_MAP soil.idx\nRICHARDS_ITER_MAX 10"}});
    dir.write("soil.idx", uniform_map("1"));
    dir.write("soil.tbl",
              "1 0\n1\n"
              "1.32 0.434 0.027 0.25 0.22 11.15 30 0.12 0.27 5 1\n"
              "0.1 0.39 0.075 0.30 0.24 25.9 30 0.2 0.32 5 0\n"
              "0.1 0.39 0.075 0.30 0.24 25.9 0 0.2 0.32 5 0\n"
              "0 0 0 0\n");
    std::string summary;
    ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
    EXPECT_GT(figure_after(summary, "Total amount of evaporation="), 1.0) << summary;
    expect_dry_week(hourly_lines(dir));
}

// A pond 9 cm deep in a pit of the centre cell (9.8 m, the outlet cell below
// it at 9.9 m): the storms' runoff fills it and the sunny days take it down
// at the cell's potential rate. What evaporated is counted with the run's
// evaporation and the hour's AET; the lake's own balance and the run's close.
TEST(LongTermRun, OverlandLakeEvaporatesAndEveryBalanceCloses) {
    TempDir dir;
    write_long_term_project(dir, hmx_june_weather(10, 68), kLakeCards);
    write_pond(dir, true);
    std::string summary;
    ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
    const double evaporated = figure_after(summary, "Volume of evaporation from lakes:");
    const double initial = figure_after(summary, "Initial volume in overland lakes:");
    const double inflow = figure_after(summary, "Volume of flow into overland lakes:");
    const double outflow = figure_after(summary, "Volume of flow from overland lakes:");
    const double remaining = figure_after(summary, "Final volume in overland lakes:");
    EXPECT_NEAR(initial, 9.0, 0.005);
    // Some millimetres a day from 100 m2 over ten days.
    EXPECT_GT(evaporated, 1.0) << summary;
    EXPECT_NEAR(initial + inflow - outflow - evaporated, remaining, 0.01) << summary;
    EXPECT_NEAR(figure_after(summary, "Overland lake mass bal error m^3:"), 0.0, 0.005);
    EXPECT_GE(figure_after(summary, "Total direct evaporation="), evaporated - 0.005);
    for (int event = 1; event <= 2; ++event)
        EXPECT_LT(std::fabs(figure_after(summary, "mass conservation error:", event)), 1e-3);
    const std::vector<HourLine> hours = hourly_lines(dir);
    for (std::size_t k = 0; k < hours.size(); ++k)
        EXPECT_LE(hours[k].aet, hours[k].pet + 1e-6) << k;
}

// A night of hot, dry, windy air (30 C, 10 %, 20 knots, clear) over the pond
// of the test above, the land around it at the wilting point and no rain
// until 6:00. With no sun every cell has the same potential rate (no canopy
// resistance, one vegetation height), the land gives nothing, and the pond
// gives its rate over one cell of nine: the hour's AET is PET / 9 exactly,
// from the first hour on (the step that holds the start time evaporates
// nothing from land or water alike). The soil under the pond starts wet
// (0.40) and keeps its water while flooded: it drains nothing, and the
// hour's water content is the land's, 0.12 before the rain at 7:00 (with
// the pond's soil in it, 0.150, falling as that soil drained).
TEST(LongTermRun, PondAmongWiltedLandEvaporatesANinthOfThePotentialRate) {
    TempDir dir;
    std::string weather;
    for (int day = 1; day <= 2; ++day)
        for (int h = 0; h < 24; ++h)
            weather += "2021 6 " + std::to_string(day) + " " + std::to_string(h) +
                       " 29.92 10 0 20 86 0.0 0.0\n";
    write_long_term_project(dir, weather, kLakeCards);
    write_pond(dir, true);
    dir.write("canopy.map", uniform_map("0"));
    dir.write("moisture.map",
              test::kSmallHeader + "0.12 0.12 0.12\n0.12 0.40 0.12\n0.12 0.12 0.12\n");
    dir.write("storms.gag",
              "EVENT \"night\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\nGAGES 2021 6 1 0 0 0.0\n"
              "GAGES 2021 6 1 6 0 0.0\nGAGES 2021 6 1 7 0 5.0\n");
    std::string summary;
    ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
    const std::vector<HourLine> hours = hourly_lines(dir);
    ASSERT_GT(hours.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_GT(hours[k].pet, 0.1) << k;
        // Both figures are printed to a millionth.
        EXPECT_NEAR(9.0 * hours[k].aet, hours[k].pet, 6e-6) << k;
        EXPECT_EQ(hours[k].theta, 0.12) << k;
    }
    // The 5 mm/h on the wilted land from 7:00 bring its soil nowhere near
    // draining (Ks Se^9.25 with Se = 0.24: 2e-6 cm/h).
    EXPECT_EQ(figure_after(summary, "Total downward flux from unsaturated zone="), 0.0) << summary;
}

// A summer of weather with the second storm at its end: the weather hours
// are met on the hour through three months of dry spells (the hours are
// counted from each record's date, so rounding does not build up), and the
// run ends after the second storm with a line for every hour from the first
// storm's (1 June 12:00) past the second's (30 August 12:00, 2160 hours on),
// and balances.
TEST(LongTermRun, SummerOfDrySpellsKeepsTheWeatherOnTheHour) {
    TempDir dir;
    write_long_term_project(dir, hmx_june_weather(92, 68));
    dir.write("storms.gag",
              "EVENT \"June\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
              "GAGES 2021 6 1 12 0 0.0\nGAGES 2021 6 1 12 30 10.0\nGAGES 2021 6 1 13 0 10.0\n"
              "EVENT \"August\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
              "GAGES 2021 8 30 12 0 0.0\nGAGES 2021 8 30 12 30 2.0\nGAGES 2021 8 30 13 0 2.0\n");
    std::string summary;
    ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
    EXPECT_NE(summary.find("SUMMARY- EVENT 2"), std::string::npos);
    EXPECT_GT(hourly_lines(dir).size(), 2160u);
}

// Below freezing the storm falls as snow: the first event's summary keeps
// all its rainfall in the snow store; the warm days after melt it, and the
// run still balances with no snow left. Snow on the open water of a lake of
// the network (the north-west cell, ground 10.2 m under a level of 10.25 m;
// no lake is modelled as frozen) joins the lake as its precipitation, not the
// overland's: 20 mm on its 100 m2 are 2 m3, and the land's snow store holds
// the 16 m3 of the other eight cells.
TEST(LongTermRun, SnowfallIsStoredThenMelts) {
    // The first day freezing at 20 F.
    const std::string cold = with_temperature(hmx_june_weather(10, 70), "2021 6 1 ", "20");
    const std::string network = "CHANNEL_INPUT chan.txt\nSTREAM_CELL chan.gst\nCHAN_EXPLIC\n";
    const struct {
        const char* name;
        std::string cards;
        double on_lake;  // m3
    } cases[] = {{"land", "", 0.0}, {"lake of the network", network, 2.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_long_term_project(dir, cold, c.cards);
        // Link 1 a lake over the north-west cell, spilling into link 2.
        dir.write("chan.txt",
                  "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 2\nMAXNODES 3\n"
                  "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
                  "LINK 1\nLAKE\nNODES 1\nDX 10\nMINWSE 10.15\nINITWSE 10.25\nMAXWSE 10.6\n"
                  "NUMPTS 1\n1 1\n"
                  "LINK 2\nTRAPEZOID\nNODES 3\nDX 10\nMANNINGS_N 0.04\nNODE 1\nELEV 9.5\nXSEC\n"
                  "BOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\nNODE 2\nELEV 9.45\n"
                  "NODE 3\nELEV 9.4\n");
        dir.write("chan.gst",
                  "GRIDSTREAMFILE\nSTREAMCELLS 3\nCELLIJ 1 2\nNUMNODES 1\nLINKNODE 2 1 1.0\n"
                  "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 2 1.0\n"
                  "CELLIJ 3 2\nNUMNODES 1\nLINKNODE 2 3 1.0\n");
        std::string summary;
        ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
        // 20 mm on 900 m2.
        EXPECT_NEAR(figure_after(summary, "volume of rainfall to overland:"), 18.0 - c.on_lake,
                    0.05);
        EXPECT_NEAR(figure_after(summary, "volume of snow remaining:"), 18.0 - c.on_lake, 0.05)
            << summary;
        EXPECT_NEAR(figure_after(summary, "Total amount of snowfall="), 18.0 - c.on_lake, 0.05);
        // The second storm's 4 mm of rain add 0.4 m3.
        if (c.on_lake > 0.0)
            EXPECT_NEAR(figure_after(summary, "Volume precip to lakes="), c.on_lake + 0.4, 0.005);
        EXPECT_EQ(figure_after(summary, "volume of infiltration:"), 0.0);
        EXPECT_EQ(figure_after(summary, "Final volume of snow="), 0.0);
    }
}

// Snow melts the hour's amount each weather hour, whatever the model step.
// 20 mm of snow falls at 20 F from 12:00 to 13:00; from 14:00 the air is
// 50 F (10 C) at 50 % humidity, 5 knots (2.57222 m/s) and 29.92 inHg
// (1013.25 mb), and the weather ends with the 20:00 hour. By hand:
// Uf = 2.57222 x 0.0002 / 1000 x 3600 = 0.00185200;
// energy = 4.956e-9 x 283.15^4 - 27 + (2.749e8 exp(-4278.6 / 252.8) x 0.5
// - 6.11) x 600 Uf + 0.00061 x 1013.25 x 600 Uf x 10 = 11.75182;
// melt = 11.75182 / 80 x 3600 / 360000 = 1.468977 mm an hour. Seven warm
// hours (14:00 to 20:00) on 900 m2 melt 9.2546 m3 of the 18 m3 of snow.
TEST(LongTermRun, SnowMeltsTheHoursAmountAtAnyStep) {
    std::string weather;
    char line[96];
    for (int h = 0; h <= 20; ++h) {
        std::snprintf(line, sizeof line, "2021 6 1 %d 29.92 50 2 5 %d 0 0\n", h, h < 14 ? 20 : 50);
        weather += line;
    }
    // The second storm starts in the last weather hour, with no rain until
    // 20:30, so that the run lasts until the weather ends.
    const std::string storms =
        "EVENT \"snow\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
        "GAGES 2021 6 1 12 0 0.0\nGAGES 2021 6 1 12 30 10.0\nGAGES 2021 6 1 13 0 10.0\n"
        "EVENT \"drizzle\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
        "GAGES 2021 6 1 20 0 0.0\nGAGES 2021 6 1 20 30 0.0\nGAGES 2021 6 1 21 0 0.1\n";
    for (const char* step : {"30", "300"}) {
        SCOPED_TRACE(step);
        TempDir dir;
        write_long_term_project(dir, weather, "",
                                {{"TIMESTEP 30", std::string("TIMESTEP ") + step}});
        dir.write("storms.gag", storms);
        std::string summary, console;
        ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary, &console));
        EXPECT_NE(console.find("End of meteorology data reached"), std::string::npos) << console;
        EXPECT_NEAR(figure_after(summary, "Total amount of snowfall="), 18.0, 0.005);
        EXPECT_NEAR(figure_after(summary, "Total amount of snowmelt="), 9.2546, 0.005 * 9.2546)
            << summary;
        EXPECT_NEAR(figure_after(summary, "Final volume of snow="), 18.0 - 9.2546, 0.005 * 9.2546);
    }
}

// A top layer 0.1 m deep over the rest of the 0.3 m root zone: the run
// balances, the location file gives the top layer's water content and the
// layer's below (or a front's and 999.99), and through the dry week the top
// layer, which evaporation draws first, ends drier than the layer below. A
// top layer as deep as the root zone is refused.
TEST(LongTermRun, TopLayerDriesFirst) {
    TempDir dir;
    write_long_term_project(
        dir, hmx_june_weather(10, 68),
        "TOP_LAYER_DEPTH 0.1\nIN_THETA_LOCATION loc.txt\nOUT_THETA_LOCATION theta.txt\n");
    dir.write("loc.txt", "1\n2 2\n");
    std::string summary;
    ASSERT_NO_FATAL_FAILURE(run_balanced(dir, summary));
    std::istringstream in(dir.read("theta.txt"));
    std::string line;
    int rows = 0, front_rows = 0;
    double top = 0.0, below = 0.0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        double time = 0.0;
        ASSERT_TRUE(words >> time >> top >> below) << line;
        EXPECT_FALSE(words >> time) << "two values a location: " << line;
        front_rows += below == 999.99 ? 1 : 0;
        ++rows;
    }
    EXPECT_GT(rows, 7 * 24);
    EXPECT_LT(front_rows, rows);
    EXPECT_GE(top, 0.12 - 1e-6);
    EXPECT_LT(top, below);

    TempDir deep;
    write_long_term_project(deep, hmx_june_weather(10, 68), "TOP_LAYER_DEPTH 0.3\n");
    const auto refused = run_program_in(deep.path(), {"p.prj"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("0.3 m is no top layer: it must be more than 0 and less than the "
                               "soil moisture depth (SOIL_MOIST_DEPTH 0.3 m)"),
              std::string::npos)
        << refused.out;
}

struct WeatherFault {
    const char* name;
    std::string weather;
    const char* message;
    const char* step = "30";  // TIMESTEP, s
};

// A weather file the reader refuses (its every refusal is in the weather
// layout tests) or a step longer than the weather's hour, which would let the
// weather fall behind the clock, stops the run before any step.
TEST(LongTermRun, WeatherFaultsStopTheRunBeforeAnyStep) {
    const std::string good = hmx_june_weather(10, 68);
    const WeatherFault faults[] = {
        {"too long a line", "2021 6 1 0 29.92 50 2 5 60 0 0 " + std::string(1200, ' ') + "\n",
         "is longer than 1000 characters"},
        {"step over an hour", good,
         "card TIMESTEP on line 11 of p.prj: 3601 seconds is longer than the hour of the "
         "weather a long-term run follows",
         "3601"},
    };
    for (const WeatherFault& f : faults) {
        TempDir dir;
        write_long_term_project(
            dir, f.weather, "",
            {{"TIMESTEP 30", std::string("TIMESTEP ") + f.step}, {"TOT_TIME 10", "TOT_TIME 100"}});
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1) << f.name;
        EXPECT_NE(run.out.find(f.message), std::string::npos) << f.name << "\n" << run.out;
        EXPECT_EQ(run.out.find("Running...."), std::string::npos) << f.name;
    }
}

}  // namespace
}  // namespace torva

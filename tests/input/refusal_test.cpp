// What the readers refuse, end to end: the small project with some lines
// changed or a map, table, list or gauge file written over it, run as
// `torva p.prj`, and the message and exit status the program gives. One case
// a line: the project lines, then the message.

#include <gtest/gtest.h>

#include <string>

#include "support/grids.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::card_refusal;
using test::kSmallHeader;

const std::string kUseTable = "-MANNING_N\nMAPPING_TABLE land.cmt";
const std::string kGaugeRain =
    "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE rain.gag";
const std::string kTheta = "IN_THETA_LOCATION theta.loc";
const std::string kLongStep = "; give fewer minutes or a longer TIMESTEP";

// A mapping table file land.cmt with one roughness table of this count and
// row over a uniform index map.
std::vector<std::pair<std::string, std::string>> table(const std::string& count,
                                                       const std::string& row) {
    return {{"land.cmt",
             "TORVA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n"
             "ROUGHNESS \"Land use\"\nNUM_IDS " +
                 count + "\nID DESCRIPTION N\n" + row + "\n"},
            {"landuse.idx", kSmallHeader + "1 1 1\n1 1 1\n1 1 1\n"}};
}
// A table row whose value starts in column `start` + 1.
std::string early_row(const std::string& value, std::size_t start) {
    std::string row = test::table_row(1, "");
    row.resize(start, ' ');
    return row + value;
}
std::string table_error(const std::string& where, const std::string& rest) {
    return "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS" + where + rest;
}
// The project with one file of the small grid written over, holding these rows.
test::ProjectCase with_map(const std::string& edits, const std::string& file,
                           const std::string& rows, const std::string& message, int status = 1) {
    return {edits, message, status, {{file, kSmallHeader + rows}}};
}
test::ProjectCase bad_value(const std::string& file, const std::string& rows,
                            const std::string& place, const std::string& reason) {
    return with_map("", file, rows, "Error: in map " + file + ", " + place + ": " + reason + "\n");
}
test::ProjectCase bad_row(const std::string& count, const std::string& row,
                          const std::string& message) {
    return {kUseTable, message, 1, table(count, row)};
}
test::ProjectCase bad_theta(const std::string& locations, const std::string& rest,
                            const std::string& mask = "1 1 1\n1 1 1\n1 1 1\n") {
    return {kTheta,
            "Error: location file theta.loc (card IN_THETA_LOCATION)" + rest + "\n",
            1,
            {{"theta.loc", locations}, {"mask.msk", kSmallHeader + mask}}};
}

// A value refused as not finite, and a negative one with the rule of its card.
test::ProjectCase not_finite(const std::string& card, const std::string& value) {
    return card_refusal(card + " " + value, value + " is not a finite number");
}
test::ProjectCase negative(const std::string& card, const std::string& value,
                           const std::string& rule) {
    return card_refusal(card + " " + value, value + " is negative; the " + rule);
}

TEST(Refusals, CardValues) {
    const std::string above_0 = " must be greater than 0";
    const std::string counter = " time steps, more than the step counter holds (2147483647)";
    test::expect_project_cases({
        not_finite("TIMESTEP", "nan"),
        not_finite("TIMESTEP", "inf"),
        not_finite("TIMESTEP", "1e999"),
        not_finite("OUTSLOPE", "nan"),
        not_finite("MANNING_N", "inf"),
        not_finite("RETENTION", "nan"),
        not_finite("RETEN_DEPTH", "-nan"),
        negative("TIMESTEP", "-5", "time step (seconds)" + above_0),
        negative("TOT_TIME", "-10", "length of the run (minutes)" + above_0),
        negative("RAIN_INTENSITY", "-10", "rain intensity (mm/h) cannot be negative"),
        negative("RAIN_DURATION", "-5", "rain duration (minutes) cannot be negative"),
        negative("OUTSLOPE", "-0.01", "outlet slope" + above_0),
        negative("MANNING_N", "-0.05", "Manning roughness" + above_0),
        negative("RETENTION", "-2", "retention depth (mm) cannot be negative"),
        card_refusal("TIMESTEP 1200",
                     "1200 seconds is longer than the whole run (TOT_TIME 10 "
                     "minutes); give a shorter step or a longer run"),
        card_refusal("TOT_TIME 99999999999",
                     "99999999999 does not fit in an integer (-2147483648 to 2147483647)"),
        card_refusal("TOT_TIME 0",
                     "0 minutes is no run at all; the length of the run (minutes)" + above_0),
        card_refusal("TOT_TIME 10.5", "10.5 is not a whole number"),
        card_refusal("TOP_LAYER_DEPTH 0.1",
                     "0.1 m divides the root-zone store of a long-term run with INF_REDIST, "
                     "which this run does not keep; remove the card, or run LONG_TERM with "
                     "INF_REDIST"),
        card_refusal("HYD_FREQ five", "five is not a number"),
        card_refusal("HYD_FREQ 1e12", "1e+12 minutes is 2000000000000" + counter + kLongStep),
        card_refusal("MAP_FREQ 2000000000", "2e+09 minutes is 4000000000" + counter + kLongStep),
        {"-TOT_TIME",
         "Error: the project file p.prj has no TOT_TIME card; give the length of the "
         "run in minutes, for example TOT_TIME 120.\n"},
        {"TOT_TIME 10.0", "Running....", 0},
        {"TIMESETP 20",
         "Warning: unknown card found in the project file: timesetp\n"
         "  (line 20 of p.prj, ignored; did you mean TIMESTEP?)\n",
         0},
        {"WIBBLE 2",
         "Warning: unknown card found in the project file: wibble\n"
         "  (line 20 of p.prj, ignored)\n",
         0},
    });
}

TEST(Refusals, MapsTablesListsAndGauges) {
    const std::string give = "; give it an elevation or take it out of the WATERSHED_MASK map.";
    const std::string values = "10.2 10.1 10.2\n10.1 ";
    const std::string rest = " 10.1\n10.0 9.9 10.0\n";
    const std::string ok = "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 ";
    test::expect_project_cases({
        bad_value("elevation.ele", "10.2 10.1 10.2\n10.1 10.0 -9999\n10.0 9.9 10.0\n",
                  "row 2, column 3",
                  "grid cell 6 inside the watershed mask has the no-data elevation -9999" + give),
        bad_value(
            "elevation.ele", ok + "-9999.99\n", "row 3, column 3",
            "grid cell 9 inside the watershed mask has the no-data elevation -9999.99" + give),
        bad_value("elevation.ele", "10.2 nan 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n",
                  "row 1, column 2", "nan is not a finite number."),
        bad_value("elevation.ele", values + "1O.0" + rest, "row 2, column 2",
                  "1O.0 is not a number."),
        bad_value("elevation.ele", "10.2 10.1 10.2\n10.1 10.0\n10.0 9.9 10.0\n", "row 2, column 3",
                  "the value is missing; the row holds 2 values where the header gives 3 columns."),
        with_map("", "elevation.ele", ok + "10.0\n9 9 9\n",
                 "Warning: map elevation.ele has more rows than the 3 its header gives; the rows "
                 "after row 3 are not read.\n",
                 0),
        bad_value("mask.msk", "1 1 1\n1 one 1\n1 1 1\n", "row 2, column 2", "one is not a number."),
        {"",
         "Error: in map mask.msk, header line 4: zero is not a number.\n",
         1,
         {{"mask.msk",
           "north: 30\nsouth: 0\neast: 30\nwest: zero\nrows: 3\ncols: 3\n1 1 1\n"
           "1 1 1\n1 1 1\n"}}},
        with_map("-MANNING_N\nROUGHNESS n.map", "n.map",
                 "0.05 0.05 0.05\n0.05 inf 0.05\n0.05 0.05 0.05\n",
                 "Error: in map n.map, row 2, column 2: inf is not a finite number.\n"),
        bad_row("1", test::table_row(1, ""),
                table_error(", id 1): value 1 of 1 is missing; the values of a row begin in ",
                            "column 87.\n")),
        bad_row("1", early_row("0.035", 83),
                table_error(", id 1), column 84: the value 0.035 starts before column 87, ",
                            "where the values of a row begin.\n")),
        bad_row("1", test::table_row(1, "n/a"),
                table_error(", id 1), column 87: ", "n/a is not a number.\n")),
        bad_row("1", test::table_row(1, "NaN"),
                table_error(", id 1), column 87: ", "NaN is not a finite number.\n")),
        bad_row(
            "1", "forest 0.2",
            table_error("), column 1: ", "the id \"forest\" in columns 1 to 6 is not a number.\n")),
        bad_row("one", test::table_row(1, "0.2"),
                "Error: in mapping table file land.cmt, line 4 (table ROUGHNESS): NUM_IDS one is "
                "not a number.\n"),
        {kUseTable,
         "Error: in map landuse.idx, row 3, column 1: x is not a number.\n",
         1,
         {table("1", test::table_row(1, "0.2"))[0],
          {"landuse.idx", kSmallHeader + "1 1 1\n1 1 1\nx 1 1\n"}}},
        {"MAPPING_TABLE land.cmt\nOV_BOUNDARY",
         "\nIndex ID exceeds table limit, file: ob.idx [row 1:col 2]\n",
         1,
         {{"ob.idx", kSmallHeader + "0 2 0\n0 0 0\n0 0 0\n"},
          {"land.cmt",
           "TORVA_INDEX_MAP_TABLES\nINDEX_MAP ob.idx \"B\"\nOVERLAND_BOUNDARY \"B\"\n"
           "NUM_IDS 1\nID D TYPE VALUE\n" +
               test::table_row(1, "2 10.5") + "\n"}}},
        bad_theta("2\n1 1\n",
                  " announces 2 locations but holds 1; entry 2 is missing. Make the first number "
                  "the count of the row and column pairs that follow."),
        bad_theta(
            "2\n1 1\n4 1\n",
            ", entry 2: row 4, column 1 lies outside the grid; give a cell of the watershed."),
        bad_theta("1\n1 3\n",
                  ", entry 1: row 1, column 3 lies outside the watershed mask; give a cell of the "
                  "watershed.",
                  "1 1 0\n1 1 1\n1 1 1\n"),
        bad_theta("1\n1 one\n", ", line 2: one is not a number."),
        {kGaugeRain,
         "Records 2 and 3 of file rain.gag both carry the time 2020/6/1 10:05; the "
         "rain between them would be lost.\nGive each record of the event a later "
         "time than the record before it.\n",
         1,
         {{"rain.gag",
           "EVENT \"storm\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15 \"gauge\"\nGAGES 2020 6 1 "
           "10 0 0.0\nGAGES 2020 6 1 10 5 1.0\nGAGES 2020 6 1 10 5 2.0\n"}}},
    });
}

}  // namespace
}  // namespace torva

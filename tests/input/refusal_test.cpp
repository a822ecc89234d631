// What the readers refuse, end to end: the small project with one card, map
// or table changed, run as `torva p.prj`, and the message and exit status the
// program gives. One line of the table per case.
//
// The small project's cards stand on these lines of p.prj: 9 OUTSLOPE,
// 10 MANNING_N, 11 TIMESTEP, 12 TOT_TIME, 13 HYD_FREQ, 14 MAP_FREQ,
// 18 RAIN_INTENSITY, 19 RAIN_DURATION; added cards from line 20.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::TempDir;

struct Refusal {
    const char* name;
    std::vector<std::pair<std::string, std::string>> edits;  // in p.prj: text -> replacement
    std::vector<std::pair<std::string, std::string>> files;  // written after the project
    std::string message;                                     // found in the console output
    int status;
};

const std::string kHeader = "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n";

// A mapping table row: the id in characters 1 to 6, the description to 86,
// the values from 87 (or from `start` when given).
std::string table_row(int id, const std::string& values, std::size_t start = 86) {
    std::string line = std::to_string(id);
    line.resize(6, ' ');
    line += "land";
    line.resize(start, ' ');
    return line + values;
}

std::string roughness_table(const std::string& count, const std::string& row) {
    return "TORVA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n"
           "ROUGHNESS \"Land use\"\nNUM_IDS " +
           count + "\nID DESCRIPTION N\n" + row + "\n";
}

const std::pair<std::string, std::string> kUseTable{"MANNING_N 0.05\n", "MAPPING_TABLE land.cmt\n"};
const std::pair<std::string, std::string> kIndexMap{"landuse.idx",
                                                    kHeader + "1 1 1\n1 1 1\n1 1 1\n"};

std::string card_error(const std::string& card, int line, const std::string& rest) {
    return "Error: card " + card + " on line " + std::to_string(line) + " of p.prj: " + rest +
           ".\n";
}

const Refusal kRefusals[] = {
    // Numbers on cards.
    {"TimeStepNan",
     {{"TIMESTEP 30", "TIMESTEP nan"}},
     {},
     card_error("TIMESTEP", 11, "nan is not a finite number"),
     1},
    {"TimeStepInf",
     {{"TIMESTEP 30", "TIMESTEP inf"}},
     {},
     card_error("TIMESTEP", 11, "inf is not a finite number"),
     1},
    {"TimeStepOverflowingReal",
     {{"TIMESTEP 30", "TIMESTEP 1e999"}},
     {},
     card_error("TIMESTEP", 11, "1e999 is not a finite number"),
     1},
    {"TimeStepNegative",
     {{"TIMESTEP 30", "TIMESTEP -5"}},
     {},
     card_error("TIMESTEP", 11, "-5 is negative; the time step (seconds) must be greater than 0"),
     1},
    {"TimeStepLongerThanTheRun",
     {{"TIMESTEP 30", "TIMESTEP 1200"}},
     {},
     card_error("TIMESTEP", 11,
                "1200 seconds is longer than the whole run (TOT_TIME 10 minutes); give a "
                "shorter step or a longer run"),
     1},
    {"TotalTimeThatWraps",
     {{"TOT_TIME 10", "TOT_TIME 99999999999"}},
     {},
     card_error("TOT_TIME", 12,
                "99999999999 does not fit in an integer (-2147483648 to 2147483647)"),
     1},
    {"TotalTimeZero",
     {{"TOT_TIME 10", "TOT_TIME 0"}},
     {},
     card_error("TOT_TIME", 12,
                "0 minutes is no run at all; the length of the run (minutes) must be greater "
                "than 0"),
     1},
    {"TotalTimeNegative",
     {{"TOT_TIME 10", "TOT_TIME -10"}},
     {},
     card_error("TOT_TIME", 12,
                "-10 is negative; the length of the run (minutes) must be greater than 0"),
     1},
    {"TotalTimeWithAFraction",
     {{"TOT_TIME 10", "TOT_TIME 10.5"}},
     {},
     card_error("TOT_TIME", 12, "10.5 is not a whole number"),
     1},
    {"TotalTimeMissing",
     {{"TOT_TIME 10\n", ""}},
     {},
     "Error: the project file p.prj has no TOT_TIME card; give the length of the run in "
     "minutes, for example TOT_TIME 120.\n",
     1},
    {"RainIntensityNegative",
     {{"RAIN_INTENSITY 10", "RAIN_INTENSITY -10"}},
     {},
     card_error("RAIN_INTENSITY", 18,
                "-10 is negative; the rain intensity (mm/h) cannot be negative"),
     1},
    {"RainDurationNegative",
     {{"RAIN_DURATION 5", "RAIN_DURATION -5"}},
     {},
     card_error("RAIN_DURATION", 19,
                "-5 is negative; the rain duration (minutes) cannot be negative"),
     1},
    {"HydrographIntervalWord",
     {{"HYD_FREQ 5", "HYD_FREQ five"}},
     {},
     card_error("HYD_FREQ", 13, "five is not a number"),
     1},
    {"HydrographIntervalOverflowingTheStepCount",
     {{"HYD_FREQ 5", "HYD_FREQ 1e12"}},
     {},
     card_error("HYD_FREQ", 13,
                "1e+12 minutes is 2000000000000 time steps, more than the step counter holds "
                "(2147483647); give fewer minutes or a longer TIMESTEP"),
     1},
    {"MapIntervalOverflowingTheStepCount",
     {{"MAP_FREQ 60", "MAP_FREQ 2000000000"}},
     {},
     card_error("MAP_FREQ", 14,
                "2e+09 minutes is 4000000000 time steps, more than the step counter holds "
                "(2147483647); give fewer minutes or a longer TIMESTEP"),
     1},
    {"OutletSlopeNan",
     {{"OUTSLOPE 0.01", "OUTSLOPE nan"}},
     {},
     card_error("OUTSLOPE", 9, "nan is not a finite number"),
     1},
    {"OutletSlopeNegative",
     {{"OUTSLOPE 0.01", "OUTSLOPE -0.01"}},
     {},
     card_error("OUTSLOPE", 9, "-0.01 is negative; the outlet slope must be greater than 0"),
     1},
    {"ManningInf",
     {{"MANNING_N 0.05", "MANNING_N inf"}},
     {},
     card_error("MANNING_N", 10, "inf is not a finite number"),
     1},
    {"ManningNegative",
     {{"MANNING_N 0.05", "MANNING_N -0.05"}},
     {},
     card_error("MANNING_N", 10, "-0.05 is negative; the Manning roughness must be greater than 0"),
     1},
    {"RetentionNan",
     {{"RAIN_DURATION 5\n", "RAIN_DURATION 5\nRETENTION nan\n"}},
     {},
     card_error("RETENTION", 20, "nan is not a finite number"),
     1},
    {"RetentionNegative",
     {{"RAIN_DURATION 5\n", "RAIN_DURATION 5\nRETENTION -2\n"}},
     {},
     card_error("RETENTION", 20, "-2 is negative; the retention depth (mm) cannot be negative"),
     1},
    {"UniformValueNotFinite",
     {{"RAIN_DURATION 5\n", "RAIN_DURATION 5\nRETEN_DEPTH -nan\n"}},
     {},
     card_error("RETEN_DEPTH", 20, "-nan is not a finite number"),
     1},
    {"WholeNumberWrittenAsReal", {{"TOT_TIME 10", "TOT_TIME 10.0"}}, {}, "Running....", 0},

    // Misspelt cards.
    {"MisspeltCardSuggestsTheKnownOne",
     {{"RAIN_DURATION 5\n", "RAIN_DURATION 5\nTIMESETP 20\n"}},
     {},
     "Warning: unknown card found in the project file: timesetp\n"
     "  (line 20 of p.prj, ignored; did you mean TIMESTEP?)\n",
     0},
    {"UnknownCardFarFromAnyKnownOne",
     {{"RAIN_DURATION 5\n", "RAIN_DURATION 5\nWIBBLE 2\n"}},
     {},
     "Warning: unknown card found in the project file: wibble\n  (line 20 of p.prj, ignored)\n",
     0},

    // Maps.
    {"ElevationNoData",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 -9999 10.1\n10.0 9.9 10.0\n"}},
     "Error: in map elevation.ele, row 2, column 2: grid cell 5 inside the watershed mask has the "
     "no-data elevation -9999; give it an elevation or take it out of the WATERSHED_MASK map.\n",
     1},
    {"ElevationNoDataWithDecimals",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 -9999.99\n"}},
     "Error: in map elevation.ele, row 3, column 3: grid cell 9 inside the watershed mask has the "
     "no-data elevation -9999.99; give it an elevation or take it out of the WATERSHED_MASK "
     "map.\n",
     1},
    {"ElevationNan",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 nan 10.1\n10.0 9.9 10.0\n"}},
     "Error: in map elevation.ele, row 2, column 2: nan is not a finite number.\n",
     1},
    {"ElevationWord",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 1O.0 10.1\n10.0 9.9 10.0\n"}},
     "Error: in map elevation.ele, row 2, column 2: 1O.0 is not a number.\n",
     1},
    {"ElevationShortRow",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 10.0\n10.0 9.9 10.0\n"}},
     "Error: in map elevation.ele, row 2, column 3: the value is missing; the row holds 2 values "
     "where the header gives 3 columns.\n",
     1},
    {"ElevationMoreRowsThanTheHeader",
     {},
     {{"elevation.ele", kHeader + "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n9 9 9\n"}},
     "Warning: map elevation.ele has more rows than the 3 its header gives; the rows after row 3 "
     "are not read.\n",
     0},
    {"MaskWord",
     {},
     {{"mask.msk", kHeader + "1 1 1\n1 one 1\n1 1 1\n"}},
     "Error: in map mask.msk, row 2, column 2: one is not a number.\n",
     1},
    {"MapHeaderWord",
     {},
     {{"mask.msk",
       "north: 30\nsouth: 0\neast: 30\nwest: zero\n"
       "rows: 3\ncols: 3\n1 1 1\n1 1 1\n1 1 1\n"}},
     "Error: in map mask.msk, header line 4: zero is not a number.\n",
     1},
    {"RoughnessMapInf",
     {{"MANNING_N 0.05\n", "ROUGHNESS n.map\n"}},
     {{"n.map", kHeader + "0.05 0.05 0.05\n0.05 inf 0.05\n0.05 0.05 0.05\n"}},
     "Error: in map n.map, row 2, column 2: inf is not a finite number.\n",
     1},

    // Mapping tables and index maps.
    {"TableValueMissing",
     {kUseTable},
     {{"land.cmt", roughness_table("1", table_row(1, ""))}, kIndexMap},
     "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS, id 1): value 1 of 1 is "
     "missing; the values of a row begin in column 87.\n",
     1},
    {"TableValueStartsEarly",
     {kUseTable},
     {{"land.cmt", roughness_table("1", table_row(1, "0.035", 83))}, kIndexMap},
     "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS, id 1), column 84: the "
     "value 0.035 starts before column 87, where the values of a row begin.\n",
     1},
    {"TableValueWord",
     {kUseTable},
     {{"land.cmt", roughness_table("1", table_row(1, "n/a"))}, kIndexMap},
     "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS, id 1), column 87: n/a "
     "is not a number.\n",
     1},
    {"TableValueNan",
     {kUseTable},
     {{"land.cmt", roughness_table("1", table_row(1, "NaN"))}, kIndexMap},
     "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS, id 1), column 87: NaN "
     "is not a finite number.\n",
     1},
    {"TableIdWord",
     {kUseTable},
     {{"land.cmt", roughness_table("1", "forest 0.2")}, kIndexMap},
     "Error: in mapping table file land.cmt, line 6 (table ROUGHNESS), column 1: the id "
     "\"forest\" in columns 1 to 6 is not a number.\n",
     1},
    {"TableCountWord",
     {kUseTable},
     {{"land.cmt", roughness_table("one", table_row(1, "0.2"))}, kIndexMap},
     "Error: in mapping table file land.cmt, line 4 (table ROUGHNESS): NUM_IDS one is not a "
     "number.\n",
     1},
    {"IndexMapWord",
     {kUseTable},
     {{"land.cmt", roughness_table("1", table_row(1, "0.2"))},
      {"landuse.idx", kHeader + "1 1 1\n1 1 1\n1 1 x\n"}},
     "Error: in map landuse.idx, row 3, column 3: x is not a number.\n",
     1},
};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, MessageAndExitStatus) {
    const Refusal& c = GetParam();
    TempDir dir;
    test::write_small_project(dir);
    std::string project = test::small_project_text();
    for (const auto& [from, to] : c.edits) {
        const std::size_t at = project.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        project.replace(at, from.size(), to);
    }
    dir.write("p.prj", project);
    for (const auto& [name, text] : c.files) dir.write(name, text);
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_EQ(run.status, c.status) << run.out;
    if (c.status != 0)
        EXPECT_EQ(run.out.find("Running...."), std::string::npos) << "refused only after starting";
}

INSTANTIATE_TEST_SUITE_P(Readers, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace torva

// Location lists and gauge records the readers refuse, end to end through the
// program (one line of the table per case), and the soil moisture that the
// location file reports for plain Green and Ampt.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::TempDir;

const std::string kHeader = "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n";
const std::string kUniformRain = "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 5\n";

struct Refusal {
    const char* name;
    std::string cards;                                       // added to the small project
    std::vector<std::pair<std::string, std::string>> files;  // written after it
    std::string message;
    int status;
};

std::string gauge_file(const std::string& records) {
    return "EVENT \"storm\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15 \"gauge\"\n" + records;
}

const Refusal kRefusals[] = {
    {"GaugeRecordsOfEqualTime",
     "PRECIP_FILE rain.gag\n",
     {{"rain.gag", gauge_file("GAGES 2020 6 1 10 0 0.0\nGAGES 2020 6 1 10 5 1.0\n"
                              "GAGES 2020 6 1 10 5 2.0\n")}},
     "Records 2 and 3 of file rain.gag both carry the time 2020/6/1 10:05; the rain between "
     "them would be lost.\nGive each record of the event a later time than the record before "
     "it.\n",
     1},
    {"ThetaCountBeyondTheEntries",
     "IN_THETA_LOCATION theta.loc\n",
     {{"theta.loc", "2\n1 1\n"}},
     "Error: location file theta.loc (card IN_THETA_LOCATION) announces 2 locations but holds "
     "1; entry 2 is missing. Make the first number the count of the row and column pairs that "
     "follow.\n",
     1},
    {"ThetaCellOutsideTheGrid",
     "IN_THETA_LOCATION theta.loc\n",
     {{"theta.loc", "2\n1 1\n4 1\n"}},
     "Error: location file theta.loc (card IN_THETA_LOCATION), entry 2: row 4, column 1 lies "
     "outside the grid; give a cell of the watershed.\n",
     1},
    {"ThetaCellOutsideTheMask",
     "IN_THETA_LOCATION theta.loc\n",
     {{"theta.loc", "1\n1 3\n"}, {"mask.msk", kHeader + "1 1 0\n1 1 1\n1 1 1\n"}},
     "Error: location file theta.loc (card IN_THETA_LOCATION), entry 1: row 1, column 3 lies "
     "outside the watershed mask; give a cell of the watershed.\n",
     1},
    {"ThetaWord",
     "IN_THETA_LOCATION theta.loc\n",
     {{"theta.loc", "1\n1 one\n"}},
     "Error: location file theta.loc (card IN_THETA_LOCATION), line 2: one is not a number.\n",
     1},
};

class LocationAndGaugeRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(LocationAndGaugeRefusals, MessageAndExitStatus) {
    const Refusal& c = GetParam();
    TempDir dir;
    test::write_small_project(dir);
    std::string project = test::small_project_text(c.cards);
    if (c.cards.starts_with("PRECIP_FILE"))
        project.erase(project.find(kUniformRain), kUniformRain.size());
    dir.write("p.prj", project);
    for (const auto& [name, text] : c.files) dir.write(name, text);
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_EQ(run.status, c.status) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Readers, LocationAndGaugeRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// Plain Green and Ampt: the north row has no conductivity and keeps its initial
// moisture 0.1 (porosity 0.4 less the deficit 0.3); the rain soaks into the
// other rows at once, whose wetted zone is saturated at the porosity 0.4. The
// rows come every 5 minutes of a 10-minute run: at 0, 5 and 10 minutes.
TEST(SoilMoistureLocations, PlainGreenAmptReportsTheSurfaceWaterContent) {
    TempDir dir;
    test::write_small_project(
        dir,
        "GREEN_AMPT\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\n"
        "MOISTURE moist.map\nIN_THETA_LOCATION theta.loc\nOUT_THETA_LOCATION theta.out\n");
    dir.write("ks.map", kHeader + "0 0 0\n100 100 100\n100 100 100\n");
    dir.write("psi.map", kHeader + "10 10 10\n10 10 10\n10 10 10\n");
    dir.write("por.map", kHeader + "0.4 0.4 0.4\n0.4 0.4 0.4\n0.4 0.4 0.4\n");
    dir.write("moist.map", kHeader + "0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n");
    dir.write("theta.loc", "2\n1 1\n3 2\n");
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("theta.out"),
              "    0.00000000     0.100000     0.400000 \n"
              "    5.00000000     0.100000     0.400000 \n"
              "   10.00000000     0.100000     0.400000 \n");
}

}  // namespace
}  // namespace torva

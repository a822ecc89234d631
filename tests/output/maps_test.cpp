// Map output: grid series and dataset files of small runs, byte for byte; the
// map schedule; the water the depth maps hold; failures of map files. And the
// soil moisture the location file reports (what the location reader refuses:
// see the input refusals).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/model_state.hpp"
#include "output/maps.hpp"
#include "support/grid_projects.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::golden;
using test::run_program_in;
using test::TempDir;

// The small project with its north-western cell left out of the watershed, so
// that the maps show the outside value. Rain of 10 mm/h for 5 minutes on
// 30 s steps; MAP_FREQ 1 writes at every second step (counter 1, 3, 5...).
void write_mapped_project(const TempDir& dir, const std::string& cards) {
    test::write_small_project(dir, "MAP_FREQ 1\n" + cards);
    dir.write("mask.msk", test::kSmallHeader + "0 1 1\n1 1 1\n1 1 1\n");
}

// The first grid series file holds the depths after the second step:
// 2 x 30 s of 10 mm/h is 0.1667 mm, shown as 0.0002 m; the north-western
// cell, outside, carries the no-data value. Folders given with a trailing
// backslash, a trailing slash or none name the same folder.
TEST(MapOutput, GridSeriesGolden) {
    TempDir dir;
    write_mapped_project(dir, "MAP_TYPE 0\nDEPTH out\\\nDISCHARGE out/\nDIS_RAIN \"out\"\n");
    std::filesystem::create_directory(dir.path() / "out");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("out/depth.0001.asc"), golden("output/golden/depth.0001.asc"));
    EXPECT_NE(run.out.find("opening file out/depth.0001.asc\n"), std::string::npos);
    // The run's 22 steps (10.5 minutes) write at counters 1, 3, ..., 21.
    EXPECT_TRUE(dir.exists("out/discharge.0011.asc"));
    EXPECT_TRUE(dir.exists("out/rain.0011.asc"));
    EXPECT_FALSE(dir.exists("out/depth.0012.asc"));
}

TEST(MapOutput, TextDatasetGolden) {
    TempDir dir;
    // Every 10 steps: the depths after 0.5, 5.5 and 10.5 minutes.
    write_mapped_project(dir, "MAP_FREQ 5\nMAP_TYPE 1\nINF_DEPTH infdep.dat\nDEPTH depth.dat\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("depth.dat"), golden("output/golden/depth.dat"));
    // Without infiltration nothing infiltrates: every step holds zeros.
    EXPECT_EQ(dir.read("infdep.dat").find("0.000001"), std::string::npos);
}

// The values of the last time step of a text dataset of n cells.
std::vector<double> last_dataset_step(const std::string& text, int n) {
    std::istringstream in(text.substr(text.rfind("TS ")));
    std::string line;
    std::getline(in, line);
    std::vector<double> values(n);
    int flag = 0;
    for (int k = 0; k < n; ++k) in >> flag;
    for (double& v : values) in >> v;
    return values;
}

// The discharge map is in m3/s, the water crossing a cell's faces, not that
// times the cell size (which would make it m4/s). At steady state under
// 360 mm/h (1e-4 m/s) on a strip of three 10 m cells draining east, the
// east face of the first cell carries the rain of one cell, 1e-4 x 100 m2 =
// 0.01 m3/s, that of the second the rain of two, 0.02 m3/s.
TEST(MapOutput, DischargeMapsAreCubicMetresPerSecondOnAnyCellSize) {
    TempDir dir;
    test::write_grid_project(
        dir, 1, 3, 10.0,
        "OUTROW 1\nOUTCOL 3\nTIMESTEP 5\nTOT_TIME 30\nRAIN_INTENSITY 360\nRAIN_DURATION 60\n"
        "MAP_FREQ 29\nMAP_TYPE 1\nDISCHARGE q.dat\n",
        "", {{"elevation.ele", [](int, int c) { return 10.3 - 0.1 * c; }}});
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<double> q = last_dataset_step(dir.read("q.dat"), 3);
    EXPECT_NEAR(q[0], 0.01, 2e-6);
    EXPECT_NEAR(q[1], 0.02, 2e-6);
}

// Maps at counter 1, 121, 241 for MAP_FREQ 60 at 30 s steps (120 steps); an
// interval shorter than a step writes at every step. East and south face
// discharges of 3 and 4 m3/s make a discharge of 5 m3/s, whatever the cell size.
TEST(MapOutput, ScheduleAndDischargeMagnitude) {
    for (int counter : {1, 121, 241}) EXPECT_TRUE(map_due(counter, 120)) << counter;
    for (int counter : {0, 2, 120, 122, 240}) EXPECT_FALSE(map_due(counter, 120)) << counter;
    EXPECT_TRUE(map_due(7, 0));
    Overland overland;
    overland.discharge_x = {0.0, 3.0, -0.6};
    overland.discharge_y = {0.0, 4.0, 0.8};
    std::vector<double> magnitude(3);
    discharge_magnitudes(overland, magnitude);
    EXPECT_EQ(magnitude[1], 5.0);
    EXPECT_DOUBLE_EQ(magnitude[2], 1.0);
}

// The values of every step of a binary dataset of the 3 x 3 small project: a
// header of 100 bytes, then per step 4 + 2 + 8 + 9 x 2 bytes and the nine
// doubles, the values themselves.
std::vector<std::vector<double>> binary_steps(const std::string& data) {
    EXPECT_EQ((data.size() - 100) % 104, 0u);
    std::vector<std::vector<double>> steps;
    for (std::size_t at = 100; at + 104 <= data.size(); at += 104) {
        steps.emplace_back(9);
        std::memcpy(steps.back().data(), data.data() + at + 32, 9 * sizeof(double));
    }
    return steps;
}

// 10 mm/h for 5 minutes of a 10-minute run, maps at every 60 s step. The
// last depth map times the cell area is the surface water the balance finds
// at the end. Each flood map is, cell by cell, the largest of the depth maps
// up to it, to the last bit; once the rain has stopped the cells drain and
// every wet cell's flood value stays at its peak, above its depth.
TEST(FloodMap, DepthMapsHoldTheBalancesWaterAndFloodMapsItsPeak) {
    TempDir dir;
    test::write_small_project(
        dir, "MAP_FREQ 1\nMAP_TYPE 2\nDEPTH depth.bin\nFLOOD_GRID flood.bin\nSUMMARY s.txt\n",
        "60");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const auto depth = binary_steps(dir.read("depth.bin"));
    const auto flood = binary_steps(dir.read("flood.bin"));
    ASSERT_EQ(depth.size(), flood.size());
    ASSERT_GE(depth.size(), 10u);
    double sum = 0.0;
    for (double d : depth.back()) sum += d;
    EXPECT_NEAR(sum * 100.0, test::figure(dir.read("s.txt"), "Final volume on surface="), 0.005);
    EXPECT_GT(sum, 0.0);
    std::vector<double> peak(9, 0.0);
    for (std::size_t s = 0; s < depth.size(); ++s)
        for (int c = 0; c < 9; ++c) {
            peak[c] = std::max(peak[c], depth[s][c]);
            EXPECT_EQ(flood[s][c], peak[c]) << "step " << s << " cell " << c;
        }
    for (int c = 0; c < 9; ++c) {
        EXPECT_GT(peak[c], 0.0) << "cell " << c;
        EXPECT_LT(depth.back()[c], peak[c]) << "cell " << c;
    }
}

// Every map that cannot be written ends the run with a message naming the
// file and exit status 1.
TEST(MapOutput, FailedWritesStopTheRun) {
    const std::pair<std::string, std::string> cases[] = {
        {"MAP_TYPE 1\nDEPTH /dev/full\n",
         "Error: could not write map file /dev/full: No space left on device\n"},
        {"MAP_TYPE 0\nDEPTH full\n",
         "Error: could not write map file full/depth.0001.asc: No space left on device\n"},
        // A missing folder is refused before anything is opened.
        {"MAP_TYPE 0\nDEPTH gone\n",
         "Error: the folder gone of output gone/ (card DEPTH, depth.NNNN.asc maps) does not "
         "exist.\n"},
        {"MAP_TYPE 0\nDIS_RAIN gone\n",
         "Error: the folder gone of output gone/ (card DIS_RAIN, rain.NNNN.asc maps) does not "
         "exist.\n"},
        {"MAP_TYPE 2\nDEPTH gone/d.bin\n",
         "Error: the folder gone of output gone/d.bin (card DEPTH) does not exist.\n"},
        {"MAP_TYPE 0\nDEPTH locked\n", "Can't open depth map for writing: locked/depth.0001.asc\n"},
        {"MAP_TYPE 1\nSURF_MOIST sm.dat\n",
         "Error: card SURF_MOIST asks for surface moisture maps, which only Green and Ampt with "
         "redistribution and Richards infiltration compute\n"},
    };
    for (const auto& [cards, message] : cases) {
        if (cards.find("locked") != std::string::npos && geteuid() == 0)
            continue;  // the superuser writes into read-only folders
        const bool full = cards.find("full") != std::string::npos;
        if (full && test::skip_without_full_device(cards))
            continue;
        TempDir dir;
        write_mapped_project(dir, cards);
        std::filesystem::create_directory(dir.path() / "full");
        if (full)
            std::filesystem::create_symlink("/dev/full", dir.path() / "full" / "depth.0001.asc");
        std::filesystem::create_directory(dir.path() / "locked");
        std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
                                                                std::filesystem::perms::owner_exec);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1) << cards;
        EXPECT_NE(run.out.find(message), std::string::npos) << cards << run.out;
    }
}

// MAP_TYPE 3 writes no map even when DEPTH is given.
TEST(MapOutput, OtherMapTypesWriteNothing) {
    TempDir dir;
    write_mapped_project(dir, "MAP_TYPE 3\nDEPTH depth.dat\n");
    const auto run = run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(dir.exists("depth.dat"));
}

// Plain Green and Ampt on a 2 x 4 grid: the north row has no conductivity and
// keeps its initial moisture 0.1 (porosity 0.4 less the deficit 0.3); the rain
// soaks into the south row at once, whose wetted zone is saturated at the
// porosity 0.4. The locations are row 1, column 4 and row 2, column 2; the rows
// come every 5 minutes of a 10-minute run: at 0, 5 and 10 minutes.
TEST(SoilMoistureLocations, PlainGreenAmptReportsTheSurfaceWaterContent) {
    TempDir dir;
    test::write_grid_project(
        dir, 2, 4, 10,
        "OUTROW 2\nGREEN_AMPT\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\n"
        "MOISTURE moist.map\nIN_THETA_LOCATION theta.loc\nOUT_THETA_LOCATION theta.out\n",
        "elevation.ele 10 psi.map 10 por.map 0.4 moist.map 0.1",
        {{"ks.map", [](int r, int) { return r == 1 ? 0.0 : 100.0; }}});
    dir.write("theta.loc", "2\n1 4\n2 2\n");
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("theta.out"),
              "    0.00000000     0.100000     0.400000 \n"
              "    5.00000000     0.100000     0.400000 \n"
              "   10.00000000     0.100000     0.400000 \n");
}

}  // namespace
}  // namespace torva

// Lakes on stream networks, run end to end through the program: rain and
// overland water fill them, they pass their water over a weir, the summary
// shows their lines and every balance closes, whatever the thread count; the
// reservoir of the example valley among them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/grid_projects.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

// 5 x 5 cells of 20 m, falling 0.3 m a row to the south and rising 0.1 m a
// column away from the streams (columns 2 and 4 in the two northern rows,
// column 3 below). Link 1 is a lake in the north-west: it may spread over
// the six cells of rows 1 and 2, columns 1 to 3 (ground 10.9 m at row 2,
// column 2, 11.0 m beside it, 11.2 and 11.3 m in row 1), and starts at
// 10.95 m over its lowest cell. It drains over a weir (link 2, 2 m long,
// crest at the lake's starting level) into the stem, link 4, which the
// eastern branch, link 3, joins. The land around it drains into it, but it
// gives nothing back over land, not even to the lower cell south of it
// (10.7 m): what lies below the crest stays in the lake.
double ground(int row, int col) {
    const int from_stream =
        row <= 2 ? std::min(std::abs(col - 2), std::abs(col - 4)) : std::abs(col - 3);
    return 10.0 + 0.3 * (5 - row) + 0.1 * from_stream;
}

const std::string kChannels =
    "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 4\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 4 1 1\nCONNECT 3 4 0\nCONNECT 4 0 2 2 3\n"
    "LINK 1\nLAKE\nNODES 1\nDX 20\nMINWSE 10.9\nINITWSE 10.95\nMAXWSE 11.6\n"
    "NUMPTS 6\n1 1 1 2 1 3 2 1 2 2 2 3\n"
    "LINK 2\nSTRUCTURE\nNODES 2\nDX 1\nMANNINGS_N 0.035\nNUMSTRUCTS 1\n"
    "STRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV 10.95\n"
    "DISCHARGE_COEFF_FORWARD 1.0\nDISCHARGE_COEFF_REVERSE 1.0\n"
    "LINK 3\nTRAPEZOID\nNODES 2\nDX 20\nMANNINGS_N 0.035\nNODE 1\nELEV 10.7\nXSEC\n"
    "BOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\nNODE 2\nELEV 10.4\n"
    "LINK 4\nTRAPEZOID\nNODES 3\nDX 20\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 10.1\nXSEC\nBOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\n"
    "NODE 2\nELEV 9.8\nNODE 3\nELEV 9.5\n";
const std::string kStreamCells =
    "GRIDSTREAMFILE\nSTREAMCELLS 5\n"
    "CELLIJ 1 4\nNUMNODES 1\nLINKNODE 3 1 1.0\nCELLIJ 2 4\nNUMNODES 1\nLINKNODE 3 2 1.0\n"
    "CELLIJ 3 3\nNUMNODES 1\nLINKNODE 4 1 1.0\nCELLIJ 4 3\nNUMNODES 1\nLINKNODE 4 2 1.0\n"
    "CELLIJ 5 3\nNUMNODES 1\nLINKNODE 4 3 1.0\n";

// 30 mm/h for 30 minutes of a 60-minute run at 5 s steps on the ADE scheme.
std::string run_lake(const TempDir& dir, const std::string& edits) {
    test::write_grid_project(dir, 5, 5, 20.0,
                             "OUTROW 5\nOUTCOL 3\nTIMESTEP 5\nTOT_TIME 60\nRAIN_INTENSITY 30\n"
                             "RAIN_DURATION 30\nOVERTYPE ade\nSUMMARY y.sum\nOUTLET_HYDRO y.otl\n"
                             "CHANNEL_INPUT y.chn\nSTREAM_CELL y.gst\nCHAN_EXPLIC\n" +
                                 edits,
                             "", {{"elevation.ele", ground}});
    dir.write("y.chn", kChannels);
    dir.write("y.gst", kStreamCells);
    const test::ProgramRun run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.read("y.sum");
}

double figure(const std::string& summary, const std::string& label) {
    const std::size_t at = summary.find(label);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no line " << label;
        return NAN;
    }
    return std::strtod(summary.c_str() + at + label.size(), nullptr);
}

TEST(ChannelLakeRun, RainFillsTheLakeOverItsWeirAndEveryBalanceCloses) {
    TempDir one, two;
    const std::string summary = run_lake(one, "NUM_THREADS 1\n");
    // The lake starts with 0.05 m over its one flooded cell of 400 m2.
    EXPECT_NEAR(figure(summary, "Initial volume in perennial lakes"), 20.0, 0.005);
    // 30 mm/h for 30 minutes is 15 mm: 6 m3 on the flooded cell at least,
    // and rain to the lake never counts as rain to the overland.
    const double lake_rain = figure(summary, "Volume precip to lakes=");
    EXPECT_GE(lake_rain, 6.0 - 0.005);
    EXPECT_NEAR(figure(summary, "Total amount of precip=") + lake_rain, 25 * 400 * 0.015, 0.01);
    EXPECT_GT(figure(summary, "Volume of flow into lakes="), 1.0);
    EXPECT_GT(figure(summary, "Volume of flow from lakes="), 10.0);
    EXPECT_GT(figure(summary, "Final volume in perennial lakes"), 20.0);
    EXPECT_NEAR(figure(summary, "Perennial lake mass bal error m^3="), 0.0, 0.005);
    for (const char* label : {"mass conservation error:", "Overall mass balance error =",
                              "Mass balance error of surface components ="})
        EXPECT_LE(std::fabs(figure(summary, label)), 1e-5) << label << "\n" << summary;
    // The lake form of the overland runs on one thread: two give the same.
    EXPECT_EQ(run_lake(two, "NUM_THREADS 2\n"), summary);
}

TEST(ChannelLakeRun, ValleyReservoirExampleTakesTheStormAndClosesItsBalances) {
    // The example of the README, run in a copy of the valley's folder.
    TempDir dir;
    const std::filesystem::path valley = std::filesystem::path(TORVA_EXAMPLES) / "valley";
    for (const auto& entry : std::filesystem::directory_iterator(valley)) {
        if (!entry.is_regular_file())
            continue;
        std::string text = test::read_file(entry.path());
        for (std::size_t at; (at = text.find("examples/valley/")) != std::string::npos;)
            text.erase(at, 16);
        dir.write(entry.path().filename().string(), text);
    }
    std::filesystem::create_directory(dir.path() / "out");
    const test::ProgramRun run = test::run_program_in(dir.path(), {"valley_reservoir.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("out/reservoir_summary.txt");
    // The reservoir drowns the reach above the dam on its way up and holds
    // back the peak, which reaches 17.3 m3/s at the outlet without it.
    EXPECT_GT(figure(summary, "Volume of channels taken over by lakes="), 1000.0);
    EXPECT_GT(figure(summary, "Volume of flow from lakes="), 10000.0);
    EXPECT_LT(figure(summary, "Event peak discharge in full (cubic meters per second):"), 14.0);
    EXPECT_GT(figure(summary, "Final volume in perennial lakes"),
              figure(summary, "Initial volume in perennial lakes") + 5000.0);
    EXPECT_NEAR(figure(summary, "Perennial lake mass bal error m^3="), 0.0, 0.005);
    for (const char* label : {"mass conservation error:", "Overall mass balance error =",
                              "Mass balance error of surface components ="})
        EXPECT_LE(std::fabs(figure(summary, label)), 1e-5) << label;
}

}  // namespace
}  // namespace torva

// A small watershed drained by a Y-shaped stream network, run end to end
// through the program: the water balances close with channels routed, in
// every variant of the run, and the channel outputs report the network.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

// 5 x 5 cells of 20 m (10,000 m2), falling 0.3 m a row to the south. Two
// branches run down columns 2 and 4 of the two northern rows (one node per
// cell) and join link 4, which runs down column 3 from row 3 to the outlet
// cell (row 5); every bed lies 0.5 m below its cell's ground. The western
// branch, link 1, drains over a weir (structure link 2, crest 0.1 m above the
// bed at its end, 2 m long) into the stem; the eastern, link 3, flows freely.
double ground(int row, int col) {
    const int from_stream =
        row <= 2 ? std::min(std::abs(col - 2), std::abs(col - 4)) : std::abs(col - 3);
    return 10.0 + 0.3 * (5 - row) + 0.1 * from_stream;
}

std::string trapezoid_link(int link, const std::vector<std::pair<int, int>>& cells,
                           const std::string& extra = "") {
    std::ostringstream s;
    s << "LINK " << link << "\nTRAPEZOID\nNODES " << cells.size() << "\nDX 20\nMANNINGS_N 0.035\n";
    for (std::size_t j = 0; j < cells.size(); ++j) {
        s << "NODE " << j + 1 << "\nELEV " << ground(cells[j].first, cells[j].second) - 0.5 << "\n";
        if (j == 0)
            s << "XSEC\nBOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\n" << extra;
    }
    return s.str();
}

const std::vector<std::pair<int, int>> kWest = {{1, 2}, {2, 2}};
const std::vector<std::pair<int, int>> kEast = {{1, 4}, {2, 4}};
const std::vector<std::pair<int, int>> kStem = {{3, 3}, {4, 3}, {5, 3}};

// The links with nodes and the cells of their nodes.
const std::pair<int, const std::vector<std::pair<int, int>>*> kNodeLinks[] = {
    {1, &kWest}, {3, &kEast}, {4, &kStem}};

std::string channel_file(bool point_source) {
    return "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 4\nMAXNODES 3\n"
           "CONNECT 1 2 0\nCONNECT 2 4 1 1\nCONNECT 3 4 0\nCONNECT 4 0 2 2 3\n" +
           trapezoid_link(1, kWest, point_source ? "POINTSOURCE spring\n" : "") +
           "LINK 2\nSTRUCTURE\nNODES 2\nDX 1\nMANNINGS_N 0.035\nNUMSTRUCTS 1\n"
           "STRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV 10.5\n"
           "DISCHARGE_COEFF_FORWARD 1.0\nDISCHARGE_COEFF_REVERSE 1.0\n" +
           trapezoid_link(3, kEast) + trapezoid_link(4, kStem);
}

std::string grid_stream_file() {
    std::ostringstream s;
    s << "GRIDSTREAMFILE\nSTREAMCELLS 7\n";
    for (const auto& [link, cells] : kNodeLinks)
        for (std::size_t j = 0; j < cells->size(); ++j) {
            const auto [row, col] = (*cells)[j];
            s << "CELLIJ " << row << " " << col << "\nNUMNODES 1\nLINKNODE " << link << " " << j + 1
              << " 1.0\n";
        }
    return s.str();
}

struct Variant {
    const char* name;
    bool green_ampt = false;
    int rain_minutes = 30;  // of a 60-minute run
    bool point_source = false;
    bool head_boundary = false;
    const char* bound_depth = "0.3";  // m, with the head boundary
    const char* step = "5";           // s
    const char* courant = "";         // MAX_COURANT_NUMBER, when given
    const char* threads = "";         // NUM_THREADS, when given
    bool cfs = false;
    const char* locations = "3\n1 2\n3 2\n4 3\n";  // the ends of the branches, the outlet
    const char* without = "";                      // a card line left out
    const char* extra = "";                        // further cards
    std::string total = "60";                      // TOT_TIME, minutes
    std::string start = "10 0";                    // START_TIME
};

// Writes the project and its files and runs it.
test::ProgramRun run_y(const TempDir& dir, const Variant& v) {
    std::string project =
        "TORVAPROJECT\nWATERSHED_MASK y.msk\nELEVATION y.ele\nROWS 5\nCOLS 5\nGRIDSIZE 20\n"
        "OUTROW 5\nOUTCOL 3\nOUTSLOPE 0.01\nMANNING_N 0.05\nTIMESTEP " +
        std::string(v.step) + "\nTOT_TIME " + v.total +
        "\nHYD_FREQ 5\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME " + v.start +
        "\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION " + std::to_string(v.rain_minutes) +
        "\nSUMMARY y.sum\nOUTLET_HYDRO y.otl\n"
        "TIME_SERIES_FILE spring.ts\nCHANNEL_INPUT y.chn\nSTREAM_CELL y.gst\nCHAN_EXPLIC\n"
        "IN_HYD_LOCATION y.loc\nOUT_HYD_LOCATION y.q\nOUT_DEP_LOCATION y.dep\n"
        "CHAN_DISCHARGE q.lnd\nCHAN_DEPTH depth.lnd\nCHAN_STAGE stage.lnd\n"
        "CHAN_VELOCITY velocity.lnd\nFLOOD_STREAM flood.lnd\n";
    if (v.green_ampt)
        project +=
            "GREEN_AMPT\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\n"
            "MOISTURE moist.map\n";
    if (v.head_boundary)
        project += "HEAD_BOUND\nBOUND_DEPTH " + std::string(v.bound_depth) + "\n";
    if (v.cfs)
        project += "QOUT_CFS\n";
    if (*v.threads)
        project += "NUM_THREADS " + std::string(v.threads) + "\n";
    if (*v.courant)
        project += "MAX_COURANT_NUMBER " + std::string(v.courant) + "\n";
    project += v.extra;
    if (*v.without)
        project.erase(project.find(v.without), std::string(v.without).size());
    dir.write("y.prj", project);
    const auto map = [](const std::function<double(int, int)>& value) {
        return test::map_of(5, 5, 20.0, value);
    };
    dir.write("y.msk", map([](int, int) { return 1.0; }));
    dir.write("y.ele", map(ground));
    dir.write("ks.map", map([](int, int) { return 0.5; }));
    dir.write("psi.map", map([](int, int) { return 10.0; }));
    dir.write("por.map", map([](int, int) { return 0.4; }));
    dir.write("moist.map", map([](int, int) { return 0.2; }));
    dir.write("spring.ts",
              "TORVA_TS\nspring\nABSOLUTE\n2020 6 1 9 0 0.02\n2020 6 1 12 0 0.02\nEND_TS\n");
    dir.write("y.chn", channel_file(v.point_source));
    dir.write("y.gst", grid_stream_file());
    dir.write("y.loc", v.locations);
    return test::run_program_in(dir.path(), {"y.prj"});
}

// Runs the project, which must succeed, and returns its summary file.
std::string run_y_network(const TempDir& dir, const Variant& v) {
    const auto run = run_y(dir, v);
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.read("y.sum");
}

// The number printed after `label` on its line of the summary.
double figure(const std::string& summary, const std::string& label) {
    const std::size_t at = summary.find(label);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no line " << label;
        return NAN;
    }
    return std::strtod(summary.c_str() + at + label.size(), nullptr);
}

const Variant kVariants[] = {
    {.name = "RainStopsBeforeTheEnd"},
    {.name = "RainOutlastsTheRun", .rain_minutes = 90},
    {.name = "GreenAmpt", .green_ampt = true},
    {.name = "GreenAmptRainOutlastsTheRun", .green_ampt = true, .rain_minutes = 90},
    {.name = "PointSource", .point_source = true},
    {.name = "HeadBoundary", .head_boundary = true},
};

class YNetworkBalance : public ::testing::TestWithParam<Variant> {};

// Every balance prints 0 to its six decimals: the errors are below 5e-7
// percent, a relative error below 5e-9.
TEST_P(YNetworkBalance, ErrorsPrintZero) {
    const Variant& v = GetParam();
    TempDir dir;
    const std::string summary = run_y_network(dir, v);
    EXPECT_LE(std::fabs(figure(summary, "mass conservation error:")), 5e-7) << summary;
    EXPECT_LE(std::fabs(figure(summary, "Mass balance error of surface components =")), 5e-7);
    EXPECT_LE(std::fabs(figure(summary, "Overall mass balance error =")), 5e-7);

    // 30 mm/h on 10,000 m2 for 30 minutes is 150 m3. Rain that outlasts the
    // run falls on all its 722 steps of 5 s (at 0 to 3605 s, the first step
    // past the hour ending the run), 3610 s: 300.83 m3.
    const double rain = v.rain_minutes == 30 ? 150.0 : 300.83;
    EXPECT_NEAR(figure(summary, "Total amount of precip="), rain, 0.005);
    // The spring gives 0.02 m3/s on each of the 722 channel steps of 5 s.
    EXPECT_NEAR(figure(summary, "Total channel point sources="), v.point_source ? 72.2 : 0.0,
                0.005);
    EXPECT_GT(figure(summary, "Total amount of discharge="), 0.0);
    if (v.green_ampt)
        EXPECT_GT(figure(summary, "Total amount of infiltration="), 0.0);
    if (v.head_boundary)
        EXPECT_GT(figure(summary, "Volume gained from specified head boundary:") +
                      figure(summary, "Volume lost to specified head boundary:"),
                  0.0);
}

INSTANTIATE_TEST_SUITE_P(Variants, YNetworkBalance, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    Variant variant;
    std::string message;
    bool before_opening = false;  // refused before any output is opened
};

const Refusal kRefusals[] = {
    {{.name = "OutputsWithoutRouting", .without = "CHAN_EXPLIC\n"},
     "Error: the project file y.prj asks for channel outputs it cannot have:\n"
     "  IN_HYD_LOCATION        needs CHAN_EXPLIC\n"
     "  OUT_HYD_LOCATION       needs CHAN_EXPLIC\n"
     "  OUT_DEP_LOCATION       needs CHAN_EXPLIC\n"
     "  CHAN_DEPTH             needs CHAN_EXPLIC\n"
     "  CHAN_DISCHARGE         needs CHAN_EXPLIC\n"
     "  CHAN_STAGE             needs CHAN_EXPLIC\n"
     "  CHAN_VELOCITY          needs CHAN_EXPLIC\n"
     "  FLOOD_STREAM           needs CHAN_EXPLIC\n"
     "Nothing has been simulated. Route the channels with CHAN_EXPLIC (with CHANNEL_INPUT and "
     "STREAM_CELL)\nand name the locations with IN_HYD_LOCATION, or remove these cards.\n",
     true},
    {{.name = "LocationRowsWithoutLocations", .without = "IN_HYD_LOCATION y.loc\n"},
     "  OUT_HYD_LOCATION       needs IN_HYD_LOCATION, the list of its locations\n"
     "  OUT_DEP_LOCATION       needs IN_HYD_LOCATION, the list of its locations\n",
     true},
    {{.name = "LocationOnNoLink", .locations = "2\n1 2\n5 1\n"},
     "Error: location file y.loc (card IN_HYD_LOCATION), entry 2: link 5 is not a link of the "
     "channel network, whose links are 1 to 4; give a link and one of its nodes.\n"},
    {{.name = "LocationBeyondTheNodes", .locations = "1\n1 3\n"},
     "Error: location file y.loc (card IN_HYD_LOCATION), entry 1: node 3 is not a node of link "
     "1, whose nodes are 1 to 2; give a link and one of its nodes.\n"},
    {{.name = "LocationNodeZero", .locations = "1\n4 0\n"},
     "entry 1: node 0 is not a node of link 4, whose nodes are 1 to 3;"},
};

// A pool held 1.5 m deep at the outlet over nodes 20 m apart: the second
// predictor-corrector pass keeps moving areas, the summary counts those
// sub-steps, one warning at the end gives the same count, and the balance
// still closes. At 1 m and a Courant limit of 0.05 the passes settle.
TEST(YNetworkDeepPool, UnsettledSubStepsAreCountedAndWarnedOnce) {
    struct Case {
        const char* depth;
        const char* courant;
        bool settles;
    };
    for (const Case& c : {Case{"1.5", "", false}, Case{"1.0", "0.05", true}}) {
        TempDir dir;
        const auto run = run_y(
            dir,
            {.name = "pool", .head_boundary = true, .bound_depth = c.depth, .courant = c.courant});
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string summary = dir.read("y.sum");
        EXPECT_LE(std::fabs(figure(summary, "mass conservation error:")), 5e-7);
        EXPECT_LE(std::fabs(figure(summary, "Overall mass balance error =")), 5e-7);
        long long steps = 0, sub_steps = 0, halved = 0, unsettled = -1;
        const std::size_t at = summary.find("Channel routing: ");
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(std::sscanf(summary.c_str() + at,
                              "Channel routing: %lld channel steps, %lld sub-steps, %lld sub-steps "
                              "repeated with half the step, %lld sub-steps unsettled",
                              &steps, &sub_steps, &halved, &unsettled),
                  4);
        EXPECT_EQ(steps, 722);
        const std::string warning = "Warning: in " + std::to_string(unsettled) + " of " +
                                    std::to_string(sub_steps) + " channel sub-steps";
        if (c.settles) {
            EXPECT_EQ(unsettled, 0);
            EXPECT_EQ(run.out.find("Warning: in "), std::string::npos);
        } else {
            EXPECT_GT(unsettled, sub_steps / 2);
            const std::size_t first = run.out.find(warning);
            EXPECT_NE(first, std::string::npos) << run.out;
            EXPECT_EQ(run.out.find("Warning: in ", first + 1), std::string::npos);
            EXPECT_NE(summary.find(warning), std::string::npos);
        }
    }
}

class YNetworkRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(YNetworkRefusals, MessageAndExitStatus) {
    TempDir dir;
    const auto run = run_y(dir, GetParam().variant);
    EXPECT_NE(run.out.find(GetParam().message), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(dir.exists("y.sum"), !GetParam().before_opening);
}

INSTANTIATE_TEST_SUITE_P(Cases, YNetworkRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.variant.name); });

// The rows of a location file or the outlet hydrograph: numbers per line.
std::vector<std::vector<double>> rows_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream numbers(line);
        rows.emplace_back();
        for (double x; numbers >> x;) rows.back().push_back(x);
    }
    return rows;
}

// The row blocks of a link/node file after its five header lines:
// blocks[b][link][node], both from 1.
using Blocks = std::vector<std::vector<std::vector<double>>>;
Blocks blocks_of(const std::string& text, int links) {
    Blocks blocks;
    std::istringstream lines(text);
    std::string line;
    for (int k = 0; k < 5; ++k) std::getline(lines, line);
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        EXPECT_EQ(line, "TS    " + std::to_string(blocks.size()));
        blocks.emplace_back(links + 1);
        for (int link = 1; link <= links; ++link) {
            std::getline(lines, line);
            std::istringstream tokens(line);
            // A structure link: its own value (-2) or none (0), and no nodes.
            if (link == 2) {
                int kind = 0;
                double own = 0.0;
                tokens >> kind >> own;
                blocks.back()[link] = {own};
                EXPECT_TRUE((kind == -2 && own >= 0.0) || (kind == 0 && own == -999.999)) << line;
                continue;
            }
            int nodes = 0;
            tokens >> nodes;
            std::vector<double>& values = blocks.back()[link];
            values.assign(nodes + 1, 0.0);
            for (int j = 1; j <= nodes; ++j) {
                int kind = 0;
                tokens >> kind >> values[j];
                EXPECT_EQ(kind, 1);
            }
        }
    }
    return blocks;
}

// The channel outputs of the plain run: the location rows follow the
// hydrograph interval and carry the outlet's discharge where the outlet
// hydrograph does; each link/node file gives every node on the same rows,
// and its figures agree with each other and with the location files.
TEST(YNetworkOutputs, LocationRowsAndLinkNodeFilesReportTheNetwork) {
    TempDir dir;
    const auto run = run_y(dir, {.name = "plain", .threads = "1", .extra = "STREAM_INFO\n"});
    ASSERT_EQ(run.status, 0) << run.out;
    const auto outlet = rows_of(dir.read("y.otl"));
    const auto q = rows_of(dir.read("y.q"));
    const auto depth = rows_of(dir.read("y.dep"));
    ASSERT_EQ(q.size(), 13u);  // minutes 0, 5, ..., 60
    ASSERT_EQ(depth.size(), 13u);
    for (std::size_t r = 0; r < q.size(); ++r) {
        ASSERT_EQ(q[r].size(), 4u);
        EXPECT_DOUBLE_EQ(q[r][0], 5.0 * r);
        EXPECT_NEAR(q[r][3], outlet[r][1], 0.0005) << "row " << r;
    }
    EXPECT_GT(q.back()[3], 0.0);
    const std::string first_row = dir.read("y.q").substr(0, dir.read("y.q").find('\n') + 1);
    EXPECT_EQ(first_row, "    0.00000000     0.000000     0.000000     0.000000 \n");

    const std::pair<const char*, const char*> files[] = {
        {"q.lnd", "TORVA_LINKNODE_STREAM_FLOW"},
        {"depth.lnd", "TORVA_LINKNODE_STREAM_DEPTH"},
        {"stage.lnd", "TORVA_LINKNODE_STREAM_STAGE"},
        {"velocity.lnd", "TORVA_LINKNODE_STREAM_VELOCITY"},
        {"flood.lnd", "TORVA_LINKNODE_FLOOD_STREAM_DEPTH"}};
    std::vector<Blocks> blocks;
    for (const auto& [name, word] : files) {
        const std::string text = dir.read(name);
        EXPECT_EQ(text.substr(0, text.find("TS    0")),
                  std::string(word) +
                      "\nNUM_LINKS     4\nTIME_STEP     5\nNUM_TS        12\n"
                      "START_TIME     1  6 2020 10  0  0\n")
            << name;
        blocks.push_back(blocks_of(text, 4));
        EXPECT_EQ(blocks.back().size(), 13u) << name;
    }
    const Blocks& flow = blocks[0];
    const Blocks& deep = blocks[1];
    const Blocks& stage = blocks[2];
    const Blocks& velocity = blocks[3];
    const Blocks& flood = blocks[4];

    // STREAM_INFO: the largest discharge after the last progress line (at
    // 60 minutes, with the last block) is the largest of that block.
    int max_node = 0, max_link = 0;
    double max_q = -1.0;
    for (const auto& [link, cells] : kNodeLinks)
        for (std::size_t j = 1; j < flow.back()[link].size(); ++j)
            if (flow.back()[link][j] > max_q) {
                max_q = flow.back()[link][j];
                max_node = static_cast<int>(j);
                max_link = link;
            }
    const std::size_t last = run.out.rfind("    ==> Max Qp (N ");
    ASSERT_NE(last, std::string::npos) << run.out;
    int node = 0, link = 0;
    double value = 0.0;
    ASSERT_EQ(std::sscanf(run.out.c_str() + last, "    ==> Max Qp (N %d, L %d) = %lf", &node, &link,
                          &value),
              3);
    EXPECT_EQ(node, max_node);
    EXPECT_EQ(link, max_link);
    EXPECT_NEAR(value, max_q, 6e-6);
    EXPECT_NE(run.out.find("elapsed time    60.00"), std::string::npos);
    for (std::size_t b = 0; b < flow.size(); ++b) {
        // The location files name link 1 node 2, link 3 node 2, link 4 node 3.
        EXPECT_NEAR(flow[b][1][2], q[b][1], 6e-6);
        EXPECT_NEAR(flow[b][4][3], q[b][3], 6e-6);
        EXPECT_NEAR(deep[b][3][2], depth[b][2], 6e-6);
        // The weir passes what the end of the western branch gives it; it
        // has no depth of its own.
        EXPECT_NEAR(flow[b][2][0], flow[b][1][2], 6e-6);
        EXPECT_EQ(deep[b][2][0], -999.999);
        // It holds back the water surface at the end of the western branch.
        EXPECT_EQ(stage[b][2][0], stage[b][1][2]);
        for (const auto& [link, cells] : kNodeLinks)
            for (int j = 1; j <= static_cast<int>(cells->size()); ++j) {
                const auto [row, col] = (*cells)[j - 1];
                // Stage less depth is the bed; the flood depth is the
                // deepest so far; the velocity is the discharge over the
                // trapezoid's area y (1 + y).
                EXPECT_NEAR(stage[b][link][j] - deep[b][link][j], ground(row, col) - 0.5, 2e-5);
                EXPECT_GE(flood[b][link][j], deep[b][link][j]);
                if (b > 0)
                    EXPECT_GE(flood[b][link][j], flood[b - 1][link][j]);
                // Both figures are rounded to 5 decimals: the quotient is
                // off by up to 5e-6 (1 + v (1 + 2 y)) / A.
                const double y = deep[b][link][j];
                const double area = y * (1.0 + y);
                const double v = velocity[b][link][j];
                if (y > 0.01)
                    EXPECT_NEAR(v, flow[b][link][j] / area,
                                5e-6 * (1.0 + v * (1.0 + 2.0 * y)) / area + 5e-6);
            }
    }

    // With QOUT_CFS the discharges are in cubic feet per second, the depths
    // unchanged, and on two threads every figure is the same as on one.
    TempDir cfs_dir;
    run_y_network(cfs_dir, {.name = "cfs", .threads = "2", .cfs = true});
    const auto q_cfs = rows_of(cfs_dir.read("y.q"));
    const auto flow_cfs = blocks_of(cfs_dir.read("q.lnd"), 4);
    ASSERT_EQ(q_cfs.size(), q.size());
    for (std::size_t r = 0; r < q.size(); ++r) {
        EXPECT_NEAR(q_cfs[r][3], q[r][3] * 35.31466672, 5e-5 * 35.3);
        EXPECT_NEAR(flow_cfs[r][4][3], flow[r][4][3] * 35.31466672, 5e-4);
        EXPECT_NEAR(flow_cfs[r][2][0], flow[r][2][0] * 35.31466672, 5e-4);
    }
    EXPECT_EQ(cfs_dir.read("y.dep"), dir.read("y.dep"));
    EXPECT_EQ(cfs_dir.read("depth.lnd"), dir.read("depth.lnd"));
}

// A run continued from the channel and overland hot starts of another ends
// as the whole run: its hydrograph rows follow on from the first run's, and
// its channels end as the whole run's, to the last digit. At 60 s steps a run of TOT_TIME 28
// takes 30 steps, half of the whole run's 60; the rain lasts 40 steps.
TEST(YNetworkHotStart, ARunContinuedFromItsHotStartsEndsAsTheWholeRun) {
    const char* writes = "WRITE_OV_HOTSTART end.ohot\nWRITE_CHAN_HOTSTART end.chot\n";
    TempDir whole, first, second;
    const std::string reads = std::string("READ_OV_HOTSTART ") + first.file("end.ohot") +
                              "\nREAD_CHAN_HOTSTART " + first.file("end.chot") + "\n" + writes;
    run_y_network(
        whole, {.name = "whole", .rain_minutes = 40, .step = "60", .extra = writes, .total = "58"});
    run_y_network(
        first, {.name = "first", .rain_minutes = 40, .step = "60", .extra = writes, .total = "28"});
    const std::string summary = run_y_network(second, {.name = "second",
                                                       .rain_minutes = 10,
                                                       .step = "60",
                                                       .extra = reads.c_str(),
                                                       .total = "28",
                                                       .start = "10 30"});
    EXPECT_LE(std::fabs(figure(summary, "Overall mass balance error =")), 5e-7);
    EXPECT_NEAR(figure(summary, "Initial volume in channels="),
                figure(first.read("y.sum"), "Final volume in channels="), 0.005);
    EXPECT_GT(figure(summary, "Initial volume in channels="), 0.0);

    auto rows = rows_of(first.read("y.otl"));
    for (const auto& row : rows_of(second.read("y.otl"))) rows.push_back(row);
    const auto whole_rows = rows_of(whole.read("y.otl"));
    ASSERT_EQ(rows.size(), 12u);
    ASSERT_EQ(whole_rows.size(), 12u);
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(rows[r][1], whole_rows[r][1]) << "row " << r;
    EXPECT_EQ(second.read("end.chot"), whole.read("end.chot"));
    EXPECT_EQ(rows_of(whole.read("end.chot")).size(), 7u);  // the nodes of links 1, 3 and 4
}

}  // namespace
}  // namespace torva

// A small watershed drained by a Y-shaped stream network, run end to end
// through the program: the water balances close with channels routed, in
// every variant of the run, and the channel outputs report the network.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "calibration/calibration_state.hpp"
#include "channel/network_files.hpp"
#include "channel/y_watershed.hpp"
#include "core/context.hpp"
#include "run/driver.hpp"
#include "support/grid_projects.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

// The Y watershed with both branches; the western one drains over a weir
// whose crest stands 0.1 m above the bed at its end.
using namespace test::y_watershed;
const std::string kChannels = channels(kBranch, "10.5");
const std::string kStreamCells = stream_cells(true);
// The beds of the nodes of links 1, 3 and 4, from node 1.
const std::map<int, std::vector<double>> kBeds = {
    {1, {10.7, 10.4}}, {3, {10.7, 10.4}}, {4, {10.1, 9.8, 9.5}}};

// The small project on the Y network's grid: 30 mm/h for 30 minutes of a
// 60-minute run at 5 s steps, every channel output asked for.
const std::string kCards =
    "OUTROW 5\nOUTCOL 3\nTIMESTEP 5\nTOT_TIME 60\nRAIN_INTENSITY 30\nRAIN_DURATION 30\n"
    "SUMMARY y.sum\nOUTLET_HYDRO y.otl\nTIME_SERIES_FILE spring.ts\nCHANNEL_INPUT y.chn\n"
    "STREAM_CELL y.gst\nCHAN_EXPLIC\nIN_HYD_LOCATION y.loc\nOUT_HYD_LOCATION y.q\n"
    "OUT_DEP_LOCATION y.dep\nCHAN_DISCHARGE q.lnd\nCHAN_DEPTH depth.lnd\nCHAN_STAGE stage.lnd\n"
    "CHAN_VELOCITY velocity.lnd\nFLOOD_STREAM flood.lnd\n";
const std::string kGreenAmpt =
    "GREEN_AMPT\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\nMOISTURE moist.map\n";

// Writes the project with its cards edited as edited_project edits them, and
// its files, and runs it; the locations are the ends of the branches and the
// outlet unless given.
using ChannelEdits = std::vector<std::pair<std::string, std::string>>;

void write_y(const TempDir& dir, const std::string& edits, bool point_source,
             const std::string& locations, const ChannelEdits& channel_edits = {}) {
    test::write_grid_project(dir, 5, 5, 20.0, kCards + edits,
                             "ks.map 0.5 psi.map 10 por.map 0.4 moist.map 0.2",
                             {{"elevation.ele", ground}});
    dir.write("spring.ts",
              "TORVA_TS\nspring\nABSOLUTE\n2020 6 1 9 0 0.02\n2020 6 1 12 0 0.02\nEND_TS\n"
              "TORVA_TS\nsink\nABSOLUTE\n2020 6 1 9 0 -0.01\n2020 6 1 12 0 -0.01\nEND_TS\n"
              "TORVA_TS\npumped\nABSOLUTE\n2020 6 1 9 0 0.01\n2020 6 1 12 0 0.01\nEND_TS\n");
    const std::string channels =
        point_source
            ? test::edited(kChannels, {{"SIDE_SLOPE 1.0", "SIDE_SLOPE 1.0\nPOINTSOURCE spring"}})
            : kChannels;
    dir.write("y.chn", test::edited(channels, channel_edits));
    dir.write("y.gst", kStreamCells);
    dir.write("y.loc", locations);
}

test::ProgramRun run_y(const TempDir& dir, const std::string& edits, bool point_source = false,
                       const std::string& locations = "3\n1 2\n3 2\n4 3\n",
                       const ChannelEdits& channel_edits = {}) {
    write_y(dir, edits, point_source, locations, channel_edits);
    return test::run_program_in(dir.path(), {"p.prj"});
}

// Runs the project, which must succeed, and returns its summary file.
std::string run_y_network(const TempDir& dir, const std::string& edits, bool point_source = false) {
    const auto run = run_y(dir, edits, point_source);
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.read("y.sum");
}

using test::figure;

// Every balance prints 0 to its six decimals: the errors are below 5e-7
// percent, a relative error below 5e-9.
constexpr double kClosed = 5e-7;

// A run of the network with its cards edited: it closes its balances, with
// the precipitation and point source volumes given and a further figure above
// 0, or it stops with its message and exit status 1.
struct Variant {
    const char* name;
    std::string edits;
    bool point_source = false;
    // 30 mm/h on 10,000 m2 for 30 minutes is 150 m3. Rain that outlasts the
    // run falls until the run's hour is over: 300 m3. The two steps the run
    // takes past the hour (at 3600 and 3605 s) route the water on without rain.
    double rain = 150.0;
    const char* more_than_0 = "Total amount of discharge=";
    std::string locations = "3\n1 2\n3 2\n4 3\n";  // the ends of the branches, the outlet
    std::string message = "";
    ChannelEdits channel_edits = {};
    bool sink = false;  // a point sink: the point sources take water out
};

const Variant kVariants[] = {
    {"RainStopsBeforeTheEnd", ""},
    {"RainOutlastsTheRun", "RAIN_DURATION 90", false, 300.0},
    {"GreenAmpt", kGreenAmpt, false, 150.0, "Total amount of infiltration="},
    {"GreenAmptRainOutlastsTheRun", kGreenAmpt + "RAIN_DURATION 90", false, 300.0,
     "Total amount of infiltration="},
    {"PointSource", "", true},
    {"HeadBoundary", "HEAD_BOUND\nBOUND_DEPTH 0.3", false, 150.0,
     "Volume gained from specified head boundary:"},
    {.name = "OutputsWithoutRouting",
     .edits = "-CHAN_EXPLIC",
     .message = "Error: the project file p.prj asks for channel outputs it cannot have:\n"
                "  IN_HYD_LOCATION        needs CHAN_EXPLIC\n"
                "  OUT_HYD_LOCATION       needs CHAN_EXPLIC\n"
                "  OUT_DEP_LOCATION       needs CHAN_EXPLIC\n"
                "  CHAN_DEPTH             needs CHAN_EXPLIC\n"
                "  CHAN_DISCHARGE         needs CHAN_EXPLIC\n"
                "  CHAN_STAGE             needs CHAN_EXPLIC\n"
                "  CHAN_VELOCITY          needs CHAN_EXPLIC\n"
                "  FLOOD_STREAM           needs CHAN_EXPLIC\n"
                "Nothing has been simulated. Route the channels with CHAN_EXPLIC (with "
                "CHANNEL_INPUT and STREAM_CELL)\nand name the locations with IN_HYD_LOCATION, or "
                "remove these cards.\n"},
    // The branches both drain over the weir: each used to give it the weir's
    // whole discharge, which arrived below once (BEFORE_TWO_FEEDERS).
    {.name = "StructureWithTwoFeeders",
     .channel_edits = {{"CONNECT 2 4 1 1", "CONNECT 2 4 2 1 3"},
                       {"CONNECT 3 4 0", "CONNECT 3 2 0"},
                       {"CONNECT 4 0 2 2 3", "CONNECT 4 0 1 2"}}},
    // A pump of 0.01 m3/s from the end of the eastern branch into the weir
    // arrives at the stem's first node; it used to be added nowhere
    // (BEFORE_PUMP).
    {.name = "PumpIntoStructure", .channel_edits = {{"LINK 4", "PUMPTO 2 1 TS pumped\nLINK 4"}}},
    // A sink of 0.01 m3/s at the end of the eastern branch, dry at the start:
    // the run used to stop on its first step. It takes what reaches it.
    {.name = "PointSinkOnADryReach",
     .more_than_0 = "point sinks could not take",
     .channel_edits = {{"LINK 4", "POINTSOURCE sink\nLINK 4"}},
     .sink = true},
    // Routing asked for without a network ran the grid alone and exited 0.
    {.name = "RoutingWithoutNetwork",
     .edits = "-CHANNEL_INPUT",
     .message = "Error: the project file p.prj routes the channels (CHAN_EXPLIC) but gives no "
                "CHANNEL_INPUT card\n(the channel input file of the network). Nothing has been "
                "simulated. Name the file with CHANNEL_INPUT, or remove CHAN_EXPLIC.\n"},
    {.name = "RoutingWithoutStreamCells",
     .edits = "-STREAM_CELL\n-CHAN_EXPLIC\nDIFFUSIVE_WAVE",
     .message = "gives no STREAM_CELL card\n(the grid-stream file that places its nodes in grid "
                "cells)."},
    {.name = "LocationRowsWithoutLocations",
     .edits = "-IN_HYD_LOCATION",
     .message = "  OUT_HYD_LOCATION       needs IN_HYD_LOCATION, the list of its locations\n"
                "  OUT_DEP_LOCATION       needs IN_HYD_LOCATION, the list of its locations\n"},
    {.name = "LocationOnNoLink",
     .locations = "2\n1 2\n5 1\n",
     .message = "Error: location file y.loc (card IN_HYD_LOCATION), entry 2: link 5 is not a link "
                "of the channel network, whose links are 1 to 4; give a link and one of its "
                "nodes.\n"},
    {.name = "LocationBeyondTheNodes",
     .locations = "1\n1 3\n",
     .message = "Error: location file y.loc (card IN_HYD_LOCATION), entry 1: node 3 is not a node "
                "of link 1, whose nodes are 1 to 2; give a link and one of its nodes.\n"},
    {.name = "LocationNodeZero",
     .locations = "1\n4 0\n",
     .message = "entry 1: node 0 is not a node of link 4, whose nodes are 1 to 3;"},
};

class YNetwork : public ::testing::TestWithParam<Variant> {};

TEST_P(YNetwork, BalancesCloseOrTheRunStopsWithItsMessage) {
    const Variant& v = GetParam();
    TempDir dir;
    const auto run = run_y(dir, v.edits, v.point_source, v.locations, v.channel_edits);
    if (!v.message.empty()) {
        EXPECT_NE(run.out.find(v.message), std::string::npos) << run.out;
        EXPECT_EQ(run.status, 1);
        // Refused at set-up: no output has been opened.
        EXPECT_FALSE(dir.exists("y.sum"));
        return;
    }
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string summary = dir.read("y.sum");
    test::expect_balances_close(summary, kClosed);
    EXPECT_NEAR(figure(summary, "Total amount of precip="), v.rain, 0.005);
    // The spring gives 0.02 m3/s on each of the 722 channel steps of 5 s; a
    // sink of 0.01 m3/s takes at most 36.1 m3.
    EXPECT_NEAR(figure(summary, "Total channel point sources="), v.point_source ? 72.2 : 0.0,
                0.005);
    if (v.sink) {
        EXPECT_GT(figure(summary, "Total stream point sinks="), 0.0);
        EXPECT_LT(figure(summary, "Total stream point sinks="), 36.1);
    }
    EXPECT_GT(figure(summary, "Total amount of discharge="), 0.0);
    EXPECT_GT(figure(summary, v.more_than_0), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Variants, YNetwork, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

// A pool held 1.5 m deep at the outlet over nodes 20 m apart: the second
// predictor-corrector pass keeps moving areas, the summary counts those
// sub-steps, one warning at the end gives the same count, and the balance
// still closes. At 1 m and a Courant limit of 0.05 the passes settle.
TEST(YNetworkDeepPool, UnsettledSubStepsAreCountedAndWarnedOnce) {
    for (const bool settles : {false, true}) {
        TempDir dir;
        const auto run = run_y(dir, settles ? "HEAD_BOUND\nBOUND_DEPTH 1.0\nMAX_COURANT_NUMBER 0.05"
                                            : "HEAD_BOUND\nBOUND_DEPTH 1.5");
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string summary = dir.read("y.sum");
        test::expect_balances_close(summary, kClosed);
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
        const std::size_t first = run.out.find(settles ? "Warning: in " : warning);
        if (settles) {
            EXPECT_EQ(unsettled, 0);
            EXPECT_EQ(first, std::string::npos);
            continue;
        }
        EXPECT_GT(unsettled, sub_steps / 2);
        EXPECT_NE(first, std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Warning: in ", first + 1), std::string::npos);
        EXPECT_NE(summary.find(warning), std::string::npos);
    }
}

// The numbers of each line of a location file or the outlet hydrograph.
std::vector<std::vector<double>> rows_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream numbers(line);
        rows.emplace_back();
        for (double x; numbers >> x;) rows.back().push_back(x);
    }
    return rows;
}

// The row blocks of a link/node file of the Y network after its five header
// lines: blocks[b][link][node], both from 1, with the structure link's own
// value, or -999.999, at [b][2][0] (the layout of each kind of row is
// checked in the output tests).
using Blocks = std::vector<std::vector<std::vector<double>>>;
Blocks blocks_of(const std::string& text) {
    Blocks blocks;
    std::istringstream lines(text.substr(text.find("TS    0")));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty())
            continue;
        EXPECT_EQ(line, "TS    " + std::to_string(blocks.size()));
        blocks.emplace_back(5);
        for (int link = 1; link <= 4 && std::getline(lines, line); ++link) {
            const std::vector<double> row = rows_of(line)[0];  // nodes, then kind and value
            std::vector<double>& values = blocks.back()[link] = {row[1]};
            for (std::size_t j = 2; link != 2 && j < row.size(); j += 2) values.push_back(row[j]);
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
    const auto run = run_y(dir, "NUM_THREADS 1\nSTREAM_INFO");
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
    EXPECT_EQ(dir.read("y.q").substr(0, dir.read("y.q").find('\n') + 1),
              "    0.00000000     0.000000     0.000000     0.000000 \n");

    std::vector<Blocks> blocks;
    for (const auto& [name, word] : {std::pair{"q", "STREAM_FLOW"},
                                     {"depth", "STREAM_DEPTH"},
                                     {"stage", "STREAM_STAGE"},
                                     {"velocity", "STREAM_VELOCITY"},
                                     {"flood", "FLOOD_STREAM_DEPTH"}}) {
        const std::string text = dir.read(std::string(name) + ".lnd");
        EXPECT_EQ(text.substr(0, text.find("TS    0")),
                  std::string("TORVA_LINKNODE_") + word +
                      "\nNUM_LINKS     4\nTIME_STEP     5\nNUM_TS        12\n"
                      "START_TIME     1  6 2020 10  0  0\n");
        blocks.push_back(blocks_of(text));
        EXPECT_EQ(blocks.back().size(), 13u) << name;
    }
    const Blocks &flow = blocks[0], &deep = blocks[1], &stage = blocks[2], &velocity = blocks[3],
                 &flood = blocks[4];

    // STREAM_INFO: the largest discharge after the last progress line (at
    // 60 minutes, with the last block) is the largest of that block.
    int node = 0, link = 0;
    double largest = -1.0;
    for (const auto& [k, beds] : kBeds)
        for (std::size_t j = 1; j <= beds.size(); ++j)
            if (flow.back()[k][j] > largest) {
                largest = flow.back()[k][j];
                node = static_cast<int>(j);
                link = k;
            }
    const std::string line =
        "    ==> Max Qp (N " + std::to_string(node) + ", L " + std::to_string(link) + ") = ";
    const std::size_t last = run.out.rfind("    ==> Max Qp (N ");
    ASSERT_EQ(run.out.compare(last, line.size(), line), 0) << run.out;
    EXPECT_NEAR(std::strtod(run.out.c_str() + last + line.size(), nullptr), largest, 6e-6);
    EXPECT_NE(run.out.find("elapsed time    60.00"), std::string::npos);
    for (std::size_t b = 0; b < flow.size(); ++b) {
        // The location files name link 1 node 2, link 3 node 2, link 4 node 3.
        EXPECT_NEAR(flow[b][1][2], q[b][1], 6e-6);
        EXPECT_NEAR(flow[b][4][3], q[b][3], 6e-6);
        EXPECT_NEAR(deep[b][3][2], depth[b][2], 6e-6);
        // The weir passes what the end of the western branch gives it and
        // holds back its water surface; it has no depth of its own.
        EXPECT_NEAR(flow[b][2][0], flow[b][1][2], 6e-6);
        EXPECT_EQ(stage[b][2][0], stage[b][1][2]);
        EXPECT_EQ(deep[b][2][0], -999.999);
        for (const auto& [k, beds] : kBeds)
            for (std::size_t j = 1; j <= beds.size(); ++j) {
                // Stage less depth is the bed; the flood depth is the
                // deepest so far; the velocity is the discharge over the
                // trapezoid's area y (1 + y).
                const double y = deep[b][k][j];
                EXPECT_NEAR(stage[b][k][j] - y, beds[j - 1], 2e-5);
                EXPECT_GE(flood[b][k][j], y);
                if (b > 0)
                    EXPECT_GE(flood[b][k][j], flood[b - 1][k][j]);
                // Both figures are rounded to 5 decimals: the quotient is
                // off by up to 5e-6 (1 + v (1 + 2 y)) / A.
                const double area = y * (1.0 + y);
                const double v = velocity[b][k][j];
                if (y > 0.01)
                    EXPECT_NEAR(v, flow[b][k][j] / area,
                                5e-6 * (1.0 + v * (1.0 + 2.0 * y)) / area + 5e-6);
            }
    }

    // With QOUT_CFS the discharges are in cubic feet per second, the depths
    // unchanged, and on two threads every figure is the same as on one.
    TempDir cfs_dir;
    run_y_network(cfs_dir, "NUM_THREADS 2\nQOUT_CFS");
    const auto q_cfs = rows_of(cfs_dir.read("y.q"));
    const auto flow_cfs = blocks_of(cfs_dir.read("q.lnd"));
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
// its channels end as the whole run's, to the last digit.
TEST(YNetworkHotStart, ARunContinuedFromItsHotStartsEndsAsTheWholeRun) {
    const HotStartHalves h(
        [](const TempDir& dir, const std::string& edits) { return run_y_network(dir, edits); });
    EXPECT_LE(std::fabs(figure(h.summary, "Overall mass balance error =")), kClosed);
    EXPECT_NEAR(figure(h.summary, "Initial volume in channels="),
                figure(h.first_summary, "Final volume in channels="), 0.005);
    EXPECT_GT(figure(h.summary, "Initial volume in channels="), 0.0);

    auto rows = rows_of(h.first.read("y.otl"));
    for (const auto& row : rows_of(h.second.read("y.otl"))) rows.push_back(row);
    const auto whole_rows = rows_of(h.whole.read("y.otl"));
    ASSERT_EQ(rows.size(), 12u);
    ASSERT_EQ(whole_rows.size(), 12u);
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(rows[r][1], whole_rows[r][1]) << "row " << r;
    EXPECT_EQ(h.second.read("end.chot"), h.whole.read("end.chot"));
    EXPECT_EQ(rows_of(h.whole.read("end.chot")).size(), 7u);  // the nodes of links 1, 3 and 4
}

// The depth and flood maps show a stream cell's channel water, not the film
// of overland water beside it: at every map time (every 5 minutes from
// half a minute, on 30 s steps) each stream cell holds the depth of its node in
// the link/node file at that time, and the flood grid its deepest so far.
TEST(YNetworkMaps, StreamCellsShowTheirChannelsDepth) {
    TempDir dir;
    const auto run = run_y(dir,
                           "TIMESTEP 30\nHYD_FREQ 0.5\nMAP_FREQ 5\nMAP_TYPE 1\nDEPTH d.dat\n"
                           "FLOOD_GRID f.dat\n");
    ASSERT_EQ(run.status, 0) << run.out;
    const Blocks depth = blocks_of(dir.read("depth.lnd"));
    const Blocks flood = blocks_of(dir.read("flood.lnd"));
    // (row, column) of each stream cell and its (link, node).
    const int cells[7][4] = {{1, 2, 1, 1}, {2, 2, 1, 2}, {1, 4, 3, 1}, {2, 4, 3, 2},
                             {3, 3, 4, 1}, {4, 3, 4, 2}, {5, 3, 4, 3}};
    for (const auto& [name, channel] : {std::pair{"d.dat", &depth}, {"f.dat", &flood}}) {
        std::istringstream map(dir.read(name));
        int steps = 0;
        double deepest = 0.0;
        for (std::string word; map >> word;) {
            if (word != "TS")
                continue;
            int flag = 0;
            double minutes = 0.0;
            map >> flag >> minutes;
            std::vector<double> values(25);
            for (int k = 0; k < 25; ++k) map >> flag;
            for (double& v : values) map >> v;
            const std::size_t block = static_cast<std::size_t>(std::lround(2.0 * minutes));
            ASSERT_LT(block, channel->size());
            EXPECT_EQ(minutes, 0.5 + 5.0 * steps) << name;
            for (const auto& c : cells) {
                const double expected = (*channel)[block][c[2]][c[3]];
                EXPECT_NEAR(values[(c[0] - 1) * 5 + c[1] - 1], expected, 1e-5)
                    << name << " minute " << minutes << " row " << c[0] << " column " << c[1];
                deepest = std::max(deepest, expected);
            }
            ++steps;
        }
        EXPECT_EQ(steps, 13) << name;
        EXPECT_GT(deepest, 0.1) << name;  // channel water, not a film
    }
}

// A calibration run sums the peak and the volume of each event at every
// hydrograph location, as the outlet's. With one location row per step (6 s
// steps, HYD_FREQ 0.1 min) the rows are the discharges the sums take: each
// volume is the sum of its column times 6 s (rows rounded to 5e-7 m3/s, 602
// rows: within 0.002 m3) and each peak the column's largest value. The
// outlet's location is the outlet itself, to the last digit; the branches'
// sums differ from it and from each other. The hydrograph a whole-hydrograph
// objective scores is kept at the location it names (the eastern branch's
// end, the second column), one entry per row.
// A calibration's simulation of the project in the folder, keeping the
// hydrograph at node `node` of `link`: its exit code.
int calibration_run(const TempDir& dir, CalibrationResults& results, int link, int node) {
    results.keep_hydrograph = true;
    results.hydrograph_link = link;
    results.hydrograph_node = node;
    RunContext ctx;
    test::Console quiet(ctx);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const int code = run_simulation(ctx, "p.prj", &results);
    std::filesystem::current_path(before);
    return code;
}

TEST(YNetworkCalibration, PeaksAndVolumesAreSummedAtEveryHydrographLocation) {
    TempDir dir;
    write_y(dir, "TIMESTEP 6\nHYD_FREQ 0.1\nSUPER_QUIET", true, "3\n1 2\n3 2\n4 3\n");
    CalibrationResults results;
    ASSERT_EQ(calibration_run(dir, results, 3, 2), 0);
    ASSERT_EQ(results.number_of_locations, 3);
    EXPECT_EQ(results.location_of(3, 2), 2);
    EXPECT_EQ(results.location_of(2, 1), 0);
    const auto rows = rows_of(dir.read("y.q"));
    ASSERT_EQ(rows.size(), 602u);  // steps at 0, 6, ..., 3606 s
    for (int k = 1; k <= 3; ++k) {
        double volume = 0.0, peak = 0.0;
        for (const auto& row : rows) {
            volume += row[k] * 6.0;
            peak = std::max(peak, row[k]);
        }
        EXPECT_NEAR(results.volume_at(1, k), volume, 0.002) << "location " << k;
        EXPECT_NEAR(results.peak_at(1, k), peak, 5e-7) << "location " << k;
        EXPECT_GT(results.peak_at(1, k), 0.0);
    }
    EXPECT_EQ(results.volume_at(1, 3), results.volume(1));
    EXPECT_EQ(results.peak_at(1, 3), results.peak(1));
    EXPECT_NE(results.volume_at(1, 1), results.volume_at(1, 2));
    EXPECT_EQ(results.volume_at(2, 1), 0.0);  // there is one event
    ASSERT_EQ(results.hydrograph_location, 2);
    ASSERT_EQ(results.hydrograph_discharge.size(), rows.size());  // every step
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_NEAR(results.hydrograph_minutes[i], rows[i][0], 1e-6) << i;
        ASSERT_NEAR(results.hydrograph_discharge[i], rows[i][2], 5e-7) << i;
    }

    // A place that is not a hydrograph location keeps no hydrograph, so that
    // the evaluation scores worst rather than against the outlet.
    CalibrationResults elsewhere;
    EXPECT_EQ(calibration_run(dir, elsewhere, 2, 1), 0);
    EXPECT_TRUE(elsewhere.hydrograph_discharge.empty());
}

}  // namespace
}  // namespace torva

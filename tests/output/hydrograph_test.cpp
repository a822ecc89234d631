#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "output/hydrograph.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using Folder = test::TempDir;

void give(Model& m, Card card, const std::string& text = "") {
    m.project[card].given = true;
    m.project[card].text = text;
}

// A run of `steps` steps of 10 s whose outlet discharge rises by 0.5 m3/s a step.
void run_steps(Model& m, RunContext& ctx, int steps) {
    m.run.time_step = 10.0;
    m.run.time_step_days = 10.0 / 86400.0;
    m.clock.start_time = 2459000.5;
    m.running = true;
    for (int k = 0; k < steps; ++k) {
        m.clock.step_index = k;
        m.clock.current_time = m.clock.start_time + k * m.run.time_step_days;
        m.clock.elapsed_minutes = k * 10.0 / 60.0;
        m.clock.calendar = julian_to_calendar(m.clock.current_time);
        m.clock.whole_seconds = static_cast<int>(m.clock.calendar.second);
        m.clock.day_of_year =
            day_of_year(m.clock.calendar.year, m.clock.calendar.month, m.clock.calendar.day);
        m.outlet.discharge = 0.5 * k;
        if (k == steps - 1)
            m.running = false;
        hydrograph_output_phase(m, ctx);
    }
}

TEST(OutletHydrograph, RowEveryHydrographIntervalInElapsedMinutesWithSixDigitTwin) {
    Folder dir;
    RunContext ctx;
    auto m = std::make_unique<Model>();
    give(*m, Card::OUTLET_HYDRO, dir.file("outlet.otl"));
    give(*m, Card::SIG_OUTLET_HYDRO, dir.file("outlet6.otl"));
    m->run.hydrograph_steps = 6;  // HYD_FREQ 1 with 10 s steps
    open_run_files(*m, ctx);
    ASSERT_FALSE(ctx.error.pending());
    run_steps(*m, ctx, 14);
    close_run_files(*m, ctx);
    EXPECT_EQ(dir.read("outlet.otl"),
              "    0.00     0.000\n"
              "    1.00     3.000\n"
              "    2.00     6.000\n");
    EXPECT_EQ(dir.read("outlet6.otl"),
              "    0.00     0.000000\n"
              "    1.00     3.000000\n"
              "    2.00     6.000000\n");
}

// Strict Julian dates with discharges in cubic feet, and the long-term rows
// (2459000.5 is 31 May 2020 00:00, day 152 of the year).
TEST(OutletHydrograph, JulianDatesCubicFeetAndLongTermRows) {
    Folder dir;
    for (const bool long_term : {false, true}) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        give(*m, Card::OUTLET_HYDRO, dir.file("outlet.otl"));
        m->run.strict_julian = m->run.english_units = !long_term;
        m->run.long_term = long_term;
        m->run.hydrograph_steps = 6;
        open_run_files(*m, ctx);
        run_steps(*m, ctx, 7);
        close_run_files(*m, ctx);
        EXPECT_EQ(dir.read("outlet.otl"), long_term ? "    152.00000000      0.0000\n"
                                                      "    152.00069444      3.0000\n"
                                                    : "2459000.50000000      0.000\n"
                                                      "2459000.50069444    105.944\n");
    }
}

TEST(OutletHydrograph, HostHydrographFileTakesTheDischargesBack) {
    Folder dir;
    RunContext ctx;
    auto m = std::make_unique<Model>();
    give(*m, Card::OUTLET_HYDRO, dir.file("outlet.otl"));
    give(*m, Card::ORBAL_HYDRO, dir.file("host.ohy"));
    m->run.hydrograph_steps = 1;
    open_run_files(*m, ctx);
    run_steps(*m, ctx, 12);
    close_run_files(*m, ctx);
    EXPECT_EQ(dir.read("host.ohy"),
              "TORVA_ORBAL_HYDROGRAPH_FILE\n0\n20200531\n0\n1\n12\n"
              "     0.0000      0.5000      1.0000      1.5000      2.0000      2.5000      3.0000"
              "      3.5000      4.0000      4.5000\n     5.0000      5.5000 ");
}

TEST(OutletHydrograph, HostHydrographWithoutOutletFileIsAborted) {
    Folder dir;
    RunContext ctx;
    test::Console console(ctx);
    auto m = std::make_unique<Model>();
    give(*m, Card::ORBAL_HYDRO, dir.file("host.ohy"));
    write_host_hydrograph(*m, ctx);
    EXPECT_EQ(console.text(),
              "\n\nError: Unable to open files to write the ORBAL hydrograph file.\n"
              " Write aborted.\n");
}

TEST(MoistureLocations, SurfaceMoistureOfEachListedCell) {
    Folder dir;
    RunContext ctx;
    auto m = std::make_unique<Model>();
    dir.write("cells.txt", "2\n1 2\n2 1\n");
    give(*m, Card::IN_THETA_LOCATION, dir.file("cells.txt"));
    give(*m, Card::OUT_THETA_LOCATION, dir.file("theta.out"));
    test::build_grid(m->grid, 2, 2, 10.0, [](int, int) { return 0.0; });
    m->soil.surface_moisture = {0.0, 0.11, 0.22, 0.33, 0.44};
    m->run.hydrograph_steps = 6;
    open_run_files(*m, ctx);
    read_location_lists(*m, ctx);
    ASSERT_FALSE(ctx.error.pending());
    run_steps(*m, ctx, 7);
    close_run_files(*m, ctx);
    EXPECT_EQ(dir.read("theta.out"),
              "    0.00000000     0.220000     0.330000 \n"
              "    1.00000000     0.220000     0.330000 \n");
}

// Each output file that cannot be created stops the run with its own code.
TEST(OutputFiles, EveryOpenFailureHasItsCode) {
    Folder dir;
    const std::string nowhere = dir.file("missing/folder/out.txt");
    dir.write("locations.txt", "1\n1 1\n");
    struct Case {
        Card card;
        Card input;
        int code;
        std::string text1;
    };
    const Case cases[] = {
        {Card::OUTLET_HYDRO, Card::SUMMARY, 59, ""},
        {Card::SIG_OUTLET_HYDRO, Card::SUMMARY, 4, "optional 6 digit hydrograph"},
        {Card::OUT_HYD_LOCATION, Card::IN_HYD_LOCATION, 51, nowhere},
        {Card::OUT_DEP_LOCATION, Card::IN_HYD_LOCATION, 50, nowhere},
        {Card::OUT_CON_LOCATION, Card::SUMMARY, 49, nowhere},
        {Card::OUT_THETA_LOCATION, Card::IN_THETA_LOCATION, 48, dir.file("locations.txt")},
        {Card::LAKE_OUTPUT, Card::SUMMARY, 4, "lake output"},
        {Card::CHAN_DEPTH, Card::SUMMARY, 4, "output channel depth"},
        {Card::CHAN_DISCHARGE, Card::SUMMARY, 4, "output channel discharge"},
        {Card::CHAN_STAGE, Card::SUMMARY, 4, "output channel stage"},
        {Card::CHAN_VELOCITY, Card::SUMMARY, 4, "output channel velocity"},
        {Card::FLOOD_STREAM, Card::SUMMARY, 4, "output flood stream stage"},
        {Card::CHAN_SED_FLUX, Card::SUMMARY, 4, "output stream_sed_flux"},
    };
    for (const Case& c : cases) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        m->project.channel_routing = ChannelRouting::explicit_routing;
        if (c.input != Card::SUMMARY)
            give(*m, c.input, dir.file("locations.txt"));
        give(*m, c.card, nowhere);
        open_run_files(*m, ctx);
        EXPECT_EQ(ctx.error.code, c.code) << static_cast<int>(c.card);
        EXPECT_EQ(ctx.error.text1, c.text1.substr(0, 59)) << static_cast<int>(c.card);
        close_run_files(*m, ctx);
    }
    for (Card input : {Card::IN_HYD_LOCATION, Card::IN_THETA_LOCATION}) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        give(*m, input, dir.file("no_such_list.txt"));
        read_location_lists(*m, ctx);
        EXPECT_EQ(ctx.error.code, err::open_file);
        EXPECT_EQ(ctx.error.text1,
                  input == Card::IN_HYD_LOCATION ? "hydrograph location" : "in_theta location");
    }
}

// A hand-made network: link 1 a trapezoid of 2 nodes, link 2 a trapezoid of 3
// nodes with its own value (bit 32) of which only 2 nodes carry values, link 3
// a structure link (bit 64) without nodes.
LinkNodeNetwork small_network() {
    LinkNodeNetwork net;
    net.num_links = 3;
    net.node_count = {0, 2, 3, 0};
    net.link_type = {0, 4, 32 | 4, 64};
    return net;
}

TEST(LinkNodeFiles, HeaderAndRowBlocksOfEachMode) {
    Folder dir;
    RunContext ctx;
    const LinkNodeNetwork net = small_network();
    NodeLinkValues stage(4, std::vector<double>(4, 0.0));
    NodeLinkValues bed(4, std::vector<double>(4, 0.0));
    stage[1][1] = 10.5;
    stage[2][1] = 10.25;
    stage[1][2] = 9.75;
    stage[2][2] = 9.5;
    stage[3][2] = 9.25;
    bed[1][1] = 10.0;
    bed[2][1] = 10.0;
    bed[1][2] = 9.0;
    bed[2][2] = 9.0;
    bed[3][2] = 1e-8;
    const std::vector<double> own = {0.0, 0.0, 0.125, 2.5};
    const std::vector<int> shown = {0, 2, 2, 0};

    LinkNodeFile depth{std::fopen(dir.file("depth.lnd").c_str(), "w"), LinkNodeMode::difference,
                       "TORVA_LINKNODE_STREAM_DEPTH\n", 0};
    CalendarTime start;
    start.year = 2020;
    start.month = 6;
    start.day = 1;
    start.hour = 9;
    start.minute = 5;
    ASSERT_TRUE(write_link_node_header(ctx, depth.file, depth.first_line, 3, 5, 120 / 5, start));
    ASSERT_TRUE(write_link_node_rows(ctx, depth, net, stage, &bed, own, &shown));
    ASSERT_TRUE(write_link_node_rows(ctx, depth, net, stage, &bed, own, &shown));
    std::fclose(depth.file);
    EXPECT_EQ(dir.read("depth.lnd"),
              "TORVA_LINKNODE_STREAM_DEPTH\n"
              "NUM_LINKS     3\n"
              "TIME_STEP     5\n"
              "NUM_TS        24\n"
              "START_TIME     1  6 2020  9  5  0\n"
              "TS    0\n"
              "2   1  0.50000   1  0.25000   \n"
              "-1 0.12500   3   1  0.75000   1  0.50000   0  -999.999   \n"
              "0  -999.999   \n"
              "\n"
              "TS    1\n"
              "2   1  0.50000   1  0.25000   \n"
              "-1 0.12500   3   1  0.75000   1  0.50000   0  -999.999   \n"
              "0  -999.999   \n"
              "\n");

    LinkNodeFile flow{std::fopen(dir.file("flow.lnd").c_str(), "w"), LinkNodeMode::value,
                      "TORVA_LINKNODE_STREAM_FLOW\n", 0};
    ASSERT_TRUE(write_link_node_rows(ctx, flow, net, stage, nullptr, own));
    std::fclose(flow.file);
    EXPECT_EQ(dir.read("flow.lnd"),
              "TS    0\n"
              "2   1  10.50000   1  10.25000   \n"
              "0  -999.999   3   1  9.75000   1  9.50000   1  9.25000   \n"
              "-2  2.50000   \n"
              "\n");

    LinkNodeFile velocity{std::fopen(dir.file("velocity.lnd").c_str(), "w"), LinkNodeMode::ratio,
                          "TORVA_LINKNODE_STREAM_VELOCITY\n", 0};
    ASSERT_TRUE(write_link_node_rows(ctx, velocity, net, stage, &bed, own));
    std::fclose(velocity.file);
    // The third node of link 2 has a flow area below 1e-7: velocity 0.
    EXPECT_EQ(dir.read("velocity.lnd"),
              "TS    0\n"
              "2   1  1.05000   1  1.02500   \n"
              "-1 0.12500   3   1  1.08333   1  1.05556   1  0.00000   \n"
              "0  -999.999   \n"
              "\n");
}

}  // namespace
}  // namespace torva

// The channel network as the set-up builds it from its files: the console
// summary and diagnostic files of a network with every kind of link, what the
// Model state holds afterwards, structures, pumps, point sources, hotstarts.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "channel/channel.hpp"
#include "channel/network_files.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "run/driver.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;

// Sets up the project p.prj of the folder, run from there; the Model state is
// handed to `inspect` as the set-up left it, after its channel diagnostics
// are written. Returns the console.
std::string set_up(const test::TempDir& dir, const std::function<void(const Model&)>& inspect,
                   const std::function<void(RunContext&)>& prepare = nullptr) {
    RunContext ctx;
    test::Console console(ctx);
    if (prepare)
        prepare(ctx);
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    run_simulation(ctx, "p.prj", [&](const Model& model) {
        // The run stops once the network is read (it is not routed), before
        // any output opens: its diagnostics are written here.
        write_channel_diagnostics(model, ctx);
        if (inspect)
            inspect(model);
    });
    fs::current_path(before);
    return test::normalise(console.text());
}

// The small project with the given channel files.
std::string run_network(test::TempDir& dir, const std::string& channel,
                        const std::string& grid_stream, const std::string& cards,
                        const std::function<void(const Model&)>& inspect,
                        const std::function<void(RunContext&)>& prepare = nullptr) {
    test::write_small_project(dir, cards + "CHANNEL_INPUT chan.txt\nSTREAM_CELL chan.gst\n");
    dir.write("chan.txt", channel);
    dir.write("chan.gst", grid_stream);
    return set_up(dir, inspect, prepare);
}

TEST(ChannelNetwork, EveryKindOfLinkSummaryDiagnosticsAndModel) {
    // Five links in a chain: a subsurface trapezoid, an erodible break-point
    // link with two sections, a lake, a structure of two elements and a
    // one-node outlet link.
    test::TempDir dir;
    bool inspected = false;
    const std::string console = run_network(
        dir, test::golden("channel/golden/full_network.chan"),
        test::golden("channel/golden/full_network.gst"), "", [&](const Model& model) {
            inspected = true;
            const Channel& ch = model.channel;
            ASSERT_TRUE(ch.read);
            // ALPHA given twice: the later value holds; THETA never given.
            EXPECT_EQ(ch.alpha, 2.0);
            EXPECT_EQ(ch.theta, 0.0);
            EXPECT_EQ(ch.links, 5);
            // XSEC at nodes 3 and 4: the last gives every node its section.
            for (int node = 1; node <= 4; ++node) {
                EXPECT_EQ((std::vector{ch.bottom(node, 1), ch.sslope(node, 1),
                                       ch.bankfull_dep(node, 1), ch.krb(node, 1), ch.mrb(node, 1)}),
                          (std::vector{3.0, 0.5, 0.8, 1e-6, 0.5}));
                // Erodible: every node its own table, from the four pairs both
                // sections share and the greater NUM_INTERP.
                EXPECT_EQ(ch.table_num(node, 2), node);
                EXPECT_EQ(ch.sections.tables[node].levels, 20);
            }
            EXPECT_EQ(ch.link[1].type, kTrapezoidLink | kSubsurfaceLink);
            EXPECT_EQ(ch.link[1].inverse_n, 1e8);  // n of exactly 1e-8 is accepted
            EXPECT_EQ(ch.link[2].type, kBreakpointLink | kErodibleLink);
            // The structure link has two nodes whatever NODES said.
            EXPECT_EQ(ch.link[4].nodes, 2);
            EXPECT_EQ(ch.link[4].first_structure, 1);
            EXPECT_EQ(ch.link[4].last_structure, 2);
            ASSERT_EQ(ch.structures.size(), 2u);
            const StructureElement &weir = ch.structures[0], &culvert = ch.structures[1];
            EXPECT_EQ(weir.kind, StructureKind::weir);
            EXPECT_EQ((std::vector{weir.length, weir.up_invert, weir.coeff_forward}),
                      (std::vector{4.0, 9.6, 1.7}));
            EXPECT_EQ(culvert.kind, StructureKind::rect_culvert);
            EXPECT_EQ((std::vector{culvert.size1, culvert.size2}), (std::vector{1.2, 0.8}));
            // The lake floods cell 5 (ground 10.0 m) 0.05 m deep: 5 m3 on its
            // 100 m2; cells 4 and 6 (10.1 m) stay dry.
            ASSERT_EQ(ch.lakes.size(), 1u);
            EXPECT_EQ(ch.link[3].lake, 1);
            EXPECT_EQ(ch.lakes[0].flooded_cells, 1);
            EXPECT_NEAR(ch.lakes[0].initial_volume, 5.0, 1e-12);
            EXPECT_EQ(ch.cell_lake[5], 1);
            EXPECT_EQ(ch.cell_lake[4], 0);
            EXPECT_TRUE(ch.lakes[0].losses);
            // Connectivity, and its saved copy.
            const ChannelLink& lake = ch.link[3];
            EXPECT_EQ((std::vector{lake.downstream, lake.upstream_count, lake.upstream[0],
                                   lake.saved_downstream, lake.saved_upstream[0]}),
                      (std::vector{4, 1, 2, 4, 2}));
            // Stream cells 2, 5 and 8 with 3, 3 and 2 entries.
            const StreamCells& s = ch.stream;
            EXPECT_EQ(s.count, 3);
            EXPECT_EQ(s.max_entries, 3);
            EXPECT_EQ(s.cell, (std::vector<int>{0, 2, 5, 8}));
            EXPECT_EQ(s.first_entry, (std::vector<int>{0, 0, 3, 6, 8}));
            EXPECT_EQ(s.fraction[2], 0.5);
            EXPECT_EQ(s.link[7], 5);
        });
    EXPECT_TRUE(inspected);
    EXPECT_EQ(console, test::golden("channel/golden/full_network_console.txt"));
    EXPECT_EQ(dir.read("short_links.dat"), "Links with 1 node:\n3\n5\n");
    // Node 3 of link 1 (bed 10.3 m) lies in cells 2 and 5, whose ground is
    // 10.1 and 10.0 m.
    EXPECT_EQ(dir.read("bad_thalweg.dat"),
              "Problem    link    node    thalweg     cell    elev\n"
              "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
              "3=difference>3.5\n"
              "0        1       3   10.300000   2   10.100000\n"
              "0        1       3   10.300000   5   10.000000\n");
}

TEST(ChannelNetwork, HotstartPumpsAndPointSources) {
    // The hotstart's third line names a node link 1 lacks and is passed over.
    test::TempDir dir;
    dir.write("hot.txt", "2 1 0.25 0.5\n3 2 0 0\n3 1 9 9\n");
    dir.write("flows.ts", "TORVA_TS\nspring\nRELATIVE\n0 0 0 0 0 1.0\nEND_TS\n");
    dir.write("curves.es", "TORVA_ES\nsump\n9 0\n10 0.2\nEND_ES\n");
    const std::string channel =
        test::edited(test::kSmallNetwork,
                     {{"ELEV 9.55", "ELEV 9.55\nPUMPTO 2 3 ELEVATION sump\nPOINTSOURCE spring"},
                      {"ELEV 9.45", "ELEV 9.45\nPUMPTO 1 1 TS spring"}});
    run_network(dir, channel, test::kSmallGridStream,
                "TIME_SERIES_FILE flows.ts\nELEV_SERIES_FILE curves.es\n"
                "READ_CHAN_HOTSTART hot.txt\n",
                [](const Model& model) {
                    const Channel& ch = model.channel;
                    ASSERT_TRUE(ch.read);
                    EXPECT_EQ(ch.depth(2, 1), 0.25);
                    EXPECT_EQ(ch.yp(2, 1), 9.55 + 0.25);
                    EXPECT_EQ(ch.qp(2, 1), 0.5);
                    EXPECT_EQ(ch.yp(3, 2), 9.4);
                    EXPECT_EQ(ch.depth(3, 1), 0.0);
                    EXPECT_TRUE(ch.holds_water);
                    ASSERT_EQ(ch.pumps.size(), 2u);
                    // A pump of a plain trapezoidal link pumps to node 1.
                    const Pump &sump = ch.pumps[0], &spring = ch.pumps[1];
                    EXPECT_EQ((std::vector{sump.destination_link, sump.destination_node,
                                           sump.series, spring.destination_node}),
                              (std::vector{2, 1, 0, 1}));
                    EXPECT_EQ(sump.flow, PumpFlow::elevation_series);
                    EXPECT_EQ(spring.flow, PumpFlow::time_series);
                    EXPECT_EQ((std::vector{ch.pump(2, 1), ch.pump(2, 2), ch.point_source(2, 1),
                                           ch.point_source(1, 1)}),
                              (std::vector{0, 1, 0, -1}));
                });
}

TEST(ChannelNetwork, ReplacementTagsOnEveryLine) {
    // [SPACING] in a link card, [BED] in a node card, both as a batch run
    // would give them.
    test::TempDir dir;
    const std::string channel = test::edited(
        test::kSmallNetwork,
        {{"MANNINGS_N 0.04", "MANNINGS_N 0.04\nDX [SPACING]"}, {"ELEV 9.4", "ELEV [BED]"}});
    double dx = 0.0, bed = 0.0;
    run_network(
        dir, channel, test::kSmallGridStream, "",
        [&](const Model& model) {
            dx = model.channel.link[2].dx;
            bed = model.channel.bel(3, 2);
        },
        [](RunContext& ctx) {
            for (const auto& [tag, value] : {std::pair{"[SPACING]", 12.5}, {"[BED]", 9.35}}) {
                ReplacementParameter p;
                p.tag = tag;
                p.format = "%.2f";
                p.real_value = value;
                ctx.replacement.parameters.push_back(p);
            }
            ctx.replacement.active = true;
        });
    EXPECT_EQ(dx, 12.5);
    EXPECT_EQ(bed, 9.35);
}

}  // namespace
}  // namespace torva

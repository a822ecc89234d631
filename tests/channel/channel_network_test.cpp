// The channel network as the set-up builds it from its files: the console
// summary and diagnostic files of a network with every kind of link, what the
// Model state holds afterwards, structures, pumps, point sources, hotstarts;
// and the example valley's network, which follows the valley's streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel.hpp"
#include "channel/network_files.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/raster.hpp"
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

// Lines of the file that begin with `word`.
int count_cards(const std::string& text, const std::string& word) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find("\n" + word + " ", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

TEST(ExampleNetwork, ValleyStreamsReadCleanlyAndFollowTheStreams) {
    test::TempDir dir;
    fs::create_directory_symlink(TORVA_EXAMPLES, dir.path() / "examples");
    const fs::path valley = fs::path(TORVA_EXAMPLES) / "valley";
    // The network alone: without routing (nor the outputs of the routed
    // network) the run stops once it is read; its outputs stay here.
    std::string text;
    std::istringstream project(test::read_file(valley / "valley_channel.prj"));
    for (std::string line; std::getline(project, line);) {
        const std::string card = line.substr(0, line.find(' '));
        if (card != "CHAN_EXPLIC" && card != "IN_HYD_LOCATION" && card != "OUT_HYD_LOCATION" &&
            card != "OUT_DEP_LOCATION" && card != "CHAN_DISCHARGE" && card != "CHAN_DEPTH")
            text += line + "\n";
    }
    for (std::size_t at; (at = text.find("examples/valley/out/")) != std::string::npos;)
        text.erase(at, 20);
    dir.write("p.prj", text);
    const std::string channel = test::read_file(valley / "valley.chn");

    set_up(dir, [&](const Model& model) {
        const Channel& ch = model.channel;
        ASSERT_TRUE(ch.read);
        ASSERT_EQ(ch.links, 5);
        int nodes = 0;
        for (int link = 1; link <= ch.links; ++link) nodes += ch.link[link].nodes;
        EXPECT_EQ(count_cards(channel, "ELEV"), nodes);
        EXPECT_EQ(count_cards(channel, "NPAIRS"), 4);

        // Every node's length lies wholly in stream cells, each cell of the
        // stream corridor (land use 3), and each cell of a link touches
        // another of its cells, corners included.
        std::vector<int> land_use(model.grid.num_cells + 1, 0);
        Grid grid = model.grid;
        RunContext ctx;
        test::Console quiet(ctx);
        std::FILE* map = std::fopen("examples/valley/landuse.idx", "r");
        ASSERT_TRUE(read_integer_map(ctx, map, "landuse.idx", grid, land_use));
        std::fclose(map);
        const StreamCells& s = ch.stream;
        std::map<std::pair<int, int>, double> placed;  // (link, node): fractions
        std::vector<std::vector<std::pair<int, int>>> cells_of_link(ch.links + 1);
        for (int k = 1; k <= s.count; ++k) {
            EXPECT_EQ(land_use[s.cell[k]], 3) << "row " << s.row[k] << " col " << s.col[k];
            for (int e = s.first_entry[k]; e < s.first_entry[k + 1]; ++e) {
                placed[{s.link[e], s.node[e]}] += s.fraction[e];
                cells_of_link[s.link[e]].push_back({s.row[k], s.col[k]});
            }
        }
        for (int link = 1; link <= ch.links; ++link) {
            for (int node = 1; node <= ch.link[link].nodes; ++node)
                EXPECT_NEAR((placed[{link, node}]), 1.0, 1e-5) << link << " " << node;
            const auto& cells = cells_of_link[link];
            for (const auto& [r, c] : cells)
                EXPECT_TRUE(std::any_of(cells.begin(), cells.end(),
                                        [&](const auto& other) {
                                            return other != std::pair{r, c} &&
                                                   std::abs(other.first - r) <= 1 &&
                                                   std::abs(other.second - c) <= 1;
                                        }))
                    << "link " << link << " row " << r << " col " << c;
        }
        // The main stem (links 3 to 5) reaches the outlet cell, and its rows
        // run unbroken from its head, in the first 11 rows, down to there.
        std::vector<bool> row_held(model.grid.rows + 1, false);
        bool outlet = false;
        for (int link = 3; link <= 5; ++link)
            for (const auto& [r, c] : cells_of_link[link]) {
                row_held[r] = true;
                outlet = outlet || (r == 120 && c == 50);
            }
        EXPECT_TRUE(outlet);
        const int head = static_cast<int>(std::find(row_held.begin() + 1, row_held.end(), true) -
                                          row_held.begin());
        EXPECT_LT(head, 12);
        EXPECT_EQ(std::find(row_held.begin() + head, row_held.end(), false), row_held.end());
    });
    // No bed above its ground: the file holds its two header lines only.
    const std::string thalweg = dir.read("bad_thalweg.dat");
    EXPECT_EQ(std::count(thalweg.begin(), thalweg.end(), '\n'), 2);
    EXPECT_EQ(dir.read("short_links.dat"), "Links with 1 node:\n");
}

}  // namespace
}  // namespace torva

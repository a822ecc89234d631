// The example valley's stream network: it reads cleanly, its summary counts
// are those of its files, no bed lies above its ground, and the stream cells
// follow the valley's streams from their heads to the outlet.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/raster.hpp"
#include "run/driver.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Lines of the file that begin with `word`.
int count_cards(const std::string& text, const std::string& word) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find("\n" + word + " ", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

TEST(ExampleNetwork, ValleyStreamsReadCleanlyAndFollowTheStreams) {
    TempDir dir;
    fs::create_directory_symlink(TORVA_EXAMPLES, dir.path() / "examples");
    std::string text = test::read_file(fs::path(TORVA_EXAMPLES) / "valley/valley_channel.prj");
    const std::string outputs = "examples/valley/out/";
    for (std::size_t at = text.find(outputs); at != std::string::npos; at = text.find(outputs))
        text.erase(at, outputs.size());
    // The network alone: without routing (nor the outputs of the routed
    // network) the run stops once it is read.
    for (const char* word : {"CHAN_EXPLIC", "IN_HYD_LOCATION", "OUT_HYD_LOCATION",
                             "OUT_DEP_LOCATION", "CHAN_DISCHARGE", "CHAN_DEPTH"}) {
        const std::size_t at = text.find(std::string(word) + "\n") != std::string::npos
                                   ? text.find(std::string(word) + "\n")
                                   : text.find(std::string(word) + " ");
        ASSERT_NE(at, std::string::npos) << word;
        text.erase(at, text.find('\n', at) + 1 - at);
    }
    dir.write("valley_channel.prj", text);
    const std::string channel = test::read_file(fs::path(TORVA_EXAMPLES) / "valley/valley.chn");

    RunContext ctx;
    ctx.out = std::tmpfile();
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    std::vector<int> land_use;
    run_simulation(ctx, "valley_channel.prj", [&](const Model& model) {
        const Channel& ch = model.channel;
        ASSERT_TRUE(ch.read);
        ASSERT_EQ(ch.links, 5);
        int nodes = 0;
        for (int link = 1; link <= ch.links; ++link) nodes += ch.link[link].nodes;
        EXPECT_EQ(count_cards(channel, "ELEV"), nodes);
        EXPECT_EQ(count_cards(channel, "NPAIRS"), 4);

        // Every node's length lies wholly in stream cells, each cell of the
        // stream corridor (land use 3), and each link's cells join up.
        std::FILE* map = std::fopen("examples/valley/landuse.idx", "r");
        land_use.assign(model.grid.num_cells + 1, 0);
        Grid grid = model.grid;
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
            // Each cell of a link touches another of its cells, corners included.
            const auto& cells = cells_of_link[link];
            for (const auto& [r, c] : cells) {
                bool joined = false;
                for (const auto& [r2, c2] : cells)
                    joined = joined || ((r2 != r || c2 != c) && std::abs(r2 - r) <= 1 &&
                                        std::abs(c2 - c) <= 1);
                EXPECT_TRUE(joined) << "link " << link << " row " << r << " col " << c;
            }
        }
        // The main stem reaches the outlet cell, and its rows run unbroken
        // from its head down to there.
        bool outlet = false;
        std::vector<bool> row_held(model.grid.rows + 1, false);
        for (int link = 3; link <= 5; ++link)
            for (const auto& [r, c] : cells_of_link[link]) {
                row_held[r] = true;
                outlet = outlet || (r == 120 && c == 50);
            }
        EXPECT_TRUE(outlet);
        int head = 1;
        while (!row_held[head]) ++head;
        EXPECT_LT(head, 12);
        for (int r = head; r <= model.grid.rows; ++r) EXPECT_TRUE(row_held[r]) << r;
    });
    fs::current_path(before);
    std::fclose(ctx.out);
    // No bed above its ground: the file holds its two header lines only.
    const std::string thalweg = dir.read("bad_thalweg.dat");
    EXPECT_EQ(std::count(thalweg.begin(), thalweg.end(), '\n'), 2);
    EXPECT_EQ(dir.read("short_links.dat"), "Links with 1 node:\n");
}

}  // namespace
}  // namespace torva

// The example valley's stream network: it reads cleanly, its summary counts
// are those of its files, no bed lies above its ground, and the stream cells
// follow the valley's streams from their heads to the outlet.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
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
    dir.write("valley_channel.prj", text);
    const std::string channel = test::read_file(valley / "valley.chn");

    RunContext ctx;
    ctx.out = std::tmpfile();
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    run_simulation(ctx, "valley_channel.prj", [&](const Model& model) {
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
    fs::current_path(before);
    std::fclose(ctx.out);
    // No bed above its ground: the file holds its two header lines only.
    const std::string thalweg = dir.read("bad_thalweg.dat");
    EXPECT_EQ(std::count(thalweg.begin(), thalweg.end(), '\n'), 2);
    EXPECT_EQ(dir.read("short_links.dat"), "Links with 1 node:\n");
}

}  // namespace
}  // namespace torva

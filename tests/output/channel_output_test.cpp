// The link/node row layout for every kind of link: a channel link, a lake
// link with nodes of which a lake holds some, and a structure link (the
// headers and whole files are run end to end on the Y-shaped network).

#include <gtest/gtest.h>

#include <string>

#include "channel/channel_state.hpp"
#include "output/channel_output.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

// Link 1 a trapezoid of 2 nodes, link 2 a trapezoid of 3 nodes that is also a
// lake (only 2 of its nodes carry values), link 3 a structure link.
Channel small_network() {
    Channel ch;
    ch.links = 3;
    ch.link.assign(4, ChannelLink{});
    ch.link[1].type = kTrapezoidLink;
    ch.link[1].nodes = 2;
    ch.link[2].type = kLakeLink | kTrapezoidLink;
    ch.link[2].nodes = 3;
    ch.link[3].type = kStructureLink;
    ch.link[3].nodes = 2;
    return ch;
}

std::string written(const test::TempDir& dir, const char* name, LinkNodeMode mode,
                    const Channel& ch, const NodeFigure& value) {
    const std::vector<int> shown = {0, 2, 2, 0};
    const LinkFigure own = [](int link) { return link == 2 ? 0.125 : 2.5; };
    LinkNodeFile out{OutputFile(dir.file(name)), mode, "", 0};
    EXPECT_TRUE(write_link_node_rows(out, ch, value, own,
                                     mode == LinkNodeMode::difference ? &shown : nullptr));
    EXPECT_TRUE(out.file.close());
    return dir.read(name);
}

TEST(LinkNodeFiles, RowBlocksOfEachKindOfLink) {
    test::TempDir dir;
    const Channel ch = small_network();
    // Node j of link k carries 10 k + j / 4.
    const NodeFigure value = [](int j, int k) { return 10.0 * k + 0.25 * j; };

    // Difference files: the lake gives its own value, the structure none, and
    // the lake's third node (beyond the shown count) is missing.
    EXPECT_EQ(written(dir, "depth.lnd", LinkNodeMode::difference, ch, value),
              "TS    0\n"
              "2   1  10.25000   1  10.50000   \n"
              "-1 0.12500   3   1  20.25000   1  20.50000   0  -999.999   \n"
              "0  -999.999   \n"
              "\n");
    // Value files: the structure gives its own value, the lake none.
    EXPECT_EQ(written(dir, "flow.lnd", LinkNodeMode::value, ch, value),
              "TS    0\n"
              "2   1  10.25000   1  10.50000   \n"
              "0  -999.999   3   1  20.25000   1  20.50000   1  20.75000   \n"
              "-2  2.50000   \n"
              "\n");
}

}  // namespace
}  // namespace torva

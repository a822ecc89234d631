// Cross-section hydraulics: trapezoids in closed form, break-point sections
// through their property tables, and the sweep over the network's nodes.

#include "channel/cross_section.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/section_tables.hpp"
#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

// Channel of `links` links of one type, with Manning's n of 1 so that K = A R^(2/3).
Channel one_link(int type, int nodes, int links = 1) {
    Channel c;
    c.links = links;
    c.max_nodes = nodes;
    c.link.resize(links + 1);
    for (int k = 1; k <= links; ++k) {
        c.link[k].type = type;
        c.link[k].nodes = nodes;
        c.link[k].mannings_n = c.link[k].inverse_n = 1.0;
    }
    for (NodeArray<double>* a :
         {&c.bel, &c.yp, &c.depth, &c.area, &c.topw, &c.conv, &c.bottom, &c.sslope})
        a->assign(nodes, links);
    c.table_num.assign(nodes, links);
    return c;
}

TEST(Trapezoid, FiguresAndAreaInverse) {
    // b 2, z 1, 1 m deep: T = 2 + 2 = 4, A = 1 (1 + 2) = 3, P = 2 + 2 sqrt(2);
    // with n = 1, K = A (A/P)^(2/3).
    const SectionProperties p = trapezoid_from_depth({2.0, 1.0, 1.0}, 1.0);
    EXPECT_DOUBLE_EQ(p.top_width, 4.0);
    EXPECT_DOUBLE_EQ(p.area, 3.0);
    EXPECT_NEAR(p.conveyance, 3.0 * std::pow(3.0 / (2.0 + 2.0 * std::sqrt(2.0)), 2.0 / 3.0), 1e-14);
    // Area to depth back to the depth, with and without banks and without a bed.
    for (const Trapezoid& s : {Trapezoid{2.0, 1.0, 1.0 / 0.035}, Trapezoid{5.0, 0.0, 1.0 / 0.05},
                               Trapezoid{0.0, 2.5, 1.0 / 0.02}, Trapezoid{10.0, 1e-9, 1.0}})
        for (double y : {1e-6, 0.01, 0.3, 1.0, 4.0, 120.0}) {
            SCOPED_TRACE("b " + std::to_string(s.bottom_width) + " z " +
                         std::to_string(s.side_slope) + " y " + std::to_string(y));
            const SectionProperties down = trapezoid_from_depth(s, y);
            const SectionProperties back = trapezoid_from_area(s, down.area);
            EXPECT_NEAR(back.depth, y, 1e-12 * y);
            EXPECT_NEAR(back.conveyance, down.conveyance, 1e-12 * down.conveyance);
            EXPECT_NEAR(back.top_width, down.top_width, 1e-12 * down.top_width);
        }
    const SectionProperties dry = trapezoid_from_area({2.0, 1.0, 1.0}, 0.0);
    EXPECT_EQ(dry.depth, 0.0);
    EXPECT_EQ(dry.conveyance, 0.0);
}

TEST(BreakpointGeometry, WettedStretchesWallsAndIslands) {
    const auto expect = [](std::vector<double> x, std::vector<double> z, double level,
                           int stretches, double top_width, double area, double perimeter) {
        const WettedGeometry g = wetted_geometry(x.data(), z.data(), int(x.size()), level);
        EXPECT_EQ(g.stretches, stretches);
        EXPECT_NEAR(g.top_width, top_width, 1e-14);
        EXPECT_NEAR(g.area, area, 1e-14);
        EXPECT_NEAR(g.perimeter, perimeter, 1e-14);
    };
    // Two V channels with a bar between them, cut at 1 m: the left stretch
    // from x = 4/3 to 3, the right from 5 to 20/3, each 5/3 wide, holding two
    // triangles of depth 1 (1/3 + 1/2 = 5/6) and wetted along
    // sqrt((2/3)^2 + 1) + sqrt(2). Above the bar (2.5 m) the stretches join.
    std::vector<double> x{0, 2, 4, 6, 8}, z{3, 0, 2, 0, 3};
    expect(x, z, 1.0, 2, 10.0 / 3.0, 5.0 / 3.0, 2.0 * std::sqrt(2.0) + 2.0 * std::sqrt(13.0) / 3.0);
    EXPECT_EQ(wetted_geometry(x.data(), z.data(), 5, 2.5).stretches, 1);
    // At 2 m the left end (0, 1) stands 1 m under water: a wall of 1 m, the
    // bed to (2, 0) a trapezoid 2 wide with depths 1 and 2 (area 3, length
    // sqrt(5)), and the right bank wet to x = 10/3 (area 4/3, length
    // sqrt(16/9 + 4)).
    expect({0, 2, 4}, {1, 0, 3}, 2.0, 1, 10.0 / 3.0, 13.0 / 3.0,
           1.0 + std::sqrt(5.0) + std::sqrt(52.0) / 3.0);
}

// A break-point link whose one section is the trapezoid b = 2, z = 1 up to
// 2 m, tabulated at `levels` depths.
Channel trapezoid_as_breakpoints(RunContext& ctx, int levels, int links = 1) {
    Channel c = one_link(kBreakpointLink, 3, links);
    EXPECT_TRUE(assign_link_sections(c, ctx, 1, {{1, 1, 4, levels, {0, 2, 4, 6}, {2, 0, 0, 2}}}));
    return c;
}

TEST(BreakpointTable, ReproducesTheTrapezoidItDescribesAndInvertsInEveryRange) {
    // At the levels A, T and K are the trapezoid's own. Between them T is
    // linear in depth and exact; A = y (y + 2) is off by at most
    // dy^2 / 8 * A'' = dy^2 / 4, and K by at most dy^2 / 8 * max K'', where
    // K'' stays below 11 for depths of dy = 0.01 m and more: 1.4e-4.
    RunContext ctx;
    const Channel c = trapezoid_as_breakpoints(ctx, 200);
    const SectionTable& table = c.sections.tables[c.table_num(2, 1)];
    ASSERT_NEAR(table.dy, 0.01, 1e-15);
    for (double y = 0.01; y <= 2.0; y += 0.00137) {
        bool above = false;
        const SectionProperties p = table_from_depth(c.sections, table, y, above);
        const SectionProperties exact = trapezoid_from_depth({2.0, 1.0, 1.0}, y);
        EXPECT_NEAR(p.top_width, exact.top_width, 1e-12);
        EXPECT_NEAR(p.area, exact.area, 0.25 * 0.01 * 0.01 + 1e-12);
        EXPECT_NEAR(p.conveyance, exact.conveyance, 1.4e-4);
        EXPECT_FALSE(above);
    }
    // Depth to area and back: below the first level, between levels, at the
    // top level and above it.
    for (double y : {0.001, 0.0099, 0.01, 0.0137, 1.0, 1.95, 2.0, 2.3, 7.0}) {
        bool above_depth = false, above_area = false;
        const SectionProperties down = table_from_depth(c.sections, table, y, above_depth);
        const SectionProperties back = table_from_area(c.sections, table, down.area, above_area);
        EXPECT_NEAR(back.depth, y, 1e-12 * y) << y;
        EXPECT_NEAR(back.conveyance, down.conveyance, 1e-12 * down.conveyance) << y;
        EXPECT_EQ(above_depth, y > 2.0) << y;
        EXPECT_EQ(above_area, y > 2.0) << y;
    }
    // Half the first depth grows as a wide channel: (1/2)^(5/3) of the first
    // level's values.
    const double a1 = c.sections.xarea[table.first + 1];
    const double k1 = c.sections.xi1[table.first + 1];
    bool above = false;
    const SectionProperties p = table_from_depth(c.sections, table, 0.005, above);
    EXPECT_NEAR(p.area, a1 * std::pow(0.5, 5.0 / 3.0), 1e-15);
    EXPECT_NEAR(p.conveyance, k1 * std::pow(0.5, 5.0 / 3.0), 1e-15);
}

// A saw of `teeth` teeth 2 m apart: at its first level each holds water apart.
std::vector<double> saw(int teeth, bool elevations) {
    std::vector<double> v;
    for (int k = 0; k <= 2 * teeth; ++k) v.push_back(elevations ? (k + 1) % 2 : k);
    return v;
}

TEST(BreakpointTable, SectionsThatCannotBeTabulated) {
    const auto refused = [](std::vector<double> x, std::vector<double> z, int levels,
                            const std::string& message) {
        RunContext ctx;
        test::Console console(ctx);
        Channel c = one_link(kBreakpointLink, 2);
        EXPECT_EQ(add_section_table(c, ctx, 1, 4, x, z, levels), 0) << message;
        EXPECT_EQ(ctx.error.code, err::message_printed) << message;
        EXPECT_EQ(console.text() + console.errors(), message);
    };
    refused({0, 1, 2}, {1, 0, 1}, 30001,
            "\n\nError: The number of interpolation points [30001] for table 4 in link 1 is "
            "invalid. (Range is 1-30000.) \n");
    refused({0, 1, 2}, {1, 1, 1}, 10,
            "Error: The interpolation distance [0.00000] produced by the number of interpolation "
            "points [10]\nfor table 4 in link 1 is invalid. (Range is 0.0001 to 1.0)\n");
    refused({0, 2, 1}, {1, 0, 1}, 10,
            "Error: The stations of table 4 in link 1 run backwards between pairs 2 and 3.\n"
            "Stations must be given from left to right.\n");
    refused({0, 0, 5, 5}, {0, 3, 3, 0}, 3,
            "Error: Table 4 in link 1 holds no water at its first interpolation depth "
            "[1.00000].\nIts lowest point must lie on a stretch of bed, not at the foot of a "
            "vertical wall.\n");
    refused(saw(50, false), saw(50, true), 10,
            "There is a serious problem with a channel cross-section in\n"
            "link 1.  The cross-section interpolation routine has found\n"
            "that this cross-section is very jagged, with over 50 'islands'\n"
            "for certain depths.  Calculating cross-section properties in\n"
            "this case is very dubious.  Check your cross section, smooth\n"
            "it if necessary and try again.\n");
    // 49 teeth are accepted.
    RunContext ctx;
    Channel c = one_link(kBreakpointLink, 2);
    EXPECT_EQ(add_section_table(c, ctx, 1, 1, saw(49, false), saw(49, true), 10), 1);
}

TEST(BreakpointTable, TwoSectionsInterpolatedByNodeNumber) {
    // A section 2 m deep at node 1 and the same section 1 m wider at node 5:
    // node 3 lies halfway and gets a section 0.5 m wider, its own table; the
    // shorter section sets the pairs and the greater NUM_INTERP the levels.
    RunContext ctx;
    test::Console console(ctx);
    Channel c = one_link(kBreakpointLink, 6);
    FileSection a{1, 2, 4, 20, {0, 2, 4, 6}, {2, 0, 0, 2}};
    FileSection b{2, 5, 5, 40, {0, 2, 5, 7, 9}, {2, 0, 0, 2, 2}};
    ASSERT_TRUE(assign_link_sections(c, ctx, 1, {a, b}));
    EXPECT_EQ(console.text(),
              "\n\n  WARNING!!!! When using two break-point cross-sections the number of pairs \n"
              "  must be equal, which they are not for link 1.\n"
              "  ---> Disregarding the last 1 pairs of the second cross-section. <---\n\n"
              "\n\n  Using the greater of the two number of interpolation points \n"
              "  for both cross-section in link 1.\n\n");
    const int tables[] = {1, 1, 3, 4, 2, 2};  // of nodes 1 to 6
    for (int node = 1; node <= 6; ++node) EXPECT_EQ(c.table_num(node, 1), tables[node - 1]);
    const SectionTable& middle = c.sections.tables[c.table_num(4, 1)];  // 2/3 of the way
    EXPECT_EQ(middle.levels, 40);
    bool above = false;
    // At 1 m deep: bottom 2 + 2/3 wide, banks 1:1: T = 4 + 2/3.
    EXPECT_NEAR(table_from_depth(c.sections, middle, 1.0, above).top_width, 4.0 + 2.0 / 3.0, 1e-12);
}

TEST(BreakpointTable, ErodibleLinkGivesEveryNodeItsOwnResampledTable) {
    RunContext ctx;
    Channel c = one_link(kBreakpointLink | kErodibleLink, 3);
    ASSERT_TRUE(assign_link_sections(c, ctx, 1, {{1, 1, 4, 5, {0, 2, 4, 6}, {2, 0, 0, 2}}}));
    for (int node = 1; node <= 3; ++node) EXPECT_EQ(c.table_num(node, 1), node);
    // Five stations 1.5 m apart: 0, 1.5, 3, 4.5, 6 at elevations 2, 0.5, 0, 0.5, 2.
    const SectionTable& t = c.sections.tables[2];
    ASSERT_EQ(t.points, 5);
    const std::vector<double> ybp(c.sections.ybp.begin() + t.first_point,
                                  c.sections.ybp.begin() + t.first_point + 5);
    EXPECT_EQ(ybp, (std::vector<double>{2, 0.5, 0, 0.5, 2}));
}

// Link 1 trapezoidal (b 2, z 1), link 2 break-point with the same section in
// `levels` levels, beds at 100 - node.
Channel both_kinds(RunContext& ctx, int levels) {
    Channel c = trapezoid_as_breakpoints(ctx, levels, 2);
    c.link[1].type = kTrapezoidLink;
    for (int node = 1; node <= 3; ++node) {
        c.table_num(node, 1) = 0;
        c.table_num(node, 2) = 1;
        c.bottom(node, 1) = 2.0;
        c.sslope(node, 1) = 1.0;
        for (int link = 1; link <= 2; ++link) c.bel(node, link) = c.yp(node, link) = 100.0 - node;
    }
    return c;
}

TEST(NetworkSections, StageToPropertiesAndBackForBothKinds) {
    RunContext ctx;
    Channel c = both_kinds(ctx, 200);
    for (int link = 1; link <= 2; ++link)
        for (int node = 1; node <= 3; ++node) c.yp(node, link) += 0.5 * node;
    ASSERT_TRUE(sections_from_stage(c, ctx));
    for (int link = 1; link <= 2; ++link) {
        // Node 2 stands 1 m deep: A 3, T 4 (at a level of the table: exact).
        EXPECT_NEAR(c.area(2, link), 3.0, 1e-12);
        EXPECT_NEAR(c.topw(2, link), 4.0, 1e-12);
    }
    EXPECT_FALSE(c.above_table);
    for (int link = 1; link <= 2; ++link)
        for (int node = 1; node <= 3; ++node) c.yp(node, link) = 0.0;
    ASSERT_TRUE(sections_from_area(c, ctx));
    for (int link = 1; link <= 2; ++link)
        for (int node = 1; node <= 3; ++node)
            EXPECT_NEAR(c.yp(node, link), 100.0 - node + 0.5 * node, 1e-12);
    c.yp(1, 2) = c.bel(1, 2) + 2.5;  // above the 2 m table
    ASSERT_TRUE(sections_from_stage(c, ctx));
    EXPECT_TRUE(c.above_table);
}

TEST(NetworkSections, NodesThatStopTheRun) {
    struct Case {
        int link;
        double depth;  // set as yp - bel (stage) or as area
        bool from_area;
        int table;  // of link 2, node 2
        const char* console;
    };
    const Case cases[] = {
        {1, -0.01, false, 1,
         "In ex_section.c - 1\nprogram stopped for negative depth, node 2, link 1\n"},
        {1, -0.0002, true, 1,
         "In ex_section.c - 1\nprogram stopped for negative area, node 2, link 1\n"},
        {1, -0.00005, true, 1, ""},  // round-off: taken as dry
        {2, -0.01, false, 1,
         "In ex_section.c - 3\nprogram stopped for negative depth, node 2, link 2\n"},
        {2, -0.00005, true, 1,
         "In ex_section.c - 4\nprogram stopped for negative area, node 2, link 2\n"},
        {2, 0.5, false, 2, "Error in section: Request for table beyond max. table number.\n"},
        {2, 0.5, true, 2, "Error in section: Request for table beyond max. table number.\n"},
    };
    for (const Case& k : cases) {
        RunContext ctx;
        test::Console console(ctx);
        Channel c = both_kinds(ctx, 20);
        c.table_num(2, 2) = k.table;
        c.yp(2, k.link) = k.from_area ? 0.0 : c.bel(2, k.link) + k.depth;
        c.area(2, k.link) = k.from_area ? k.depth : 0.0;
        const bool done = k.from_area ? sections_from_area(c, ctx) : sections_from_stage(c, ctx);
        const bool stops = *k.console != '\0';
        EXPECT_EQ(done, !stops) << k.console;
        EXPECT_EQ(ctx.error.code, stops ? err::message_printed : 0) << k.console;
        EXPECT_EQ(console.text() + console.errors(), k.console);
        if (!stops)
            EXPECT_EQ(c.depth(2, k.link), 0.0);
    }
}

}  // namespace
}  // namespace torva

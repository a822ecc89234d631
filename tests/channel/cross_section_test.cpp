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

// Channel of one link, with Manning's n of 1 so that K = A R^(2/3).
Channel one_link(int type, int nodes) {
    Channel c;
    c.links = 1;
    c.max_nodes = nodes;
    c.link.resize(2);
    c.link[1].type = type;
    c.link[1].nodes = nodes;
    c.link[1].mannings_n = 1.0;
    c.link[1].inverse_n = 1.0;
    for (NodeArray<double>* a :
         {&c.bel, &c.yp, &c.depth, &c.area, &c.topw, &c.conv, &c.dconv, &c.bottom, &c.sslope})
        a->assign(nodes, 1);
    c.table_num.assign(nodes, 1);
    return c;
}

// A context whose console and error stream are read back after the test
// wrote to them.
struct Console {
    RunContext ctx;
    test::Console console{ctx};
    std::string text() const { return console.text() + console.errors(); }
};

TEST(Trapezoid, TwoMetreBedOneToOneBanksOneMetreDeep) {
    // T = 2 + 2 = 4, A = 1 (1 + 2) = 3, P = 2 + 2 sqrt(2); with n = 1,
    // K = A (A/P)^(2/3).
    const SectionProperties p = trapezoid_from_depth({2.0, 1.0, 1.0}, 1.0);
    const double perimeter = 2.0 + 2.0 * std::sqrt(2.0);
    EXPECT_DOUBLE_EQ(p.top_width, 4.0);
    EXPECT_DOUBLE_EQ(p.area, 3.0);
    EXPECT_NEAR(p.conveyance, 3.0 * std::pow(3.0 / perimeter, 2.0 / 3.0), 1e-14);
}

TEST(Trapezoid, ConveyanceDerivativeMatchesFiniteDifference) {
    const double h = 1e-6;
    for (const Trapezoid& s : {Trapezoid{2.0, 1.0, 1.0 / 0.035}, Trapezoid{5.0, 0.0, 1.0 / 0.05},
                               Trapezoid{0.0, 2.5, 1.0 / 0.02}, Trapezoid{0.5, 0.1, 1.0}})
        for (double y : {0.01, 0.3, 1.0, 4.0, 25.0}) {
            const double difference = (trapezoid_from_depth(s, y + h).conveyance -
                                       trapezoid_from_depth(s, y - h).conveyance) /
                                      (2.0 * h);
            const double derivative = trapezoid_from_depth(s, y).dconveyance;
            EXPECT_NEAR(derivative, difference, 1e-6 * std::fabs(difference))
                << "b " << s.bottom_width << " z " << s.side_slope << " y " << y;
        }
}

TEST(Trapezoid, AreaToDepthInvertsDepthToAreaWithAndWithoutSideSlope) {
    for (const Trapezoid& s : {Trapezoid{2.0, 1.0, 1.0}, Trapezoid{3.0, 0.0, 1.0},
                               Trapezoid{0.0, 1.5, 1.0}, Trapezoid{10.0, 1e-9, 1.0}})
        for (double y : {1e-6, 0.01, 0.5, 1.0, 7.0, 120.0}) {
            const SectionProperties down = trapezoid_from_depth(s, y);
            const SectionProperties back = trapezoid_from_area(s, down.area);
            EXPECT_NEAR(back.depth, y, 1e-12 * y)
                << "b " << s.bottom_width << " z " << s.side_slope;
            EXPECT_NEAR(back.conveyance, down.conveyance, 1e-12 * down.conveyance);
            EXPECT_NEAR(back.top_width, down.top_width, 1e-12 * down.top_width);
        }
    const SectionProperties dry = trapezoid_from_area({2.0, 1.0, 1.0}, 0.0);
    EXPECT_EQ(dry.depth, 0.0);
    EXPECT_EQ(dry.conveyance, 0.0);
}

TEST(BreakpointGeometry, IslandSplitsTheWaterIntoTwoStretches) {
    // Two V channels with a bar between them, cut by the level h = 1:
    //   left stretch from x = 4/3 to 3, right from 5 to 20/3, each 5/3 wide;
    //   each holds two triangles of depth 1: 1/3 + 1/2 = 5/6;
    //   each is wetted along sqrt((2/3)^2 + 1) + sqrt(2).
    const std::vector<double> x{0, 2, 4, 6, 8}, z{3, 0, 2, 0, 3};
    const WettedGeometry g = wetted_geometry(x.data(), z.data(), 5, 1.0);
    EXPECT_EQ(g.stretches, 2);
    EXPECT_NEAR(g.top_width, 10.0 / 3.0, 1e-14);
    EXPECT_NEAR(g.area, 5.0 / 3.0, 1e-14);
    EXPECT_NEAR(g.perimeter, 2.0 * std::sqrt(2.0) + 2.0 * std::sqrt(13.0) / 3.0, 1e-14);
    // Above the bar the stretches join.
    EXPECT_EQ(wetted_geometry(x.data(), z.data(), 5, 2.5).stretches, 1);
}

TEST(BreakpointGeometry, SectionEndingBelowTheWaterHasAWettedWall) {
    // At h = 2 the left end (0, 1) stands 1 m under water: a wall of 1 m, the
    // bed to (2, 0) holds a trapezoid 2 wide with depths 1 and 2 (area 3,
    // length sqrt(5)), and the right bank is wet up to x = 10/3 (area 4/3,
    // length sqrt(16/9 + 4)).
    const std::vector<double> x{0, 2, 4}, z{1, 0, 3};
    const WettedGeometry g = wetted_geometry(x.data(), z.data(), 3, 2.0);
    EXPECT_NEAR(g.top_width, 10.0 / 3.0, 1e-14);
    EXPECT_NEAR(g.area, 13.0 / 3.0, 1e-14);
    EXPECT_NEAR(g.perimeter, 1.0 + std::sqrt(5.0) + std::sqrt(52.0) / 3.0, 1e-14);
}

// A break-point link whose one section is the trapezoid b = 2, z = 1 up to
// 2 m, tabulated at `levels` depths.
Channel trapezoid_as_breakpoints(RunContext& ctx, int levels) {
    Channel c = one_link(kBreakpointLink, 3);
    FileSection s;
    s.number = 1;
    s.node = 1;
    s.levels = levels;
    s.station = {0, 2, 4, 6};
    s.elevation = {2, 0, 0, 2};
    EXPECT_TRUE(assign_link_sections(c, ctx, 1, {s}));
    return c;
}

TEST(BreakpointTable, ReproducesTheTrapezoidItDescribes) {
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
}

TEST(BreakpointTable, DepthAndAreaDirectionsAreInverseInEveryRange) {
    // Below the first level, between levels, at the top level and above it.
    RunContext ctx;
    const Channel c = trapezoid_as_breakpoints(ctx, 40);
    const SectionTable& table = c.sections.tables[1];
    for (double y : {0.001, 0.0499, 0.05, 0.0731, 1.0, 1.95, 2.0, 2.3, 7.0}) {
        bool above_depth = false, above_area = false;
        const SectionProperties down = table_from_depth(c.sections, table, y, above_depth);
        const SectionProperties back = table_from_area(c.sections, table, down.area, above_area);
        EXPECT_NEAR(back.depth, y, 1e-12 * y) << y;
        EXPECT_NEAR(back.conveyance, down.conveyance, 1e-12 * down.conveyance) << y;
        EXPECT_EQ(above_depth, y > 2.0) << y;
        EXPECT_EQ(above_area, y > 2.0) << y;
    }
}

TEST(BreakpointTable, BelowTheFirstLevelGrowsAsAWideChannel) {
    RunContext ctx;
    const Channel c = trapezoid_as_breakpoints(ctx, 40);
    const SectionTable& table = c.sections.tables[1];
    const double a1 = c.sections.xarea[table.first + 1];
    const double k1 = c.sections.xi1[table.first + 1];
    bool above = false;
    // Half the first depth: (1/2)^(5/3) of the first level's values.
    const SectionProperties p = table_from_depth(c.sections, table, 0.025, above);
    EXPECT_NEAR(p.area, a1 * std::pow(0.5, 5.0 / 3.0), 1e-15);
    EXPECT_NEAR(p.conveyance, k1 * std::pow(0.5, 5.0 / 3.0), 1e-15);
    EXPECT_NEAR(p.dconveyance, k1 * std::pow(0.025, 2.0 / 3.0) / std::pow(0.05, 5.0 / 3.0), 1e-12);
}

TEST(BreakpointTable, SectionsThatCannotBeTabulated) {
    struct Case {
        const char* why;
        std::vector<double> x, z;
        int levels;
        const char* message;
    };
    const std::vector<Case> cases{
        {"too many levels",
         {0, 1, 2},
         {1, 0, 1},
         30001,
         "\n\nError: The number of interpolation points [30001] for table 4 in link 1 is "
         "invalid. (Range is 1-30000.) \n"},
        {"flat section",
         {0, 1, 2},
         {1, 1, 1},
         10,
         "Error: The interpolation distance [0.00000] produced by the number of interpolation "
         "points [10]\nfor table 4 in link 1 is invalid. (Range is 0.0001 to 1.0)\n"},
        {"stations backwards",
         {0, 2, 1},
         {1, 0, 1},
         10,
         "Error: The stations of table 4 in link 1 run backwards between pairs 2 and 3.\n"
         "Stations must be given from left to right.\n"},
        {"lowest point under a wall",
         {0, 0, 5, 5},
         {0, 3, 3, 0},
         3,
         "Error: Table 4 in link 1 holds no water at its first interpolation depth [1.00000].\n"
         "Its lowest point must lie on a stretch of bed, not at the foot of a vertical wall.\n"},
    };
    for (const Case& k : cases) {
        Console console;
        Channel c = one_link(kBreakpointLink, 2);
        EXPECT_EQ(add_section_table(c, console.ctx, 1, 4, k.x, k.z, k.levels), 0) << k.why;
        EXPECT_EQ(console.ctx.error.code, err::message_printed) << k.why;
        EXPECT_EQ(console.text(), k.message) << k.why;
    }
}

TEST(BreakpointTable, FiftyIslandsAreTooJagged) {
    // A saw of 50 teeth: at its first level 50 separate stretches hold water.
    std::vector<double> x, z;
    for (int k = 0; k <= 100; ++k) {
        x.push_back(k);
        z.push_back(k % 2 == 0 ? 1.0 : 0.0);
    }
    Console console;
    Channel c = one_link(kBreakpointLink, 2);
    EXPECT_EQ(add_section_table(c, console.ctx, 1, 1, x, z, 10), 0);
    EXPECT_EQ(console.text(),
              "There is a serious problem with a channel cross-section in\n"
              "link 1.  The cross-section interpolation routine has found\n"
              "that this cross-section is very jagged, with over 50 'islands'\n"
              "for certain depths.  Calculating cross-section properties in\n"
              "this case is very dubious.  Check your cross section, smooth\n"
              "it if necessary and try again.\n");
    // 49 teeth are accepted.
    x.resize(99);
    z.resize(99);
    EXPECT_EQ(add_section_table(c, console.ctx, 1, 1, x, z, 10), 1);
}

TEST(BreakpointTable, TwoSectionsInterpolatedByNodeNumber) {
    // A section 2 m deep at node 1 and the same section 1 m wider at node 5:
    // node 3 lies halfway and gets a section 0.5 m wider, its own table; the
    // shorter section sets the pairs and the greater NUM_INTERP the levels.
    Console console;
    Channel c = one_link(kBreakpointLink, 6);
    FileSection a{1, 2, 4, 20, {0, 2, 4, 6}, {2, 0, 0, 2}};
    FileSection b{2, 5, 5, 40, {0, 2, 5, 7, 9}, {2, 0, 0, 2, 2}};
    ASSERT_TRUE(assign_link_sections(c, console.ctx, 1, {a, b}));
    EXPECT_EQ(console.text(),
              "\n\n  WARNING!!!! When using two break-point cross-sections the number of pairs \n"
              "  must be equal, which they are not for link 1.\n"
              "  ---> Disregarding the last 1 pairs of the second cross-section. <---\n\n"
              "\n\n  Using the greater of the two number of interpolation points \n"
              "  for both cross-section in link 1.\n\n");
    EXPECT_EQ(c.table_num(1, 1), 1);
    EXPECT_EQ(c.table_num(2, 1), 1);
    EXPECT_EQ(c.table_num(5, 1), 2);
    EXPECT_EQ(c.table_num(6, 1), 2);
    EXPECT_EQ(c.table_num(3, 1), 3);
    EXPECT_EQ(c.table_num(4, 1), 4);
    const SectionTable& middle = c.sections.tables[c.table_num(4, 1)];  // 2/3 of the way
    EXPECT_EQ(middle.levels, 40);
    bool above = false;
    // At 1 m deep: bottom 2 + 2/3 wide, banks 1:1: T = 4 + 2/3.
    EXPECT_NEAR(table_from_depth(c.sections, middle, 1.0, above).top_width, 4.0 + 2.0 / 3.0, 1e-12);
}

TEST(BreakpointTable, ErodibleLinkGivesEveryNodeItsOwnResampledTable) {
    RunContext ctx;
    Channel c = one_link(kBreakpointLink | kErodibleLink, 3);
    FileSection s{1, 1, 4, 5, {0, 2, 4, 6}, {2, 0, 0, 2}};
    ASSERT_TRUE(assign_link_sections(c, ctx, 1, {s}));
    EXPECT_EQ(c.table_num(1, 1), 1);
    EXPECT_EQ(c.table_num(2, 1), 2);
    EXPECT_EQ(c.table_num(3, 1), 3);
    // Five stations 1.5 m apart: 0, 1.5, 3, 4.5, 6 at elevations 2, 0.5, 0, 0.5, 2.
    const SectionTable& t = c.sections.tables[2];
    ASSERT_EQ(t.points, 5);
    const std::vector<double> ybp(c.sections.ybp.begin() + t.first_point,
                                  c.sections.ybp.begin() + t.first_point + 5);
    EXPECT_EQ(ybp, (std::vector<double>{2, 0.5, 0, 0.5, 2}));
}

TEST(NetworkSections, StageToPropertiesAndBackForBothKinds) {
    // Link 1 trapezoidal (b 2, z 1), link 2 break-point with the same section.
    RunContext ctx;
    Channel c = trapezoid_as_breakpoints(ctx, 200);
    c.links = 2;
    c.link.resize(3);
    c.link[2] = c.link[1];
    c.link[1].type = kTrapezoidLink;
    for (NodeArray<double>* a :
         {&c.bel, &c.yp, &c.depth, &c.area, &c.topw, &c.conv, &c.dconv, &c.bottom, &c.sslope}) {
        a->assign(3, 2);
    }
    c.table_num.assign(3, 2);
    for (int node = 1; node <= 3; ++node) {
        c.table_num(node, 2) = 1;
        c.bottom(node, 1) = 2.0;
        c.sslope(node, 1) = 1.0;
        for (int link = 1; link <= 2; ++link) {
            c.bel(node, link) = 100.0 - node;
            c.yp(node, link) = c.bel(node, link) + 0.5 * node;
        }
    }
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
        int type;
        double depth;  // set as yp - bel (stage) or as area
        bool from_area;
        int table;
        const char* console;
    };
    const std::vector<Case> cases{
        {kTrapezoidLink, -0.01, false, 0,
         "In ex_section.c - 1\nprogram stopped for negative depth, node 2, link 1\n"},
        {kTrapezoidLink, -0.0002, true, 0,
         "In ex_section.c - 1\nprogram stopped for negative area, node 2, link 1\n"},
        {kTrapezoidLink, -0.00005, true, 0, ""},  // round-off: taken as dry
        {kBreakpointLink, -0.01, false, 1,
         "In ex_section.c - 3\nprogram stopped for negative depth, node 2, link 1\n"},
        {kBreakpointLink, -0.00005, true, 1,
         "In ex_section.c - 4\nprogram stopped for negative area, node 2, link 1\n"},
        {kBreakpointLink, 0.5, false, 2,
         "Error in section: Request for table beyond max. table number.\n"},
        {kBreakpointLink, 0.5, true, 2,
         "Error in section: Request for table beyond max. table number.\n"},
    };
    for (const Case& k : cases) {
        Console console;
        Channel c = trapezoid_as_breakpoints(console.ctx, 20);
        c.link[1].type = k.type;
        for (int node = 1; node <= 3; ++node) {
            c.bottom(node, 1) = 2.0;
            c.sslope(node, 1) = 1.0;
            c.table_num(node, 1) = node == 2 ? k.table : 1;
        }
        if (k.type == kTrapezoidLink)
            for (int node = 1; node <= 3; ++node) c.table_num(node, 1) = 0;
        c.yp(2, 1) = k.from_area ? 0.0 : k.depth;
        c.area(2, 1) = k.from_area ? k.depth : 0.0;
        const bool done =
            k.from_area ? sections_from_area(c, console.ctx) : sections_from_stage(c, console.ctx);
        const bool stops = *k.console != '\0';
        EXPECT_EQ(done, !stops) << k.console;
        EXPECT_EQ(console.ctx.error.code, stops ? err::message_printed : 0) << k.console;
        EXPECT_EQ(console.text(), k.console);
        if (!stops)
            EXPECT_EQ(c.depth(2, 1), 0.0);
    }
}

}  // namespace
}  // namespace torva

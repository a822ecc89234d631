// Channel routing on small networks built in memory: steady states that the
// hydraulics fix by hand, and the water they keep.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "channel/cross_section.hpp"
#include "channel/network_support.hpp"
#include "channel/routing.hpp"
#include "channel/section_tables.hpp"
#include "channel/structures.hpp"
#include "core/context.hpp"

namespace torva {
namespace {

using test::LinkSpec;

// A point source of q m3/s at node 1 of `link`.
void add_point_source(Model& model, RunContext& ctx, int link, double q) {
    ctx.series.time_series.push_back({"source", {0.0, 1000.0}, {q, q}});
    model.channel.point_source(1, link) = static_cast<int>(ctx.series.time_series.size()) - 1;
}

// Manning's normal depth of a 2 m trapezoid with 1:1 banks, n 0.03, on a slope
// of 0.001 for 5 m3/s: the root of (1/n) A (A/P)^(2/3) sqrt(S) = 5 with
// A = y (2 + y), P = 2 + 2 sqrt(2) y, found by bisection: 1.510911 m.
constexpr double kNormalDepth = 1.51091117647084;

void expect_uniform_flow(const Model& model) {
    const Channel& ch = model.channel;
    for (int j = 1; j <= ch.link[1].nodes; ++j) {
        EXPECT_NEAR(ch.qp(j, 1), 5.0, 0.005) << "node " << j;
        EXPECT_NEAR(ch.depth(j, 1), kNormalDepth, 0.001 * kNormalDepth) << "node " << j;
    }
}

TEST(ChannelRouting, TrapezoidReachesManningNormalDepth) {
    RunContext ctx;
    auto model = test::make_network({LinkSpec{}}, 10.0);
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    test::run_channel_steps(*model, ctx, 4 * 360);  // four hours
    ASSERT_FALSE(ctx.error.pending());
    expect_uniform_flow(*model);
}

TEST(ChannelRouting, BreakpointTrapezoidReachesManningNormalDepth) {
    // The same trapezoid as station/elevation pairs, 3 m deep in 300 levels.
    RunContext ctx;
    auto model = test::make_network({LinkSpec{.type = kBreakpointLink}}, 10.0);
    const int table = add_section_table(model->channel, ctx, 1, 1, {0.0, 3.0, 5.0, 8.0},
                                        {3.0, 0.0, 0.0, 3.0}, 300);
    ASSERT_EQ(table, 1);
    for (int j = 1; j <= 11; ++j) model->channel.table_num(j, 1) = table;
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    test::run_channel_steps(*model, ctx, 4 * 360);
    ASSERT_FALSE(ctx.error.pending());
    expect_uniform_flow(*model);
}

// Link 1 (5 nodes, bed from 100 m down at `slope`) drains through structure
// link 2 into link 3 (5 nodes), the outlet, whose bed starts 1 m below the
// end of link 1.
std::unique_ptr<Model> structure_network(StructureElement element, double slope = 0.001,
                                         double step = 10.0) {
    const double end_of_link_1 = 100.0 - 400.0 * slope;
    auto model = test::make_network(
        {LinkSpec{.nodes = 5, .downstream = 2, .slope = slope},
         LinkSpec{.type = kStructureLink, .dx = 1.0, .downstream = 3, .upstream = {1}},
         LinkSpec{.nodes = 5, .downstream = 0, .upstream = {2}, .top_bed = end_of_link_1 - 1.0}},
        step);
    Channel& ch = model->channel;
    ch.structures.push_back(element);
    ch.link[2].first_structure = ch.link[2].last_structure = 1;
    return model;
}

StructureElement weir(double crest, double length) {
    StructureElement e;
    e.kind = StructureKind::weir;
    e.up_invert = crest;
    e.length = length;
    e.coeff_forward = e.coeff_reverse = 1.0;
    return e;
}

TEST(ChannelRouting, FreeWeirPassesTheInflowAtItsHead) {
    // Crest 0.5 m above the bed at the end of link 1 (99.996 m), 3 m long:
    // 5 = (2/3) C L sqrt(19.62 H^3 / 3) gives H = 0.984995 m.
    RunContext ctx;
    auto model = structure_network(weir(100.496, 3.0));
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    const double stored_before = test::stored_in_channels(*model);
    test::run_channel_steps(*model, ctx, 4 * 360);
    ASSERT_FALSE(ctx.error.pending());
    const Channel& ch = model->channel;
    EXPECT_NEAR(ch.qp(1, 2), 5.0, 0.005);
    EXPECT_NEAR(ch.yp(5, 1), 100.496 + 0.9849951445232031, 0.002);
    EXPECT_NEAR(model->outlet.discharge, 5.0, 0.005);
    // Every cubic metre is accounted for: what the source gave less what left
    // at the outlet is what the channels hold now.
    const VolumeTotals& v = model->totals.run;
    EXPECT_NEAR(v.channel_point_sources, 4 * 3600 * 5.0, 1e-6);
    EXPECT_NEAR(test::stored_in_channels(*model) - stored_before,
                v.channel_point_sources - v.outlet_discharge, 1e-6 * v.channel_point_sources);
}

TEST(ChannelRouting, RatingCurveHoldsTheHeadOfItsTable) {
    // Discharge 0 at 100 m rising to 10 m3/s at 101 m: 5 m3/s passes at 100.5 m.
    RunContext ctx;
    ctx.series.elevation_series.push_back({"rating", {100.0, 101.0}, {0.0, 10.0}});
    StructureElement e;
    e.kind = StructureKind::rating_curve;
    e.elevation_series = 0;
    auto model = structure_network(e);
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    test::run_channel_steps(*model, ctx, 4 * 360);
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_NEAR(model->channel.qp(1, 2), 5.0, 0.005);
    EXPECT_NEAR(model->channel.yp(5, 1), 100.5, 0.001);
}

TEST(ChannelRouting, DrownedWeirBelowAHeadBoundaryFollowsTheDrownedLaw) {
    // Link 1 falls 1 m per node to 96 m; the outlet held 3 m deep (stage
    // 97.6 m) drowns a 1.5 m crest at 96.5 m: the steady state passes 5 m3/s
    // with the levels on the two sides satisfying C L H2 sqrt(19.62 dH) = 5 and
    // H2 >= 2/3 H1. The pool below the weir is deep and nearly level, where
    // Manning's law makes the discharge very sensitive to the heads: at a
    // 10 s step the scheme settles with predictor and corrector flows that
    // straddle the law and only their mean right, so the step is 1 s here.
    RunContext ctx;
    auto model = structure_network(weir(96.5, 1.5), 0.01, 1.0);
    model->project[Card::HEAD_BOUND].given = true;
    model->project[Card::BOUND_DEPTH].real[0] = 3.0;
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    const double stored_before = test::stored_in_channels(*model);
    test::run_channel_steps(*model, ctx, 2 * 3600);
    ASSERT_FALSE(ctx.error.pending());
    const Channel& ch = model->channel;
    const double h_up = ch.yp(5, 1) - 96.5;
    const double h_dn = ch.yp(1, 3) - 96.5;
    EXPECT_GE(h_dn, 2.0 / 3.0 * h_up);
    EXPECT_NEAR(ch.qp(1, 2), 5.0, 0.005);
    EXPECT_NEAR(1.5 * h_dn * std::sqrt(19.62 * (h_up - h_dn)), 5.0, 0.005);
    // The water the boundary put in at the outlet node closes the balance.
    const VolumeTotals& v = model->totals.run;
    EXPECT_GT(v.boundary_inflow, 0.0);
    EXPECT_NEAR(
        test::stored_in_channels(*model) - stored_before,
        v.channel_point_sources + v.boundary_inflow - v.boundary_outflow - v.outlet_discharge,
        1e-6 * v.channel_point_sources);
}

TEST(ChannelRouting, PumpMovesWaterItFindsAndCreatesNone) {
    // A pump of 8 m3/s from node 3 of link 1 to node 2 of link 3 against a
    // source of 5: it can never take more than the node holds.
    RunContext ctx;
    auto model = structure_network(weir(100.496, 3.0));
    ctx.series.time_series.push_back({"pump", {0.0, 1000.0}, {8.0, 8.0}});
    Pump pump;
    pump.link = 1;
    pump.node = 3;
    pump.destination_link = 3;
    pump.destination_node = 2;
    pump.flow = PumpFlow::time_series;
    pump.series = 0;
    model->channel.pumps.push_back(pump);
    add_point_source(*model, ctx, 1, 5.0);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    test::run_channel_steps(*model, ctx, 2 * 360);
    ASSERT_FALSE(ctx.error.pending());
    const VolumeTotals& v = model->totals.run;
    EXPECT_NEAR(test::stored_in_channels(*model), v.channel_point_sources - v.outlet_discharge,
                1e-6 * v.channel_point_sources);
    EXPECT_NEAR(model->outlet.discharge, 5.0, 0.01);
    EXPECT_LT(model->channel.qp(1, 2), 0.01);  // the pump takes it all before the weir
}

}  // namespace
}  // namespace torva

namespace torva {
namespace {

// One 20 m cell holding link 1's node 3 over its whole 100 m spacing, ground
// 2 m above the bed (100 m at node 1, slope 0.001 -> bed 99.8 at node 3).
std::unique_ptr<Model> one_stream_cell(double overland_depth) {
    auto model = test::make_network({LinkSpec{.nodes = 5}}, 10.0);
    model->grid.cell_size = 20.0;
    model->grid.elevation = {0.0, 101.8};
    model->overland.depth = {0.0, overland_depth};
    model->overland.inverse_n = {0.0, 1.0 / 0.05};
    StreamCells& s = model->channel.stream;
    s.count = 1;
    s.cell = {0, 1};
    s.first_entry = {0, 0, 1};
    s.link = {1};
    s.node = {3};
    s.fraction = {1.0};
    return model;
}

TEST(GridExchange, OverlandWaterSpillsIntoTheChannelOverTheBank) {
    // 1 cm over the cell: Q = 3.40978982734 * 100 m * 0.01^1.5 = 0.340979 m3/s,
    // 3.40979 m3 in 10 s, so the cell keeps 4 m3 - 3.40979 m3 of its water.
    RunContext ctx;
    auto model = one_stream_cell(0.01);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    const double moved = exchange_with_grid(*model, ctx, 10.0);
    EXPECT_NEAR(moved, 3.40978982734, 1e-9);
    EXPECT_NEAR(model->channel.qlat(3, 1) * 100.0 * 10.0, moved, 1e-12);
    EXPECT_NEAR(model->overland.depth[1] * 400.0, 4.0 - moved, 1e-9);
}

TEST(GridExchange, AnInflowThatWouldOverdrawTheCellEmptiesItExactly) {
    // 0.1 m over the cell would spill 3.40978982734 * 100 * 0.1^1.5 = 10.78 m3/s,
    // 1078 m3 in 100 s against the 40 m3 the cell holds: exactly 40 m3 moves.
    RunContext ctx;
    auto model = one_stream_cell(0.1);
    ASSERT_TRUE(sections_from_stage(model->channel, ctx));
    const double moved = exchange_with_grid(*model, ctx, 100.0);
    EXPECT_DOUBLE_EQ(moved, 40.0);
    EXPECT_EQ(model->overland.depth[1], 0.0);
}

TEST(GridExchange, FloodingChannelGivesWaterOnceAndTheBalanceCloses) {
    // With OVERBANK_FLOW, a channel 2.5 m deep above its 1 m banks (bank top
    // 100.8 m at node 3) floods the dry cell, whose ground lies at 100.7 m;
    // what the cell gains, the channel loses through qlat in the routing and
    // nowhere else.
    RunContext ctx;
    auto model = one_stream_cell(0.0);
    model->project[Card::OVERBANK_FLOW].given = true;
    Channel& ch = model->channel;
    for (int j = 1; j <= 5; ++j) {
        ch.bankfull_dep(j, 1) = 1.0;
        ch.yp(j, 1) = 100.0 - 0.1 * (j - 1) + 2.5;
    }
    model->grid.elevation[1] = 100.7;
    ASSERT_TRUE(sections_from_stage(ch, ctx));
    const double stored_before = test::stored_in_channels(*model);
    test::run_channel_steps(*model, ctx, 1);
    ASSERT_FALSE(ctx.error.pending());
    const double on_cell = model->overland.depth[1] * 400.0;
    EXPECT_GT(on_cell, 0.0);
    const VolumeTotals& v = model->totals.run;
    EXPECT_NEAR(v.channel_lateral_inflow, -on_cell, 1e-9);
    EXPECT_NEAR(test::stored_in_channels(*model) - stored_before,
                v.channel_lateral_inflow - v.outlet_discharge, 1e-9 * stored_before);
}

}  // namespace
}  // namespace torva

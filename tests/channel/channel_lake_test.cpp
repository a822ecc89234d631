// Lakes of the channel network as level pools, on small networks built in
// memory: a reach fills a lake with exactly what it carries, a weir below a
// lake settles where it passes the inflow, and a lake that rises over a reach
// takes it over and gives it back as it falls, keeping every cubic metre.

#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel.hpp"
#include "channel/channel_lake_pool.hpp"
#include "channel/network_support.hpp"
#include "channel/routing.hpp"
#include "core/context.hpp"

namespace torva {
namespace {

using test::LinkSpec;
using test::weir;

// Link 1, a reach of `nodes` nodes 100 m apart from a bed of `top_bed`,
// drains into lake link 2, which passes its water over structure link 3
// (one element) into link 4, the outlet, whose bed starts at 95 m.
std::unique_ptr<Model> lake_network(const StructureElement& element, int nodes = 5,
                                    double top_bed = 100.0) {
    auto model = test::make_network(
        {LinkSpec{.nodes = nodes, .downstream = 2, .top_bed = top_bed},
         LinkSpec{.type = kLakeLink, .nodes = 1, .downstream = 3, .upstream = {1}},
         LinkSpec{.type = kStructureLink, .dx = 1.0, .downstream = 4, .upstream = {2}},
         LinkSpec{.nodes = 5, .upstream = {3}, .top_bed = 95.0}},
        10.0);
    test::add_structure(*model, 3, element);
    return model;
}

double lake_and_channels(const Model& model) {
    double lakes = 0.0;
    for (const ChannelLake& lake : model.channel.lakes) lakes += lake.volume;
    return lakes + test::stored_in_channels(model);
}

TEST(ChannelLake, ReachDrainingIntoALakeRaisesItByWhatItCarries) {
    // Four cells of 100 m with their ground at 96 m: 40,000 m2 of lake from
    // 98 m. A spring of 2 m3/s feeds the reach for half an hour; the weir's
    // crest at 101 m stays dry. Whatever the spring gave and the reach does
    // not hold any more is in the lake, which stands higher by that volume
    // over 40,000 m2.
    RunContext ctx;
    auto model = lake_network(weir(101.0, 2.0));
    test::add_lake(*model, 2, {96.0, 96.0, 96.0, 96.0}, 100.0, 97.0, 98.0, 102.0);
    test::add_point_source(*model, ctx, 1, 2.0);
    set_up_channel_time_series(*model, ctx);
    const double before = lake_and_channels(*model);
    test::run_channel_steps(*model, ctx, 180);
    ASSERT_FALSE(ctx.error.pending());
    const ChannelLake& lake = model->channel.lakes[0];
    const VolumeTotals& v = model->totals.run;
    EXPECT_NEAR(v.channel_point_sources, 3600.0, 1e-9);
    EXPECT_GT(v.lake_inflow, 1000.0);
    EXPECT_NEAR(lake.volume - 80000.0, v.lake_inflow, 1e-8);
    EXPECT_NEAR(lake.water_surface, 98.0 + v.lake_inflow / 40000.0, 1e-12);
    EXPECT_NEAR(lake_and_channels(*model) - before, 3600.0, 1e-8);
    EXPECT_EQ(v.lake_outflow, 0.0);
    EXPECT_EQ(v.outlet_discharge, 0.0);
}

TEST(ChannelLake, LakeBehindAWeirSettlesWhereTheWeirPassesTheInflow) {
    // A free weir of 2 m at 98.5 m, C = 1, passes (2/3) L sqrt(19.62 H^3 / 3);
    // 2 m3/s flow over it at H = (2 / (4/3 sqrt(6.54)))^(2/3) = 0.7007045 m.
    // The lake (400 m2 from its four 10 m cells) starts at the crest and
    // settles within minutes; the reach above it falls freely into it.
    RunContext ctx;
    auto model = lake_network(weir(98.5, 2.0), 5, 102.0);
    test::add_lake(*model, 2, {96.0, 96.0, 96.0, 96.0}, 10.0, 97.0, 98.5, 102.0);
    test::add_point_source(*model, ctx, 1, 2.0);
    set_up_channel_time_series(*model, ctx);
    const double before = lake_and_channels(*model);
    test::run_channel_steps(*model, ctx, 720);  // two hours
    ASSERT_FALSE(ctx.error.pending());
    const Channel& ch = model->channel;
    EXPECT_NEAR(ch.lakes[0].water_surface, 98.5 + 0.7007045269019606, 1e-6);
    EXPECT_NEAR(ch.qp(1, 3), 2.0, 1e-6);
    const VolumeTotals& v = model->totals.run;
    // Every cubic metre the spring gave is in the lake, the channels, or out.
    EXPECT_NEAR(lake_and_channels(*model) - before + v.outlet_discharge, 720 * 10 * 2.0, 1e-7);
    EXPECT_NEAR(v.lake_inflow - v.lake_outflow, ch.lakes[0].volume - 1000.0, 1e-8);
}

TEST(ChannelLake, StructureNeverDrawsALakeBelowItsMinimum) {
    // A culvert-free release of 50 m3/s below a lake of 400 m2 that holds
    // 0.5 m above its MINWSE of 97.5 m: the first sub-step may take the
    // 200 m3 and no more, and the lake then stands at its minimum.
    RunContext ctx;
    StructureElement release;
    release.kind = StructureKind::scheduled_release;
    ctx.series.time_series.push_back({"release", {0.0, 1e9}, {50.0, 50.0}});
    release.time_series = 0;
    auto model = lake_network(release);
    test::add_lake(*model, 2, {96.0, 96.0, 96.0, 96.0}, 10.0, 97.5, 98.0, 102.0);
    set_up_channel_time_series(*model, ctx);
    test::run_channel_steps(*model, ctx, 30);
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_NEAR(model->channel.lakes[0].water_surface, 97.5, 1e-12);
    EXPECT_NEAR(model->totals.run.lake_outflow, 200.0, 1e-9);
    EXPECT_NEAR(test::stored_in_channels(*model) + model->totals.run.outlet_discharge, 200.0, 1e-9);
}

TEST(ChannelLake, BedSeepageEvaporationAndTheAquiferChangeTheLakeAlone) {
    // A lake 2 m deep over four cells of 100 m (40,000 m2) behind a dry weir,
    // for an hour of 10 s steps. Seepage through a bed of M = 0.5 m with
    // K = 1e-7 m/s takes K (h - h_below) / M per m2 each step, h_below the
    // bottom of the bed (95.5 m), or an aquifer's water table above it: with
    // no aquifer, or one whose water table lies lower, h - 95.5 shrinks by the
    // factor 1 - K dt / M = 1 - 2e-6 a step: 2.5 (1 - (1 - 2e-6)^360) 40,000
    // = 71.974158 m3 go. Under a water table at 99 m, 99 - h shrinks by the
    // same factor: 40,000 (1 - (1 - 2e-6)^360) = 28.789663 m3 come. In a
    // long-term run the lake evaporates a potential 1e-6 m/s, 144 m3.
    struct Case {
        const char* name;
        bool seeps, evaporates;
        double water_table;  // m; 0 for no aquifer
        double change;       // of the lake's volume, m3
        double VolumeTotals::*total;
    };
    for (const Case& c :
         {Case{"seepage", true, false, 0.0, -71.9741581660327, &VolumeTotals::lake_to_groundwater},
          Case{"seepage into an aquifer", true, false, 90.0, -71.9741581660327,
               &VolumeTotals::lake_to_groundwater},
          Case{"seepage out of an aquifer", true, false, 99.0, 28.78966326641308,
               &VolumeTotals::groundwater_to_lake},
          Case{"evaporation", false, true, 0.0, -144.0, &VolumeTotals::lake_evaporation}}) {
        SCOPED_TRACE(c.name);
        RunContext ctx;
        auto model = lake_network(weir(101.0, 2.0));
        test::add_lake(*model, 2, {96.0, 96.0, 96.0, 96.0}, 100.0, 97.0, 98.0, 102.0);
        ChannelLake& lake = model->channel.lakes[0];
        lake.losses = c.seeps;
        lake.bed_thickness = 0.5;
        model->channel.link[2].bed_conductivity = 1e-7;
        Groundwater& gw = model->groundwater;
        if (c.water_table > 0.0) {
            gw.prepared = true;
            gw.cell.assign(5, AquiferCell::active);
            gw.head.assign(5, c.water_table);
            gw.bottom.assign(5, 80.0);
            gw.porosity.assign(5, 0.3);
            gw.river_exchange.assign(5, 0.0);
        }
        if (c.evaporates) {
            model->run.long_term = true;
            model->hydromet.started = true;
            model->clock.step_index = 1;  // past the step that holds the start time
            model->soil.potential_et.assign(5, 1e-6);
        }
        set_up_channel_time_series(*model, ctx);
        test::run_channel_steps(*model, ctx, 360);
        ASSERT_FALSE(ctx.error.pending());
        const VolumeTotals& v = model->totals.run;
        EXPECT_NEAR(v.*c.total, std::fabs(c.change), 1e-8);
        EXPECT_NEAR(model->channel.lakes[0].volume - 80000.0, c.change, 1e-8);
        EXPECT_NEAR(model->channel.lakes[0].water_surface, 98.0 + c.change / 40000.0, 1e-12);
        EXPECT_EQ(v.lake_outflow, 0.0);
        // What the lake gave the aquifer or took from it is the aquifer's.
        double aquifer = 0.0;
        for (double d : gw.river_exchange) aquifer += d * 10000.0;
        EXPECT_NEAR(aquifer, c.water_table > 0.0 ? -c.change : 0.0, 1e-8);
    }
}

TEST(ChannelLake, RisingLakeTakesOverAReachAndGivesItBackAsItFalls) {
    // The lake floods two cells of 100 m at 96 m and may spread over two more
    // at 99 m, in which the two nodes of reach 1 lie (beds 99.5 and 99.4 m).
    // A source at the lake gives 10 m3/s for two hours: 20,000 m3 bring it to
    // 99 m, the other 52,000 m3 spread over 40,000 m2 to 100.3 m, over the
    // reach, which it takes with its water. Then a release of 10 m3/s for
    // four hours draws it down to its MINWSE of 97 m, and it gives the reach
    // back on the way. The reach's own spring runs all the time, into the
    // lake while the lake holds the reach.
    RunContext ctx;
    const double hours2 = (2.0 * 3600.0 - 5.0) / 86400.0;  // between two steps
    ctx.series.time_series.push_back(
        {"lake source", {0.0, hours2, hours2 + 1e-9, 1e9}, {10.0, 10.0, 0.0, 0.0}});
    ctx.series.time_series.push_back(
        {"release", {0.0, hours2, hours2 + 1e-9, 1e9}, {0.0, 0.0, 10.0, 10.0}});
    StructureElement release;
    release.kind = StructureKind::scheduled_release;
    release.time_series = 1;
    auto model = lake_network(release, 2, 99.5);
    Channel& ch = model->channel;
    ch.point_source(1, 2) = 0;
    test::add_lake(*model, 2, {96.0, 96.0, 99.0, 99.0}, 100.0, 97.0, 98.0, 102.0);
    test::add_point_source(*model, ctx, 1, 0.5);
    // Node 1 of the reach lies in cell 3, node 2 in cell 4.
    StreamCells& sc = ch.stream;
    sc.count = 2;
    sc.cell = {0, 3, 4};
    sc.first_entry = {0, 0, 1, 2};
    sc.link = {1, 1};
    sc.node = {1, 2};
    sc.fraction = {1.0, 1.0};
    model->overland.depth.assign(5, 0.0);  // dry land around the lake
    model->overland.inverse_n.assign(5, 1.0 / 0.05);
    set_up_channel_time_series(*model, ctx);
    const double before = lake_and_channels(*model);
    bool taken = false;
    double highest = 0.0;
    for (int k = 0; k < 6 * 360 && !ctx.error.pending(); ++k) {
        model->clock.current_time = k * model->run.time_step_days;
        channel_routing_phase(*model, ctx);
        taken = taken || ch.link[1].is(kTakenByLakeLink);
        highest = std::max(highest, ch.lakes[0].water_surface);
    }
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_TRUE(taken);
    EXPECT_FALSE(ch.link[1].is(kTakenByLakeLink));
    // Drawn down to its minimum, less the spring's last sub-steps.
    EXPECT_NEAR(ch.lakes[0].water_surface, 97.0, 1e-3);
    EXPECT_GT(highest, 100.3);  // the reach's spring adds to the 72,000 m3
    const VolumeTotals& v = model->totals.run;
    EXPECT_GT(v.lake_takeover, 0.0);
    // The reach's spring runs into the lake while the lake holds the reach.
    EXPECT_NEAR(v.lake_point_sources + v.channel_point_sources, 72000.0 + 6 * 3600 * 0.5, 1e-6);
    EXPECT_GT(v.lake_point_sources, 72000.0);
    // Not a cubic metre created or lost in the round trip.
    EXPECT_NEAR(lake_and_channels(*model) - before + v.outlet_discharge,
                v.lake_point_sources + v.channel_point_sources, 1e-6);
    EXPECT_NEAR(
        v.lake_inflow + v.lake_point_sources + v.lake_takeover - v.lake_outflow - v.lake_release,
        ch.lakes[0].volume - 40000.0, 1e-6);
}

}  // namespace
}  // namespace torva

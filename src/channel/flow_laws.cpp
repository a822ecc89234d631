// Discharges at every kind of link end (diffusive wave with Manning
// conveyance), hydraulic structure links, pumps, and the continuity update.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_lake_pool.hpp"
#include "channel/routing.hpp"
#include "channel/structures.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/series.hpp"

namespace torva {

double lake_water_surface(const Channel& channel, int lake_link) {
    const ChannelLake* lake = lake_holding(channel, lake_link);
    return lake ? lake->water_surface : -HUGE_VAL;
}

namespace {

// Manning discharge down a water-surface slope s between two nodes: the
// conveyance of the node the water comes from.
double slope_discharge(double s, double k_upstream, double k_downstream) {
    return s >= 0.0 ? k_upstream * std::sqrt(s) : -k_downstream * std::sqrt(-s);
}

// The water a structure link draws on: the last nodes of the links that feed
// it. With several feeders the head is their water surface weighted by the
// volume each holds above its bed, so that the fuller reach speaks for the
// pool behind the structure; a single feeder's head is its own water surface.
struct StructureFeed {
    double head = -HUGE_VAL;  // upstream water surface, m
    double volume = 0.0;      // m3 the feeders hold at their last nodes
    double lowest_bed = HUGE_VAL;
    bool limited = false;  // the feeders are channels, whose water is finite
};

StructureFeed structure_feed(const Channel& ch, const ChannelLink& s) {
    StructureFeed f;
    const int first = s.upstream[0];
    const ChannelLink& u = ch.link[first];
    if (s.upstream_count == 1) {
        f.head = u.is(kLakeLink) ? lake_water_surface(ch, first) : ch.yp(u.nodes, first);
        f.lowest_bed = ch.bel(u.nodes, first);
        f.limited = routable(u);
        if (f.limited)
            f.volume = ch.area(u.nodes, first) * u.dx;
        return f;
    }
    // The reader lets only channel links share a structure.
    double weighted = 0.0;
    for (int k = 0; k < s.upstream_count; ++k) {
        const int up = s.upstream[k];
        const ChannelLink& l = ch.link[up];
        const double v = ch.area(l.nodes, up) * l.dx;
        f.volume += v;
        weighted += v * ch.yp(l.nodes, up);
        f.head = std::max(f.head, ch.yp(l.nodes, up));  // all dry: the highest bed
        f.lowest_bed = std::min(f.lowest_bed, ch.bel(l.nodes, up));
    }
    if (f.volume > 0.0)
        f.head = weighted / f.volume;
    f.limited = true;
    return f;
}

// The part of a structure link's discharge that feeder `link` gives (or
// takes back when the flow is reversed): its share of the volume the feeders
// hold, equal shares when they are all dry.
double feeder_share(const Channel& ch, const ChannelLink& s, int link) {
    if (s.upstream_count == 1)
        return 1.0;
    double total = 0.0;
    for (int k = 0; k < s.upstream_count; ++k) {
        const int up = s.upstream[k];
        total += ch.area(ch.link[up].nodes, up) * ch.link[up].dx;
    }
    if (!(total > 0.0))
        return 1.0 / s.upstream_count;
    const ChannelLink& l = ch.link[link];
    return ch.area(l.nodes, link) * l.dx / total;
}

// A structure link: the sum of its elements for the heads on its two sides,
// taken once from its feeders and never more than they hold in the sub-step.
double structure_link_discharge(Model& model, RunContext& ctx, int link, double dt) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    const ChannelLink& s = ch.link[link];
    if (s.upstream_count < 1)
        return 0.0;
    const StructureFeed feed = structure_feed(ch, s);
    const bool from_lake = ch.link[s.upstream[0]].is(kLakeLink);
    double h_dn;
    const int down = s.downstream;
    if (down == 0)  // at the outlet: the boundary's water surface, or a free fall
        h_dn = r.head_boundary ? feed.lowest_bed + r.boundary_stage_depth
                               : (from_lake ? -HUGE_VAL : feed.lowest_bed);
    else if (ch.link[down].is(kLakeLink) || ch.link[down].is(kTakenByLakeLink))
        h_dn = lake_water_surface(ch, down);
    else
        h_dn = ch.yp(1, down);

    double q = 0.0;
    for (int e = s.first_structure; e <= s.last_structure; ++e) {
        q += structure_element_discharge(ctx, ch.structures[e - 1], e, r.structure_work[e - 1],
                                         feed.head, h_dn, model.clock.current_time);
        if (ctx.error.pending())
            return 0.0;
    }
    // A lake gives what it holds above MINWSE, a channel what its node holds.
    const ChannelLake* lake_above = from_lake ? lake_holding(ch, s.upstream[0]) : nullptr;
    const ChannelLake* lake_below = down != 0 ? lake_holding(ch, down) : nullptr;
    if (q > 1e-16 && feed.limited)
        q = std::min(q, feed.volume / dt);
    else if (q > 1e-16 && lake_above)
        q = std::min(q, lake_available(*lake_above) / dt);
    else if (q < 0.0 && down != 0 && routable(ch.link[down]))
        q = std::max(q, -ch.area(1, down) * ch.link[down].dx / dt);
    else if (q < 0.0 && lake_below)
        q = std::max(q, -lake_available(*lake_below) / dt);
    return q;
}

bool outlet_slope_fault(RunContext& ctx) {
    ctx.print("The outlet slope is negative.  Make sure that the bed\n");
    ctx.print("elevation of the most downstream node is lower than\n");
    ctx.print("the bed elevation of the node just upstream from it.\n");
    ctx.print("Program stopped.\n");
    ctx.error.raise(err::message_printed);
    return false;
}

}  // namespace

bool fill_discharges(Model& model, RunContext& ctx, NodeArray<double>& q, double dt) {
    Channel& ch = model.channel;
    const ChannelRouter& r = model.router;
    // Structures first, so that the links draining into them find their flow
    // whatever the numbering.
    for (int link = ch.links; link >= 1; --link) {
        const ChannelLink& l = ch.link[link];
        if (!l.is(kStructureLink) || l.is(kTakenByLakeLink))
            continue;
        const double flow = structure_link_discharge(model, ctx, link, dt);
        if (ctx.error.pending())
            return false;
        q(1, link) = q(2, link) = flow;
    }
    // A lake passes water only through the link below it: the structure's
    // discharge, or its spill over the rim into a channel. Both are kept at
    // the lake's node 1, where the lake's balance and the channel below find
    // them.
    for (const ChannelLake& lake : ch.lakes) {
        const int below = ch.link[lake.link].downstream;
        q(1, lake.link) =
            ch.link[below].is(kStructureLink) ? q(1, below) : lake_spill(ch, lake, dt);
    }
    for (int link = ch.links; link >= 1; --link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        const int n = l.nodes;
        for (int j = n - 1; j >= 1; --j) {
            const double s = (ch.yp(j, link) - ch.yp(j + 1, link)) * l.inverse_dx;
            q(j, link) = slope_discharge(s, ch.conv(j, link), ch.conv(j + 1, link));
        }
        const int down = l.downstream;
        if (down == 0) {
            if (r.head_boundary) {
                // The boundary holds the depth: what arrives passes.
                q(n, link) = (n > 1 ? q(n - 1, link) : 0.0) + ch.qlat(n, link) * l.dx +
                             r.point_inflow(n, link);
                continue;
            }
            const double s0 = n > 1 ? (ch.bel(n - 1, link) - ch.bel(n, link)) * l.inverse_dx
                                    : model.run.outlet_slope;
            if (s0 < 0.0)
                return outlet_slope_fault(ctx);
            q(n, link) = ch.conv(n, link) * std::sqrt(s0);
            continue;
        }
        const ChannelLink& d = ch.link[down];
        if (d.is(kLakeLink) || d.is(kTakenByLakeLink)) {
            // No flow comes back out of a lake through a channel.
            const double s = (ch.yp(n, link) - lake_water_surface(ch, down)) / (2.0 * l.dx);
            q(n, link) = s > 0.0 ? ch.conv(n, link) * std::sqrt(s) : 0.0;
        } else if (d.is(kStructureLink)) {
            q(n, link) = q(1, down) * feeder_share(ch, d, link);
        } else {
            const double s = (ch.yp(n, link) - ch.yp(1, down)) / ((l.dx + d.dx) * 0.5);
            q(n, link) = slope_discharge(s, ch.conv(n, link), ch.conv(1, down));
        }
    }
    return true;
}

void set_pump_rates(Model& model, RunContext& ctx, double dt) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    for (std::size_t p = 0; p < ch.pumps.size(); ++p) {
        const Pump& pump = ch.pumps[p];
        double rate = 0.0;
        if (pump.flow == PumpFlow::elevation_series) {
            if (pump.series >= 0 &&
                static_cast<std::size_t>(pump.series) < ctx.series.elevation_series.size())
                rate = elevation_series_value(ctx, &ctx.series.elevation_series[pump.series],
                                              ch.yp(pump.node, pump.link));
        } else if (pump.series >= 0 &&
                   static_cast<std::size_t>(pump.series) < ctx.series.time_series.size()) {
            rate = time_series_value(ctx, &ctx.series.time_series[pump.series],
                                     model.clock.current_time, r.pump_hint[p]);
        }
        // A pump moves water it finds: never more than its source node
        // holds, or its lake above MINWSE.
        const ChannelLink& source = ch.link[pump.link];
        const ChannelLake* lake = lake_holding(ch, pump.link);
        if (!(rate > 1e-6) || (!routable(source) && !lake))
            rate = 0.0;
        else if (lake)
            rate = std::min(rate, lake_available(*lake) / dt);
        else
            rate = std::min(rate, r.area_old(pump.node, pump.link) * source.dx / dt);
        r.pump_rate[p] = rate;
    }
}

void continuity(Model& model, const NodeArray<double>& q, const NodeArray<double>& from,
                NodeArray<double>& to, double dt) {
    Channel& ch = model.channel;
    const ChannelRouter& r = model.router;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        double inflow_from_above = 0.0;
        for (int k = 0; k < l.upstream_count; ++k) {
            const int up = l.upstream[k];
            const ChannelLink& u = ch.link[up];
            if (u.is(kLakeLink))
                inflow_from_above += q(1, up);
            else if (!u.is(kTakenByLakeLink))
                inflow_from_above += q(u.nodes, up);
        }
        for (int j = 1; j <= l.nodes; ++j) {
            const double inflow = (j == 1 ? inflow_from_above : q(j - 1, link)) +
                                  ch.qlat(j, link) * l.dx + r.point_inflow(j, link);
            to(j, link) = (l.dx * from(j, link) + dt * (inflow - q(j, link))) * l.inverse_dx;
        }
    }
    for (std::size_t p = 0; p < ch.pumps.size(); ++p) {
        const double rate = r.pump_rate[p];
        if (rate == 0.0)
            continue;
        const Pump& pump = ch.pumps[p];
        if (routable(ch.link[pump.link]))
            to(pump.node, pump.link) -= dt * rate * ch.link[pump.link].inverse_dx;
        // Water pumped into a structure arrives where the structure's own
        // discharge does: at node 1 of the link below it.
        int link = pump.destination_link;
        int node = pump.destination_node;
        if (ch.link[link].is(kStructureLink)) {
            link = ch.link[link].downstream;
            node = 1;
        }
        // A lake (or a reach it has taken over) takes its pumped water after
        // the sub-step, with its other flows.
        if (ch.link[link].is(kLakeLink) || ch.link[link].is(kTakenByLakeLink))
            continue;
        to(node, link) += dt * rate * ch.link[link].inverse_dx;
    }
}

bool apply_head_boundary(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    const int outlet = ch.links;
    const ChannelLink& l = ch.link[outlet];
    if (!r.head_boundary)
        return true;
    double depth = r.boundary_depth;
    if (r.boundary_series >= 0)
        depth = time_series_value(ctx, &ctx.series.time_series[r.boundary_series],
                                  model.clock.current_time, r.boundary_hint);
    r.boundary_stage_depth = std::max(depth, 0.0);
    // A structure at the outlet holds no water of its own: the boundary is
    // its tail water.
    if (!routable(l))
        return true;
    const int n = l.nodes;
    const double before = ch.area(n, outlet) * l.dx;
    ch.yp(n, outlet) = ch.bel(n, outlet) + r.boundary_stage_depth;
    if (!sections_from_stage(ch, ctx))
        return false;
    const double added = ch.area(n, outlet) * l.dx - before;
    double VolumeTotals::*field =
        added >= 0.0 ? &VolumeTotals::boundary_inflow : &VolumeTotals::boundary_outflow;
    model.totals.run.*field += std::fabs(added);
    model.totals.event.*field += std::fabs(added);
    return true;
}

}  // namespace torva

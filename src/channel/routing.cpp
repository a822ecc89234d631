// The channel phase and its router: water from the grid enters the nodes,
// then the network is advanced by an explicit diffusive-wave scheme on
// sub-steps short enough for its Courant number, each sub-step a predictor
// and a corrector pass, repeated once when the areas still move.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel.hpp"
#include "channel/channel_lake_pool.hpp"
#include "channel/routing.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/progress.hpp"
#include "input/series.hpp"

namespace torva {

namespace {

constexpr double kG = 9.81;
constexpr double kSmallestSubStep = 0.001;  // s
constexpr double kAreaTolerance = 0.01;     // m2 between passes
constexpr int kPasses = 2;

void add_to_totals(Model& model, double VolumeTotals::*field, double volume) {
    model.totals.run.*field += volume;
    model.totals.event.*field += volume;
}

bool stop(RunContext& ctx, const char* line1, const char* line2 = nullptr,
          const char* line3 = nullptr, const char* line4 = nullptr) {
    for (const char* line : {line1, line2, line3, line4})
        if (line)
            ctx.print("%s\n", line);
    ctx.error.raise(err::message_printed);
    return false;
}

void channel_message(const Model& model, RunContext& ctx, const char* text) {
    if (!model.run.super_quiet)
        ctx.print("%s", text);
    ctx.log("%s", text);
}

// The router's settings and working arrays, once per run.
bool prepare_router(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    const ProjectSettings& p = model.project;
    r.max_courant = p.real(Card::MAX_COURANT_NUMBER);
    if (!(r.max_courant > 0.0))
        r.max_courant = 0.2;
    r.overbank_flow = p.given(Card::OVERBANK_FLOW);
    r.overland_backwater = p.given(Card::OVERLAND_BACKWATER);
    r.head_boundary = p.given(Card::HEAD_BOUND);
    r.boundary_depth = p.real(Card::BOUND_DEPTH);
    if (r.head_boundary && p.given(Card::BOUND_TS)) {
        r.boundary_series = time_series_position(ctx.series, p.text(Card::BOUND_TS));
        if (r.boundary_series < 0) {
            ctx.error.raise(127, {.text1 = p.text(Card::BOUND_TS)});
            return false;
        }
    }
    for (NodeArray<double>* a : {&r.area_old, &r.area_iter, &r.qp_old, &r.qp_last, &r.qp_iter,
                                 &r.point_inflow, &r.yp_previous})
        a->assign(ch.max_nodes, ch.links);
    r.point_hint.assign(ch.max_nodes, ch.links, 0);
    r.above_table_warned.assign(ch.max_nodes, ch.links, 0);
    std::size_t sources = 0;
    for (int series : ch.point_source.storage()) sources += series >= 0 ? 1 : 0;
    r.sinks.reserve(sources);
    r.structure_work.assign(ch.structures.size(), StructureWork{});
    r.pump_rate.assign(ch.pumps.size(), 0.0);
    r.pump_hint.assign(ch.pumps.size(), 0);
    r.prepared = true;
    return true;
}

void copy(NodeArray<double>& from, NodeArray<double>& to) {
    std::copy(from.storage().begin(), from.storage().end(), to.storage().begin());
}

// Depths, stages and conveyances of every node from the areas in `a`; the
// network's own area array takes `a`'s values meanwhile and gets its own back.
bool sections_from(Channel& ch, RunContext& ctx, NodeArray<double>& a) {
    if (&a == &ch.area)
        return sections_from_area(ch, ctx);
    ch.area.storage().swap(a.storage());
    const bool ok = sections_from_area(ch, ctx);
    ch.area.storage().swap(a.storage());
    return ok;
}

// Point sources of the channel step, m3/s per node, taken at the model time;
// returns their inflow. A negative value is a sink, listed apart.
double set_point_sources(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    double total = 0.0;
    r.sinks.clear();
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        for (int j = 1; j <= l.nodes; ++j) {
            const int series = ch.point_source(j, link);
            double q = 0.0;
            if (series >= 0)
                q = time_series_value(
                    ctx,
                    static_cast<std::size_t>(series) < ctx.series.time_series.size()
                        ? &ctx.series.time_series[series]
                        : nullptr,
                    model.clock.current_time, r.point_hint(j, link));
            if (q < 0.0) {
                r.sinks.push_back({j, link, -q});
                q = 0.0;
            }
            r.point_inflow(j, link) = q;
            total += q;
        }
    }
    return total;
}

// Largest Courant number sqrt(g y) dt / dx over the routable nodes; false
// after the message of a node whose state is not real.
bool largest_courant(const Channel& ch, RunContext& ctx, double dt, double& largest) {
    largest = 0.0;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        for (int j = 1; j <= l.nodes; ++j) {
            if (std::isnan(ch.area(j, link))) {
                ctx.print(
                    "In ex_flow_route 1:  cross-sectional area is not a number at link %d "
                    "node %d\n",
                    link, j);
                ctx.error.raise(err::message_printed);
                return false;
            }
            const double y = ch.yp(j, link) - ch.bel(j, link);
            if (y < 0.0) {
                ctx.print("in ex_flow_route 2, negative depth at link %d node %d\n", link, j);
                return stop(ctx, "program stopped.");
            }
            largest = std::max(largest, std::sqrt(kG * y) * dt * l.inverse_dx);
        }
    }
    return true;
}

// Largest |a - b| over the routable nodes, and whether any of a is below the
// negative-area tolerance.
double largest_change(const Channel& ch, const NodeArray<double>& a, const NodeArray<double>& b,
                      bool& negative) {
    double change = 0.0;
    negative = false;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        for (int j = 1; j <= l.nodes; ++j) {
            change = std::max(change, std::fabs(a(j, link) - b(j, link)));
            if (a(j, link) < -1e-8)
                negative = true;
        }
    }
    return change;
}

// The point sinks take their water after the sub-step's routing, from what
// their nodes then hold: a sink on a dry reach takes nothing rather than
// driving the node below empty. Returns the volume taken.
double take_sinks(Model& model, double dt) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    double taken = 0.0;
    for (const ChannelRouter::Sink& s : r.sinks) {
        const double dx = ch.link[s.link].dx;
        const double held = std::max(ch.area(s.node, s.link), 0.0) * dx;
        const double take = std::min(s.demand * dt, held);
        ch.area(s.node, s.link) -= take / dx;
        taken += take;
        r.sink_shortfall += s.demand * dt - take;
    }
    return taken;
}

// Above its break-point table a section is extrapolated from the table's two
// highest levels, which may be far from the real banks: each node that gets
// there is named once, and counted for the summary. The section evaluation
// only raises a flag, so the nodes are looked at only when it is up.
void warn_above_tables(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    ch.above_table = false;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l) || l.is(kTrapezoidLink))
            continue;
        for (int j = 1; j <= l.nodes; ++j) {
            const int t = ch.table_num(j, link);
            if (t < 1 || t > ch.sections.count() || r.above_table_warned(j, link))
                continue;
            const SectionTable& table = ch.sections.tables[t];
            const double top = table.levels * table.dy;
            if (!(ch.depth(j, link) > top))
                continue;
            r.above_table_warned(j, link) = 1;
            ++r.nodes_above_table;
            char text[300];
            std::snprintf(text, sizeof text,
                          "Warning: the water at node %d of link %d stands %.3f m deep, above its "
                          "cross-section table (%.3f m);\nits section is extrapolated from the "
                          "table's two highest levels.\n",
                          j, link, ch.depth(j, link), top);
            channel_message(model, ctx, text);
        }
    }
}

void clip_negative(const Channel& ch, NodeArray<double>& a) {
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        for (int j = 1; j <= l.nodes; ++j) a(j, link) = std::max(a(j, link), 0.0);
    }
}

// One predictor-corrector pass over dt. Returns false after a fatal message.
bool pass(Model& model, RunContext& ctx, double dt, bool& negative, double& change) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    if (!fill_discharges(model, ctx, r.qp_last, dt))
        return false;
    copy(r.area_old, ch.area);
    copy(r.area_old, r.area_iter);
    if (!sections_from(ch, ctx, r.area_iter))
        return false;
    continuity(model, r.qp_last, r.area_old, r.area_iter, dt);
    clip_negative(ch, r.area_iter);
    if (!sections_from(ch, ctx, r.area_iter))
        return false;

    if (!fill_discharges(model, ctx, r.qp_iter, dt))
        return false;
    std::vector<double>& qp = ch.qp.storage();
    const std::vector<double>& last = r.qp_last.storage();
    const std::vector<double>& iter = r.qp_iter.storage();
    for (std::size_t i = 0; i < qp.size(); ++i) qp[i] = 0.5 * (last[i] + iter[i]);
    continuity(model, ch.qp, r.area_old, ch.area, dt);
    change = largest_change(ch, ch.area, r.area_iter, negative);
    return true;
}

}  // namespace

bool route_channels(Model& model, RunContext& ctx, double dt_channel) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    const int outlet = ch.links;
    const int outlet_node = ch.link[outlet].nodes;
    double remaining = dt_channel;
    double dt = dt_channel;
    double outlet_volume = 0.0;
    double point_volume = 0.0;
    double sink_volume = 0.0;
    const double point_rate = set_point_sources(model, ctx);
    if (ctx.error.pending())
        return false;

    while (remaining > 1e-16) {
        double courant = 0.0;
        if (!largest_courant(ch, ctx, dt, courant))
            return false;
        if (courant >= r.max_courant)
            dt /= std::floor(courant / r.max_courant + 1.0);

        copy(ch.area, r.area_old);
        copy(ch.qp, r.qp_old);
        if (!r.seeded) {
            copy(ch.qp, r.qp_last);
            copy(ch.qp, r.qp_iter);
            r.seeded = true;
        }
        for (;;) {  // until the sub-step keeps every area above zero
            if (dt < kSmallestSubStep)
                return stop(ctx, "The channel routing time step is getting really small",
                            "less than 1/1000 of a second",
                            "Reduce the model time step by a factor of 2 and try again.",
                            "Program stopped.");
            remaining -= dt;
            if (remaining <= kSmallestSubStep) {
                dt += remaining;
                remaining = 0.0;
            }
            set_pump_rates(model, ctx, dt);
            bool negative = false;
            double change = 0.0;
            int passes = 0;
            for (int k = 1; k <= kPasses; ++k) {
                if (k > 1 && !sections_from(ch, ctx, ch.area))
                    return false;
                if (!pass(model, ctx, dt, negative, change))
                    return false;
                passes = k;
                if (negative || change <= kAreaTolerance)
                    break;
            }
            if (!negative) {
                if (passes == kPasses && change > kAreaTolerance)
                    ++r.unsettled_sub_steps;
                break;
            }
            // Water would be taken that is not there: the sub-step is tried
            // again with half the step from the state it started from.
            ++r.rejected_sub_steps;
            remaining += dt;
            dt *= 0.5;
            copy(r.area_old, ch.area);
            copy(r.qp_old, ch.qp);
            copy(r.qp_old, r.qp_last);
            copy(r.qp_old, r.qp_iter);
            if (!sections_from(ch, ctx, ch.area))
                return false;
        }
        double sunk = 0.0;
        if (!r.sinks.empty())
            sunk = take_sinks(model, dt);
        take_bed_losses(model, dt);
        clip_negative(ch, ch.area);
        if (!sections_from(ch, ctx, ch.area))
            return false;
        if (ch.above_table)
            warn_above_tables(model, ctx);
        if (!ch.lakes.empty())
            add_lake_flows(model, dt);
        ++r.sub_steps;
        outlet_volume += dt * ch.qp(outlet_node, outlet);
        point_volume += dt * point_rate;
        sink_volume += sunk;
    }
    r.step_outlet_volume = outlet_volume;
    add_to_totals(model, &VolumeTotals::channel_point_sources, point_volume);
    add_to_totals(model, &VolumeTotals::stream_point_sinks, sink_volume);
    return true;
}

void set_up_channel_time_series(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    if (model.project.channel_routing != ChannelRouting::explicit_routing || !ch.read)
        return;
    if (!prepare_router(model, ctx))
        return;
    // Nodes the hotstart file did not fill stand dry on their beds.
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!routable(l))
            continue;
        for (int j = 1; j <= l.nodes; ++j) ch.yp(j, link) = ch.bel(j, link) + ch.depth(j, link);
    }
    if (!sections_from_stage(ch, ctx))
        return;
    copy(ch.yp, ch.yp_max_flood);
    prepare_lake_pools(model, ctx);
}

void channel_routing_phase(Model& model, RunContext& ctx) {
    if (model.project.channel_routing != ChannelRouting::explicit_routing || !model.channel.read)
        return;
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    if (!r.prepared && !prepare_router(model, ctx))
        return;
    // One channel step per model step: the overland and channel phases
    // exchange water at every step, so neither runs ahead of the other.
    const double dt = model.run.time_step;
    copy(ch.yp, r.yp_previous);
    if (!apply_head_boundary(model, ctx))
        return;
    const double from_grid = exchange_with_grid(model, ctx, dt);
    if (ctx.error.pending())
        return;
    add_to_totals(model, &VolumeTotals::channel_lateral_inflow, from_grid);
    exchange_with_aquifer(model, ctx, dt);
    if (ctx.error.pending())
        return;
    if (!ch.lakes.empty())
        lake_step_before_routing(model, ctx, dt);
    if (ctx.error.pending())
        return;
    ++r.channel_steps;
    if (!route_channels(model, ctx, dt))
        return;
    if (!ch.lakes.empty() && !update_lake_extents(model, ctx))
        return;
    // The highest water surface each node has seen, for the flood output.
    std::vector<double>& highest = ch.yp_max_flood.storage();
    const std::vector<double>& now = ch.yp.storage();
    for (std::size_t i = 0; i < highest.size(); ++i) highest[i] = std::max(highest[i], now[i]);
    const ChannelLink& outlet = ch.link[ch.links];
    model.outlet.discharge = ch.qp(outlet.nodes, ch.links);
    add_to_totals(model, &VolumeTotals::outlet_discharge, r.step_outlet_volume);
    advance_print_time(model);
}

void report_channel_routing(const Model& model, RunContext& ctx) {
    const ChannelRouter& r = model.router;
    if (!r.prepared)
        return;
    ctx.log(
        "Channel routing: %lld channel steps, %lld sub-steps, %lld sub-steps repeated "
        "with half the step, %lld sub-steps unsettled after two passes\n",
        r.channel_steps, r.sub_steps, r.rejected_sub_steps, r.unsettled_sub_steps);
    if (r.nodes_above_table > 0)
        ctx.log("Channel cross-sections: %d nodes stood above their cross-section tables\n",
                r.nodes_above_table);
    if (r.sink_shortfall > 0.0)
        ctx.log(
            "Channel point sources: point sinks could not take %.3f m³, their nodes being dry; "
            "the balance counts only what they took (Total stream point sinks).\n",
            r.sink_shortfall);
    if (r.unsettled_sub_steps == 0)
        return;
    char text[400];
    std::snprintf(text, sizeof text,
                  "Warning: in %lld of %lld channel sub-steps the second predictor-corrector "
                  "pass still\nchanged a flow area by more than 0.01 m2; in deep pools the water "
                  "levels\nmay be off although the discharges look right. A smaller "
                  "MAX_COURANT_NUMBER\nmay avoid it.\n",
                  r.unsettled_sub_steps, r.sub_steps);
    channel_message(model, ctx, text);
}

}  // namespace torva

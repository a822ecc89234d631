// The channel phase on a network of 10,033 nodes: a binary tree of 127
// trapezoidal links of 79 nodes (50 m apart, bed falling 1 in 1000), whose 64
// head links are each fed 0.5 m3/s by a spring. The network starts half a
// metre deep everywhere and is run for an hour to a flowing state; each
// iteration is then one model step of 10 s with its Courant sub-steps.
// Reported: node sub-steps per second.

#include <benchmark/benchmark.h>

#include <memory>

#include "channel/channel.hpp"
#include "channel/cross_section.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace {

using namespace torva;

constexpr int kLinks = 127;  // heap positions 1..127; position 1 is the outlet link
constexpr int kNodes = 79;
constexpr double kDx = 50.0;
constexpr double kFall = 0.001 * kDx;  // per node

int depth_of(int position) {
    int d = 0;
    while (position > 1) {
        position /= 2;
        ++d;
    }
    return d;
}

// Link numbers run against the heap positions, so the outlet link is the last.
int link_at(int position) {
    return kLinks + 1 - position;
}

std::unique_ptr<Model> tree_network(RunContext& ctx) {
    auto m = std::make_unique<Model>();
    m->project.channel_routing = ChannelRouting::explicit_routing;
    m->run.time_step = 10.0;
    m->run.time_step_days = 10.0 / 86400.0;
    Channel& ch = m->channel;
    ch.links = kLinks;
    ch.max_nodes = kNodes;
    for (NodeArray<double>* a :
         {&ch.bel,      &ch.yp,         &ch.depth,  &ch.qp,           &ch.froude,
          &ch.qp_vol,   &ch.qp_vol_sed, &ch.area,   &ch.area_old,     &ch.topw,
          &ch.conv,     &ch.dconv,      &ch.bottom, &ch.bankfull_dep, &ch.sslope,
          &ch.max_eros, &ch.krb,        &ch.mrb,    &ch.yp_max_flood, &ch.qlat})
        a->assign(ch.max_nodes, ch.links);
    ch.got_xsec.assign(ch.max_nodes, ch.links, 0);
    ch.table_num.assign(ch.max_nodes, ch.links, 0);
    ch.point_source.assign(ch.max_nodes, ch.links, -1);
    ch.pump.assign(ch.max_nodes, ch.links, -1);
    ch.link.assign(kLinks + 1, ChannelLink{});
    ctx.series.time_series.push_back({"spring", {0.0, 1e9}, {0.5, 0.5}});
    const int deepest = depth_of(kLinks);
    for (int position = 1; position <= kLinks; ++position) {
        const int k = link_at(position);
        ChannelLink& l = ch.link[k];
        l.type = kTrapezoidLink;
        l.nodes = kNodes;
        l.dx = kDx;
        l.inverse_dx = 1.0 / kDx;
        l.mannings_n = 0.035;
        l.inverse_n = 1.0 / 0.035;
        l.downstream = position == 1 ? 0 : link_at(position / 2);
        for (int child : {2 * position, 2 * position + 1})
            if (child <= kLinks)
                l.upstream[l.upstream_count++] = link_at(child);
        const double top = 10.0 + (depth_of(position) + 1) * kNodes * kFall;
        for (int j = 1; j <= kNodes; ++j) {
            ch.bel(j, k) = top - (j - 1) * kFall;
            ch.yp(j, k) = ch.bel(j, k) + 0.5;
            ch.bottom(j, k) = 3.0;
            ch.sslope(j, k) = 2.0;
            ch.bankfull_dep(j, k) = 2.0;
        }
        if (depth_of(position) == deepest)
            ch.point_source(1, k) = 0;
    }
    ch.stream.first_entry.assign(2, 0);
    ch.read = true;
    sections_from_stage(ch, ctx);
    return m;
}

void step(Model& m, RunContext& ctx) {
    m.clock.current_time += m.run.time_step_days;
    channel_routing_phase(m, ctx);
}

void BM_ChannelPhaseStep(benchmark::State& state) {
    RunContext ctx;
    auto m = tree_network(ctx);
    for (int k = 0; k < 360; ++k) step(*m, ctx);
    if (ctx.error.pending()) {
        state.SkipWithError("the channel phase failed");
        return;
    }
    const long long sub_steps_before = m->router.sub_steps;
    for (auto _ : state) {
        step(*m, ctx);
        benchmark::DoNotOptimize(m->outlet.discharge);
    }
    const double node_sub_steps =
        static_cast<double>(m->router.sub_steps - sub_steps_before) * kLinks * kNodes;
    state.counters["node_sub_steps"] =
        benchmark::Counter(node_sub_steps, benchmark::Counter::kIsRate);
    state.counters["sub_steps_per_step"] =
        static_cast<double>(m->router.sub_steps - sub_steps_before) /
        static_cast<double>(state.iterations());
    state.counters["outlet_q"] = m->outlet.discharge;
}
BENCHMARK(BM_ChannelPhaseStep)->Unit(benchmark::kMillisecond);

}  // namespace

// The channel phase on a network of 10,033 nodes: a binary tree of 127
// trapezoidal links of 79 nodes (50 m apart, bed falling 1 in 1000), whose 64
// head links are each fed 0.5 m3/s by a spring. The network starts half a
// metre deep everywhere and is run for an hour to a flowing state; each
// iteration is then one model step of 10 s with its Courant sub-steps.
// Reported: node sub-steps per second.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "channel/channel.hpp"
#include "channel/cross_section.hpp"
#include "channel/network_support.hpp"
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
    std::vector<test::LinkSpec> links(kLinks);
    for (int position = 1; position <= kLinks; ++position) {
        test::LinkSpec& s = links[link_at(position) - 1];
        s = {.nodes = kNodes,
             .dx = kDx,
             .n = 0.035,
             .downstream = position == 1 ? 0 : link_at(position / 2),
             .top_bed = 10.0 + (depth_of(position) + 1) * kNodes * kFall,
             .slope = kFall / kDx,
             .bottom = 3.0,
             .side = 2.0,
             .bankfull = 2.0,
             .depth = 0.5};
        for (int child : {2 * position, 2 * position + 1})
            if (child <= kLinks)
                s.upstream.push_back(link_at(child));
    }
    auto m = test::make_network(links, 10.0);
    ctx.series.time_series.push_back({"spring", {0.0, 1e9}, {0.5, 0.5}});
    for (int position = 1; position <= kLinks; ++position)
        if (depth_of(position) == depth_of(kLinks))
            m->channel.point_source(1, link_at(position)) = 0;
    sections_from_stage(m->channel, ctx);
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

// Cross-section properties for every node of a network of 10,000 nodes (100
// links of 100 nodes), from water-surface elevation and from flow area, as
// the channel routing asks for them at every sub-step. Break-point links carry
// a surveyed section of 13 points in 62 levels (5 cm apart), each node its own
// table as in an erodible link, so the tables do not all sit in the cache.
// Depths run from 1 cm (below the first level) to 3.5 m (above the table).
// The counter is the time per node evaluation.

#include <benchmark/benchmark.h>

#include <vector>

#include "channel/cross_section.hpp"
#include "channel/section_tables.hpp"
#include "core/context.hpp"

namespace {

using namespace torva;

constexpr int kLinks = 100;
constexpr int kNodes = 100;

Channel network(int type) {
    Channel c;
    c.links = kLinks;
    c.max_nodes = kNodes;
    c.link.resize(kLinks + 1);
    for (NodeArray<double>* a :
         {&c.bel, &c.yp, &c.depth, &c.area, &c.topw, &c.conv, &c.bottom, &c.sslope})
        a->assign(kNodes, kLinks);
    c.table_num.assign(kNodes, kLinks);
    RunContext ctx;
    for (int link = 1; link <= kLinks; ++link) {
        ChannelLink& l = c.link[link];
        l.type = type;
        l.nodes = kNodes;
        l.mannings_n = 0.035;
        l.inverse_n = 1.0 / 0.035;
        for (int node = 1; node <= kNodes; ++node) {
            c.bel(node, link) = 300.0 - 0.1 * node;
            c.bottom(node, link) = 2.0;
            c.sslope(node, link) = 1.5;
            c.yp(node, link) =
                c.bel(node, link) + 0.01 + 3.49 * ((node * 37 + link * 11) % 100) / 99.0;
        }
        if (type == kTrapezoidLink)
            continue;
        FileSection s;
        s.number = link;
        s.node = 1;
        s.levels = 62;
        s.station = {0.0, 4.0, 9.0, 12.5, 14.0, 15.5, 17.0, 18.5, 20.0, 21.5, 25.0, 30.0, 36.0};
        s.elevation = {3.1, 2.7, 2.3, 1.7, 0.9, 0.3, 0.0, 0.15, 0.6, 1.3, 1.9, 2.4, 3.0};
        s.pairs_declared = 13;
        assign_link_sections(c, ctx, link, {s});
    }
    return c;
}

void per_node(benchmark::State& state) {
    state.counters["per_node"] = benchmark::Counter(
        static_cast<double>(kLinks) * kNodes,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The sections from the water surface: area, top width and conveyance.
void BM_SectionsFromDepth(benchmark::State& state, int type) {
    Channel c = network(type);
    RunContext ctx;
    for (auto _ : state) {
        sections_from_stage(c, ctx);
        benchmark::DoNotOptimize(c.conv(kNodes, kLinks));
    }
    per_node(state);
}
BENCHMARK_CAPTURE(BM_SectionsFromDepth, breakpoint, kBreakpointLink | kErodibleLink);
BENCHMARK_CAPTURE(BM_SectionsFromDepth, trapezoid, kTrapezoidLink);

// The sections from the flow area: depth and conveyance.
void BM_SectionsFromArea(benchmark::State& state, int type) {
    Channel c = network(type);
    RunContext ctx;
    sections_from_stage(c, ctx);
    for (auto _ : state) {
        sections_from_area(c, ctx);
        benchmark::DoNotOptimize(c.yp(kNodes, kLinks));
    }
    per_node(state);
}
BENCHMARK_CAPTURE(BM_SectionsFromArea, breakpoint, kBreakpointLink | kErodibleLink);
BENCHMARK_CAPTURE(BM_SectionsFromArea, trapezoid, kTrapezoidLink);

}  // namespace

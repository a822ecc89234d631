#pragma once
// Small channel networks built in memory for routing tests and benchmarks.

#include <memory>
#include <vector>

#include "channel/channel_state.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva::test {

struct LinkSpec {
    int type = kTrapezoidLink;
    int nodes = 11;
    double dx = 100.0;
    double n = 0.03;
    int downstream = 0;
    std::vector<int> upstream;
    double top_bed = 100.0;  // bed at node 1, m
    double slope = 0.001;    // bed falls by slope * dx per node
    double bottom = 2.0;     // trapezoid
    double side = 1.0;
    double bankfull = 3.0;
    double depth = 0.0;  // of the water at the start, m
};

// A network of the given links (link k is links[k - 1]), routed with
// CHAN_EXPLIC at a model step of `step` seconds; its sections are not yet
// set from its stages.
std::unique_ptr<Model> make_network(const std::vector<LinkSpec>& links, double step);

// A weir of `length` m with its crest at `crest` m, both coefficients 1.
StructureElement weir(double crest, double length);

// Makes structure link `link` pass its water through the one element.
void add_structure(Model& model, int link, const StructureElement& element);

// A point source of q m3/s at node 1 of `link`.
void add_point_source(Model& model, RunContext& ctx, int link, double q);

// Makes `link` lake 1 of the network: a level pool over cells of `cell_size`
// metres whose ground elevations are `ground` (cells 1, 2, ... of a grid of
// just these cells), with its minimum, initial and maximum water surfaces.
void add_lake(Model& model, int link, const std::vector<double>& ground, double cell_size,
              double min, double initial, double max);

// Runs the channel phase for `steps` model steps.
void run_channel_steps(Model& model, RunContext& ctx, int steps);

// Water in the routable links, m3.
double stored_in_channels(const Model& model);

// What the channels gained since they held `stored_before`, less what came in
// (point sources, lateral and boundary inflow) and plus what went out (point
// sinks, boundary outflow and the outlet), relative to the point sources (or to 1 m3): 0 when
// every cubic metre is accounted for.
double channel_balance_error(const Model& model, double stored_before);

}  // namespace torva::test

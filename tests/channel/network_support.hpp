#pragma once
// Small channel networks built in memory for routing tests.

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
};

// A network of the given links (link k is links[k - 1]), dry, routed with
// CHAN_EXPLIC at a model step of `step` seconds.
std::unique_ptr<Model> make_network(const std::vector<LinkSpec>& links, double step);

// Runs the channel phase for `steps` model steps.
void run_channel_steps(Model& model, RunContext& ctx, int steps);

// Water in the routable links, m3.
double stored_in_channels(const Model& model);

}  // namespace torva::test

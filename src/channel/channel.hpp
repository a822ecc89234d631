#pragma once
// The channel network: links, nodes, routing and structures.

#include "channel/channel_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the channel input file and builds the links and nodes.
void read_channel_network(Model& model, RunContext& ctx);
// Writes short_links.dat and bad_thalweg.dat, the network's diagnostics.
void write_channel_diagnostics(const Model& model, RunContext& ctx);
// Links channel boundary conditions to their time series.
void set_up_channel_time_series(Model& model, RunContext& ctx);
// Routes the channel network through the step.
void channel_routing_phase(Model& model, RunContext& ctx);
// The stream-cell entries' shares of the Sacramento channel inflow, from the
// accounting's weight file or by channel length; false when refused.
bool set_up_sacramento_weights(Model& model, RunContext& ctx);
// At the end of a run, the depth and discharge of every node to the
// WRITE_CHAN_HOTSTART file, in the lines READ_CHAN_HOTSTART reads.
void write_channel_hotstart(const Model& model, RunContext& ctx);
// At the end of a run: the router's sub-step counts, and one warning when
// some sub-steps ended with areas still moving between the two passes.
void report_channel_routing(const Model& model, RunContext& ctx);

}  // namespace torva

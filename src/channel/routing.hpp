#pragma once
// The pieces of channel routing that its phase puts together: the flow law at
// every kind of link end, the continuity update, the head boundary at the
// outlet, the exchange with the grid and the router that sub-steps them.

#include "channel/channel_state.hpp"
#include "channel/cross_section.hpp"

namespace torva {

struct Model;
struct RunContext;

// A link whose nodes carry water of their own: not a lake, not a structure,
// not taken over by a lake.
inline bool routable(const ChannelLink& l) {
    return !l.is(kLakeLink) && !l.is(kStructureLink) && !l.is(kTakenByLakeLink);
}

// Water surface of a lake of the network. Lakes have no model of their own
// yet: they hold their initial water surface.
double lake_water_surface(const Channel& channel, int lake_link);

// Fills q for every link from the depths, stages and conveyances the network
// holds now; dt (s) limits what structures take. False after a fatal message.
bool fill_discharges(Model& model, RunContext& ctx, NodeArray<double>& q, double dt);

// Pumps of the sub-step: each pump's rate, never more than its source node
// holds at the start of the sub-step.
void set_pump_rates(Model& model, RunContext& ctx, double dt);

// Areas after dt under the discharges q, starting from `from`.
void continuity(Model& model, const NodeArray<double>& q, const NodeArray<double>& from,
                NodeArray<double>& to, double dt);

// Holds the outlet node at the boundary depth; the water this adds or takes
// is counted as boundary inflow or outflow.
bool apply_head_boundary(Model& model, RunContext& ctx);

// Grid to channel exchange over dt: fills qlat and returns the volume moved
// from the grid into the channels (negative when channels flood the grid).
double exchange_with_grid(Model& model, RunContext& ctx, double dt);

// Stream bed and aquifer exchange over the channel step dt: what the aquifer
// gives the streams enters qlat at once; what the streams would lose is left
// as a rate per stream-cell entry for take_bed_losses. Both go to the
// aquifer's exchange account for its next step.
void exchange_with_aquifer(Model& model, RunContext& ctx, double dt);
// After each routing sub-step of dt: the beds take their losses from what
// their nodes then hold, so that a stream running dry loses what it has and
// no more.
void take_bed_losses(Model& model, double dt);

// Reduction of a weir's discharge as its tail water rises to its head.
double submergence_factor(double ratio);

// Advances the network by dt (s); returns false after a fatal message. The
// outlet volume of the step is left in the router.
bool route_channels(Model& model, RunContext& ctx, double dt);

}  // namespace torva

#pragma once
// The lakes of the channel network as level pools: one water surface per
// lake, found from its volume through the ground elevations of the cells it
// may flood. Channels, point sources, rain and the overland flow fill it; it
// gives water only through the link below it, seeps through its bed, and as
// it rises it takes over the channel links it drowns.

#include <algorithm>

#include "channel/channel_state.hpp"

namespace torva {

struct Grid;
struct Model;
struct RunContext;

// Sorts the lake's cells by their ground, builds its hypsometry and sets its
// volumes at INITWSE (where its water surface starts), MINWSE and MAXWSE.
void set_lake_hypsometry(ChannelLake& lake, const Grid& grid);

// Volume (m3) the lake holds with its water surface at `level`, and the water
// surface of a volume: each the inverse of the other.
double lake_volume_at(const ChannelLake& lake, double level);
double lake_level_of(const ChannelLake& lake, double volume);

// What a lake may give in one sub-step: its water above MINWSE.
inline double lake_available(const ChannelLake& lake) {
    return std::max(0.0, lake.volume - lake.min_volume);
}

// The lake that holds `link`: a lake link's own, or the lake that has taken
// the link over; null for any other link.
ChannelLake* lake_holding(Channel& channel, int link);
const ChannelLake* lake_holding(const Channel& channel, int link);

// Discharge (m3/s) of a lake over its rim into the channel below it: a
// broad-crested weir at MAXWSE as wide as that channel, never more in a
// sub-step of dt than the lake holds above the rim.
double lake_spill(const Channel& channel, const ChannelLake& lake, double dt);

// Set-up, after the router's: the lakes' volumes, the cells flooded at the
// start, the width of each rim. False after a fatal message.
bool prepare_lake_pools(Model& model, RunContext& ctx);

// Before routing in each channel step of dt: the rain on the flooded cells,
// the overland water that crossed into them, point sources and sinks, and
// seepage through the bed.
void lake_step_before_routing(Model& model, RunContext& ctx, double dt);

// After each routing sub-step of dt: what the channels, structures and pumps
// gave every lake and took from it; each lake's water surface follows.
void add_lake_flows(Model& model, double dt);

// After routing: the cells each lake floods at its new level, the channel
// links it takes over or gives back. False after a fatal message.
bool update_lake_extents(Model& model, RunContext& ctx);

}  // namespace torva

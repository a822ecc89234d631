#pragma once
// The grid-stream file: which grid cells hold channel, and which share of
// which node's length lies in each.

#include <string>

#include "channel/channel_state.hpp"
#include "grid/grid_state.hpp"

namespace torva {

struct RunContext;

// Reads the file into channel.stream for a network already read. A file that
// does not follow the layout, or an entry whose cell lies outside the mask,
// whose link or node does not exist or whose fraction lies outside (0, 1],
// prints its message naming the entry and raises the fatal error; returns
// false then.
bool read_grid_stream_file(Channel& channel, const Grid& grid, RunContext& ctx,
                           const std::string& path);

}  // namespace torva

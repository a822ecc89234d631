#pragma once
// The channel network's outputs: the rows of the hydrograph and depth
// locations, and the link/node files that give one quantity at every node of
// the network per output step.

#include <cstdio>
#include <functional>
#include <vector>

#include "channel/channel_state.hpp"
#include "output/hydrograph_state.hpp"

namespace torva {

struct Model;
struct RunContext;
struct CalendarTime;

// Once the network is read: every hydrograph location must name a link of the
// network and one of its nodes; the first that does not stops the run naming
// the location file and the entry.
void check_channel_locations(Model& model, RunContext& ctx);

// Writes the headers of the open link/node files (at set-up).
void write_link_node_headers(Model& model, RunContext& ctx);

// On an output step: one row of each location file and one row block of each
// link/node file. A write that fails stops the run naming the file.
void write_channel_outputs(Model& model, RunContext& ctx);

// With STREAM_INFO, after each progress line: where the water in the channels
// is deepest and shallowest, and where the discharge is largest and smallest.
void print_stream_extremes(const Model& model, RunContext& ctx);

// Whether some hydrograph location carries more than `discharge` (m3/s).
bool location_discharge_above(const Model& model, double discharge);

// Link/node header: the file word and the five header lines.
bool write_link_node_header(std::FILE* file, const char* first_line, int num_links,
                            int minutes_between_rows, int num_rows, const CalendarTime& start);

// A figure of a node (node, link) or of a link of its own (link).
using NodeFigure = std::function<double(int node, int link)>;
using LinkFigure = std::function<double(int link)>;

// One row block of a link/node file: `node_value` at every node of the links
// that have nodes; `own` the link's own value of lake links (difference and
// ratio files) and structure links (value files); `shown_nodes`, where given,
// the nodes per link that carry values, the rest written as missing. False
// when the file could not be written.
bool write_link_node_rows(LinkNodeFile& out, const Channel& channel, const NodeFigure& node_value,
                          const LinkFigure& own, const std::vector<int>* shown_nodes = nullptr);

}  // namespace torva

#pragma once
// The reading passes of the channel input file, in the order the set-up runs
// them. Each pass prints its own messages and raises the fatal error; each
// returns false when the set-up must stop.

#include <string_view>
#include <vector>

#include "channel/channel_file.hpp"
#include "channel/channel_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// What the counting pass over the link cards found.
struct LinkCounts {
    int max_upstream = 0;  // largest upstream count of a CONNECT card
    int connect_cards = 0;
    int structures_declared = 0;  // sum of NUMSTRUCTS
    int structure_elements = 0;   // STRUCTTYPE cards of a known kind
    int groundwater_links = 0;    // links with K_RIVER
    int point_sources = 0;
    int pumps = 0;
    std::vector<int> tables;  // per link: NPAIRS cards
    int max_pairs = 0;        // largest NPAIRS of a break-point link
};

// The first line must be TORVA_CHAN; then five header cards (ALPHA, BETA,
// THETA, LINKS, MAXNODES, repeats counting again).
bool read_channel_header(Model& model, RunContext& ctx, ChannelFile& file);

// The link cards: types, attributes, nodes, spacing, roughness, per-link
// values, lakes and structures, and the counts the later passes need.
bool read_link_cards(Model& model, RunContext& ctx, const ChannelFile& file, LinkCounts& counts);

// Creates the per-node arrays (every node value zero).
bool allocate_node_arrays(Model& model, RunContext& ctx);

// The console summary of the network and the subsurface-parameter check.
void print_channel_summary(Model& model, RunContext& ctx, const LinkCounts& counts);

// The message of a file whose number of CONNECT cards is not its number of links.
bool connect_count_differs(RunContext& ctx, int links, int cards);

// The CONNECT cards, and the check that every link drains to the outlet link.
bool read_connectivity(Model& model, RunContext& ctx, const ChannelFile& file,
                       const LinkCounts& counts);

// NODE, ELEV, XSEC and the trapezoid cards, structure elements, pumps and
// point sources; then every trapezoidal link gets its cross-section.
bool read_node_cards(Model& model, RunContext& ctx, const ChannelFile& file);
bool copy_trapezoid_sections(Model& model, RunContext& ctx);

// The kind number (1..8) of a STRUCTTYPE word, compared without regard to
// case on the length of the kind's own word; 0 for a word of no kind.
int structure_kind_number(std::string_view word);

// One structure, pump or point-source card at the current link and node.
struct NodeCursor {
    int link = 0;
    int node = 0;
    int structure = 0;  // current structure element; 0 for none
};
bool read_structure_card(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
                         NodeCursor& at);

// The break-point tables (NPAIRS, NUM_INTERP, X1), turned into property tables.
bool read_breakpoint_sections(Model& model, RunContext& ctx, const ChannelFile& file);

// The lake cards and each lake's initially flooded cells.
bool read_channel_lakes(Model& model, RunContext& ctx, const ChannelFile& file);

}  // namespace torva

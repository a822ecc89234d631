#pragma once
// Break-point cross-sections turned into per-depth property tables, and the
// tables given to the nodes of their links: one section for the whole link,
// sections interpolated node by node between two surveyed ones, and a copy of
// its own for every node of an erodible link, whose bed may change.

#include <vector>

#include "channel/channel_state.hpp"

namespace torva {

struct RunContext;

// A break-point section as the channel input file gives it.
struct FileSection {
    int number = 0;          // table number in file order, for messages
    int node = 0;            // the node whose NPAIRS card started it
    int pairs_declared = 0;  // NPAIRS
    int levels = 0;          // NUM_INTERP; 0 when the table has none
    std::vector<double> station;
    std::vector<double> elevation;
};

// Checks the section (levels in 1..30000, level spacing in 0.0001..1.0 m,
// stations from left to right, water at the first level, fewer than 50
// wetted stretches), builds its property table with the link's Manning's n and
// returns the new table's number. `number` names the table in messages. After
// the message of a section that cannot be tabulated, raises the fatal error
// and returns 0.
int add_section_table(Channel& channel, RunContext& ctx, int link, int number,
                      const std::vector<double>& station, const std::vector<double>& elevation,
                      int levels);

// Gives every node of the break-point link its table (`table_num`) from the
// link's sections in file order. False after a message that stops the run.
bool assign_link_sections(Channel& channel, RunContext& ctx, int link,
                          std::vector<FileSection> sections);

}  // namespace torva

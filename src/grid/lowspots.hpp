#pragma once
// Low spots: openings in the overland flow dikes, read from the low spot file
// and checked against the dikes and elevations once the neighbours are known.

namespace torva {

struct Model;
struct RunContext;

// Reads the LOWSPOT_FILE into the grid's low spots: one pass counts the SPOT
// lines, a second fills the records.
void read_low_spots(Model& model, RunContext& ctx);

// Checks the low spots in file order and stops at the first that cannot work.
void check_low_spots(Model& model, RunContext& ctx);

}  // namespace torva

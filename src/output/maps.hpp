#pragma once
// Maps of state variables at the map interval.

namespace torva {

struct Model;
struct RunContext;

// Opens the map output files and writes their headers.
void open_map_outputs(Model& model, RunContext& ctx);
// Writes the maps that fall due.
void map_output_phase(Model& model, RunContext& ctx);

}  // namespace torva

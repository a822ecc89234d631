#pragma once
// Index maps and mapping tables: per-cell parameters from id-keyed tables.

namespace torva {

struct Model;
struct RunContext;

// Reads the mapping table file and the index maps it refers to.
void read_index_maps(Model& model, RunContext& ctx);

}  // namespace torva

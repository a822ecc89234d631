#pragma once
// The watershed grid: cells inside the mask, their numbering, neighbours and elevations.

#include <vector>

#include "grid/grid_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the mask and numbers the cells, reads the elevation map, finds the
// outlet cell, and reads the dike map and low spot file.
void read_grid_maps(Model& model, RunContext& ctx);
// Writes maskmap, the cell numbers for the host.
void write_mask_map(const Model& model, RunContext& ctx);
// Allocates the grid's own per-cell arrays that the maps did not fill.
void allocate_grid_arrays(Model& model, RunContext& ctx);
// Finds every cell's neighbours and checks the low spots against the dikes.
void build_connectivity(Model& model, RunContext& ctx);
// Sums the areas of the cells that enter the surface water balance.
void compute_watershed_area(Model& model, RunContext& ctx);

}  // namespace torva

#pragma once
// The watershed grid: cells inside the mask, their numbering, neighbours and elevations.

namespace torva {

struct Model;
struct RunContext;

struct Grid {};

// Reads the mask and elevation maps and numbers the cells.
void read_grid_maps(Model& model, RunContext& ctx);
// Allocates the per-cell arrays of the run.
void allocate_grid_arrays(Model& model, RunContext& ctx);
// Finds every cell's neighbours, the low spots and the dikes.
void build_connectivity(Model& model, RunContext& ctx);
// Sums the areas of the cells that enter the surface water balance.
void compute_watershed_area(Model& model, RunContext& ctx);

}  // namespace torva

#pragma once
// Gridded (radar) rainfall: a raster per time stamp, listed in an event of the
// precipitation input file.

namespace torva {

struct Model;
struct RunContext;

// At the start of a radar event, maps every watershed cell to the radar cell
// that holds its centre; when a record falls due, reads the grid that ends its
// interval and makes it the cells' rain intensity.
void radar_phase(Model& model, RunContext& ctx);

}  // namespace torva

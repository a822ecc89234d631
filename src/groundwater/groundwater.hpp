#pragma once
// The saturated zone: one unconfined layer with boundaries and wells.
//
// Lifecycle: read_groundwater_maps at start-up (cards, maps, tables, wells),
// prepare_groundwater once the grid's neighbours and the start time are known,
// groundwater_phase every model step (it acts when the groundwater time step is
// due), the volumes in model.groundwater.volumes and the run totals.

#include "groundwater/groundwater_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the groundwater cards, the boundary, conductivity and porosity maps
// (or tables), the static flux table and the wells, refusing what the flow
// equation cannot hold.
void read_groundwater_maps(Model& model, RunContext& ctx);
// Lays out the solver's arrays and the aquifer's initial water.
void prepare_groundwater(Model& model, RunContext& ctx);
// Moves the water table under recharge, boundaries, wells, leakage and the
// stream beds over the groundwater step when it is due.
void groundwater_phase(Model& model, RunContext& ctx);

// Flags the cells whose water table stands at or above the land surface.
void mark_water_table_at_surface(Model& model);

// One groundwater step of dt seconds from the current heads and sources
// (m/s, in model.groundwater.source); false with the error raised when the
// solver fails. The phase calls it; tests and benchmarks drive it directly.
bool advance_groundwater(Model& model, RunContext& ctx, double dt);

}  // namespace torva

#pragma once
// The saturated zone: one unconfined layer with boundaries and wells.

#include "groundwater/groundwater_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the water table, aquifer and boundary maps.
void read_groundwater_maps(Model& model, RunContext& ctx);
// Moves the water table under recharge, boundaries and wells.
void groundwater_phase(Model& model, RunContext& ctx);

}  // namespace torva

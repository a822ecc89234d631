#pragma once
// Overland lakes that grow and shrink over the grid with their volume.

#include "lakes/lakes_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Sets up the initial state of the lakes.
void set_up_lakes(Model& model, RunContext& ctx);
// Updates the extent of every overland lake.
void overland_lakes_phase(Model& model, RunContext& ctx);

}  // namespace torva

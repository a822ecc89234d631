#pragma once
// Gridded (radar) rainfall.

namespace torva {

struct Model;
struct RunContext;

// Replaces the gauge intensities by the current radar grid.
void radar_phase(Model& model, RunContext& ctx);

}  // namespace torva

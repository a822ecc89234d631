#pragma once
// Overland flow between edge-neighbouring cells and out at the outlet.

namespace torva {

struct Model;
struct RunContext;

struct Overland {};

// Computes the bed slopes between neighbouring cells.
void compute_bed_slopes(Model& model, RunContext& ctx);
// Routes the surface water of the step.
void overland_flow_phase(Model& model, RunContext& ctx);

}  // namespace torva

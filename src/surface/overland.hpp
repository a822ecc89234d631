#pragma once
// Overland flow between edge-neighbouring cells and out at the outlet.

#include <vector>

namespace torva {

struct Model;
struct RunContext;

struct Overland {
    // Per-cell arrays, N + 1 entries.
    std::vector<double> depth;      // overland water depth, m
    std::vector<double> max_depth;  // largest depth so far, m
};

// Computes the bed slopes between neighbouring cells.
void compute_bed_slopes(Model& model, RunContext& ctx);
// Routes the surface water of the step.
void overland_flow_phase(Model& model, RunContext& ctx);

}  // namespace torva

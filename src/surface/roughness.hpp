#pragma once
// Interception, retention and overland roughness.

namespace torva {

struct Model;
struct RunContext;

// Gives every cell its roughness, retention and interception.
void read_surface_parameters(Model& model, RunContext& ctx);

}  // namespace torva

#pragma once
// Interception, retention and overland roughness.

#include <vector>

namespace torva {

// Per-cell surface parameters, N + 1 entries.
struct SurfaceParameters {
    std::vector<double> manning_n;
    std::vector<double> retention_depth;       // m
    std::vector<double> interception_storage;  // capacity
    std::vector<double> interception_coeff;
    std::vector<double> intercepted_depth;     // held on the canopy so far
};

struct Model;
struct RunContext;

// Gives every cell its roughness, retention and interception.
void read_surface_parameters(Model& model, RunContext& ctx);

}  // namespace torva

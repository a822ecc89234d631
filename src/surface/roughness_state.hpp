#pragma once
// Per-cell interception, retention and roughness.

#include <vector>

namespace torva {

// Per-cell surface parameters, N + 1 entries.
struct SurfaceParameters {
    // s/m^(1/3); the overland set-up turns it into its 1 / n and leaves this empty.
    std::vector<double> manning_n;
    std::vector<double> retention_depth;  // m

    // Interception (arrays sized only when it is on).
    bool interception = false;
    std::vector<double> interception_storage;  // capacity, mm
    std::vector<double> interception_coeff;    // share of the rain above capacity still held
    std::vector<double> intercepted_depth;     // held on the canopy so far, mm
    std::vector<double> effective_rain_rate;   // rain passing the canopy in this step, mm/h
};

}  // namespace torva

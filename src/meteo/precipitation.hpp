#pragma once
// Precipitation from gauges or uniform rain, spread over the cells each step.

#include <vector>

namespace torva {

struct Model;
struct RunContext;

struct Precipitation {
    // Per-cell rain intensity of the step, mm/h (N + 1 entries).
    std::vector<double> rain_rate;
    bool raining = false;
};

// Scans the precipitation input and counts its events.
void prepare_precipitation(Model& model, RunContext& ctx);
// Checks the precipitation and start-date settings and starts the clock.
void check_precipitation_settings(Model& model, RunContext& ctx);
// Brings the gauge intensities up to the model time and starts events.
void precipitation_phase(Model& model, RunContext& ctx);
// Adds the step's rain, less interception, to every cell's water depth.
void apply_rainfall_phase(Model& model, RunContext& ctx);

}  // namespace torva

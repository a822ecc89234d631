#pragma once
// The run driver: one complete simulation of one project file.

#include <functional>
#include <string_view>

namespace torva {

struct RunContext;
struct CalibrationResults;
struct Model;

// Runs the simulation and returns the error code left at its end (0 for a clean
// run; a run that ended through a fatal error returns its code, or 4000 when
// the code had already been reported).
int run_simulation(RunContext& ctx, std::string_view project_file,
                   CalibrationResults* results = nullptr);

// The same simulation; `inspect` then sees the Model state as the run left it
// (its files closed) before it is freed, so that a caller can check the final
// per-cell state against the run's totals.
int run_simulation(RunContext& ctx, std::string_view project_file,
                   const std::function<void(const Model&)>& inspect);

}  // namespace torva

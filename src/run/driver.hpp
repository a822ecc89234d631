#pragma once
// The run driver: one complete simulation of one project file.

#include <string_view>

namespace torva {

struct RunContext;
struct CalibrationResults;

// Runs the simulation and returns the error code left at its end (0 for a clean
// run; a run that ended through a fatal error returns its code, or 4000 when
// the code had already been reported).
int run_simulation(RunContext& ctx, std::string_view project_file,
                   CalibrationResults* results = nullptr);

}  // namespace torva

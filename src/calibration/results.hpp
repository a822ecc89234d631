#pragma once
// The simulated event peaks and volumes a calibration scores.

#include "calibration/calibration_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Sizes the calibration results record of a calibration run.
void prepare_calibration_results(Model& model, RunContext& ctx);

}  // namespace torva

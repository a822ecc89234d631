#pragma once
// The simulated event peaks and volumes a calibration scores.

namespace torva {

struct Model;
struct RunContext;

struct CalibrationResults {};

// Sizes the calibration results record of a calibration run.
void prepare_calibration_results(Model& model, RunContext& ctx);

}  // namespace torva

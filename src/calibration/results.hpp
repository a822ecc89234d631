#pragma once
// Filling the calibration result record during a calibration run.

#include "calibration/calibration_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Sizes the record of a calibration run once the events are counted.
void prepare_calibration_results(Model& model, RunContext& ctx);

// Adds the step's outlet discharge to the current event's volume and peak.
void accumulate_calibration_results(Model& model);

}  // namespace torva

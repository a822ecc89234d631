#pragma once
// Hourly weather, radiation, evapotranspiration and snow of long-term runs.

#include "meteo/hydromet_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Opens and scans the hydrometeorological input of a long-term run.
void prepare_hydromet(Model& model, RunContext& ctx);
// Takes evapotranspiration and snowmelt for the step.
void hydromet_phase(Model& model, RunContext& ctx);

}  // namespace torva

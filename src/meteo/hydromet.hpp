#pragma once
// Hourly weather, radiation, evapotranspiration and snow of long-term runs.

namespace torva {

struct Model;
struct RunContext;

struct Hydromet {};

// Opens and scans the hydrometeorological input of a long-term run.
void prepare_hydromet(Model& model, RunContext& ctx);
// Takes evapotranspiration and snowmelt for the step.
void hydromet_phase(Model& model, RunContext& ctx);

}  // namespace torva

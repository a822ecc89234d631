#pragma once
// Hourly weather, radiation, evapotranspiration and snow of long-term runs.

#include "meteo/hydromet_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Opens and scans the hydrometeorological input of a long-term run.
void prepare_hydromet(Model& model, RunContext& ctx);
// Once per weather hour: reads the hour, computes every cell's potential
// evapotranspiration (in force from the next step), melts snow and updates
// the frozen ground index. Stops the run when the weather data run out.
void hydromet_phase(Model& model, RunContext& ctx);
// At the end of the step that reached a weather hour, once every process has
// accounted it: writes the report of the hour that ended and puts the new
// hour's potential evapotranspiration in force.
void close_weather_hour_phase(Model& model, RunContext& ctx);
// Brings the weather up to the hour that holds the model time (reading as
// the hydrometeorology phase does), so that the rainfall of a step already
// knows whether it falls as snow. The hour that ended is reported at the end
// of the step, after its accounting.
void advance_weather_hour(Model& model, RunContext& ctx);
// Closes the long-term output file (its failure is raised).
void close_hydromet(Model& model, RunContext& ctx);

}  // namespace torva

#pragma once
// Soil water: the infiltration methods and the soil parameters.

namespace torva {

struct Model;
struct RunContext;

struct Soil {};

// Gives every cell its soil parameters.
void read_soil_parameters(Model& model, RunContext& ctx);
// Sets up the soil layer depths.
void set_up_soil_layers(Model& model, RunContext& ctx);
// Moves water from the surface into the soil.
void infiltration_phase(Model& model, RunContext& ctx);
// Redistributes soil moisture between the events of a long-term run.
void soil_moisture_between_events_phase(Model& model, RunContext& ctx);

}  // namespace torva

#pragma once
// Soil water: the soil parameters and the Green and Ampt infiltration methods
// (plain, with redistribution between storms, and through layered soil).

#include <array>
#include <string>
#include <vector>

#include "soil/soil_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// ---- Phases called by the run driver ----

// Gives every cell its soil, evapotranspiration and aquifer parameters and,
// for the layered method, reads the soil layer input file.
void read_soil_parameters(Model& model, RunContext& ctx);
// Sets up the soil layer depths.
void set_up_soil_layers(Model& model, RunContext& ctx);
// Moves water from the surface into the soil by the chosen method.
void infiltration_phase(Model& model, RunContext& ctx);
// The root-zone store of a long-term run, during and between events: takes
// in the infiltration since it last ran, gives up the actual
// evapotranspiration (canopy, ponded water, then the soil under stress) and
// percolation, which joins the recharge account.
void soil_moisture_accounting_phase(Model& model, RunContext& ctx);
// Sizes the store's arrays and sets every cell's field capacity; false after
// a raised error.
bool prepare_soil_store(Model& model, RunContext& ctx);

// ---- Called from the event start and end phases ----

// Set-up of infiltration at the start of a precipitation event: the step
// counter and timing, and for redistribution the markers, F1, F and, in a
// long-term run, theta_i from the soil moisture store.
void start_infiltration_event(Model& model, RunContext& ctx);
// At the end of an event of a long-term run: the water of the event's wetting
// fronts joins the soil moisture store.
void end_infiltration_event(Model& model, RunContext& ctx);
// The long-term jump: with redistribution, when no event runs and no cell has
// the water table at the surface, infiltration sleeps until one step after the
// next event starts. Water left standing on the ground then soaks into the
// root-zone store instead, so with water on the ground the method sleeps only
// where the store takes it (see store_soaks_standing_water). The caller has
// made sure that no water on the ground moves. Returns whether it jumped.
bool skip_infiltration_to_next_event(Model& model, double next_event_start);
// Whether the root-zone store of a long-term run is kept (not the Sacramento
// accounting) and can take in the water standing on the ground while the
// infiltration method sleeps.
bool store_soaks_standing_water(const Model& model);

// ---- Building blocks, used by the phases and by tests ----

// Sizes the per-cell state arrays (and zeroes them); false after an
// allocation failure, which has been raised.
bool allocate_infiltration_state(Model& model, RunContext& ctx);

// The water content at the surface of a cell, as the infiltration method sees
// it: with redistribution the reported moisture; with plain Green and Ampt
// the porosity once water has entered the cell (the wetted zone is saturated)
// and the initial moisture before; 0 where the method keeps none.
double surface_water_content(const Model& model, int cell);
// Reads the soil layer input file into soil.layer_table.
bool read_soil_layer_file(Model& model, RunContext& ctx, const std::string& file_name);

// Water content at field capacity (a third of a bar of suction) of a
// Brooks-Corey soil, kept a little above the wilting point.
double field_capacity(double porosity, double residual, double pore_index, double capillary_head,
                      double wilting_point);
// Above this continuous frozen ground index the ground takes in no water.
inline constexpr double kFrozenGroundIndex = 83.0;

// Depth (m) that percolates in dt seconds out of a store holding `store` m over
// `thickness` m, at the Brooks-Corey conductivity of its water content, never
// below `floor_content`.
double percolate(double store, double thickness, double conductivity, double porosity,
                 double residual, double pore_index, double floor_content, double dt);
// The drainage constants of a cell for `percolate`, the floor its wilting point.
StoreDrainage store_drainage(double conductivity, double porosity, double residual,
                             double pore_index, double floor_content);
double percolate(double store, double thickness, const StoreDrainage& drainage, double dt);

// Mean Green and Ampt infiltration capacity over a step dt (m/s), from the
// depth F already infiltrated (m), the capillary drive psi * deficit (m) and Ks.
double green_ampt_rate(double conductivity, double capillary_drive, double infiltrated, double dt);

// The methods over all cells for a step of dt seconds. Each adds what entered
// the soil to the cumulative and per-event depths and to the infiltrated volume
// totals in the same pass.
void plain_green_ampt(Model& model, double dt);
void green_ampt_with_redistribution(Model& model, double dt);
void layered_green_ampt(Model& model, RunContext& ctx, double dt);

}  // namespace torva

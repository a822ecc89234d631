#pragma once
// Sacramento soil moisture accounting over one interval, and its coupling to
// the long-term time loop.

#include <string>
#include <vector>

#include "soil/sacramento_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Storage of the stores, mm over the whole watershed area.
double sacramento_storage(const SacramentoParameters& par, const SacramentoStores& s);

// Advances the stores over one interval of `dt_days` days that receives the
// depth `input` (mm) and meets the evapotranspiration demand `demand` (mm).
// The parameters must have passed the reader's range checks.
SacramentoFlows sacramento_interval(const SacramentoParameters& par, SacramentoStores& s,
                                    double input, double demand, double dt_days);

// The parameter file named by the SACRAMENTO card: parameters and initial
// stores into the model's accounting, every value checked. False, with the
// error raised, when the file is refused.
bool read_sacramento_file(Model& model, RunContext& ctx);
// The same over the file's lines (`file` names it in messages).
bool parse_sacramento_parameters(Sacramento& sac, RunContext& ctx,
                                 const std::vector<std::string>& lines, const std::string& file);

// Before the time loop: the first hour ends an hour after the start.
void prepare_sacramento_hours(Model& model);
// Time loop phase: gathers the step's infiltration and demand, advances the
// stores at the end of each hour, and sets the channel inflow of the step.
void sacramento_phase(Model& model, RunContext& ctx);

// Water the accounting holds, m3: in tension water (with the water gathered
// for the current hour), and in free water (with the channel inflow not yet
// delivered).
double sacramento_tension_volume(const Model& model);
double sacramento_free_volume(const Model& model);

}  // namespace torva

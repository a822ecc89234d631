// Sacramento accounting in the long-term time loop. Every step gathers the
// water the infiltration phase took into the soil and the potential
// evapotranspiration of the step; once an hour the stores advance over the
// gathered hour, and the hour's channel inflow is handed to the channels,
// spread evenly over the steps of the next hour. Water gathered and not yet
// accounted, and inflow produced and not yet delivered, stay counted in the
// stores' storage, so that the run's balance closes at any moment.

#include <algorithm>
#include <cmath>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/sacramento.hpp"

namespace torva {
namespace {

constexpr double kHourDays = 1.0 / 24.0;
constexpr double kHourSeconds = 3600.0;

double watershed_area(const Model& model) {
    return model.grid.cell_size * model.grid.cell_size * model.grid.num_cells;
}

void add_to_totals(Model& model, double VolumeTotals::*field, double volume) {
    model.totals.run.*field += volume;
    model.totals.event.*field += volume;
}

// The stores advance over the gathered hour; its evapotranspiration and deep
// recharge leave the watershed, its channel inflow waits for the channels.
void account_hour(Model& model) {
    Sacramento& sac = model.sacramento;
    const double area = watershed_area(model);
    const double mm_per_m3 = 1000.0 / area;
    const SacramentoFlows f = sacramento_interval(sac.par, sac.stores, sac.hour_input * mm_per_m3,
                                                  sac.hour_demand * mm_per_m3, kHourDays);
    const double et_volume = f.evapotranspiration / mm_per_m3;
    const double inflow_volume = f.channel_inflow / mm_per_m3;
    const double deep_volume = f.deep_recharge / mm_per_m3;
    add_to_totals(model, &VolumeTotals::evaporation, et_volume);
    add_to_totals(model, &VolumeTotals::deep_recharge, deep_volume);
    model.soil.period_actual_et += et_volume;

    sac.input += f.input;
    sac.demand += f.demand;
    sac.evapotranspiration += f.evapotranspiration;
    sac.channel_inflow += f.channel_inflow;
    sac.deep_recharge += f.deep_recharge;
    sac.residual += f.residual;
    sac.deficiency_clamped += f.deficiency_clamped;
    ++sac.intervals;

    sac.hour_channel_inflow = f.channel_inflow;
    sac.undelivered += inflow_volume;
    sac.hour_rate = sac.undelivered / kHourSeconds;
    sac.hour_input = 0.0;
    sac.hour_demand = 0.0;
    sac.hour_end += kHourDays;
}

}  // namespace

void prepare_sacramento_hours(Model& model) {
    Sacramento& sac = model.sacramento;
    sac.hour_end = model.clock.start_time + kHourDays;
}

void sacramento_phase(Model& model, RunContext& ctx) {
    (void)ctx;
    Sacramento& sac = model.sacramento;
    if (!sac.on)
        return;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    const double dt = model.run.time_step;
    const double cell_area = model.grid.cell_size * model.grid.cell_size;

    // Summed in cell order on one thread, so that the figures do not depend
    // on the thread count.
    double entered = 0.0, demand = 0.0;
    if (soil.cumulative_depth.size() == size && soil.infiltration_taken.size() == size) {
        for (int i = 1; i <= n; ++i) {
            entered += soil.cumulative_depth[i] - soil.infiltration_taken[i];
            soil.infiltration_taken[i] = soil.cumulative_depth[i];
        }
    }
    // A cell a lake floods evaporates from the lake, at its own potential
    // rate; the stores answer the demand of the land alone.
    const bool lakes = soil.lake_cell.size() == size;
    if (soil.potential_et.size() == size)
        for (int i = 1; i <= n; ++i)
            if (!lakes || !soil.lake_cell[i])
                demand += soil.potential_et[i];
    // The first step holds the run's start time and spans no time.
    const double seconds = model.clock.evaporation_seconds(dt);
    sac.hour_input += entered * cell_area;
    sac.hour_demand += demand * seconds * cell_area;
    soil.period_infiltration += entered * cell_area;
    soil.period_seconds += seconds;

    // This step's share of the inflow of the hour before, for the channels.
    sac.step_rate = std::min(sac.hour_rate, sac.undelivered / dt);
    sac.undelivered = std::max(sac.undelivered - sac.step_rate * dt, 0.0);

    const double now = model.clock.current_time;
    if (time_reached(now, sac.hour_end) || now > sac.hour_end)
        account_hour(model);
}

double sacramento_tension_volume(const Model& model) {
    const Sacramento& sac = model.sacramento;
    const SacramentoParameters& p = sac.par;
    const SacramentoStores& s = sac.stores;
    return ((s.uztwc + s.lztwc) * p.pervious() + s.adimc * p.adimp) * watershed_area(model) /
               1000.0 +
           sac.hour_input;
}

double sacramento_free_volume(const Model& model) {
    const Sacramento& sac = model.sacramento;
    const SacramentoParameters& p = sac.par;
    const SacramentoStores& s = sac.stores;
    return (s.uzfwc + s.lzfsc + s.lzfpc) * p.pervious() * watershed_area(model) / 1000.0 +
           sac.undelivered;
}

}  // namespace torva

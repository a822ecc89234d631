#include "run/run_parameters.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void set_up_run_parameters(Model& model, RunContext& ctx) {
    RunSettings& run = model.run;
    const ProjectSettings& p = model.project;

    const double card_step = p.real(Card::TIMESTEP);
    if (run.max_time_step < 0.01) {
        run.max_time_step = card_step;
        run.time_step = card_step;
    } else {
        run.time_step = card_step < run.max_time_step ? card_step : run.max_time_step;
    }
    if (run.time_step <= 0.001) {
        ctx.error.raise(err::time_step_zero);
        return;
    }
    run.time_step_days = run.time_step / 86400.0;

    run.hydrograph_interval = p.real(Card::HYD_FREQ);
    if (run.hydrograph_interval <= 0.0) {
        run.hydrograph_interval = 60.0;
        raise_and_report(ctx, err::hydrograph_interval_default);
    }
    run.hydrograph_steps = static_cast<int>(60.0 / run.time_step * run.hydrograph_interval);

    run.map_interval = p.integer(Card::MAP_FREQ);
    if (run.map_interval == 0) {
        run.map_interval = 360;
        if (!run.super_quiet && ctx.partition == 0)
            ctx.print("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
    }
    run.map_steps = static_cast<int>(60.0 / run.time_step * run.map_interval);

    run.outlet_slope = p.real(Card::OUTSLOPE);
    if (run.outlet_slope < 1e-9) {
        ctx.error.raise(err::outlet_slope_missing);
        return;
    }
    if (run.long_term) {
        if (p.real(Card::LATITUDE) < 0.01 || p.real(Card::LONGITUDE) < 0.01) {
            ctx.error.raise(err::latitude_longitude_missing);
            return;
        }
        if (p.real(Card::GMT) == 0.0) {
            ctx.error.raise(err::gmt_offset_missing);
            return;
        }
    }
    // The outlet is a cell number, the index of every per-cell array: the cell
    // the grid set-up found at (OUTROW, OUTCOL), 0 when it lies outside the mask.
    run.outlet_cell = model.grid.outlet_cell;
}

}  // namespace torva

#include "run/run_parameters.hpp"

#include <climits>
#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/card_checks.hpp"

namespace torva {
namespace {

std::string format_number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Steps are counted in an int: a run or an output interval of more steps than
// it holds would wrap round and write at the wrong times or never.
bool fits_step_counter(RunContext& ctx, const ProjectSettings& p, Card card, double steps,
                       double minutes) {
    if (steps <= static_cast<double>(INT_MAX))
        return true;
    char problem[200];
    std::snprintf(problem, sizeof problem,
                  "minutes is %.0f time steps, more than the step counter holds (%d); give "
                  "fewer minutes or a longer TIMESTEP",
                  steps, INT_MAX);
    refuse_card_value(ctx, p, card, format_number(minutes), problem);
    return false;
}

}  // namespace

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
    const double run_seconds = 60.0 * run.total_time;
    if (run.time_step > run_seconds) {
        refuse_card_value(ctx, p, Card::TIMESTEP, format_number(run.time_step),
                          "seconds is longer than the whole run (TOT_TIME " +
                              std::to_string(run.total_time) +
                              " minutes); give a shorter step or a longer run");
        return;
    }
    // The weather of a long-term run comes an hour at a time, and each hour
    // is worked out and reported at the step that reaches it: a longer step
    // would pass hours over and let the weather fall behind the clock.
    if (run.long_term && run.time_step > 3600.0) {
        refuse_card_value(ctx, p, Card::TIMESTEP, format_number(run.time_step),
                          "seconds is longer than the hour of the weather a long-term run "
                          "follows; give a step of at most 3600 seconds");
        return;
    }
    if (!fits_step_counter(ctx, p, Card::TOT_TIME, run_seconds / run.time_step, run.total_time))
        return;

    run.hydrograph_interval = p.real(Card::HYD_FREQ);
    if (run.hydrograph_interval <= 0.0) {
        run.hydrograph_interval = 60.0;
        raise_and_report(ctx, err::hydrograph_interval_default);
    }
    const double hydrograph_steps = 60.0 / run.time_step * run.hydrograph_interval;
    if (!fits_step_counter(ctx, p, Card::HYD_FREQ, hydrograph_steps, run.hydrograph_interval))
        return;
    run.hydrograph_steps = static_cast<int>(hydrograph_steps);

    run.map_interval = p.integer(Card::MAP_FREQ);
    if (run.map_interval == 0) {
        run.map_interval = 360;
        if (!run.super_quiet && ctx.partition == 0)
            ctx.print(
                "Warning: Write solution time step not specified, defaulting to 6 hours.\n"
                "Give the MAP_FREQ card (minutes) in the project file to choose the interval.\n");
    }
    const double map_steps = 60.0 / run.time_step * run.map_interval;
    if (!fits_step_counter(ctx, p, Card::MAP_FREQ, map_steps, run.map_interval))
        return;
    run.map_steps = static_cast<int>(map_steps);

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

#include "meteo/events.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/infiltration.hpp"

namespace torva {

void event_start_phase(Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    if (!p.event_began)
        return;
    model.event_number = p.events_read > 0 ? p.events_read : 1;
    model.event_ended = false;
    start_infiltration_event(model, ctx);
    const bool single_event = !model.run.long_term && !model.run.host_event_mode;
    if (single_event || model.run.host_event_mode) {
        model.period_end = p.event_start_time + model.run.total_time / 1440.0;
        if (!model.run.super_quiet)
            ctx.print("simulation duration %d minutes\n", model.run.total_time);
    }
}

bool close_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    if (!p.event_open)
        return false;
    p.event_open = false;
    end_infiltration_event(model, ctx);
    return true;
}

}  // namespace torva

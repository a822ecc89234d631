#include "meteo/precipitation.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void prepare_precipitation(Model& model, RunContext& ctx) {
    (void)ctx;
    const ProjectSettings& p = model.project;
    const CardValue& date = p[Card::START_DATE];
    const CardValue& time = p[Card::START_TIME];
    model.clock.start_time = calendar_to_julian(date.integer[0], date.integer[1], date.integer[2],
                                                time.integer[0], time.integer[1]);
    model.clock.current_time = model.clock.start_time;
}

void check_precipitation_settings(Model& model, RunContext& ctx) {
    (void)ctx;
    model.period_end = model.clock.start_time + model.run.total_time / 1440.0;
    model.running = true;
}

void precipitation_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void apply_rainfall_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva

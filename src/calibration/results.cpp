#include "calibration/results.hpp"

#include <algorithm>

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void prepare_calibration_results(Model& model, RunContext&) {
    CalibrationResults* results = model.calibration_results;
    if (!results)
        return;
    const int events = std::max(model.number_of_events, 1);
    results->number_of_events = events;
    results->event_peak.assign(events + 1, 0.0);
    results->event_volume.assign(events + 1, 0.0);
    results->hydrograph_minutes.clear();
    results->hydrograph_discharge.clear();
    if (results->keep_hydrograph && model.run.time_step > 0.0) {
        // Room for every step, so that the time loop never allocates.
        const double steps = model.run.total_time * 60.0 / model.run.time_step + 2.0;
        const std::size_t room = static_cast<std::size_t>(std::min(steps, 1e8));
        results->hydrograph_minutes.reserve(room);
        results->hydrograph_discharge.reserve(room);
    }
}

void accumulate_calibration_results(Model& model) {
    CalibrationResults* results = model.calibration_results;
    if (!results)
        return;
    const double q = model.outlet.discharge;
    if (results->keep_hydrograph &&
        results->hydrograph_minutes.size() < results->hydrograph_minutes.capacity()) {
        results->hydrograph_minutes.push_back(model.clock.elapsed_minutes);
        results->hydrograph_discharge.push_back(q);
    }
    const int event = model.event_number;
    if (event < 1 || event > results->number_of_events)
        return;
    results->event_volume[event] += q * model.run.time_step;
    results->event_peak[event] = std::max(results->event_peak[event], q);
}

}  // namespace torva

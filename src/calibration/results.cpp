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
}

void accumulate_calibration_results(Model& model) {
    CalibrationResults* results = model.calibration_results;
    if (!results)
        return;
    const int event = model.event_number;
    if (event < 1 || event > results->number_of_events)
        return;
    const double q = model.outlet.discharge;
    results->event_volume[event] += q * model.run.time_step;
    results->event_peak[event] = std::max(results->event_peak[event], q);
}

}  // namespace torva

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

    // Discharge at a location exists only where the channels are routed.
    const bool routed =
        model.project.channel_routing == ChannelRouting::explicit_routing && model.channel.read;
    const std::vector<LinkNodeLocation>& places = model.output.hydrograph_locations;
    const int locations = routed ? static_cast<int>(places.size()) : 0;
    results->number_of_locations = locations;
    results->location_link.assign(locations + 1, 0);
    results->location_node.assign(locations + 1, 0);
    for (int k = 1; k <= locations; ++k) {
        results->location_link[k] = places[k - 1].link;
        results->location_node[k] = places[k - 1].node;
    }
    const std::size_t entries = static_cast<std::size_t>(events + 1) * (locations + 1);
    results->location_peak.assign(entries, 0.0);
    results->location_volume.assign(entries, 0.0);
}

void accumulate_calibration_results(Model& model) {
    CalibrationResults* results = model.calibration_results;
    if (!results)
        return;
    const int event = model.event_number;
    if (event < 1 || event > results->number_of_events)
        return;
    const double dt = model.run.time_step;
    const double q = model.outlet.discharge;
    results->event_volume[event] += q * dt;
    results->event_peak[event] = std::max(results->event_peak[event], q);

    const int locations = results->number_of_locations;
    const std::size_t row = static_cast<std::size_t>(event) * (locations + 1);
    for (int k = 1; k <= locations; ++k) {
        const double at = model.channel.qp(results->location_node[k], results->location_link[k]);
        results->location_volume[row + k] += at * dt;
        results->location_peak[row + k] = std::max(results->location_peak[row + k], at);
    }
}

}  // namespace torva

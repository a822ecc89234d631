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
    results->hydrograph_location =
        results->hydrograph_link > 0
            ? results->location_of(results->hydrograph_link, results->hydrograph_node)
            : 0;
    if (results->hydrograph_link > 0 && results->hydrograph_location == 0)
        results->keep_hydrograph = false;  // scored worst: the place is not simulated
    const std::size_t entries = static_cast<std::size_t>(events + 1) * (locations + 1);
    results->location_peak.assign(entries, 0.0);
    results->location_volume.assign(entries, 0.0);
}

void accumulate_calibration_results(Model& model) {
    CalibrationResults* results = model.calibration_results;
    if (!results)
        return;
    const double q = model.outlet.discharge;
    if (results->keep_hydrograph &&
        results->hydrograph_minutes.size() < results->hydrograph_minutes.capacity()) {
        const int at = results->hydrograph_location;
        results->hydrograph_minutes.push_back(model.clock.elapsed_minutes);
        results->hydrograph_discharge.push_back(
            at > 0 ? model.channel.qp(results->location_node[at], results->location_link[at]) : q);
    }
    const int event = model.event_number;
    if (event < 1 || event > results->number_of_events)
        return;
    const double dt = model.run.time_step;
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

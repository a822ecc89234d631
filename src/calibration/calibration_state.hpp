#pragma once
// The calibration result record: what a calibration evaluation's simulation
// hands back, the peak discharge and the volume of every rainfall event, in
// event order, at the outlet and at every hydrograph location of the channel
// network, so that a calibration can score an inner gauge as well as the outlet.

#include <vector>

namespace torva {

struct CalibrationResults {
    int number_of_events = 0;
    std::vector<double> event_peak;    // m3/s at the outlet, events 1 to number_of_events
    std::vector<double> event_volume;  // m3 through the outlet

    // The hydrograph at every model step (minutes since the start, m3/s),
    // kept when a whole-hydrograph objective scores the run: at the outlet, or
    // at the hydrograph location of `hydrograph_link` and `hydrograph_node`
    // when they are given (nothing is kept when that is not a location of the
    // run's routed channels).
    bool keep_hydrograph = false;
    int hydrograph_link = 0;
    int hydrograph_node = 0;
    int hydrograph_location = 0;  // its location, 1 to number_of_locations; 0 the outlet
    std::vector<double> hydrograph_minutes;
    std::vector<double> hydrograph_discharge;

    // The hydrograph locations (IN_HYD_LOCATION), 1 to their number, as link and
    // node; entry 0 is unused. Their sums are kept only when the channels are routed.
    int number_of_locations = 0;
    std::vector<int> location_link;
    std::vector<int> location_node;
    // Per event and location: entry event * (number_of_locations + 1) + location.
    std::vector<double> location_peak;    // m3/s
    std::vector<double> location_volume;  // m3

    // The simulated values of event i; 0 for an event the run did not reach.
    double peak(int i) const {
        return i >= 1 && i < static_cast<int>(event_peak.size()) ? event_peak[i] : 0.0;
    }
    double volume(int i) const {
        return i >= 1 && i < static_cast<int>(event_volume.size()) ? event_volume[i] : 0.0;
    }

    // The location of the given link and node, 1 to number_of_locations; 0
    // when it is not a hydrograph location.
    int location_of(int link, int node) const {
        for (int k = 1; k <= number_of_locations; ++k)
            if (location_link[k] == link && location_node[k] == node)
                return k;
        return 0;
    }
    // The simulated values of event i at location k (1 to number_of_locations).
    double peak_at(int i, int k) const { return location_value(location_peak, i, k); }
    double volume_at(int i, int k) const { return location_value(location_volume, i, k); }

  private:
    double location_value(const std::vector<double>& values, int i, int k) const {
        if (i < 1 || i > number_of_events || k < 1 || k > number_of_locations)
            return 0.0;
        const std::size_t at = static_cast<std::size_t>(i) * (number_of_locations + 1) + k;
        return at < values.size() ? values[at] : 0.0;
    }
};

}  // namespace torva

#pragma once
// The calibration result record: what a calibration evaluation's simulation
// hands back, the peak discharge and the volume at the outlet of every rainfall
// event, in event order.

#include <vector>

namespace torva {

struct CalibrationResults {
    int number_of_events = 0;
    std::vector<double> event_peak;    // m3/s at the outlet, events 1 to number_of_events
    std::vector<double> event_volume;  // m3 through the outlet

    // The outlet hydrograph at every model step (minutes since the start,
    // m3/s), kept when a whole-hydrograph objective scores the run.
    bool keep_hydrograph = false;
    std::vector<double> hydrograph_minutes;
    std::vector<double> hydrograph_discharge;

    // The simulated values of event i; 0 for an event the run did not reach.
    double peak(int i) const {
        return i >= 1 && i < static_cast<int>(event_peak.size()) ? event_peak[i] : 0.0;
    }
    double volume(int i) const {
        return i >= 1 && i < static_cast<int>(event_volume.size()) ? event_volume[i] : 0.0;
    }
};

}  // namespace torva

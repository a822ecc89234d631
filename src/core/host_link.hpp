#pragma once
// What a host program that runs simulations inside its own process (the Python
// module) asks of a run and keeps from it. The command line never sets one.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace torva {

// The values of one map kind at each map time, kept for a host: every grid
// position row by row from the north-west, NaN outside the watershed.
struct HostMapSeries {
    std::string kind;             // "depth", "discharge", ...
    std::string units;            // "m", "m3 s-1", ...
    std::vector<double> minutes;  // the elapsed time of each map
    std::vector<double> values;   // rows x cols values per map, one map after another
};

struct HostLink {
    // Sweeps write nothing: every output opens on the null device and rasters
    // are not written, while the run computes and reports exactly as it would.
    bool discard_outputs = false;

    // Replacement values by tag (with or without its brackets) that stand in
    // for the REPLACE_VALS file; they take effect where REPLACE_PARAMS declares
    // the tags.
    bool values_given = false;
    std::vector<std::pair<std::string, std::string>> values;
    bool values_applied = false;

    // Asked once a step: true stops the run after that step as a SIGINT would
    // (the host's interrupt). Must be cheap and safe from any thread.
    std::function<bool()> stop_requested;

    // Kept for the host: the summary file's text and the outlet hydrograph rows
    // (in the units and times the hydrograph file prints).
    std::string summary_text;
    std::vector<double> outlet_time;
    std::vector<double> outlet_discharge;

    // The hydrograph locations (link, node) and, at every outlet row, the
    // discharge (in the outlet's units) and the water depth (m) at each of
    // them, location by location.
    std::vector<std::pair<int, int>> locations;
    std::vector<double> location_discharge;
    std::vector<double> location_depth;

    // The grid's georeference: the north-west corner, the cell size and the
    // spatial reference (WKT, empty when no input map carried one).
    int rows = 0;
    int cols = 0;
    double west = 0.0;
    double north = 0.0;
    double cell_size = 0.0;
    std::string spatial_reference;
    // The water depth (m) at the end of the run, channel cells holding their
    // channel's depth, laid out as a map of HostMapSeries.
    std::vector<double> final_depth;
    // The map series the project's map cards ask for, whatever MAP_TYPE
    // writes (also with no files written).
    std::vector<HostMapSeries> maps;
};

}  // namespace torva

#pragma once
// What a host program that runs simulations inside its own process (the Python
// module) asks of a run and keeps from it. The command line never sets one.

#include <string>
#include <utility>
#include <vector>

namespace torva {

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

    // Kept for the host: the summary file's text and the outlet hydrograph rows
    // (in the units and times the hydrograph file prints).
    std::string summary_text;
    std::vector<double> outlet_time;
    std::vector<double> outlet_discharge;
};

}  // namespace torva

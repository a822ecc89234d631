#pragma once
// The output files of one simulation and the locations they report.

#include <cstdio>
#include <string>
#include <vector>

#include "core/output_files.hpp"

namespace torva {

// A link/node file: one quantity of the whole channel network, one row block
// per output step.
enum class LinkNodeMode { value = 0, difference = 1, ratio = 2 };

struct LinkNodeFile {
    OutputFile file;
    LinkNodeMode mode = LinkNodeMode::value;
    const char* first_line = "";  // the file word, with its newline
    int rows_written = 0;
};

// A grid cell whose soil moisture is reported.
struct CellLocation {
    int row = 0;
    int col = 0;
    int cell = 0;
};

// A channel link and node whose discharge or depth is reported.
struct LinkNodeLocation {
    int link = 0;
    int node = 0;
};

struct Outputs {
    OutputFile summary;
    OutputFile outlet_hydrograph;        // OUTLET_HYDRO
    OutputFile six_digit_hydrograph;     // SIG_OUTLET_HYDRO
    std::string outlet_hydrograph_path;  // as opened, for the host file
    int outlet_rows = 0;                 // rows written to the outlet file

    std::vector<LinkNodeLocation> hydrograph_locations;  // IN_HYD_LOCATION
    OutputFile hydrograph_location_file;                 // OUT_HYD_LOCATION
    OutputFile depth_location_file;                      // OUT_DEP_LOCATION
    OutputFile concentration_location_file;              // OUT_CON_LOCATION
    OutputFile mass_location_file;                       // OUT_MASS_LOCATION
    std::vector<CellLocation> moisture_locations;        // IN_THETA_LOCATION
    OutputFile moisture_location_file;                   // OUT_THETA_LOCATION
    OutputFile well_location_file;                       // OUT_WELL_LOCATION
    OutputFile lake_output;                              // LAKE_OUTPUT
    int lake_rows = 0;                                   // rows written to it

    LinkNodeFile channel_depth;      // CHAN_DEPTH
    LinkNodeFile channel_discharge;  // CHAN_DISCHARGE
    LinkNodeFile channel_stage;      // CHAN_STAGE
    LinkNodeFile channel_velocity;   // CHAN_VELOCITY
    LinkNodeFile flood_stream;       // FLOOD_STREAM
    LinkNodeFile channel_sed_flux;   // CHAN_SED_FLUX
};

}  // namespace torva

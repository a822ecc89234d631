#pragma once
// The output files of one simulation and the locations they report.

#include <cstdio>
#include <string>
#include <vector>

namespace torva {

// A link/node file: one quantity of the whole channel network, one row block
// per output step.
enum class LinkNodeMode { value = 0, difference = 1, ratio = 2 };

struct LinkNodeFile {
    std::FILE* file = nullptr;
    LinkNodeMode mode = LinkNodeMode::value;
    const char* first_line = "";  // the file word, with its newline
    std::string path;             // as opened, for messages
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
    std::FILE* summary = nullptr;
    std::FILE* outlet_hydrograph = nullptr;     // OUTLET_HYDRO
    std::FILE* six_digit_hydrograph = nullptr;  // SIG_OUTLET_HYDRO
    std::string outlet_hydrograph_path;         // as opened, for the host file
    int outlet_rows = 0;                        // rows written to the outlet file

    std::vector<LinkNodeLocation> hydrograph_locations;  // IN_HYD_LOCATION
    std::FILE* hydrograph_location_file = nullptr;       // OUT_HYD_LOCATION
    std::FILE* depth_location_file = nullptr;            // OUT_DEP_LOCATION
    std::FILE* concentration_location_file = nullptr;    // OUT_CON_LOCATION
    std::FILE* mass_location_file = nullptr;             // OUT_MASS_LOCATION
    std::vector<CellLocation> moisture_locations;        // IN_THETA_LOCATION
    std::FILE* moisture_location_file = nullptr;         // OUT_THETA_LOCATION
    std::FILE* lake_output = nullptr;                    // LAKE_OUTPUT

    LinkNodeFile channel_depth;      // CHAN_DEPTH
    LinkNodeFile channel_discharge;  // CHAN_DISCHARGE
    LinkNodeFile channel_stage;      // CHAN_STAGE
    LinkNodeFile channel_velocity;   // CHAN_VELOCITY
    LinkNodeFile flood_stream;       // FLOOD_STREAM
    LinkNodeFile channel_sed_flux;   // CHAN_SED_FLUX
};

}  // namespace torva

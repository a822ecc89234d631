#pragma once
// Hydrograph and time-series output, and the output files the cards name.

#include <cstdio>
#include <string>
#include <vector>

namespace torva {

struct Model;
struct RunContext;
struct CalendarTime;

// Per-node values of the channel network, [node][link], both from 1.
using NodeLinkValues = std::vector<std::vector<double>>;

// A link/node file: one quantity of the whole channel network, one row block
// per output step.
enum class LinkNodeMode { value = 0, difference = 1, ratio = 2 };

struct LinkNodeFile {
    std::FILE* file = nullptr;
    LinkNodeMode mode = LinkNodeMode::value;
    const char* first_line = "";  // the file word, with its newline
    int rows_written = 0;
};

// What the link/node writers need to know of the network; the channel set-up
// fills it. Links run from 1 to num_links.
struct LinkNodeNetwork {
    int num_links = 0;
    std::vector<int> node_count;  // per link
    std::vector<int> link_type;   // per link, bit set
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

    LinkNodeNetwork network;
    LinkNodeFile channel_depth;      // CHAN_DEPTH
    LinkNodeFile channel_discharge;  // CHAN_DISCHARGE
    LinkNodeFile channel_stage;      // CHAN_STAGE
    LinkNodeFile channel_velocity;   // CHAN_VELOCITY
    LinkNodeFile flood_stream;       // FLOOD_STREAM
    LinkNodeFile channel_sed_flux;   // CHAN_SED_FLUX
};

// m3/s to ft3/s (QOUT_CFS).
inline constexpr double kCfsPerCms = 35.31466672;

// Opens the summary file and the output files named by the cards, and reads
// the location lists.
void open_run_files(Model& model, RunContext& ctx);
// Writes the headers of the link/node output files.
void write_link_node_headers(Model& model, RunContext& ctx);
// Writes the hydrograph and location rows that fall due; after the last step
// of a completed run, writes the host hydrograph file.
void hydrograph_output_phase(Model& model, RunContext& ctx);
// Closes every output file of the run.
void close_run_files(Model& model, RunContext& ctx);

// The time value of a long-term run's rows: the Julian date with
// STRICT_JULIAN_DATE; otherwise day of year and fraction when the weather
// data lie in one year, else year and fraction of the year.
double long_term_time(const Model& model, int first_weather_year, int last_weather_year);

// Link/node header: the file word and the five header lines.
bool write_link_node_header(RunContext& ctx, std::FILE* file, const char* first_line, int num_links,
                            int minutes_between_rows, int num_rows, const CalendarTime& start);
// One row block of a link/node file. `second` is the divisor or subtrahend of
// modes 1 and 2; `link_values` the link's own value of links with bits 32 or
// 64; `shown_nodes`, where given, the nodes per link that carry values (the
// rest are written as missing). False, with the message printed, when the
// file cannot be written.
bool write_link_node_rows(RunContext& ctx, LinkNodeFile& out, const LinkNodeNetwork& network,
                          const NodeLinkValues& values, const NodeLinkValues* second,
                          const std::vector<double>& link_values,
                          const std::vector<int>* shown_nodes = nullptr);

// The file for the graphical host, assembled from the outlet hydrograph file.
void write_host_hydrograph(Model& model, RunContext& ctx);

}  // namespace torva

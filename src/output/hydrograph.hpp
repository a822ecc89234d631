#pragma once
// Hydrograph and time-series output, and the output files the cards name.

#include <cstdio>
#include <string>
#include <vector>

#include "output/hydrograph_state.hpp"

namespace torva {

struct Model;
struct RunContext;
struct CalendarTime;

// m3/s to ft3/s (QOUT_CFS).
inline constexpr double kCfsPerCms = 35.31466672;

// Opens the summary file and the output files named by the cards.
void open_run_files(Model& model, RunContext& ctx);
// Reads the location lists (IN_HYD_LOCATION, IN_THETA_LOCATION) once the grid
// is read: an entry that does not read, a count beyond the entries given and a
// soil moisture cell outside the grid or the mask stop the run naming it.
void read_location_lists(Model& model, RunContext& ctx);
// Writes the hydrograph and location rows that fall due; after the last step
// of a completed run, writes the host hydrograph file.
void hydrograph_output_phase(Model& model, RunContext& ctx);
// Closes every output file of the run.
void close_run_files(Model& model, RunContext& ctx);

// The time value of a long-term run's rows: the Julian date with
// STRICT_JULIAN_DATE; otherwise day of year and fraction when the weather
// data lie in one year, else year and fraction of the year.
double long_term_time(const Model& model, int first_weather_year, int last_weather_year);

// The file for the graphical host, assembled from the outlet hydrograph file.
void write_host_hydrograph(Model& model, RunContext& ctx);

}  // namespace torva

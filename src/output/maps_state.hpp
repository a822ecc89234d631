#pragma once
// The map output of one simulation: the form the MAP_TYPE card chose, the
// kinds whose cards are given, and their open files.

#include <cstdio>
#include <string>
#include <vector>

#include "core/output_files.hpp"

namespace torva {

// The MAP_TYPE card: 0 grid series, 1 text dataset, 2 binary dataset, 5 one
// NetCDF file per kind, 6 one GeoTIFF per kind and time; any other value
// writes none of the kinds.
enum class MapForm { grid_series, text_dataset, binary_dataset, netcdf, geotiff, none };

// The state-variable maps, in the order their files are opened.
enum class MapKind {
    depth,
    discharge,
    rain,
    infiltrated_depth,
    infiltration_rate,
    surface_moisture,
    groundwater_head,
    sediment_flux,
    sediment_volume,
    suspended_sediment,
    contaminant,
    flood_grid,
};

// One kind whose card is given.
struct MapOutput {
    MapKind kind = MapKind::depth;
    std::string name;  // the card's argument: the file, or a grid series' folder
    std::string path;  // the dataset or NetCDF file as opened
    OutputFile dataset;
    int netcdf = -1;         // NetCDF file id, -1 when none is open
    int netcdf_values = -1;  // its variable of values
    int netcdf_time = -1;    // its time variable
};

struct MapOutputs {
    MapForm form = MapForm::none;
    int series_counter = 0;  // sets of grid series (or GeoTIFF) files written so far
    int netcdf_steps = 0;    // time steps written to the NetCDF files
    std::vector<MapOutput> outputs;
    // Every grid position's value, for the raster library's writers.
    std::vector<double> full_grid;
    // Values of a kind computed for the map (discharge magnitudes, or zeros
    // for a quantity this run does not compute), N + 1 entries.
    std::vector<double> scratch;
};

}  // namespace torva

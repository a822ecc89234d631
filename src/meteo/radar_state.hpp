#pragma once
// The radar grid of one simulation: the raster of the current radar file and
// the radar cell of every watershed cell.

#include <string>
#include <vector>

namespace torva {

// The six header values of a radar raster, or the georeference of a GeoTIFF
// or NetCDF radar file.
struct RadarHeader {
    int cols = 0;
    int rows = 0;
    double west = 0.0;   // x of the lower-left corner
    double south = 0.0;  // y of the lower-left corner
    double cell_size = 0.0;
    double no_data = 0.0;
    bool has_no_data = true;
    // Values in mm/h rather than the inches per hour of radar rasters (a
    // GeoTIFF or NetCDF file whose unit says so).
    bool millimetres = false;
    std::string spatial_reference;  // WKT of a GeoTIFF or NetCDF file; empty for text files
    int times = 1;                  // time slices (bands) of the file
    double north() const { return south + rows * cell_size; }
};

struct RadarGrid {
    RadarHeader header;           // of the first file of the event
    std::vector<double> values;   // rows x cols, row by row from the north-west, mm/h
    std::vector<int> cell_index;  // radar index of each watershed cell, N + 1 entries
    std::vector<double> raw;      // values as read, before conversion
    std::string text;             // the last text file read
    bool mapped = false;          // the cells of the current event are mapped
};

}  // namespace torva

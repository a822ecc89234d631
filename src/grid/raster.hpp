#pragma once
// Raster map files: the grid map layout every spatial input is read from, and
// the grid map, exchange grid and dataset layouts every spatial output is
// written in.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/output_files.hpp"

namespace torva {

struct Grid;
struct RunContext;
struct RasterGeoreference;

// The six header lines of a grid map file.
struct MapHeader {
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    int rows = 0;
    int cols = 0;
};

// Largest value the census of an integer per-cell map counts.
inline constexpr int kCensusCategories = 10000;

// The readers take the open file (the caller closes it) and its path for the
// messages. The header's bounds go into the grid's georeference; its rows and
// columns must equal grid.rows and grid.cols, which are checked before any
// value is read, so a map of another size never reaches the arrays. A failure
// prints its message, raises the printed-message error (left pending for the
// caller's check) and returns false.

// Every cell into the cell-number grid at [row][column] (the watershed mask);
// the border stays 0.
bool read_full_grid_map(RunContext& ctx, std::FILE* file, std::string_view path, Grid& grid,
                        std::vector<int>& full_grid);

// The value of each cell inside the mask into values[cell number]; values must
// hold N + 1 entries. One line per row; missing or unreadable values read as 0.
// Lines after the rows draw a warning, or, with `following`, are handed back
// in it (a file that carries more than its map, such as a hot start).
bool read_real_map(RunContext& ctx, std::FILE* file, std::string_view path, Grid& grid,
                   std::vector<double>& values, std::string* following = nullptr);

// The value of each cell inside the mask into values[cell number], then the
// census of the values 1 to 10000.
bool read_integer_map(RunContext& ctx, std::FILE* file, std::string_view path, Grid& grid,
                      std::vector<int>& values);

// A map in a raster library format (GeoTIFF, NetCDF...), checked for rows and
// columns against the grid and for its cell size against GRIDSIZE: its values
// row by row from the north-west, NaN where it has no data. The readers above
// take such a map in place of the text layout on their own; index maps use
// this one. Failures are reported as above.
bool read_library_grid(RunContext& ctx, const std::string& path, const Grid& grid,
                       RasterGeoreference& geo, std::vector<double>& values);

// The georeference every map shares: the first map read (the watershed mask)
// gives the grid its corners, the first that carries a spatial reference
// gives it that. A later map whose corners lie more than half a cell from the
// grid's, or that carries another spatial reference, stops the run naming
// both maps and both corners. A text header of zeros carries no corners, a
// text map no spatial reference.
bool check_georeference(RunContext& ctx, const std::string& path, const Grid& grid,
                        const MapHeader& corners, const std::string& spatial_reference);
// The corners of a raster library map in the header's terms.
MapHeader library_corners(const RasterGeoreference& geo);
// The same, taking the map's georeference as the grid's where the grid has none yet.
bool take_georeference(RunContext& ctx, const std::string& path, Grid& grid,
                       const MapHeader& corners, const std::string& spatial_reference);

// Writers. `values` is a per-cell array of N + 1 entries; cells outside the
// mask are written as the layout's outside value. Each answers whether all of
// its writes reached the file (a full disk makes it false; the caller names
// the file and closes it).
bool write_grid_map(std::FILE* file, const Grid& grid, const std::vector<double>& values);
// The same layout with each value in the shortest digits that read back as
// exactly that value (a hot start: the next run starts from the same water).
bool write_grid_map_exact(std::FILE* file, const Grid& grid, const std::vector<double>& values);
// The cell-number grid itself, one "%d " per cell (the maskmap file).
bool write_cell_number_map(std::FILE* file, const Grid& grid);
bool write_exchange_grid(std::FILE* file, const Grid& grid, const std::vector<double>& values);

// The no-data value an exchange grid declares in its header and writes for
// every cell outside the mask.
inline constexpr const char* kExchangeNoData = "-9999.99";

enum class DatasetEncoding { text, binary };

// Creates a dataset file (numbered in numbered runs) and writes its header.
// Returns a file that is not open after raising "Can't open output file"
// when it cannot be created.
OutputFile open_dataset(RunContext& ctx, std::string_view path, int object_id,
                        std::string_view name, const Grid& grid, DatasetEncoding encoding);

// Appends one time step of the quantity: its time, the inside flags of all
// cells and their values (0 outside the mask). False when a write failed.
bool write_dataset_step(std::FILE* file, double time, const Grid& grid,
                        const std::vector<double>& values, DatasetEncoding encoding);

}  // namespace torva

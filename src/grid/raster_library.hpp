#pragma once
// Rasters in the formats of the raster library (GDAL): a GeoTIFF, a NetCDF
// file or any other single-band raster it reads stands in for a text map, and
// maps may be written as GeoTIFF and CF NetCDF files. A build without the
// library refuses them with a message that says how to enable it.

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace torva {

struct Grid;
struct RunContext;

// Whether this build has the raster library.
bool raster_library_built();

// Whether the start of a file (its first bytes) shows a raster for the library
// rather than a text layout: binary content such as GeoTIFF, NetCDF or HDF, or
// an XML raster description. With `ascii_grids`, a text grid whose first word
// is ncols or nrows counts as well.
bool looks_like_library_raster(std::string_view start, bool ascii_grids);
// The same for an open file, which is left at its start.
bool is_library_raster(std::FILE* file, bool ascii_grids);

// The georeference of a raster file's first band: a north-up grid of square
// cells whose north-western corner is (west, north).
struct RasterGeoreference {
    int cols = 0;
    int rows = 0;
    double west = 0.0;
    double north = 0.0;
    double cell_size = 0.0;
    bool has_no_data = false;
    double no_data = 0.0;
    std::string unit;               // the band's unit, empty when none
    std::string spatial_reference;  // WKT, empty when none
    int bands = 1;                  // bands (or time slices) of the file
};

// Reads the georeference and, with `values` (sized by the caller to rows x
// cols), the values of the first band row by row from the north-west, NaN
// where the band has its no-data value. Single-precision values come as the
// shortest decimals that read back as them (the decimals they were written
// from), so a float raster and the text map it was made from agree. A file
// the library cannot read, one of several bands or rasters, and a grid that is
// not north-up with square cells print their message, raise the
// printed-message error and give false.
bool read_library_raster(RunContext& ctx, const std::string& path, RasterGeoreference& geo,
                         std::vector<double>* values);
// The same for band `band` (from 1) of a raster of several bands, such as
// the time slices of a NetCDF file; a band beyond the file's stops the run.
bool read_library_raster_band(RunContext& ctx, const std::string& path, int band,
                              RasterGeoreference& geo, std::vector<double>* values);

// Whether two spatial references (WKT) name the same coordinate system; two
// empty ones do, an empty one and another do not.
bool same_spatial_reference(const std::string& a, const std::string& b);
// A short name of a spatial reference ("WGS 84 / UTM zone 33N"), for messages.
std::string spatial_reference_name(const std::string& wkt);

// Writes one GeoTIFF of rows x cols values (row by row from the north-west),
// `no_data` declared as the band's no-data value. On failure `failure` says why.
bool write_geotiff(const std::string& path, const RasterGeoreference& geo,
                   const std::vector<double>& values, std::string& failure);
// The same with the band's unit (geo.unit) and metadata items (name, value)
// of the file, such as the model time of the map.
using RasterMetadata = std::vector<std::pair<std::string, std::string>>;
bool write_geotiff(const std::string& path, const RasterGeoreference& geo,
                   const std::vector<double>& values, const RasterMetadata& metadata,
                   std::string& failure);

// A CF NetCDF file of one map kind: x, y and a time axis in minutes since the
// start of the run, values with their unit and a fill value outside the mask.
struct NetcdfMapFile {
    int file = -1;
    int values = -1;
    int time = -1;
    int steps = 0;  // time steps written
};

struct NetcdfMapDescription {
    std::string variable;   // e.g. depth
    std::string long_name;  // e.g. overland water depth
    std::string units;
    std::string time_units;  // minutes since 2020-06-01 10:00:00
    double fill_value = 0.0;
};

bool create_netcdf_map(const std::string& path, const RasterGeoreference& geo,
                       const NetcdfMapDescription& description, NetcdfMapFile& nc,
                       std::string& failure);
// Appends one time step of rows x cols values.
bool append_netcdf_map(NetcdfMapFile& nc, const RasterGeoreference& geo, double minutes,
                       const std::vector<double>& values, std::string& failure);
bool close_netcdf_map(NetcdfMapFile& nc, std::string& failure);

// The NetCDF library guards none of its own state, so every use of it in the
// process, writing maps or reading a NetCDF raster, holds this lock.
std::mutex& netcdf_library_lock();

}  // namespace torva

// The raster library is not part of this build: every raster it would read or
// write is refused with a message that says how to enable it.

#include "core/context.hpp"
#include "core/errors.hpp"
#include "grid/raster_library.hpp"

namespace torva {
namespace {

constexpr const char* kHowToEnable =
    "this TORVA was built without GDAL; install it (apt-get install libgdal-dev) and build with "
    "cmake -DTORVA_WITH_GDAL=ON";

}  // namespace

bool raster_library_built() {
    return false;
}

bool read_library_raster(RunContext& ctx, const std::string& path, RasterGeoreference&,
                         std::vector<double>*) {
    ctx.print("Error: %s is a GeoTIFF, NetCDF or other GDAL raster, but %s\n", path.c_str(),
              kHowToEnable);
    ctx.error.raise(err::message_printed);
    return false;
}

bool read_library_raster_band(RunContext& ctx, const std::string& path, int,
                              RasterGeoreference& geo, std::vector<double>* values) {
    return read_library_raster(ctx, path, geo, values);
}

// Without the library no map carries a spatial reference.
bool same_spatial_reference(const std::string& a, const std::string& b) {
    return a == b;
}

std::string spatial_reference_name(const std::string& wkt) {
    return wkt.empty() ? "none" : "unnamed";
}

bool write_geotiff(const std::string&, const RasterGeoreference&, const std::vector<double>&,
                   std::string& failure) {
    failure = kHowToEnable;
    return false;
}

bool write_geotiff(const std::string&, const RasterGeoreference&, const std::vector<double>&,
                   const RasterMetadata&, std::string& failure) {
    failure = kHowToEnable;
    return false;
}

bool create_netcdf_map(const std::string&, const RasterGeoreference&, const NetcdfMapDescription&,
                       NetcdfMapFile&, std::string& failure) {
    failure = kHowToEnable;
    return false;
}

bool append_netcdf_map(NetcdfMapFile&, const RasterGeoreference&, double,
                       const std::vector<double>&, std::string& failure) {
    failure = kHowToEnable;
    return false;
}

bool close_netcdf_map(NetcdfMapFile&, std::string&) {
    return true;
}

}  // namespace torva

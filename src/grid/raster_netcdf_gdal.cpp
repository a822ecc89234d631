// CF NetCDF map files, written through the NetCDF library that GDAL brings:
// GDAL's own NetCDF writer cannot grow a time axis one map at a time.

#include <netcdf.h>
#include <ogr_srs_api.h>

#include <mutex>
#include <string>
#include <vector>

#include "grid/raster_library.hpp"

namespace torva {
namespace {

bool failed(int status, std::string& failure) {
    if (status == NC_NOERR)
        return false;
    failure = nc_strerror(status);
    return true;
}

int put_text(int file, int variable, const char* name, const std::string& text) {
    return nc_put_att_text(file, variable, name, text.size(), text.c_str());
}

int put_number(int file, int variable, const char* name, double value) {
    return nc_put_att_double(file, variable, name, NC_DOUBLE, 1, &value);
}

// The CF grid mapping of a spatial reference: grid_mapping_name and the
// parameters the conventions give that mapping (Appendix F of CF), with the
// ellipsoid. The projections of the usual map grids are named; another is
// described by its WKT alone.
struct CfParameter {
    const char* cf_name;
    const char* wkt_name;
    double fallback;
};
struct CfProjection {
    const char* wkt_projection;
    const char* cf_name;
    std::vector<CfParameter> parameters;
};

const std::vector<CfProjection>& cf_projections() {
    static const std::vector<CfProjection> projections = {
        {SRS_PT_TRANSVERSE_MERCATOR,
         "transverse_mercator",
         {{"scale_factor_at_central_meridian", SRS_PP_SCALE_FACTOR, 1.0},
          {"longitude_of_central_meridian", SRS_PP_CENTRAL_MERIDIAN, 0.0},
          {"latitude_of_projection_origin", SRS_PP_LATITUDE_OF_ORIGIN, 0.0},
          {"false_easting", SRS_PP_FALSE_EASTING, 0.0},
          {"false_northing", SRS_PP_FALSE_NORTHING, 0.0}}},
        {SRS_PT_LAMBERT_CONFORMAL_CONIC_2SP,
         "lambert_conformal_conic",
         {{"longitude_of_central_meridian", SRS_PP_CENTRAL_MERIDIAN, 0.0},
          {"latitude_of_projection_origin", SRS_PP_LATITUDE_OF_ORIGIN, 0.0},
          {"false_easting", SRS_PP_FALSE_EASTING, 0.0},
          {"false_northing", SRS_PP_FALSE_NORTHING, 0.0}}},
        {SRS_PT_ALBERS_CONIC_EQUAL_AREA,
         "albers_conical_equal_area",
         {{"longitude_of_central_meridian", SRS_PP_LONGITUDE_OF_CENTER, 0.0},
          {"latitude_of_projection_origin", SRS_PP_LATITUDE_OF_CENTER, 0.0},
          {"false_easting", SRS_PP_FALSE_EASTING, 0.0},
          {"false_northing", SRS_PP_FALSE_NORTHING, 0.0}}},
    };
    return projections;
}

int put_grid_mapping(int file, int crs, const std::string& wkt) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(wkt.c_str());
    if (!srs)
        return NC_NOERR;
    int s = NC_NOERR;
    const char* projection = OSRGetAttrValue(srs, "PROJECTION", 0);
    if (OSRIsGeographic(srs)) {
        s = put_text(file, crs, "grid_mapping_name", "latitude_longitude");
    } else if (projection) {
        for (const CfProjection& p : cf_projections()) {
            if (std::string(projection) != p.wkt_projection)
                continue;
            s = put_text(file, crs, "grid_mapping_name", p.cf_name);
            for (const CfParameter& parameter : p.parameters)
                if (s == NC_NOERR)
                    s = put_number(
                        file, crs, parameter.cf_name,
                        OSRGetProjParm(srs, parameter.wkt_name, parameter.fallback, nullptr));
            if (s == NC_NOERR &&
                p.wkt_projection == std::string(SRS_PT_LAMBERT_CONFORMAL_CONIC_2SP)) {
                const double parallels[2] = {
                    OSRGetProjParm(srs, SRS_PP_STANDARD_PARALLEL_1, 0.0, nullptr),
                    OSRGetProjParm(srs, SRS_PP_STANDARD_PARALLEL_2, 0.0, nullptr)};
                s = nc_put_att_double(file, crs, "standard_parallel", NC_DOUBLE, 2, parallels);
            }
        }
    }
    OGRErr error = OGRERR_NONE;
    if (s == NC_NOERR)
        s = put_number(file, crs, "semi_major_axis", OSRGetSemiMajor(srs, &error));
    if (s == NC_NOERR)
        s = put_number(file, crs, "inverse_flattening", OSRGetInvFlattening(srs, &error));
    OSRDestroySpatialReference(srs);
    return s;
}

// A grid in longitude and latitude takes those as its coordinates.
bool is_geographic(const std::string& wkt) {
    if (wkt.empty())
        return false;
    OGRSpatialReferenceH srs = OSRNewSpatialReference(wkt.c_str());
    const bool geographic = srs && OSRIsGeographic(srs);
    OSRDestroySpatialReference(srs);
    return geographic;
}

}  // namespace

// The library keeps one table of open files for the whole process and does
// not guard it: simulations side by side (a calibration's workers, a Python
// thread pool) that create, write or close their map files at the same moment
// could take one slot of it for two files.
std::mutex& netcdf_library_lock() {
    static std::mutex lock;
    return lock;
}

bool create_netcdf_map(const std::string& path, const RasterGeoreference& geo,
                       const NetcdfMapDescription& d, NetcdfMapFile& nc, std::string& failure) {
    std::lock_guard<std::mutex> hold(netcdf_library_lock());
    int file = -1;
    if (failed(nc_create(path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &file), failure))
        return false;
    nc.file = file;
    int old_fill = 0;
    int time_dim = -1, y_dim = -1, x_dim = -1, x_var = -1, y_var = -1, crs = -1;
    int s = nc_set_fill(file, NC_NOFILL, &old_fill);
    if (s == NC_NOERR)
        s = nc_def_dim(file, "time", NC_UNLIMITED, &time_dim);
    if (s == NC_NOERR)
        s = nc_def_dim(file, "y", geo.rows, &y_dim);
    if (s == NC_NOERR)
        s = nc_def_dim(file, "x", geo.cols, &x_dim);
    if (s == NC_NOERR)
        s = nc_def_var(file, "time", NC_DOUBLE, 1, &time_dim, &nc.time);
    if (s == NC_NOERR)
        s = put_text(file, nc.time, "standard_name", "time");
    if (s == NC_NOERR)
        s = put_text(file, nc.time, "units", d.time_units);
    if (s == NC_NOERR)
        s = put_text(file, nc.time, "calendar", "standard");
    if (s == NC_NOERR)
        s = put_text(file, nc.time, "axis", "T");
    if (s == NC_NOERR)
        s = nc_def_var(file, "y", NC_DOUBLE, 1, &y_dim, &y_var);
    const bool geographic = is_geographic(geo.spatial_reference);
    if (s == NC_NOERR)
        s = put_text(file, y_var, "standard_name",
                     geographic ? "latitude" : "projection_y_coordinate");
    if (s == NC_NOERR)
        s = put_text(file, y_var, "units", geographic ? "degrees_north" : "m");
    if (s == NC_NOERR)
        s = put_text(file, y_var, "axis", "Y");
    if (s == NC_NOERR)
        s = nc_def_var(file, "x", NC_DOUBLE, 1, &x_dim, &x_var);
    if (s == NC_NOERR)
        s = put_text(file, x_var, "standard_name",
                     geographic ? "longitude" : "projection_x_coordinate");
    if (s == NC_NOERR)
        s = put_text(file, x_var, "units", geographic ? "degrees_east" : "m");
    if (s == NC_NOERR)
        s = put_text(file, x_var, "axis", "X");
    if (s == NC_NOERR && !geo.spatial_reference.empty()) {
        s = nc_def_var(file, "crs", NC_INT, 0, nullptr, &crs);
        if (s == NC_NOERR)
            s = put_text(file, crs, "crs_wkt", geo.spatial_reference);
        if (s == NC_NOERR)
            s = put_text(file, crs, "spatial_ref", geo.spatial_reference);
        if (s == NC_NOERR)
            s = put_grid_mapping(file, crs, geo.spatial_reference);
    }
    const int dims[3] = {time_dim, y_dim, x_dim};
    if (s == NC_NOERR)
        s = nc_def_var(file, d.variable.c_str(), NC_DOUBLE, 3, dims, &nc.values);
    if (s == NC_NOERR)
        s = nc_put_att_double(file, nc.values, "_FillValue", NC_DOUBLE, 1, &d.fill_value);
    if (s == NC_NOERR)
        s = put_text(file, nc.values, "long_name", d.long_name);
    if (s == NC_NOERR && !d.units.empty())
        s = put_text(file, nc.values, "units", d.units);
    if (s == NC_NOERR && crs >= 0)
        s = put_text(file, nc.values, "grid_mapping", "crs");
    if (s == NC_NOERR)
        s = put_text(file, NC_GLOBAL, "Conventions", "CF-1.8");
    if (s == NC_NOERR)
        s = put_text(file, NC_GLOBAL, "source", "TORVA watershed model");
    if (s == NC_NOERR)
        s = nc_enddef(file);
    std::vector<double> centres(static_cast<std::size_t>(std::max(geo.rows, geo.cols)));
    for (int c = 0; c < geo.cols && s == NC_NOERR; ++c)
        centres[c] = geo.west + (c + 0.5) * geo.cell_size;
    if (s == NC_NOERR)
        s = nc_put_var_double(file, x_var, centres.data());
    for (int r = 0; r < geo.rows && s == NC_NOERR; ++r)
        centres[r] = geo.north - (r + 0.5) * geo.cell_size;
    if (s == NC_NOERR)
        s = nc_put_var_double(file, y_var, centres.data());
    if (failed(s, failure)) {
        nc_close(file);
        nc.file = -1;
        return false;
    }
    return true;
}

bool append_netcdf_map(NetcdfMapFile& nc, const RasterGeoreference& geo, double minutes,
                       const std::vector<double>& values, std::string& failure) {
    std::lock_guard<std::mutex> hold(netcdf_library_lock());
    const std::size_t step = static_cast<std::size_t>(nc.steps);
    const std::size_t start[3] = {step, 0, 0};
    const std::size_t count[3] = {1, static_cast<std::size_t>(geo.rows),
                                  static_cast<std::size_t>(geo.cols)};
    const std::size_t one = 1;
    int s = nc_put_vara_double(nc.file, nc.values, start, count, values.data());
    if (s == NC_NOERR)
        s = nc_put_vara_double(nc.file, nc.time, &step, &one, &minutes);
    if (s == NC_NOERR)
        s = nc_sync(nc.file);
    if (failed(s, failure))
        return false;
    ++nc.steps;
    return true;
}

bool close_netcdf_map(NetcdfMapFile& nc, std::string& failure) {
    std::lock_guard<std::mutex> hold(netcdf_library_lock());
    if (nc.file < 0)
        return true;
    const int s = nc_close(nc.file);
    nc.file = -1;
    return !failed(s, failure);
}

}  // namespace torva

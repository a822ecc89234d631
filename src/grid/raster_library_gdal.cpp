// Reading rasters and writing GeoTIFFs through GDAL.

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "grid/raster_library.hpp"

namespace torva {
namespace {

// The library is set up once per process; its own messages are kept from the
// console and given in ours instead.
void set_up_library() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

struct DatasetCloser {
    void operator()(GDALDatasetH dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

std::string library_message() {
    const char* message = CPLGetLastErrorMsg();
    return message && *message ? message : "the file is not a raster GDAL reads";
}

template <typename... Args>
bool stop(RunContext& ctx, const char* format, Args... args) {
    ctx.print(format, args...);
    ctx.error.raise(err::message_printed);
    return false;
}

// The double nearest to the shortest decimal that reads back as `f`.
double as_written_decimal(float f) {
    if (!std::isfinite(f) || f == std::trunc(f))
        return f;
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, written.ptr, d);
    return d;
}

}  // namespace

bool raster_library_built() {
    return true;
}

bool read_library_raster(RunContext& ctx, const std::string& path, RasterGeoreference& geo,
                         std::vector<double>* values) {
    return read_library_raster_band(ctx, path, 0, geo, values);
}

// Band 0 asks for the only band of a single-band raster.
bool read_library_raster_band(RunContext& ctx, const std::string& path, int band_number,
                              RasterGeoreference& geo, std::vector<double>* values) {
    set_up_library();
    CPLErrorReset();
    // A NetCDF file is read through the NetCDF library, which simulations
    // beside this one may be writing maps with.
    std::unique_lock<std::mutex> netcdf_use;
    if (GDALDriverH driver = GDALIdentifyDriver(path.c_str(), nullptr);
        driver && std::string_view(GDALGetDriverShortName(driver)) == "netCDF")
        netcdf_use = std::unique_lock<std::mutex>(netcdf_library_lock());
    Dataset dataset(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!dataset)
        return stop(ctx, "Error: can't read raster %s: %s\n", path.c_str(),
                    library_message().c_str());
    const int bands = GDALGetRasterCount(dataset.get());
    if (band_number == 0 && bands != 1)
        return stop(ctx,
                    "Error: raster %s holds %d bands or variables; a map or radar file holds "
                    "one\n",
                    path.c_str(), bands);
    // A raster of one grid serves every record that names it.
    if (bands == 1)
        band_number = 1;
    if (band_number > bands)
        return stop(ctx, "Error: raster %s holds %d bands or times; time %d was asked for\n",
                    path.c_str(), bands, band_number);
    geo.bands = bands;
    std::array<double, 6> t{};
    const bool georeferenced = GDALGetGeoTransform(dataset.get(), t.data()) == CE_None;
    if (!georeferenced || t[2] != 0.0 || t[4] != 0.0 || t[5] >= 0.0 ||
        std::fabs(t[1] + t[5]) > 1e-9 * std::fabs(t[1]))
        return stop(ctx, "Error: raster %s is not a north-up grid of square cells\n", path.c_str());
    GDALRasterBandH band = GDALGetRasterBand(dataset.get(), std::max(band_number, 1));
    geo.cols = GDALGetRasterXSize(dataset.get());
    geo.rows = GDALGetRasterYSize(dataset.get());
    geo.west = t[0];
    geo.north = t[3];
    geo.cell_size = t[1];
    int has_no_data = 0;
    geo.no_data = GDALGetRasterNoDataValue(band, &has_no_data);
    geo.has_no_data = has_no_data != 0;
    const char* unit = GDALGetRasterUnitType(band);
    geo.unit = unit ? unit : "";
    const char* wkt = GDALGetProjectionRef(dataset.get());
    geo.spatial_reference = wkt ? wkt : "";
    if (!values || values->size() != static_cast<std::size_t>(geo.rows) * geo.cols)
        return true;
    constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
    const bool single = GDALGetRasterDataType(band) == GDT_Float32;
    if (!single) {
        if (GDALRasterIO(band, GF_Read, 0, 0, geo.cols, geo.rows, values->data(), geo.cols,
                         geo.rows, GDT_Float64, 0, 0) != CE_None)
            return stop(ctx, "Error: can't read the values of raster %s: %s\n", path.c_str(),
                        library_message().c_str());
        if (geo.has_no_data)
            std::replace(values->begin(), values->end(), geo.no_data, kNoValue);
        return true;
    }
    // Single-precision values are read as the decimals they were written
    // from: a 364.6337 stored as the float nearest to it is 364.6337, not
    // 364.63369750976562, so a map gives the same run whether it comes as text
    // or as a float raster.
    std::vector<float> singles;
    if (!allocate(ctx, singles, values->size(), "map_values"))
        return false;
    if (GDALRasterIO(band, GF_Read, 0, 0, geo.cols, geo.rows, singles.data(), geo.cols, geo.rows,
                     GDT_Float32, 0, 0) != CE_None)
        return stop(ctx, "Error: can't read the values of raster %s: %s\n", path.c_str(),
                    library_message().c_str());
    const float no_data = static_cast<float>(geo.no_data);
    std::transform(singles.begin(), singles.end(), values->begin(), [&](float f) {
        return geo.has_no_data && f == no_data ? kNoValue : as_written_decimal(f);
    });
    return true;
}

bool same_spatial_reference(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    if (a == b)
        return true;
    set_up_library();
    OGRSpatialReferenceH first = OSRNewSpatialReference(a.c_str());
    OGRSpatialReferenceH second = OSRNewSpatialReference(b.c_str());
    const bool same = first && second && OSRIsSame(first, second) != 0;
    OSRDestroySpatialReference(first);
    OSRDestroySpatialReference(second);
    return same;
}

std::string spatial_reference_name(const std::string& wkt) {
    if (wkt.empty())
        return "none";
    set_up_library();
    OGRSpatialReferenceH srs = OSRNewSpatialReference(wkt.c_str());
    const char* name = srs ? OSRGetName(srs) : nullptr;
    std::string shown = name && *name ? name : "unnamed";
    OSRDestroySpatialReference(srs);
    return shown;
}

bool write_geotiff(const std::string& path, const RasterGeoreference& geo,
                   const std::vector<double>& values, std::string& failure) {
    return write_geotiff(path, geo, values, RasterMetadata{}, failure);
}

bool write_geotiff(const std::string& path, const RasterGeoreference& geo,
                   const std::vector<double>& values, const RasterMetadata& metadata,
                   std::string& failure) {
    set_up_library();
    CPLErrorReset();
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (!driver || values.size() != static_cast<std::size_t>(geo.rows) * geo.cols) {
        failure = "no GeoTIFF driver";
        return false;
    }
    GDALDatasetH dataset =
        GDALCreate(driver, path.c_str(), geo.cols, geo.rows, 1, GDT_Float64, nullptr);
    if (!dataset) {
        failure = library_message();
        return false;
    }
    double t[6] = {geo.west, geo.cell_size, 0.0, geo.north, 0.0, -geo.cell_size};
    bool written = GDALSetGeoTransform(dataset, t) == CE_None;
    if (!geo.spatial_reference.empty())
        written = GDALSetProjection(dataset, geo.spatial_reference.c_str()) == CE_None && written;
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (geo.has_no_data)
        written = GDALSetRasterNoDataValue(band, geo.no_data) == CE_None && written;
    if (!geo.unit.empty())
        written = GDALSetRasterUnitType(band, geo.unit.c_str()) == CE_None && written;
    for (const auto& [name, value] : metadata)
        written = GDALSetMetadataItem(dataset, name.c_str(), value.c_str(), nullptr) == CE_None &&
                  written;
    written =
        GDALRasterIO(band, GF_Write, 0, 0, geo.cols, geo.rows, const_cast<double*>(values.data()),
                     geo.cols, geo.rows, GDT_Float64, 0, 0) == CE_None &&
        written;
    GDALClose(dataset);
    written = written && CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
    if (!written)
        failure = library_message();
    return written;
}

}  // namespace torva

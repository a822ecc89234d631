// Reading rasters and writing GeoTIFFs through GDAL.

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <array>
#include <cmath>
#include <memory>
#include <mutex>

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

}  // namespace

bool raster_library_built() {
    return true;
}

bool read_library_raster(RunContext& ctx, const std::string& path, RasterGeoreference& geo,
                         std::vector<double>* values) {
    set_up_library();
    CPLErrorReset();
    Dataset dataset(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!dataset)
        return stop(ctx, "Error: can't read raster %s: %s\n", path.c_str(),
                    library_message().c_str());
    const int bands = GDALGetRasterCount(dataset.get());
    if (bands != 1)
        return stop(ctx,
                    "Error: raster %s holds %d bands or variables; a map or radar file holds "
                    "one\n",
                    path.c_str(), bands);
    std::array<double, 6> t{};
    const bool georeferenced = GDALGetGeoTransform(dataset.get(), t.data()) == CE_None;
    if (!georeferenced || t[2] != 0.0 || t[4] != 0.0 || t[5] >= 0.0 ||
        std::fabs(t[1] + t[5]) > 1e-9 * std::fabs(t[1]))
        return stop(ctx, "Error: raster %s is not a north-up grid of square cells\n", path.c_str());
    GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
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
    if (GDALRasterIO(band, GF_Read, 0, 0, geo.cols, geo.rows, values->data(), geo.cols, geo.rows,
                     GDT_Float64, 0, 0) != CE_None)
        return stop(ctx, "Error: can't read the values of raster %s: %s\n", path.c_str(),
                    library_message().c_str());
    return true;
}

bool write_geotiff(const std::string& path, const RasterGeoreference& geo,
                   const std::vector<double>& values, std::string& failure) {
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

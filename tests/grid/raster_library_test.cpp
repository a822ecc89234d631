// Rasters of the raster library in place of text maps: GeoTIFF maps give the
// same run as their text originals, are checked against the grid like them,
// and the NetCDF and GeoTIFF map outputs hold the values of the text maps.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "grid/raster_library.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

#ifdef TORVA_WITH_GDAL
#include <gdal.h>
#endif

namespace torva {
namespace {

using test::read_file;
using test::run_program_in;
using test::TempDir;
namespace fs = std::filesystem;

// The same grid as a GeoTIFF: every value of a text grid map, its bounds as
// the georeference.
void convert_to_geotiff(const fs::path& map, double no_data = -9999.0) {
    std::istringstream in(read_file(map));
    std::string word;
    double north, south, east, west;
    RasterGeoreference geo;
    in >> word >> north >> word >> south >> word >> east >> word >> west >> word >> geo.rows >>
        word >> geo.cols;
    geo.west = west;
    geo.north = north;
    geo.cell_size = (east - west) / geo.cols;
    geo.has_no_data = true;
    geo.no_data = no_data;
    std::vector<double> values(static_cast<std::size_t>(geo.rows) * geo.cols);
    for (double& v : values) in >> v;
    std::string failure;
    ASSERT_TRUE(write_geotiff(map.string(), geo, values, failure)) << failure;
}

TEST(LibraryRaster, RecognisesRastersByTheirFirstBytes) {
    EXPECT_TRUE(looks_like_library_raster(std::string_view("II*\0\x08\0\0\0", 8), false));
    EXPECT_TRUE(looks_like_library_raster("CDF\x01", false));
    EXPECT_TRUE(looks_like_library_raster("<VRTDataset rasterXSize=\"3\"", false));
    EXPECT_TRUE(looks_like_library_raster("NCOLS 3\nnrows 3\n", true));
    EXPECT_FALSE(looks_like_library_raster("ncols 3\nnrows 3\n", false));
    EXPECT_FALSE(looks_like_library_raster("north: 30\nsouth: 0\n", true));
}

#ifdef TORVA_WITH_GDAL

// A GeoTIFF is checked like a text map, and for its cell size as well; no
// data is allowed outside the mask only. Each case turns one map of a small
// project with a land-use index map into a GeoTIFF.
TEST(LibraryRaster, MapsOfAnotherShapeOrCellSizeOrWithoutValuesAreRefused) {
    // A map of rows x cols cells of `cell` m, all 1 but `value` at row r, column c.
    const auto ones = [](int rows, int cols, double cell, int r = 0, int c = 0, double value = 1) {
        return test::map_of(rows, cols, cell,
                            [=](int i, int j) { return i == r && j == c ? value : 1.0; });
    };
    const std::string no_value = "Error: map elevation.ele has no value at row ";
    const std::string size = "Incorrect cell size 5.000000 in map: ";
    const struct {
        std::string file;  // converted to a GeoTIFF
        std::string text;
        std::string message;  // a run that succeeds prints it, or nothing when empty
        int status = 1;
    } cases[] = {
        {"elevation.ele", ones(3, 3, 5), size + "elevation.ele (GRIDSIZE is 10.000000)\n"},
        {"elevation.ele", ones(4, 3, 10), "Incorrect number of rows in map: elevation.ele\n"},
        {"elevation.ele", ones(3, 3, 10, 2, 2, -9999),
         no_value + "2, column 2, inside the watershed\n"},
        {"elevation.ele", ones(3, 3, 10, 1, 1, -9999), "", 0},
        {"mask.msk", ones(3, 3, 10, 2, 2, 0.5),
         "Error: in map mask.msk, row 2, column 2: 0.5 is not a whole number.\n"},
        {"mask.msk", ones(3, 3, 10, 1, 1, -9999), "", 0},
        {"landuse.idx", ones(3, 3, 5), size + "landuse.idx (GRIDSIZE is 10.000000)\n"},
        {"landuse.idx", ones(3, 4, 10), "Incorrect number of columns in map: landuse.idx\n"},
        {"landuse.idx", ones(3, 3, 10, 2, 2, 1.5),
         "Error: in map landuse.idx, row 2, column 2: 1.5 is not a whole number.\n"},
        {"landuse.idx", ones(3, 3, 10, 1, 3, -9999),
         "Error: map landuse.idx has no value at row 1, column 3, inside the watershed\n"},
        {"landuse.idx", ones(3, 3, 10, 1, 1, -9999), "In map landuse.idx category 1 has 8 values\n",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + "\n" + c.text);
        TempDir dir;
        test::write_small_project(dir);
        dir.write("p.prj", test::edited_project("-MANNING_N\nMAPPING_TABLE land.cmt"));
        dir.write("land.cmt",
                  "TORVA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n"
                  "ROUGHNESS \"Land use\"\nNUM_IDS 1\nID DESCRIPTION N\n" +
                      test::table_row(1, "0.05") + "\n");
        dir.write("mask.msk", ones(3, 3, 10, 1, 1, 0));
        dir.write("landuse.idx", ones(3, 3, 10));
        dir.write(c.file, c.text);
        convert_to_geotiff(dir.path() / c.file);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, c.status) << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.message << run.out;
    }
}

std::vector<double> read_band(const fs::path& file, int band) {
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(file.c_str(), GA_ReadOnly);
    std::vector<double> values;
    if (!ds)
        return values;
    values.resize(static_cast<std::size_t>(GDALGetRasterXSize(ds)) * GDALGetRasterYSize(ds));
    if (GDALRasterIO(GDALGetRasterBand(ds, band), GF_Read, 0, 0, GDALGetRasterXSize(ds),
                     GDALGetRasterYSize(ds), values.data(), GDALGetRasterXSize(ds),
                     GDALGetRasterYSize(ds), GDT_Float64, 0, 0) != CE_None)
        values.clear();
    GDALClose(ds);
    return values;
}

// The values of an exchange grid, -9999.99 outside the mask.
std::vector<double> exchange_values(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < 6; ++i) std::getline(in, line);
    std::vector<double> values;
    for (double v; in >> v;) values.push_back(v);
    return values;
}

// The third depth map (counter 5, 2.5 minutes) as text, as the third time
// step of the NetCDF file and as the third GeoTIFF: equal within the text's
// four decimals; outside the mask the NetCDF and GeoTIFF fill value.
TEST(LibraryRaster, NetcdfAndGeoTiffMapsHoldTheTextMapValues) {
    TempDir dir;
    const auto run_with = [&](const std::string& cards) {
        test::write_small_project(dir, "MAP_FREQ 1\n" + cards);
        dir.write("mask.msk", test::kSmallHeader + "0 1 1\n1 1 1\n1 1 1\n");
        return run_program_in(dir.path(), {"p.prj"});
    };
    fs::create_directory(dir.path() / "asc");
    fs::create_directory(dir.path() / "tif");
    for (const char* cards :
         {"MAP_TYPE 0\nDEPTH asc\n", "MAP_TYPE 5\nDEPTH depth.nc\n", "MAP_TYPE 6\nDEPTH tif\n"})
        ASSERT_EQ(run_with(cards).status, 0) << cards;
    const std::vector<double> text = exchange_values(dir.read("asc/depth.0003.asc"));
    const std::vector<double> netcdf = read_band(dir.path() / "depth.nc", 3);
    const std::vector<double> tiff = read_band(dir.path() / "tif/depth.0003.tif", 1);
    ASSERT_EQ(std::vector({text.size(), netcdf.size(), tiff.size()}),
              std::vector<std::size_t>(3, 9));
    // The time axis counts from the project's start, 2020-06-01 10:00.
    GDALDatasetH nc = GDALOpen((dir.path() / "depth.nc").c_str(), GA_ReadOnly);
    ASSERT_NE(nc, nullptr);
    EXPECT_STREQ(GDALGetMetadataItem(nc, "time#units", nullptr),
                 "minutes since 2020-06-01 10:00:00");
    EXPECT_STREQ(GDALGetMetadataItem(GDALGetRasterBand(nc, 3), "NETCDF_DIM_time", nullptr), "2.5");
    GDALClose(nc);
    EXPECT_EQ(std::pair(netcdf[0], tiff[0]), std::pair(-9999.0, -9999.0));
    for (int k = 1; k < 9; ++k) {
        EXPECT_NEAR(netcdf[k], text[k], 0.00005) << k;
        EXPECT_EQ(tiff[k], netcdf[k]) << k;
    }
}

#endif

}  // namespace
}  // namespace torva

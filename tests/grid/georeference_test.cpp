// Where the maps lie: every map shares the watershed mask's corners (to half
// a cell) and the spatial reference of the first map that carries one, the
// outputs are placed where the mask lies, and a rain gauge far off the grid
// is named.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "grid/raster_library.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

#ifdef TORVA_WITH_GDAL
#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#endif

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::ProjectCase;
using test::TempDir;

// A 3 x 3 map of 10 m cells with the given west and south edges.
std::string map_at(double west, double south, const std::string& rows) {
    char header[200];
    std::snprintf(header, sizeof header, "north: %.2f\nsouth: %.2f\neast: %.2f\nwest: %.2f\n",
                  south + 30, south, west + 30, west);
    return header + std::string("rows: 3\ncols: 3\n") + rows;
}
const std::string kElevations = "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n";

// The small project's mask lies at west 0, south 0 (cells of 10 m): an
// elevation map 10 m east of it is refused naming both maps and both corner
// sets; one 4 m off (less than half a cell) or with a header of zeros is
// taken. Rain gauges farther off the grid than it is wide are named.
TEST(Georeference, MapsOffTheMaskAreRefusedAndDistantGaugesNamed) {
    const std::string gauges =
        "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE rain.gag\n";
    const std::string rain =
        "NRGAG 2\nNRPDS 2\nCOORD 15 -25 near\nCOORD 500015 15 far\n"
        "GAGES 2020 6 1 10 0 0 0\nGAGES 2020 6 1 10 5 1 1\n";
    test::expect_project_cases({
        {"",
         "Error: map elevation.ele lies elsewhere than map mask.msk, whose corners are the "
         "grid's: its corners are west 10.000, south 0.000, east 40.000, north 30.000, the "
         "grid's west 0.000, south 0.000, east 30.000, north 30.000 (more than half a cell "
         "apart). Give every map the corners of the watershed mask.\n",
         1,
         {{"elevation.ele", map_at(10, 0, kElevations)}}},
        {"", "Running....", 0, {{"elevation.ele", map_at(0, -4, kElevations)}}},
        {"",
         "Running....",
         0,
         {{"elevation.ele",
           "north: 0\nsouth: 0\neast: 0\nwest: 0\nrows: 3\ncols: 3\n" + kElevations}}},
        {gauges,
         "Warning: rain gauge 2 of event storm at x 500015.000, y 15.000 lies farther outside the "
         "grid (west 0.000, south 0.000, east 30.000, north 30.000) than the grid is wide; check "
         "that its coordinates are in the maps' system.\n",
         0,
         {{"rain.gag", "EVENT storm\n" + rain}}},
    });
    // The near gauge, 25 m south of a grid 30 m high, is not named.
    TempDir dir;
    test::write_small_project(dir);
    dir.write("p.prj", test::edited_project(gauges));
    dir.write("rain.gag", "EVENT storm\n" + rain);
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.out.find("rain gauge 1 "), std::string::npos) << run.out;
}

#ifdef TORVA_WITH_GDAL

std::string utm_wkt(int zone) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 32600 + zone);
    char* wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    return text;
}

// The 3 x 3 GeoTIFF of the values row by row from the north-west.
void write_tiff(const fs::path& path, double west, double north, const std::string& wkt,
                const std::vector<double>& values) {
    RasterGeoreference geo;
    geo.cols = geo.rows = 3;
    geo.west = west;
    geo.north = north;
    geo.cell_size = 10.0;
    geo.spatial_reference = wkt;
    std::string failure;
    ASSERT_TRUE(write_geotiff(path.string(), geo, values, failure)) << failure;
}

// A UTM elevation model with a text mask of the same corners: the depth maps
// lie where the mask does and carry the model's spatial reference. A text
// soil map left at the example's corners (500 km away) and a map in another
// UTM zone are refused, each naming both maps.
TEST(Georeference, OutputMapsLieOnTheGridOfTheMaskAndElevationModel) {
    const std::vector<double> z = {10.2, 10.1, 10.2, 10.1, 10.0, 10.1, 10.0, 9.9, 10.0};
    const std::string uniform = "1 1 1\n1 1 1\n1 1 1\n";
    const auto set_up = [&](const TempDir& dir, const std::string& cards) {
        test::write_small_project(dir, "MAP_TYPE 6\nDEPTH tif\n" + cards);
        fs::create_directory(dir.path() / "tif");
        dir.write("mask.msk", map_at(500000, 4100000, uniform));
        write_tiff(dir.path() / "elevation.ele", 500000, 4100030, utm_wkt(33), z);
        for (const char* name : {"c.map", "p.map", "m.map"})
            dir.write(name, map_at(500000, 4100000, "0.3 0.3 0.3\n0.3 0.3 0.3\n0.3 0.3 0.3\n"));
    };
    const std::string soil_cards =
        "GREEN_AMPT\nCAPILLARY c.map\nPOROSITY p.map\nMOISTURE m.map\nCONDUCTIVITY ";
    TempDir dir;
    set_up(dir, "");
    auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    GDALAllRegister();
    GDALDatasetH depth = GDALOpen((dir.path() / "tif/depth.0001.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(depth, nullptr);
    std::array<double, 6> t{};
    GDALGetGeoTransform(depth, t.data());
    EXPECT_EQ(t, (std::array<double, 6>{500000, 10, 0, 4100030, 0, -10}));
    EXPECT_TRUE(same_spatial_reference(GDALGetProjectionRef(depth), utm_wkt(33)));
    // The map says what it holds and when: after the first step of 30 s.
    EXPECT_STREQ(GDALGetRasterUnitType(GDALGetRasterBand(depth, 1)), "m");
    EXPECT_STREQ(GDALGetMetadataItem(depth, "TIFFTAG_DATETIME", nullptr), "2020:06:01 10:00:30");
    EXPECT_STREQ(GDALGetMetadataItem(depth, "TORVA_MINUTES_SINCE_START", nullptr), "0.5000");
    GDALClose(depth);

    // The NetCDF form names its grid mapping as the CF conventions ask.
    TempDir nc;
    set_up(nc, "");
    nc.write("p.prj", nc.read("p.prj") + "MAP_TYPE 5\nDEPTH depth.nc\n");
    ASSERT_EQ(test::run_program_in(nc.path(), {"p.prj"}).status, 0);
    GDALDatasetH cf = GDALOpen((nc.path() / "depth.nc").c_str(), GA_ReadOnly);
    ASSERT_NE(cf, nullptr);
    EXPECT_STREQ(GDALGetMetadataItem(cf, "crs#grid_mapping_name", nullptr), "transverse_mercator");
    EXPECT_STREQ(GDALGetMetadataItem(cf, "crs#longitude_of_central_meridian", nullptr), "15");
    EXPECT_STREQ(GDALGetMetadataItem(cf, "crs#false_easting", nullptr), "500000");
    EXPECT_STREQ(GDALGetMetadataItem(cf, "NC_GLOBAL#Conventions", nullptr), "CF-1.8");
    GDALClose(cf);

    TempDir soil;
    set_up(soil, soil_cards + "k.map\n");
    soil.write("k.map", map_at(0, 0, uniform));
    run = test::run_program_in(soil.path(), {"p.prj"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: map k.map lies elsewhere than map mask.msk, whose corners are "
                           "the grid's: its corners are west 0.000, south 0.000, east 30.000, "
                           "north 30.000, the grid's west 500000.000, south 4100000.000"),
              std::string::npos)
        << run.out;

    TempDir zone;
    set_up(zone, soil_cards + "k.tif\n");
    write_tiff(zone.path() / "k.tif", 500000, 4100030, utm_wkt(34), std::vector<double>(9, 1.0));
    run = test::run_program_in(zone.path(), {"p.prj"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: map k.tif has the spatial reference WGS 84 / UTM zone 34N, but "
                           "map elevation.ele, which gave the grid its spatial reference, has WGS "
                           "84 / UTM zone 33N."),
              std::string::npos)
        << run.out;
}

#endif

}  // namespace
}  // namespace torva

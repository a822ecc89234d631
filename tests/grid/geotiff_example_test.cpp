// The example valley from GeoTIFF copies of its maps, made as a user makes
// them with gdal_translate: the mask and the land-use index map become 32-bit
// integer rasters, the elevation and the soil maps single-precision ones. The
// run must give, byte for byte, the console, summary, hydrograph and depth maps
// of the text maps.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/harness.hpp"

#ifdef TORVA_WITH_GDAL
#include <gdal.h>
#include <gdal_utils.h>

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_program_in;
using test::TempDir;

const std::vector<std::string> kMaps = {"valley.msk",       "valley.ele",    "landuse.idx",
                                        "conductivity.map", "capillary.map", "porosity.map",
                                        "moisture.map"};

// `gdal_translate -of GTiff from to`: the text map read by GDAL's own reader
// of that layout, which picks the band type from the values it finds.
bool translate_to_geotiff(const fs::path& from, const fs::path& to) {
    GDALAllRegister();
    GDALDatasetH source = GDALOpen(from.c_str(), GA_ReadOnly);
    if (!source)
        return false;
    char* args[] = {const_cast<char*>("-of"), const_cast<char*>("GTiff"), nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(args, nullptr);
    int usage_error = 0;
    GDALDatasetH copy = GDALTranslate(to.c_str(), source, options, &usage_error);
    GDALTranslateOptionsFree(options);
    const bool made = copy && !usage_error;
    if (copy)
        GDALClose(copy);
    GDALClose(source);
    return made;
}

// The infiltration example, shortened to 10 minutes with a depth map every 5,
// in `dir` with its maps under examples/valley/ as text or as GeoTIFF copies.
void set_up(const TempDir& dir, bool geotiff) {
    const fs::path examples = fs::path(TORVA_EXAMPLES) / "valley";
    const fs::path valley = dir.path() / "examples" / "valley";
    fs::create_directories(valley);
    fs::create_directory(dir.path() / "depth");
    fs::copy_file(examples / "valley.cmt", valley / "valley.cmt");
    for (const std::string& map : kMaps) {
        if (geotiff)
            ASSERT_TRUE(translate_to_geotiff(examples / map, valley / map)) << map;
        else
            fs::copy_file(examples / map, valley / map);
    }
    std::string text = read_file(examples / "valley_infiltration.prj");
    for (auto at = text.find("examples/valley/out/"); at != std::string::npos;
         at = text.find("examples/valley/out/"))
        text.erase(at, std::string("examples/valley/out/").size());
    text.replace(text.find("TOT_TIME 120"), 12, "TOT_TIME 10");
    text.replace(text.find("MAP_FREQ 60"), 11, "MAP_FREQ 5");
    dir.write("valley.prj", text + "MAP_TYPE 0\nDEPTH depth\n");
}

TEST(GeoTiffExample, ValleyFromGeoTiffCopiesRunsAsFromTheTextMaps) {
    TempDir text_dir, tiff_dir;
    set_up(text_dir, false);
    set_up(tiff_dir, true);
    // The copies are what a user gets: no longer text, and the elevation in
    // single precision, which holds 364.6337 only as 364.633697509765625.
    GDALDatasetH elevation =
        GDALOpen((tiff_dir.path() / "examples/valley/valley.ele").c_str(), GA_ReadOnly);
    ASSERT_NE(elevation, nullptr);
    EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(elevation)), "GTiff");
    EXPECT_EQ(GDALGetRasterDataType(GDALGetRasterBand(elevation, 1)), GDT_Float32);
    GDALClose(elevation);

    const auto text = run_program_in(text_dir.path(), {"valley.prj"});
    const auto tiff = run_program_in(tiff_dir.path(), {"valley.prj"});
    ASSERT_EQ(text.status, 0) << text.out;
    ASSERT_EQ(tiff.status, 0) << tiff.out;
    EXPECT_EQ(test::normalise(tiff.out), test::normalise(text.out));
    for (const std::string& output :
         {"infiltration_summary.txt", "infiltration.otl", "depth/depth.0001.asc",
          "depth/depth.0002.asc", "depth/depth.0003.asc"}) {
        ASSERT_TRUE(text_dir.exists(output)) << output;
        EXPECT_EQ(tiff_dir.read(output), text_dir.read(output)) << output;
    }
    // The run did move water: the last depth map is not all zeros.
    EXPECT_NE(text_dir.read("depth/depth.0003.asc").find_first_of("123456789", 60),
              std::string::npos);
}

}  // namespace
}  // namespace torva

#endif

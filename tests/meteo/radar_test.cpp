// Radar rainfall: the mapping of watershed cells to radar cells, the units,
// no-data and cap rules, and the files that stop a run.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "grid/raster_library.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

#ifdef TORVA_WITH_GDAL
#include <gdal.h>
#include <gdal_utils.h>
#endif

namespace torva {
namespace {

using test::run_program_in;
using test::TempDir;

// A radar raster of 3 x 3 cells of 10 m, the watershed's own cells when the
// lower-left corner is (0, 0).
std::string radar_file(const std::string& rows, double xll = 0.0, double yll = 0.0, int cols = 3) {
    char header[200];
    std::snprintf(header, sizeof header,
                  "ncols %d\nnrows 3\nxllcorner %g\nyllcorner %g\ncellsize 10\nNODATA_value 9.99\n",
                  cols, xll, yll);
    return header + rows;
}

// The small watershed (3 x 3 cells of 10 m, north 30, west 0) rained on by
// three radar files five minutes apart: r2 holds the rain of 10:00 to 10:05,
// r3 that of 10:05 to 10:10.
void write_radar_project(const TempDir& dir, const std::string& r1, const std::string& r2,
                         const std::string& r3) {
    std::string project = test::small_project_text("MAP_TYPE 0\nDIS_RAIN out\nSUMMARY s.txt\n");
    const std::string uniform = "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 5\n";
    project.replace(project.find(uniform), uniform.size(), "PRECIP_FILE rain.gag\n");
    test::write_small_project(dir);
    dir.write("p.prj", project);
    dir.write("rain.gag",
              "EVENT radar\nNRGAG files\nNRPDS 3\n"
              "RADAR 2020 6 1 10 00 r1.asc\nRADAR 2020 6 1 10 05 r2.asc\n"
              "RADAR 2020 6 1 10 10 r3.asc\n");
    dir.write("r1.asc", r1);
    dir.write("r2.asc", r2);
    dir.write("r3.asc", r3);
    std::filesystem::create_directory(dir.path() / "out");
}

const std::string kFirst = "0.8 9.99 9.995\n1.2 1.2 1.2\n1.2 1.2 1.2\n";
const std::string kSecond = "0.5 0.5 0.5\n5 0.5 0.5\n0.5 0.5 0.5\n";

// In inches per hour. r2: the north-western cell 0.8 (20.32 mm/h); its
// neighbours hold the no-data value 9.99 and 9.995 (within 0.01 of it), both
// 0; six cells 1.2 (30.48 mm/h). r3: 5 inches (127 mm/h, cut to 100) in the
// west of the middle row, 0.5 (12.7 mm/h) elsewhere. Over 5 minutes each on
// 100 m2 cells: (20.32 + 6 x 30.48 + 100 + 8 x 12.7) mm/h x 1/12 h x 0.1 =
// 3.3733 m3.
TEST(Radar, RainIsTheMappedGridOverCellsAndTime) {
    TempDir dir;
    write_radar_project(dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Reading radar precip file r2.asc.\n"
                           "Peak rainfall rate read: 30.480000 mm/hr\n"
                           "Peak rainfall applied to watershed: 30.480000 mm/hr\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Warning: really big precip value (127.000000) in cell (1,0) from "
                           "radar rainfall.\n resetting value to 100.0\n"),
              std::string::npos);
    // The north-western cell takes radar index 0.
    const std::string rain = dir.read("out/rain.0001.asc");
    EXPECT_NE(rain.find("\n20.3200 0.0000 0.0000 \n30.4800 30.4800 30.4800 \n"), std::string::npos)
        << rain;
    const std::string summary = dir.read("s.txt");
    const std::string label = "Total amount of precip=";
    ASSERT_NE(summary.find(label), std::string::npos);
    EXPECT_NEAR(std::stod(summary.substr(summary.find(label) + label.size())), 3.3733, 0.005);
}

// Files that cannot be used stop the run with a message naming them, and a
// watershed cell outside the radar grid, on any side, is error 102.
TEST(Radar, UnusableFilesStopTheRun) {
    struct Case {
        std::string r1, r2, r3;
        std::string message;
    };
    const std::string good = radar_file(kFirst);
    // A radar grid shifted by 6 m leaves one watershed cell outside it.
    const auto outside = [](const char* where, const char* cell) {
        return std::string("Error!! ") + where + "\nWatershed cell " + cell +
               " lies outside the radar grid of r1.asc\n\nError in creating radar mapping to "
               "grid.\n";
    };
    const std::vector<Case> cases = {
        {radar_file(kFirst, 0, -6), good, good, outside("p_I=-1, p_J=0", "1 (row 1, column 1)")},
        {radar_file(kFirst, 6, 0), good, good, outside("p_I=0, p_J=-1", "1 (row 1, column 1)")},
        {radar_file(kFirst, 0, 6), good, good, outside("p_I=3, p_J=0", "7 (row 3, column 1)")},
        {radar_file(kFirst, -6, 0), good, good, outside("p_I=0, p_J=3", "3 (row 1, column 3)")},
        {good, good, radar_file("1 1 1 1\n1 1 1 1\n1 1 1 1\n", 0, 0, 4),
         "Error: radar precip file r3.asc has 4 columns and 3 rows, but the first radar file of "
         "the event has 3 and 3\n"},
        {good, radar_file("1 1 1\n1 x 1\n1 1 1\n"), good,
         "Error in reading radar precip file r2.asc\n"},
        {good, radar_file("1 1 1\n1 1 1\n1 1\n"), good,
         "Error in reading radar precip file r2.asc\n"},
        {good, radar_file("1 1 1\n1 nan 1\n1 1 1\n"), good,
         "Error in reading radar precip file r2.asc\n"},
        {"ncols 3\nnrows three\n", good, good,
         "Error: unable to read radar header in file r1.asc\n"},
        {good, "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 0\nNODATA_value 0\n", good,
         "Error: unable to read radar header in file r2.asc\n"},
        // The cells were mapped on the first file: a later one 1000 m east
        // would rain on the wrong cells.
        {good, radar_file(kFirst, 1000, 0), good,
         "Error: radar precip file r2.asc lies at west 1000.000, south 0.000 with cells of 10, "
         "but the first radar file of the event at west 0.000, south 0.000 with cells of 10\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_radar_project(dir, c.r1, c.r2, c.r3);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.message << "\n" << run.out;
    }
}

#ifdef TORVA_WITH_GDAL

// `gdal_translate -of format` of a text radar file onto itself: the same
// values and georeference in a GeoTIFF or a NetCDF file.
void translate_in_place(const std::filesystem::path& file, const char* format) {
    GDALAllRegister();
    const std::filesystem::path text = file.string() + ".txt";
    std::filesystem::rename(file, text);
    GDALDatasetH source = GDALOpen(text.c_str(), GA_ReadOnly);
    ASSERT_NE(source, nullptr) << file;
    char* args[] = {const_cast<char*>("-of"), const_cast<char*>(format), nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(args, nullptr);
    GDALDatasetH copy = GDALTranslate(file.c_str(), source, options, nullptr);
    GDALTranslateOptionsFree(options);
    ASSERT_NE(copy, nullptr) << file;
    GDALClose(copy);
    GDALClose(source);
}

// The radar files of the first test as GeoTIFF and as NetCDF rasters give the
// same rain maps and totals as the text files, and a raster that misses the
// watershed's northern row is refused as the text one is.
// The project of the radar tests with RADAR_UNITS IN_PER_HOUR, for rasters
// that carry no unit.
void declare_inches(const TempDir& dir) {
    dir.write("p.prj", dir.read("p.prj") + "RADAR_UNITS IN_PER_HOUR\n");
}

TEST(Radar, GeoTiffAndNetcdfRadarFilesRainAsTheTextOnes) {
    TempDir text_dir;
    write_radar_project(text_dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
    ASSERT_EQ(run_program_in(text_dir.path(), {"p.prj"}).status, 0);
    for (const char* format : {"GTiff", "netCDF"}) {
        TempDir dir;
        write_radar_project(dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
        declare_inches(dir);
        for (const char* file : {"r1.asc", "r2.asc", "r3.asc"})
            translate_in_place(dir.path() / file, format);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        ASSERT_EQ(run.status, 0) << format << run.out;
        for (const char* output : {"out/rain.0001.asc", "out/rain.0002.asc", "s.txt"})
            EXPECT_EQ(dir.read(output), text_dir.read(output)) << format << " " << output;

        TempDir south;
        write_radar_project(south, radar_file(kFirst, 0, -6), radar_file(kFirst),
                            radar_file(kSecond));
        declare_inches(south);
        translate_in_place(south.path() / "r1.asc", format);
        const auto refused = run_program_in(south.path(), {"p.prj"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.out.find("Error!! p_I=-1, p_J=0\nWatershed cell 1 (row 1, column 1) "
                                   "lies outside the radar grid of r1.asc\n"),
                  std::string::npos)
            << format << refused.out;
    }
}

// A raster's unit is never guessed: an untagged file without RADAR_UNITS is
// refused naming it; a band tagged mm/h rains its values as they stand
// (25.4 times less than the same numbers in inches), whatever the card says
// of untagged files; a tag that is not a rain rate is refused.
TEST(Radar, RasterRainRatesTakeTheirUnitFromTheirTagOrTheCard) {
    TempDir text_dir;
    const std::string in_mm = "20.32 9.99 9.995\n30.48 30.48 30.48\n30.48 30.48 30.48\n";
    write_radar_project(text_dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
    ASSERT_EQ(run_program_in(text_dir.path(), {"p.prj"}).status, 0);
    const auto tagged = [&](const TempDir& dir, const char* unit, const std::string& cards) {
        write_radar_project(dir, radar_file(in_mm), radar_file(in_mm), radar_file(kSecond));
        dir.write("p.prj", dir.read("p.prj") + cards);
        for (const char* file : {"r1.asc", "r2.asc"}) {
            translate_in_place(dir.path() / file, "GTiff");
            GDALDatasetH tiff = GDALOpen((dir.path() / file).c_str(), GA_Update);
            EXPECT_NE(tiff, nullptr) << file;
            if (!tiff)
                continue;
            GDALSetRasterUnitType(GDALGetRasterBand(tiff, 1), unit);
            GDALClose(tiff);
        }
        return run_program_in(dir.path(), {"p.prj"});
    };
    TempDir mm;
    ASSERT_EQ(tagged(mm, "mm/h", "RADAR_UNITS IN_PER_HOUR\n").status, 0);
    EXPECT_EQ(mm.read("out/rain.0001.asc"), text_dir.read("out/rain.0001.asc"));

    TempDir untagged;
    auto run = tagged(untagged, "", "");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: radar file r1.asc carries no unit; tag its band (gdal_edit.py "
                           "-units mm/h) or give the card RADAR_UNITS MM_PER_HOUR or RADAR_UNITS "
                           "IN_PER_HOUR\n"),
              std::string::npos)
        << run.out;
    TempDir depth;
    run = tagged(depth, "m", "RADAR_UNITS MM_PER_HOUR\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: radar file r1.asc gives its unit as \"m\", which is not a rain "
                           "rate TORVA knows (mm/h or in/h)\n"),
              std::string::npos)
        << run.out;
}

// One NetCDF file with a time axis of three grids, named on the event's
// three records, rains as the three text files do: the k-th record that
// names it takes its k-th time.
TEST(Radar, NetcdfRadarOfSeveralTimesGivesOneTimeARecord) {
    TempDir text_dir;
    write_radar_project(text_dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
    ASSERT_EQ(run_program_in(text_dir.path(), {"p.prj"}).status, 0);

    TempDir dir;
    write_radar_project(dir, radar_file(kFirst), radar_file(kFirst), radar_file(kSecond));
    dir.write("rain.gag",
              "EVENT radar\nNRGAG files\nNRPDS 3\nRADAR 2020 6 1 10 00 radar.nc\n"
              "RADAR 2020 6 1 10 05 radar.nc\nRADAR 2020 6 1 10 10 radar.nc\n");
    RasterGeoreference geo;
    geo.cols = geo.rows = 3;
    geo.north = 30.0;
    geo.cell_size = 10.0;
    NetcdfMapDescription d{"rain", "radar rainfall", "in/h", "minutes since 2020-06-01 10:00:00",
                           9.99};
    NetcdfMapFile nc;
    std::string failure;
    ASSERT_TRUE(create_netcdf_map(dir.file("radar.nc"), geo, d, nc, failure)) << failure;
    const auto values = [](const std::string& rows) {
        std::vector<double> v;
        std::istringstream in(rows);
        for (double x; in >> x;) v.push_back(x);
        return v;
    };
    double minutes = 0.0;
    for (const std::string& grid : {kFirst, kFirst, kSecond}) {
        ASSERT_TRUE(append_netcdf_map(nc, geo, minutes, values(grid), failure)) << failure;
        minutes += 5.0;
    }
    ASSERT_TRUE(close_netcdf_map(nc, failure)) << failure;
    const auto run = run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* output : {"out/rain.0001.asc", "out/rain.0002.asc", "s.txt"})
        EXPECT_EQ(dir.read(output), text_dir.read(output)) << output;
}

#endif

}  // namespace
}  // namespace torva

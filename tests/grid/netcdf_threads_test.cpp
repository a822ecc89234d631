// NetCDF map files written by simulations side by side: each thread creates,
// fills and closes its own files while the other does the same, as the
// workers of a calibration with NetCDF maps do.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/context.hpp"
#include "grid/raster_library.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

TEST(NetcdfMaps, FilesWrittenFromTwoThreadsAtOnceEachHoldTheirOwnMaps) {
    if (!raster_library_built())
        GTEST_SKIP() << "built without the raster library";
    TempDir dir;
    RasterGeoreference geo;
    geo.rows = 3;
    geo.cols = 4;
    geo.west = 0.0;
    geo.north = 30.0;
    geo.cell_size = 10.0;
    const NetcdfMapDescription d{"depth", "overland water depth", "m",
                                 "minutes since 2020-06-01 10:00:00", -9999.0};
    constexpr int kFiles = 60;
    constexpr int kSteps = 3;
    // File f of thread t holds, at step s, every cell 1000 t + 10 f + s.
    const auto value = [](int t, int f, int s) { return 1000.0 * t + 10.0 * f + s; };
    std::vector<std::string> failures(2);
    const auto writer = [&](int t) {
        for (int f = 0; f < kFiles && failures[t].empty(); ++f) {
            NetcdfMapFile nc;
            const std::string path = dir.file(std::to_string(t) + "_" + std::to_string(f) + ".nc");
            if (!create_netcdf_map(path, geo, d, nc, failures[t]))
                return;
            for (int s = 0; s < kSteps; ++s)
                if (!append_netcdf_map(nc, geo, 5.0 * s, std::vector<double>(12, value(t, f, s)),
                                       failures[t]))
                    return;
            if (!close_netcdf_map(nc, failures[t]))
                return;
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    ASSERT_EQ(failures, std::vector<std::string>(2));
    RunContext ctx;
    for (int t = 0; t < 2; ++t)
        for (int f = 0; f < kFiles; ++f)
            for (int s = 0; s < kSteps; ++s) {
                SCOPED_TRACE(std::to_string(t) + "_" + std::to_string(f) + ".nc, time " +
                             std::to_string(s + 1));
                RasterGeoreference read;
                std::vector<double> values(12);
                ASSERT_TRUE(read_library_raster_band(
                    ctx, dir.file(std::to_string(t) + "_" + std::to_string(f) + ".nc"), s + 1, read,
                    &values));
                EXPECT_EQ(read.bands, kSteps);
                EXPECT_EQ(values, std::vector<double>(12, value(t, f, s)));
            }
}

}  // namespace
}  // namespace torva

// Writing one 1000 x 1000 map as an exchange grid, a NetCDF time step and a
// GeoTIFF, and reading a 1000 x 1000 map from a GeoTIFF against the text map.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "grid/grid.hpp"
#include "grid/raster.hpp"
#include "grid/raster_library.hpp"

namespace {

constexpr int kSide = 1000;

torva::Grid full_grid() {
    torva::Grid grid;
    grid.rows = kSide;
    grid.cols = kSide;
    grid.cell_size = 30.0;
    grid.north = kSide * 30.0;
    grid.east = kSide * 30.0;
    grid.cell_number.assign(static_cast<std::size_t>(kSide + 2) * (kSide + 2), 0);
    for (int r = 1; r <= kSide; ++r)
        for (int c = 1; c <= kSide; ++c) grid.number_at(r, c) = ++grid.num_cells;
    return grid;
}

std::vector<double> depths(int entries) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> depth(0.0, 2.0);
    std::vector<double> values(entries);
    for (double& v : values) v = depth(random);
    return values;
}

torva::RasterGeoreference georeference(const torva::Grid& grid) {
    torva::RasterGeoreference geo;
    geo.rows = grid.rows;
    geo.cols = grid.cols;
    geo.north = grid.north;
    geo.cell_size = grid.cell_size;
    geo.has_no_data = true;
    geo.no_data = -9999.0;
    return geo;
}

void BM_WriteExchangeGrid1000x1000(benchmark::State& state) {
    const torva::Grid grid = full_grid();
    const std::vector<double> values = depths(grid.num_cells + 1);
    for (auto _ : state) {
        std::FILE* file = std::fopen("/tmp/torva_bench_map.asc", "w");
        torva::write_exchange_grid(file, grid, values);
        std::fclose(file);
    }
    std::remove("/tmp/torva_bench_map.asc");
}
BENCHMARK(BM_WriteExchangeGrid1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef TORVA_WITH_GDAL
void BM_WriteGeoTiff1000x1000(benchmark::State& state) {
    const torva::Grid grid = full_grid();
    const std::vector<double> values = depths(kSide * kSide);
    std::string failure;
    for (auto _ : state)
        torva::write_geotiff("/tmp/torva_bench_map.tif", georeference(grid), values, failure);
    std::remove("/tmp/torva_bench_map.tif");
}
BENCHMARK(BM_WriteGeoTiff1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AppendNetcdf1000x1000(benchmark::State& state) {
    const torva::Grid grid = full_grid();
    const std::vector<double> values = depths(kSide * kSide);
    torva::NetcdfMapFile nc;
    std::string failure;
    torva::create_netcdf_map(
        "/tmp/torva_bench_map.nc", georeference(grid),
        {"depth", "overland water depth", "m", "minutes since 2020-01-01", -9999.0}, nc, failure);
    double minutes = 0.0;
    for (auto _ : state)
        torva::append_netcdf_map(nc, georeference(grid), minutes += 60.0, values, failure);
    torva::close_netcdf_map(nc, failure);
    std::remove("/tmp/torva_bench_map.nc");
}
BENCHMARK(BM_AppendNetcdf1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// The same elevations read from a text map and from a GeoTIFF.
void read_map(benchmark::State& state, const char* path, bool tiff) {
    torva::Grid grid = full_grid();
    const std::vector<double> values = depths(kSide * kSide);
    if (tiff) {
        std::string failure;
        torva::write_geotiff(path, georeference(grid), values, failure);
    } else {
        std::vector<double> per_cell(values);
        per_cell.insert(per_cell.begin(), 0.0);
        std::FILE* file = std::fopen(path, "w");
        torva::write_grid_map(file, grid, per_cell);
        std::fclose(file);
    }
    std::vector<double> elevation(grid.num_cells + 1);
    torva::RunContext ctx;
    ctx.out = std::tmpfile();
    for (auto _ : state) {
        std::FILE* file = std::fopen(path, "rb");
        if (!torva::read_real_map(ctx, file, path, grid, elevation))
            state.SkipWithError("map not read");
        std::fclose(file);
        std::rewind(ctx.out);
    }
    std::remove(path);
}
void BM_ReadTextMap1000x1000(benchmark::State& state) {
    read_map(state, "/tmp/torva_bench_read.map", false);
}
BENCHMARK(BM_ReadTextMap1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
#ifdef TORVA_WITH_GDAL
void BM_ReadGeoTiff1000x1000(benchmark::State& state) {
    read_map(state, "/tmp/torva_bench_read.tif", true);
}
BENCHMARK(BM_ReadGeoTiff1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace

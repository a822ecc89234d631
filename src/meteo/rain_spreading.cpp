#include "meteo/rain_spreading.hpp"

#include <cmath>

#include "core/parallel.hpp"
#include "grid/grid.hpp"

namespace torva {
namespace {

struct Point {
    double x, y;
};

Point cell_centre(const Grid& grid, int cell) {
    const double dx = grid.cell_size;
    return {grid.west + (grid.cell_col[cell] - 0.5) * dx,
            grid.north - (grid.cell_row[cell] - 0.5) * dx};
}

}  // namespace

void spread_inverse_distance(const Grid& grid, const PrecipEvent& event, int record,
                             std::vector<double>& rain_rate) {
    const int cells = grid.num_cells;
    const int gauges = event.gauge_count;
    const double* value = event.record_values(record);
    if (gauges == 1) {
#pragma omp parallel for schedule(static) if (cells >= kMinParallelCells)
        for (int i = 1; i <= cells; ++i) rain_rate[i] = value[1];
        return;
    }
    const double* gx = event.gauge_x.data();
    const double* gy = event.gauge_y.data();
    // Distances are compared squared; only the weights need them, as 1/d^2.
    // The gauge loop has no early exit so that it runs in vector lanes; the
    // first gauge within a cell size is remembered and wins afterwards.
    const double near_enough = grid.cell_size * grid.cell_size;
#pragma omp parallel for schedule(static) if (cells >= kMinParallelCells)
    for (int i = 1; i <= cells; ++i) {
        const Point c = cell_centre(grid, i);
        double weight_sum = 0.0;
        double value_sum = 0.0;
        int first_near = gauges + 1;
#pragma omp simd reduction(+ : weight_sum, value_sum) reduction(min : first_near)
        for (int g = 1; g <= gauges; ++g) {
            const double ex = gx[g] - c.x;
            const double ny = gy[g] - c.y;
            const double d2 = ex * ex + ny * ny;
            const double weight = 1.0 / d2;
            weight_sum += weight;
            value_sum += value[g] * weight;
            first_near = d2 < near_enough && g < first_near ? g : first_near;
        }
        rain_rate[i] = first_near <= gauges ? value[first_near] : value_sum / weight_sum;
    }
}

int find_nearest_gauges(const Grid& grid, const PrecipEvent& event, std::vector<int>& nearest) {
    constexpr double kNoGauge = 1000000.0;
    constexpr double kOutOfReach = 900000.0;
    const int cells = grid.num_cells;
    int failures = 0;
#pragma omp parallel for schedule(static) reduction(+ : failures) if (cells >= kMinParallelCells)
    for (int i = 1; i <= cells; ++i) {
        const Point c = cell_centre(grid, i);
        double best = kNoGauge;
        int best_gauge = 0;
        for (int g = 1; g <= event.gauge_count; ++g) {
            const double ex = event.gauge_x[g] - c.x;
            const double ny = event.gauge_y[g] - c.y;
            const double d = std::sqrt(ex * ex + ny * ny);
            if (d < best) {
                best = d;
                best_gauge = g;
            }
        }
        nearest[i] = best_gauge;
        if (best > kOutOfReach)
            ++failures;
    }
    return failures;
}

void spread_nearest_gauge(const Grid& grid, const PrecipEvent& event,
                          const std::vector<int>& nearest, int record,
                          std::vector<double>& rain_rate) {
    const int cells = grid.num_cells;
    const double* value = event.record_values(record);
    const bool single = event.gauge_count == 1;
#pragma omp parallel for schedule(static) if (cells >= kMinParallelCells)
    for (int i = 1; i <= cells; ++i) rain_rate[i] = value[single ? 1 : nearest[i]];
}

}  // namespace torva

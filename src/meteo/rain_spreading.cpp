#include "meteo/rain_spreading.hpp"

#include <cmath>

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
#pragma omp parallel for schedule(static)
        for (int i = 1; i <= cells; ++i) rain_rate[i] = value[1];
        return;
    }
    const double* gx = event.gauge_x.data();
    const double* gy = event.gauge_y.data();
    // Distances are compared squared; only the weights need them, as 1/d^2.
    const double near_enough = grid.cell_size * grid.cell_size;
#pragma omp parallel for schedule(static)
    for (int i = 1; i <= cells; ++i) {
        const Point c = cell_centre(grid, i);
        double weight_sum = 0.0;
        double value_sum = 0.0;
        double own_gauge_value = 0.0;
        bool has_own_gauge = false;
        for (int g = 1; g <= gauges; ++g) {
            const double ex = gx[g] - c.x;
            const double ny = gy[g] - c.y;
            const double d2 = ex * ex + ny * ny;
            if (d2 < near_enough) {
                own_gauge_value = value[g];
                has_own_gauge = true;
                break;
            }
            weight_sum += 1.0 / d2;
            value_sum += value[g] / d2;
        }
        rain_rate[i] = has_own_gauge ? own_gauge_value : value_sum / weight_sum;
    }
}

int find_nearest_gauges(const Grid& grid, const PrecipEvent& event, std::vector<int>& nearest) {
    constexpr double kNoGauge = 1000000.0;
    constexpr double kOutOfReach = 900000.0;
    const int cells = grid.num_cells;
    int failures = 0;
#pragma omp parallel for schedule(static) reduction(+ : failures)
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
#pragma omp parallel for schedule(static)
    for (int i = 1; i <= cells; ++i) rain_rate[i] = value[single ? 1 : nearest[i]];
}

}  // namespace torva

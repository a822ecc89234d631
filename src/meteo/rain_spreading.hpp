#pragma once
// Gauge intensities spread over the cells of the watershed: by inverse
// distance squared, or by nearest gauge (Thiessen polygons).

#include <vector>

#include "meteo/precip_file.hpp"

namespace torva {

struct Grid;

// Every cell takes the inverse-distance-squared mean of the gauges of record
// k; a gauge closer than one cell size to the cell centre gives the cell its
// own value (the first such gauge in file order).
void spread_inverse_distance(const Grid& grid, const PrecipEvent& event, int record,
                             std::vector<double>& rain_rate);

// The nearest gauge of every cell; of equal distances the lower gauge number
// wins. Returns the number of cells without a gauge within 900000 map units.
int find_nearest_gauges(const Grid& grid, const PrecipEvent& event, std::vector<int>& nearest);

// Every cell takes the value of its nearest gauge for record k.
void spread_nearest_gauge(const Grid& grid, const PrecipEvent& event,
                          const std::vector<int>& nearest, int record,
                          std::vector<double>& rain_rate);

}  // namespace torva

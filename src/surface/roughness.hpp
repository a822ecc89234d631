#pragma once
// Interception, retention and overland roughness: the surface parameters that
// shape how rain becomes overland flow.

#include <vector>

#include "core/row_spans.hpp"
#include "surface/roughness_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Gives every cell its interception, retention and roughness, in that order,
// then the initial overland depths when a card names them.
void read_surface_parameters(Model& model, RunContext& ctx);

// The canopy holds less outside the growing season: storage and coefficient
// are divided by this factor of the month (1..12) and latitude (degrees). With
// SEASONAL_RS the same factor multiplies the canopy's resistance to
// transpiration.
double seasonal_divisor(int month, double latitude);

// The interception step of one model step of dt seconds: fills the effective
// rain rate of every cell from its rain rate and returns the volume (m3)
// intercepted. Cells flooded by a lake of the channel network (lake number
// above 0; `lake_number` may be null) pass their rain unchanged. With
// `cells` (and the first cell of each row, `row_begin`) only those cells are
// visited: every other cell must have no rain and an effective rate of 0.
double intercept_rain(SurfaceParameters& surface, const std::vector<double>& rain_rate, int cells,
                      double dt, double cell_size, int month, double latitude,
                      const std::vector<int>* lake_number, const RowSpans* visit = nullptr,
                      const std::vector<int>* row_begin = nullptr);

}  // namespace torva

#pragma once
// The pieces of the overland lakes: the lake map and lake input data file,
// and the update that turns a lake's pending volume into its level and extent.

#include "lakes/lakes_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the OVERLAND_LAKE_MAP and OVERLAND_LAKE_FILE, fills the per-cell lake
// numbers and each lake's cells, level and volume. A failure prints its
// message, raises the error and returns false.
bool read_overland_lakes(Model& model, RunContext& ctx);

// The lakes as the overland hot start (READ_OV_HOTSTART) of an earlier run
// left them: each lake's volume and cells take the place of the lake map's
// extent and the lake file's level, and the depths the map gave their cells
// (their lake's water) are the lakes' again. Nothing to do without one; false
// after the message when the section does not fit this run's lakes.
bool take_lake_hot_start(Model& model, RunContext& ctx);

// Spreads lake k's pending volume: the level follows the stored volume over
// the cells then flooded, a rising lake floods the neighbours that lie below
// it in order of their water surface, a falling one gives back its highest
// cells. False (after the message) when the lake cannot do it. A lake that
// `may_empty` (its last water has evaporated) keeps its lowest cells as a dry
// bed instead of stopping the run.
bool update_overland_lake(Model& model, RunContext& ctx, int k, bool may_empty = false);

// Moves the water standing on lake cells (rain, an initial depth) into their
// lakes, in cell order. Returns the volume moved, m3.
double gather_water_on_lake_cells(Model& model);

}  // namespace torva

#pragma once
// Maps of state variables at the map interval: grid series of exchange grids,
// or one dataset file per kind with a time step appended per output time.

#include <string>
#include <string_view>
#include <vector>

namespace torva {

enum class Card : int;
struct Model;
struct Overland;
struct RunContext;

// Stops the run when a map card asks for a kind this run cannot compute or a
// format this build cannot write; called before any output opens.
void check_map_outputs(const Model& model, RunContext& ctx);
// Opens the map output files of the kinds whose cards are given and writes
// their headers.
void open_map_outputs(Model& model, RunContext& ctx);
// Writes the maps that fall due. A map that cannot be written stops the run
// with a message naming its file.
void map_output_phase(Model& model, RunContext& ctx);
// Closes the dataset files; a failed close stops the run like a failed write.
void close_map_outputs(Model& model, RunContext& ctx);

// For a host: the grid's georeference and the water depth at the end of the
// run (channel cells holding their channel's depth). Maps the run writes are
// kept for it as they are written.
void keep_final_maps_for_host(Model& model, RunContext& ctx);

// Whether maps fall due at this value of the map counter: at counter 1 (the
// second model step) and every `interval_steps` steps after it.
bool map_due(int counter, int interval_steps);
// The file of a grid series: the folder (a trailing / or \ accepted), the base
// name, the four-digit counter and the extension: out/depth.0001.asc.
std::string series_file_name(std::string_view folder, std::string_view base, int counter,
                             std::string_view extension);
// The base name of the grid series files of a map card (DEPTH: "depth"); null
// for a card that writes no maps.
const char* map_base_name(Card card);
// The magnitude of each cell's discharge, from its east and south face
// discharges (m3/s), into magnitude[1..N].
void discharge_magnitudes(const Overland& overland, std::vector<double>& magnitude);

}  // namespace torva

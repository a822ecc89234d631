#pragma once
// Hydrograph and time-series output, and the output files the cards name.

#include <cstdio>

namespace torva {

struct Model;
struct RunContext;

struct Outputs {
    std::FILE* summary = nullptr;
};

// Opens the summary file and the output files named by the cards.
void open_run_files(Model& model, RunContext& ctx);
// Writes the headers of the link/node output files.
void write_link_node_headers(Model& model, RunContext& ctx);
// Writes the hydrograph and location rows that fall due.
void hydrograph_output_phase(Model& model, RunContext& ctx);
// Closes every output file of the run.
void close_run_files(Model& model, RunContext& ctx);

}  // namespace torva

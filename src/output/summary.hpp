#pragma once
// The run totals, the event summary and the mass balance.

namespace torva {

struct Model;
struct RunContext;

struct Totals {};

// Writes the run summary and mass balance to the summary file.
void write_run_summary(Model& model, RunContext& ctx);

}  // namespace torva

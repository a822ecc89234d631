#pragma once
// The run parameters: time step, output intervals, outlet and the long-term
// requirements, checked before the grid is built.

namespace torva {

struct Model;
struct RunContext;

void set_up_run_parameters(Model& model, RunContext& ctx);

}  // namespace torva

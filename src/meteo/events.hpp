#pragma once
// Start and end of precipitation events.

namespace torva {

struct Model;
struct RunContext;

// Sets up the state and totals of an event that has just begun.
void event_start_phase(Model& model, RunContext& ctx);
// Closes an event: redistribution of soil moisture and the event totals.
void event_end_phase(Model& model, RunContext& ctx);

}  // namespace torva

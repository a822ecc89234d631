#pragma once
// Start and end of precipitation events.

namespace torva {

struct Model;
struct RunContext;

// Sets up the state and totals of an event that has just begun.
void event_start_phase(Model& model, RunContext& ctx);
// Closes an event once the end-of-run test has found it over: redistribution
// of soil moisture and the event totals.
void event_end_phase(Model& model, RunContext& ctx);
// The end-of-event processing of the current event; does nothing when it has
// run already. A long-term run also calls it when the next event begins
// before the previous one was found over.
void close_event(Model& model, RunContext& ctx);

}  // namespace torva

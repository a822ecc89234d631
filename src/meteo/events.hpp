#pragma once
// Start and end of precipitation events.

namespace torva {

struct Model;
struct RunContext;

// Sets up the state of an event that has just begun; the driver has opened
// the event's totals before.
void event_start_phase(Model& model, RunContext& ctx);
// The end-of-event processing of the current event: redistribution of soil
// moisture and the close of the event's totals. True when it closed an open
// event, whose summary the caller then writes; false when there was none open
// (it has run already). The driver calls it once the end-of-run test has found
// the event over, and in a long-term run when the next event begins before the
// previous one was found over.
bool close_event(Model& model, RunContext& ctx);

}  // namespace torva

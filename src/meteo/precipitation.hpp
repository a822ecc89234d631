#pragma once
// Precipitation from gauges or uniform rain, spread over the cells each step.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "meteo/precip_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Scans the precipitation input and counts its events, or sets up uniform rain;
// sets the start time of the simulation.
void prepare_precipitation(Model& model, RunContext& ctx);
// Checks the precipitation and start-date settings and starts the clock.
void check_precipitation_settings(Model& model, RunContext& ctx);
// Starts the next event when its time has come, then brings the cell
// intensities up to the model time. An event that begins sets the event-began
// flag of the precipitation state for the rest of the step.
void precipitation_phase(Model& model, RunContext& ctx);
// True when the precipitation phase of this step will read the next event of
// the file: a long-term run closes the event before it first.
bool next_event_due(const Model& model);
// Adds the step's rain, less interception, to every cell's water depth.
void apply_rainfall_phase(Model& model, RunContext& ctx);

// True once no further rain will come: the file has run out or every event to
// simulate has been read and has rained.
bool no_further_precipitation(const Model& model);

// The start of an event of a long-term run must lie inside the span of the
// hydrometeorological data. Prints the failure lines and returns false otherwise.
bool event_within_hydromet_span(RunContext& ctx, int event_number, const DateHour& start,
                                const DateHour& first, const DateHour& last);

}  // namespace torva

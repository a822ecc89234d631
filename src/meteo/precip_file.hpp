#pragma once
// The precipitation input file: events of gauge records (or of radar file
// names), read one event at a time.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "meteo/precip_state.hpp"

namespace torva {

struct RunContext;

// Result of reading one event.
enum class EventRead { ok = 1, none = 0, unexpected_end = -1 };

// Reads the next event from the open file. `events_seen` counts the EVENT words
// met so far in this pass through the file (it is raised here). Format errors
// print their lines, raise 4000 and give EventRead::none, as does the end of the
// file before another EVENT; an end of file inside the event gives
// EventRead::unexpected_end.
EventRead read_precip_event(std::FILE* file, RunContext& ctx, PrecipEvent& event, int& events_seen,
                            std::string_view path = {});

// Turns the raw gauge values into intensities in mm/h: afterwards value(g, k) is
// the intensity from stamp k to stamp k + 1.
void convert_to_intensities(PrecipEvent& event, RunContext& ctx);

}  // namespace torva

#pragma once
// The 3 x 3 watershed of the long-term run tests: a sandy loam under grass,
// June weather and two storms a week apart, written into a test's folder.

#include <string>

#include "support/harness.hpp"

namespace torva::test {

// Hourly HMX lines from 1 June 2021 00:00 for `days` days (up to the end of
// the year): a daily cycle around `mean_f` degrees F, sunny, 5 knots.
std::string hmx_june_weather(int days, int mean_f);

// The project cards of a long-term run with the soil store, Penman-Monteith
// and every input below (p.prj writes them with its extra cards).
std::string long_term_cards();

// The mask, elevations, soil and evapotranspiration maps, two storms (10 mm/h
// on 1 June and 2 mm/h on 8 June, an hour each) and `weather` as weather.hmx.
void write_long_term_inputs(const TempDir& dir, const std::string& weather);

// A map of the watershed holding `value` in every cell.
std::string uniform_map(const char* value);

// The figure after a label in a summary (the first or the n-th occurrence);
// nan when it is not there.
double figure_after(const std::string& text, const std::string& label, int occurrence = 1);

}  // namespace torva::test

#pragma once
// A small synthetic watershed for calibration tests: a 5 x 5 plane of 10 m
// cells under 40 mm/hr of rain whose Manning's n ([N]) and saturated
// conductivity ([K]) are replacement tags, and helpers to calibrate it.

#include <string>

#include "calibration/simulation_objective.hpp"
#include "support/harness.hpp"

namespace torva::test {

inline constexpr double kTrueRoughness = 0.05;
inline constexpr double kTrueConductivity = 1.0;

// p.prj with its maps and params.txt (the tags [N] and [K]).
void write_synthetic_watershed(const TempDir& dir);
// obs.txt: the peak and volume the model makes with the true values.
void observe_truth(const TempDir& dir);
// `name`: the outlet hydrograph the model makes with the true values, every
// step, as minutes and m3/s.
void observe_truth_hydrograph(const TempDir& dir, const std::string& name);
// Runs `torva -c sce.in` in the folder on that many workers, the console to
// console.txt.
bool calibrate_in(const TempDir& dir, int workers);
// The value on line `line` (0 is the first) of a best.out file.
double best_value(const std::string& best_out, int line);

}  // namespace torva::test

#pragma once
// The -c mode: a Shuffled Complex Evolution calibration of a watershed model.

#include <string>

#include "calibration/simulation_objective.hpp"

namespace torva {

class Evaluator;

// Reads the SCE input file, runs the search with one simulation per candidate
// (on `remote` when given, else on the workers of `setup`), writes best.out and
// runs the best point once more as an ordinary simulation. Returns false when
// the calibration could not be set up or run.
bool run_sce_calibration(const std::string& control_file, const SimulationSetup& setup,
                         Evaluator* remote = nullptr);

}  // namespace torva

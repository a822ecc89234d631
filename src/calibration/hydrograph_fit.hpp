#pragma once
// Whole-hydrograph objectives: how closely a simulated hydrograph follows an
// observed one over the whole run, by the Nash-Sutcliffe efficiency, its form
// on logarithms, the Kling-Gupta efficiency and the percent bias.

#include <string>
#include <vector>

namespace torva {

struct RunContext;
struct CalibrationResults;

// What a search minimises: the peak-and-volume estimator of the observation
// file, or one of the whole-hydrograph measures.
enum class Objective { hmle, nse, log_nse, kge, pbias };

// The objective a word of the SCE input file names (HMLE, NSE, LOGNSE, KGE,
// PBIAS, in any case); false for another word.
bool objective_named(const std::string& word, Objective& objective);
const char* objective_word(Objective objective);

// An observed hydrograph: discharge (m3/s) at times in minutes since the
// start of the run, times increasing; at the outlet, or at the hydrograph
// location of `link` and `node` when they are given.
struct ObservedHydrograph {
    int link = 0;
    int node = 0;
    std::vector<double> minutes;
    std::vector<double> discharge;
};

// Reads a file of lines "minutes discharge" (the first two columns of the
// outlet hydrograph; lines starting with # are notes), which may begin with a
// line "LOCATION link node". Prints why and returns false when the file cannot
// be read, holds fewer than two points, a value that is not a finite number, a
// negative discharge, times that do not increase or a location line without
// a link and a node of 1 or more.
bool read_observed_hydrograph(RunContext& ctx, const std::string& file_name,
                              ObservedHydrograph& observed);

// The measures of a simulated series against an observed one of the same
// length. The logarithmic form takes ln(q + eps) with eps a hundredth of the
// observed mean, so that dry spells do not dominate.
struct HydrographFit {
    int points = 0;
    double nse = 0.0;
    double log_nse = 0.0;
    double kge = 0.0;
    double pbias = 0.0;  // percent; positive when the model carries too little water
};

HydrographFit hydrograph_fit(const std::vector<double>& observed,
                             const std::vector<double>& simulated);

// The simulated discharge at each observed time, linearly interpolated in the
// simulation's step series; observed times beyond the simulated run are left
// out of both series.
void pair_with_simulation(const ObservedHydrograph& observed, const CalibrationResults& results,
                          std::vector<double>& observed_values, std::vector<double>& simulated);

// The value the search minimises: 1 - NSE, 1 - log NSE, 1 - KGE or |PBIAS|;
// 0 is a perfect fit.
double objective_value(Objective objective, const HydrographFit& fit);

}  // namespace torva

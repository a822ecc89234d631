#pragma once
// Observed event peaks and volumes, and the criteria that score a simulation
// against them: the heteroscedastic maximum likelihood estimator (HMLE) the
// searches minimise, and the RMSE kept beside it.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "calibration/evaluator.hpp"

namespace torva {

struct RunContext;
struct CalibrationResults;

// A weight above this switches its term on; its size is not otherwise used.
inline constexpr double kWeightOn = 1e-6;

struct Observations {
    int count = 0;
    // Where the observations were made: a hydrograph location of the project
    // (link and node), or the outlet when both are 0.
    int link = 0;
    int node = 0;
    // One-based, observation i meets the i-th simulated event.
    std::vector<double> peak, peak_weight, volume, volume_weight;
};

// Reads the observation file; false (and an empty set) when it cannot be
// opened or holds fewer data lines than it announces. A first line
// "LOCATION link node" places the observations at that hydrograph location.
bool read_observations(RunContext& ctx, const std::string& file_name, Observations& obs);

// The scores of one simulation and what went into them.
struct Score {
    double hmle = -1.0;  // -1 when no term is switched on
    // The observations name a place that is not among the simulation's
    // hydrograph locations: nothing could be scored.
    bool location_missing = false;
    double rmse = 0.0;
    double largest_peak = 0.0;    // largest simulated peak among the switched-on terms
    double largest_volume = 0.0;  // largest simulated volume among them
};

// Scores the simulated events against the observations and, when `working`
// is open, writes the HMLE working lines to it.
Score score_events(const Observations& obs, const CalibrationResults& simulated,
                   std::FILE* working);

// The observation table appended to the observation log per evaluation.
void write_observation_table(const Observations& obs, std::FILE* log);

// Every evaluated point with its scores, in the order of evaluation.
struct HistoryEntry {
    Score score;
    Point x;
};

class ScoreHistory {
  public:
    void add(const Score& score, const Point& x);
    // The entries ordered by one of the four values, ascending.
    enum class Key { hmle, rmse, peak, volume };
    std::vector<HistoryEntry> ordered_by(Key key) const;
    std::size_t size() const;

  private:
    mutable std::mutex lock_;
    std::vector<HistoryEntry> entries_;
};

}  // namespace torva

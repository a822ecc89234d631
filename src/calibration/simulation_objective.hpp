#pragma once
// The objective of a watershed calibration: one whole simulation of the project
// with the candidate's values in place of the replacement keys, scored against
// the observed event peaks and volumes.

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "calibration/evaluator.hpp"
#include "calibration/observations.hpp"
#include "core/output_files.hpp"

namespace torva {

struct RunContext;
struct CalibrationResults;

// The run driver, handed down by the run modes: runs the project and returns
// the error code left at the end (0 for a clean run).
using SimulationRunner =
    std::function<int(RunContext& ctx, const std::string& project, CalibrationResults* results)>;

// What every simulation of a calibration shares: where it prints, the machine
// it runs on and the driver.
struct SimulationSetup {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    int total_threads = 1;  // processors of the machine
    int workers = 1;        // simulations run side by side
    int partition = 0;      // this process's rank among cooperating processes
    SimulationRunner run;
    // Where the evaluations write their numbered files (folders made as
    // needed); empty for the working folder. Each evaluation's console goes
    // to NNNN_console.log there instead of the console.
    std::string run_folder;
    // Each evaluation's files are removed once it is scored (the best point
    // runs once more at the end); those of a failed one are kept.
    bool keep_best_only = false;
    // One progress line per loop of the search on the console.
    bool progress = true;
};

class SimulationObjective : public Evaluator {
  public:
    SimulationObjective(const SimulationSetup& setup, std::string project, std::string parameters,
                        const Observations& observations, ScoreHistory& history);
    ~SimulationObjective() override;

    int workers() const override { return setup_.workers; }
    // Evaluation `number` writes its output files with the prefix of that
    // run number; a simulation that fails scores +infinity, the worst value.
    double evaluate(const Point& x, int number, int worker) override;

    // The whole score of one evaluation (workers on other processes send it
    // back to the search).
    Score score(const Point& x, int number);

    // Closes the working files; false, after saying so, when one of them
    // could not be written in full.
    bool close_files();

  private:
    SimulationSetup setup_;
    std::string project_;
    std::string parameters_;
    const Observations& observations_;
    ScoreHistory& history_;

    std::string observation_log_name() const;  // <partition>_obs.log
    std::string working_name() const;          // <partition>_hmle.dat

    std::mutex files_lock_;
    OutputFile observation_log_;
    OutputFile working_;
    bool observation_log_refused_ = false;
    bool working_refused_ = false;
};

// One simulation of the project with the point's values given to the keys of
// the parameter file, numbered `run_number`; with `results` it is a calibration
// run that hands back its events, its cell loops on one thread. Returns the
// driver's error code.
int simulate_point(const SimulationSetup& setup, const std::string& project,
                   const std::string& parameters, const Point& x, int run_number,
                   CalibrationResults* results, std::vector<std::string>* written = nullptr);

// The per-run console log of evaluation `number`, as simulate_point names it.
std::string run_log_name(const SimulationSetup& setup, int number);

// How many simulations a calibration runs side by side: the project's
// NUM_THREADS card when it gives a whole number of 1 or more, else the
// environment's OMP_NUM_THREADS, else `processors`.
int calibration_workers(const std::string& project, int processors);

// The value a failed simulation scores.
double failed_score();

}  // namespace torva

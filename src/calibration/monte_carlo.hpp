#pragma once
// The -m mode: a Monte Carlo search that scores parameter sets drawn uniformly
// between bounds and keeps the best.

#include <cstdio>
#include <string>

#include "calibration/evaluator.hpp"
#include "calibration/observations.hpp"
#include "core/output_files.hpp"

namespace torva {

struct RunContext;

// The process-wide values a Monte Carlo search reads: which instance and
// process it is, how many threads and processes cooperate, and whether its
// log is wanted.
struct McRunRecord {
    int instance = 0;
    int threads = 1;
    int processes = 1;
    int rank = 0;
    bool no_log = false;
};

class MonteCarlo {
  public:
    // Reads the input file and the observation file it names, seeds the C
    // library generator with the instance number, the rank and the calendar
    // time, and opens this process's log log_file_p<rank>.log.
    MonteCarlo(int runs, const std::string& input_file, const McRunRecord& record,
               RunContext& reader);
    virtual ~MonteCarlo();
    MonteCarlo(const MonteCarlo&) = delete;
    MonteCarlo& operator=(const MonteCarlo&) = delete;

    // Reads the input file; marks the search ready when it could be read.
    virtual void read_input(RunContext& reader, const std::string& input_file);
    // Draws a parameter vector uniformly between the bounds.
    virtual void draw(Point& x);

    bool ready() const { return ready_; }
    const std::string& project_file() const { return project_file_; }
    const std::string& parameter_file() const { return parameter_file_; }
    const Observations& observations() const { return observations_; }

    // This process's share of the runs, scored by `objective`; evaluation
    // numbers are global (run i of rank r is number i * processes + r + 1).
    // Returns false, doing nothing, when the search is not ready.
    bool run(Evaluator& objective);

    // Best point found; the value is the objective's (smaller magnitude wins).
    bool has_best() const { return has_best_; }
    double best_value() const { return best_value_; }
    const Point& best() const { return best_; }
    // Takes another process's best when its magnitude is smaller; `earlier`
    // says whether it was found in a run numbered before this one's best.
    void offer_best(double value, const Point& x, bool earlier);

    // Prints the best point, writes best.out and closes the log; false, after
    // saying so, when one of them could not be written.
    bool report(std::FILE* console);

    int parameters() const { return parameters_; }

  private:
    void keep_if_better(double value, const Point& x);

    int runs_ = 0;
    McRunRecord record_;
    std::string project_file_, parameter_file_, observation_file_;
    int parameters_ = 0;
    Point lower_, upper_, current_;
    bool ready_ = false;
    Observations observations_;
    OutputFile log_;
    bool has_best_ = false;
    double best_value_ = 0.0;
    Point best_;
};

}  // namespace torva

namespace torva {

struct SimulationSetup;

// Where each run of a Monte Carlo search writes its numbered files and its console log.
inline constexpr const char* kMonteCarloRunFolder = "calibration_runs";

// The -m mode: `runs` simulations of the control file's project with drawn
// values, the best reported. False when the control file could not be read.
bool run_monte_carlo(int runs, const std::string& control_file, const SimulationSetup& setup);

}  // namespace torva

#include "calibration/simulation_objective.hpp"

#include <omp.h>

#include <cmath>
#include <limits>

#include "calibration/results.hpp"
#include "core/context.hpp"
#include "input/replace.hpp"

namespace torva {

double failed_score() {
    return std::numeric_limits<double>::infinity();
}

int simulate_point(const SimulationSetup& setup, const std::string& project,
                   const std::string& parameters, const Point& x, int run_number,
                   CalibrationResults* results) {
    // A simulation of its own: its own error record, replacement values and
    // numbering, so that simulations side by side never share a value.
    RunContext ctx;
    ctx.out = setup.out;
    ctx.err = setup.err;
    ctx.total_threads = setup.total_threads;
    ctx.partition = setup.partition;
    read_replacement_parameters(ctx, parameters);
    std::size_t i = 1;
    for (ReplacementParameter& p : ctx.replacement.parameters) {
        if (i >= x.size())
            break;
        p.real_value = x[i];
        p.integer_value = static_cast<int>(std::lround(x[i]));
        ++i;
    }
    ctx.replacement.active = true;
    ctx.replacement.count = 0;
    ctx.batch_flag = 1;
    ctx.run_number = run_number;
    if (!results)
        return setup.run(ctx, project, results);
    // Cell loops of a simulation evaluated beside others run on one thread:
    // the workers already share out the cores, and one thread per simulation
    // gives the same figures whatever the number of workers.
    ctx.cell_threads = 1;
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const int code = setup.run(ctx, project, results);
    omp_set_num_threads(threads);
    return code;
}

SimulationObjective::SimulationObjective(const SimulationSetup& setup, std::string project,
                                         std::string parameters, const Observations& observations,
                                         ScoreHistory& history)
    : setup_(setup),
      project_(std::move(project)),
      parameters_(std::move(parameters)),
      observations_(observations),
      history_(history) {}

namespace {

// Opens a working file of the calibration on first use; says so once when it
// cannot be opened, and the search goes on without it.
void open_once(OutputFile& file, bool& refused, const std::string& name, std::FILE* console) {
    if (file || refused)
        return;
    file = OutputFile(name, "a");
    if (!file) {
        refused = true;
        std::fprintf(console, "Error: unable to open %s; the calibration goes on without it.\n",
                     name.c_str());
    }
}

}  // namespace

SimulationObjective::~SimulationObjective() {
    close_files();
}

bool SimulationObjective::close_files() {
    const bool log_written = close_and_say(observation_log_, setup_.out);
    return close_and_say(working_, setup_.out) && log_written;
}

std::string SimulationObjective::observation_log_name() const {
    return std::to_string(setup_.partition) + "_obs.log";
}

std::string SimulationObjective::working_name() const {
    return std::to_string(setup_.partition) + "_hmle.dat";
}

Score SimulationObjective::score(const Point& x, int number) {
    CalibrationResults results;
    const int code = simulate_point(setup_, project_, parameters_, x, number, &results);
    Score score;
    std::lock_guard<std::mutex> hold(files_lock_);
    if (code != 0) {
        score.hmle = failed_score();
        std::fprintf(setup_.out,
                     "Calibration run %d failed with error %d; its point scores worst and the "
                     "search goes on.\n",
                     number, code);
    } else {
        open_once(working_, working_refused_, working_name(), setup_.out);
        open_once(observation_log_, observation_log_refused_, observation_log_name(), setup_.out);
        score = score_events(observations_, results, working_.get());
        if (score.location_missing) {
            score.hmle = failed_score();
            std::fprintf(setup_.out,
                         "Calibration run %d: the observations are at link %d node %d, which is "
                         "not a hydrograph\nlocation of the project (IN_HYD_LOCATION, with "
                         "CHAN_EXPLIC); its point scores worst.\n",
                         number, observations_.link, observations_.node);
        }
        if (observation_log_)
            write_observation_table(observations_, observation_log_.get());
    }
    history_.add(score, x);
    return score;
}

double SimulationObjective::evaluate(const Point& x, int number, int) {
    return score(x, number).hmle;
}

}  // namespace torva

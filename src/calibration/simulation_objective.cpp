#include "calibration/simulation_objective.hpp"

#include <omp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "calibration/results.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/output_files.hpp"
#include "input/replace.hpp"
#include "input/tokens.hpp"

namespace torva {

double failed_score() {
    return std::numeric_limits<double>::infinity();
}

int calibration_workers(const std::string& project, int processors) {
    const auto whole_number = [](const std::string& text, int& value) {
        char* end = nullptr;
        const long n = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() || n < 1 || n > 4096)
            return false;
        value = static_cast<int>(n);
        return true;
    };
    int workers = 0;
    if (std::FILE* file = std::fopen(project.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, file)) {
            std::string word, value;
            Tokens tokens(line);
            if (!tokens.text(word))
                continue;
            for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (word == "NUM_THREADS" && tokens.text(value))
                whole_number(value, workers);
        }
        std::fclose(file);
    }
    if (workers > 0)
        return workers;
    if (const char* env = std::getenv("OMP_NUM_THREADS"); env && whole_number(env, workers))
        return workers;
    return std::max(processors, 1);
}

std::string run_log_name(const SimulationSetup& setup, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d_console.log", number);
    return setup.run_folder.empty() ? name : setup.run_folder + "/" + name;
}

int simulate_point(const SimulationSetup& setup, const std::string& project,
                   const std::string& parameters, const Point& x, int run_number,
                   CalibrationResults* results, std::vector<std::string>* written) {
    // A simulation of its own: its own error record, replacement values and
    // numbering, so that simulations side by side never share a value.
    RunContext ctx;
    ctx.out = setup.out;
    ctx.err = setup.err;
    // An evaluation's console goes to its own log in the run folder, so that
    // simulations side by side do not interleave their lines. When only the
    // best run's files are kept, the log is held in memory and becomes a file
    // only if the run fails: creating and then removing a file for every
    // evaluation is the dearest part of a log.
    std::FILE* log = nullptr;
    char* held_text = nullptr;
    std::size_t held_size = 0;
    const std::string log_name = run_log_name(setup, run_number);
    const bool hold_log = setup.keep_best_only;
    if (results && !setup.run_folder.empty()) {
        ctx.output_folder = setup.run_folder + "/";
        ctx.make_output_folders = true;
        make_folders_for(log_name);
        log = hold_log ? open_memstream(&held_text, &held_size) : std::fopen(log_name.c_str(), "w");
        if (log) {
            ctx.out = ctx.err = log;
        }
    }
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
    int code = setup.run(ctx, project, results);
    omp_set_num_threads(threads);
    bool log_written = log != nullptr;
    if (log && std::fclose(log) != 0 && code == 0)
        code = err::message_printed;  // a run whose log was lost is not a clean run
    if (log && hold_log) {
        log_written = code != 0;
        if (log_written) {
            OutputFile file(log_name, "w");
            file.write(held_text, held_size);
            log_written = file.close();
        }
        std::free(held_text);
    }
    if (written) {
        *written = ctx.files_written;
        if (log_written)
            written->push_back(log_name);
    }
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
    results.keep_hydrograph = observations_.objective != Objective::hmle;
    results.hydrograph_link = observations_.hydrograph.link;
    results.hydrograph_node = observations_.hydrograph.node;
    std::vector<std::string> written;
    const int code = simulate_point(setup_, project_, parameters_, x, number, &results, &written);
    Score score;
    std::lock_guard<std::mutex> hold(files_lock_);
    if (code != 0) {
        score.criterion = failed_score();
        if (setup_.run_folder.empty())
            std::fprintf(setup_.out,
                         "Calibration run %d failed with error %d; its point scores worst and the "
                         "search goes on.\n",
                         number, code);
        else
            std::fprintf(setup_.out,
                         "Calibration run %d failed with error %d (see %s); its point scores "
                         "worst and the search goes on.\n",
                         number, code, run_log_name(setup_, number).c_str());
    } else {
        if (setup_.keep_best_only)
            for (const std::string& file : written) std::remove(file.c_str());
        open_once(working_, working_refused_, working_name(), setup_.out);
        open_once(observation_log_, observation_log_refused_, observation_log_name(), setup_.out);
        score = score_simulation(observations_, results, working_.get());
        if (score.location_missing) {
            score.criterion = failed_score();
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
    return score(x, number).criterion;
}

}  // namespace torva

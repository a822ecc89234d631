#include "calibration/monte_carlo.hpp"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "calibration/simulation_objective.hpp"
#include "core/context.hpp"
#include "input/tokens.hpp"

namespace torva {

MonteCarlo::MonteCarlo(int runs, const std::string& input_file, const McRunRecord& record,
                       RunContext& reader)
    : runs_(runs), record_(record) {
    read_input(reader, input_file);
    // Processes started together share the calendar second; the rank keeps
    // their draws apart.
    std::srand(static_cast<unsigned>(record_.instance + record_.rank * 7919 +
                                     static_cast<long>(std::time(nullptr))));
    if (!ready_)
        return;
    if (!record_.no_log) {
        const std::string name = "log_file_p" + std::to_string(record_.rank) + ".log";
        log_ = OutputFile(name);
        if (!log_)
            reader.print("Error: unable to open the log file %s.\n", name.c_str());
    }
    best_.assign(parameters_ + 1, 0.0);
    // An unreadable observation file leaves the set empty: every value is then -1.
    read_observations(reader, observation_file_, observations_);
}

MonteCarlo::~MonteCarlo() = default;

void MonteCarlo::read_input(RunContext& reader, const std::string& input_file) {
    ready_ = false;
    std::FILE* file = std::fopen(input_file.c_str(), "r");
    if (!file) {
        reader.print("Error: unable to open the Monte Carlo input file %s\n", input_file.c_str());
        return;
    }
    LineReader lines(file, reader);
    std::string line;
    std::string* names[] = {&project_file_, &parameter_file_, &observation_file_};
    for (std::string* name : names) {
        name->clear();
        if (lines.next(line))
            Tokens(line).text(*name);
    }
    parameters_ = lines.next(line) ? Tokens(line).integer() : 0;
    constexpr int kMostParameters = 2000;
    if (parameters_ < 1 || parameters_ > kMostParameters) {
        reader.print(
            "Error: the Monte Carlo input file asks for %d parameters; it must be 1 to %d.\n",
            parameters_, kMostParameters);
        std::fclose(file);
        return;
    }
    lower_.assign(parameters_ + 1, 0.0);
    upper_.assign(parameters_ + 1, 0.0);
    current_.assign(parameters_ + 1, 0.0);
    // Missing bound lines read as 0.
    for (int i = 1; i <= parameters_; ++i) {
        if (!lines.next(line))
            break;
        Tokens bounds(line);
        lower_[i] = bounds.real();
        upper_[i] = bounds.real();
        if (!std::isfinite(lower_[i]) || !std::isfinite(upper_[i])) {
            reader.print(
                "Error: the bounds of parameter %d in the Monte Carlo input file are not "
                "numbers.\n",
                i);
            std::fclose(file);
            return;
        }
    }
    std::fclose(file);
    ready_ = true;
}

// The C library's draw scaled into [0, 1) by its own range, which is wider
// than 32768 on most systems.
void MonteCarlo::draw(Point& x) {
    x.assign(parameters_ + 1, 0.0);
    for (int i = 1; i <= parameters_; ++i)
        x[i] = lower_[i] + (upper_[i] - lower_[i]) * (std::rand() / (RAND_MAX + 1.0));
}

void MonteCarlo::keep_if_better(double value, const Point& x) {
    if (!has_best_ || std::fabs(value) < std::fabs(best_value_)) {
        has_best_ = true;
        best_value_ = value;
        best_ = x;
    }
}

void MonteCarlo::offer_best(double value, const Point& x, bool earlier) {
    if (!has_best_ || std::fabs(value) < std::fabs(best_value_) ||
        (earlier && std::fabs(value) == std::fabs(best_value_))) {
        has_best_ = true;
        best_value_ = value;
        best_ = x;
    }
}

bool MonteCarlo::run(Evaluator& objective) {
    if (!ready_)
        return false;
    const int processes = record_.processes > 0 ? record_.processes : 1;
    const int mine = runs_ / processes + (record_.rank < runs_ % processes ? 1 : 0);
    // The draws are made in run order; each batch of one point per worker is
    // evaluated side by side and logged in run order.
    const int batch = objective.workers();
    std::vector<Point> points(batch);
    std::vector<double> values(batch, 0.0);
    for (int first = 0; first < mine; first += batch) {
        const int n = std::min(batch, mine - first);
        for (int k = 0; k < n; ++k) draw(points[k]);
        objective.for_each(n, [&](int k, int worker) {
            const int number = (first + k) * processes + record_.rank + 1;
            values[k] = objective.evaluate(points[k], number, worker);
        });
        for (int k = 0; k < n; ++k) {
            if (log_) {
                log_.print("%lf:  ", values[k]);
                for (int i = 1; i <= parameters_; ++i) log_.print("%lf ", points[k][i]);
                log_.print("\n");
                log_.flush();
            }
            keep_if_better(values[k], points[k]);
        }
    }
    return true;
}

bool MonteCarlo::report(std::FILE* console) {
    if (!has_best_ || !std::isfinite(best_value_)) {
        // Every run failed: there is no best point to report.
        close_and_say(log_, console);
        std::fprintf(console,
                     "Error: every simulation of the Monte Carlo search failed; no best point and "
                     "no best.out.\n");
        return false;
    }
    std::fprintf(console, "\n\nBest objective function value: %lf\nParameters:\n ", best_value_);
    for (int i = 1; i <= parameters_; ++i) std::fprintf(console, "%lf ", best_[i]);
    std::fprintf(console, "\n");
    const bool log_written = close_and_say(log_, console);
    OutputFile out("best.out");
    if (!out) {
        std::fprintf(console,
                     "Warning: Unable to open the best.out file. Only printing results to "
                     "stdout.\n");
        return log_written;
    }
    out.print("%lf:  ", best_value_);
    for (int i = 1; i <= parameters_; ++i) out.print("%lf ", best_[i]);
    out.print("\n");
    return close_and_say(out, console) && log_written;
}

bool run_monte_carlo(int runs, const std::string& control_file, const SimulationSetup& setup) {
    RunContext reader;
    reader.out = setup.out;
    reader.err = setup.err;
    McRunRecord record;
    record.threads = setup.total_threads;
    record.rank = setup.partition;
    MonteCarlo search(runs, control_file, record, reader);
    ScoreHistory history;
    SimulationSetup evaluations = setup;
    evaluations.run_folder = kMonteCarloRunFolder;
    evaluations.workers = calibration_workers(search.project_file(), setup.workers);
    SimulationObjective objective(evaluations, search.project_file(), search.parameter_file(),
                                  search.observations(), history);
    if (!search.run(objective))
        return false;
    const bool reported = search.report(setup.out);
    return objective.close_files() && reported;
}

}  // namespace torva

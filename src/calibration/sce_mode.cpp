#include "calibration/sce_mode.hpp"

#include <cmath>

#include "calibration/observations.hpp"
#include "calibration/sce_search.hpp"
#include "core/context.hpp"
#include "core/output_files.hpp"

namespace torva {
namespace {

constexpr const char* kOutputName = "sce_output.dat";
constexpr const char* kBestName = "best.out";

bool write_best(const SceOutcome& outcome, int nopt, std::FILE* console) {
    OutputFile best(kBestName);
    if (!best) {
        std::fprintf(console, "Can't open output file %s\n", kBestName);
        return false;
    }
    best.print("The best results of the SCE calibration %d runs:\n", outcome.evaluations);
    for (int j = 1; j <= nopt; ++j) best.print("%lf\n", outcome.best[j]);
    return close_and_say(best, console);
}

}  // namespace

bool run_sce_calibration(const std::string& control_file, const SimulationSetup& setup,
                         Evaluator* remote) {
    RunContext reading;  // the control files' line reader substitutes nothing yet
    reading.out = setup.out;
    reading.err = setup.err;
    std::FILE* console = setup.out;

    std::FILE* probe = std::fopen(control_file.c_str(), "r");
    if (!probe) {
        std::fprintf(console, "Can't open SCE input file %s\n", control_file.c_str());
        std::fprintf(console, "Error: unable to successufully setup SCE-UA. Unable to run.\n");
        return false;
    }
    std::fclose(probe);
    OutputFile output(kOutputName);
    if (!output) {
        std::fprintf(console, "Can't open output file %s\n", kOutputName);
        std::fprintf(console, "Error: unable to successufully setup SCE-UA. Unable to run.\n");
        return false;
    }
    std::fprintf(console, " ENTER THE SCEIN SUBROUTINE --- \n");

    SceSettings settings;
    Observations observations;
    bool ready = read_sce_input(reading, control_file, settings) &&
                 check_sce_settings(settings, console, output.get());
    if (ready &&
        !read_scoring_data(reading, settings.observation_file, settings.objective, observations)) {
        std::fprintf(console,
                     "Error: unable to open the observation file for reading or problem while "
                     "reading it.\n");
        ready = false;
    }
    if (!ready) {
        std::fprintf(console, "Error: unable to successufully setup SCE-UA. Unable to run.\n");
        close_and_say(output, console);
        return false;
    }

    SimulationSetup evaluations = setup;
    evaluations.run_folder = settings.run_folder;
    evaluations.keep_best_only = settings.keep_best_only;
    evaluations.workers = calibration_workers(settings.project_file, setup.workers);
    if (!remote)
        std::fprintf(console, "Evaluating %d points side by side; each run's files go to %s.\n",
                     evaluations.workers,
                     settings.run_folder.empty() ? "the working folder"
                                                 : (settings.run_folder + "/").c_str());
    ScoreHistory history;
    SimulationObjective local(evaluations, settings.project_file, settings.parameter_file,
                              observations, history);
    Evaluator& evaluator = remote ? *remote : static_cast<Evaluator&>(local);
    SceStreams streams;
    streams.console = console;
    streams.output = output.get();
    streams.progress = setup.progress;
    SceOutcome outcome;
    const int runs = run_sce_search(settings, evaluator, streams, outcome);
    const bool output_written = close_and_say(output, console) && !streams.log_failed;
    if (runs < 1 || !std::isfinite(outcome.best_criterion)) {
        std::fprintf(console, "Error: unable to successfully run the SCE method\n");
        return false;
    }

    std::fprintf(console, "The best results of the SCE calibration after %d runs:\n", runs);
    for (int j = 1; j <= settings.nopt; ++j) std::fprintf(console, "%lf\n", outcome.best[j]);
    const bool best_written = write_best(outcome, settings.nopt, console);

    // The best point once more as an ordinary simulation, so that its
    // hydrograph and summary stand beside the observations.
    std::fprintf(console,
                 "Running the best point as an ordinary simulation; its output files carry the "
                 "prefix 0000_.\n");
    std::fflush(console);
    const int rerun = simulate_point(setup, settings.project_file, settings.parameter_file,
                                     outcome.best, 0, nullptr);
    if (rerun != 0)
        std::fprintf(console, "Error: the ordinary run of the best point failed with error %d.\n",
                     rerun);
    return local.close_files() && output_written && best_written && rerun == 0;
}

}  // namespace torva

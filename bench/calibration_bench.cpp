// Evaluations per minute of a calibration of the example watershed: each
// evaluation is the whole infiltration example with its rain intensity a
// replacement tag, run by the same objective as the -c and -m modes, with one
// and with two workers side by side (counter evaluations_per_second).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "calibration/observations.hpp"
#include "calibration/simulation_objective.hpp"
#include "run/modes.hpp"

namespace {

namespace fs = std::filesystem;
using namespace torva;

std::string example_file(const std::string& name) {
    std::ifstream in(std::string(TORVA_SOURCE_DIR) + "/examples/valley/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return std::regex_replace(text.str(), std::regex("examples/"),
                              std::string(TORVA_SOURCE_DIR) + "/examples/");
}

// The example project with absolute input paths, plain output names and its
// rain intensity as the tag [RAIN], in a fresh folder.
fs::path write_calibration_folder() {
    const fs::path folder = fs::temp_directory_path() / "torva_calibration_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "valley.cmt") << example_file("valley.cmt");
    std::string project = example_file("valley_infiltration.prj");
    project = std::regex_replace(project, std::regex("MAPPING_TABLE [^\\n]+"),
                                 "MAPPING_TABLE valley.cmt");
    project = std::regex_replace(project, std::regex("[^ ]*examples/valley/out/"), "");
    project =
        std::regex_replace(project, std::regex("RAIN_INTENSITY [0-9.]+"), "RAIN_INTENSITY [RAIN]");
    std::ofstream(folder / "p.prj") << project;
    std::ofstream(folder / "params.txt") << "1\n[RAIN] \"%6.3lf\"\n";
    return folder;
}

void BM_CalibrationEvaluations(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    const fs::path before = fs::current_path();
    fs::current_path(write_calibration_folder());
    std::FILE* quiet = std::fopen("/dev/null", "w");
    const SimulationSetup setup = calibration_setup(workers, quiet, quiet);
    Observations observations;
    observations.count = 1;
    observations.peak = {0.0, 10.0};
    observations.peak_weight = {0.0, 1.0};
    observations.volume = {0.0, 20000.0};
    observations.volume_weight = {0.0, 1.0};
    ScoreHistory history;
    SimulationObjective objective(setup, "p.prj", "params.txt", observations, history);
    constexpr int kPoints = 4;
    int evaluations = 0;
    for (auto _ : state) {
        objective.for_each(kPoints, [&](int k, int worker) {
            objective.evaluate({0.0, 20.0 + k}, evaluations + k + 1, worker);
        });
        evaluations += kPoints;
    }
    state.counters["evaluations_per_second"] =
        benchmark::Counter(evaluations, benchmark::Counter::kIsRate);
    std::fclose(quiet);
    fs::current_path(before);
}

BENCHMARK(BM_CalibrationEvaluations)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

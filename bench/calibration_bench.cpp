// Evaluations per minute of a calibration of the example watershed: each
// evaluation is the whole infiltration example with its rain intensity a
// replacement tag, run by the same objective as the -c and -m modes, with one
// and with two workers side by side (counter evaluations_per_second).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "calibration/observations.hpp"
#include "calibration/sce_mode.hpp"
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

// What the progress lines and the per-run folder and console logs cost: the
// same SCE search (60 evaluations of a 5 x 5 plane of 10 m cells, one
// worker, fixed seed) without them (0) and with them (1). The time per
// search of the two should differ by well under 1 %.
void BM_CalibrationProgressAndRunLogs(benchmark::State& state) {
    const bool files = state.range(0) == 1;
    const fs::path folder = fs::temp_directory_path() / "torva_calibration_logs_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string map = "north: 50\nsouth: 0\neast: 50\nwest: 0\nrows: 5\ncols: 5\n";
    std::string elevation = map;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) {
            map += "1 ";
            elevation += std::to_string(10.5 - 0.1 * r + 0.02 * std::abs(c - 2)) + " ";
        }
        map += "\n";
        elevation += "\n";
    }
    std::ofstream(folder / "mask.msk") << map;
    std::ofstream(folder / "elevation.ele") << elevation;
    std::ofstream(folder / "p.prj")
        << "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 5\nCOLS 5\n"
           "GRIDSIZE 10\nOUTROW 5\nOUTCOL 3\nOUTSLOPE 0.01\nMANNING_N [N]\nTIMESTEP 10\n"
           "TOT_TIME 60\nHYD_FREQ 5\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
           "PRECIP_UNIF\nRAIN_INTENSITY [R]\nRAIN_DURATION 20\nOUTLET_HYDRO out.otl\n"
           "SUMMARY s.txt\n";
    std::ofstream(folder / "params.txt") << "2\n[N] \"%12.10lf\"\n[R] \"%12.10lf\"\n";
    std::ofstream(folder / "obs.txt") << "1\n0.02 1 20.0 1\n";
    std::ofstream(folder / "sce.in") << "p.prj\nparams.txt\nobs.txt\n60 5 0.0001 2 7 0 2\n"
                                        "0 0 0 0 0 0\n0.1 0.01 0.2\n30 10 60\n"
                                     << (files ? "" : "RUN_FOLDER .\n");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    std::FILE* quiet = std::fopen("/dev/null", "w");
    SimulationSetup setup = calibration_setup(1, quiet, quiet);
    setup.progress = files;
    for (auto _ : state) benchmark::DoNotOptimize(run_sce_calibration("sce.in", setup));
    std::fclose(quiet);
    fs::current_path(before);
    fs::remove_all(folder);
}

BENCHMARK(BM_CalibrationProgressAndRunLogs)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

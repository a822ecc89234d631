// Evaluations per minute of a calibration of the example watershed: each
// evaluation is the whole infiltration example with its rain intensity a
// replacement tag, run by the same objective as the -c and -m modes, with one
// and with two workers side by side (counter evaluations_per_second).

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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
// same SCE search (up to 200 evaluations of a 5 x 5 plane of 10 m cells, one
// worker, fixed seed) without them (the evaluations' files in the working
// folder, their consoles to the null device, no progress line) and with them
// (calibration_runs/ with a console log per evaluation, a progress line per
// loop). A 5 x 5 plane runs in a few milliseconds, so the fixed cost of each
// evaluation's files weighs far more here than in a real calibration.
//
// The two searches alternate (without, with, with, without, ...) so that a
// change in the machine's load falls on both alike; each pair gives the cost
// as a share of the search without. Counters: the median search times, the
// median cost (percent, by wall and by processor time), the spread of the
// pairs' costs (half the distance between their quartiles) and the median
// processor time the logs add to one evaluation (microseconds).
fs::path write_log_bench_folder(const std::string& name, bool files) {
    const fs::path folder = fs::temp_directory_path() / name;
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
    std::ofstream(folder / "sce.in") << "p.prj\nparams.txt\nobs.txt\n200 10 0.0000001 2 7 0 2\n"
                                        "0 0 0 0 0 0\n0.1 0.01 0.2\n30 10 60\n"
                                     << (files ? "" : "RUN_FOLDER .\n");
    return folder;
}

double process_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const std::size_t below = static_cast<std::size_t>(at);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (at - static_cast<double>(below)) * (values[above] - values[below]);
}

void BM_CalibrationProgressAndRunLogs(benchmark::State& state) {
    const int pairs = static_cast<int>(state.range(0));
    const fs::path folders[2] = {write_log_bench_folder("torva_calibration_logs_bench_0", false),
                                 write_log_bench_folder("torva_calibration_logs_bench_1", true)};
    const fs::path before = fs::current_path();
    std::FILE* quiet = std::fopen("/dev/null", "w");
    struct Time {
        double wall, cpu;
    };
    const auto search = [&](int files) {
        fs::current_path(folders[files]);
        SimulationSetup setup = calibration_setup(1, quiet, quiet);
        setup.progress = files == 1;
        const auto wall = std::chrono::steady_clock::now();
        const double cpu = process_seconds();
        const bool ran = run_sce_calibration("sce.in", setup);
        const Time t = {
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(),
            process_seconds() - cpu};
        if (!ran)
            state.SkipWithError("the calibration failed");
        return t;
    };
    std::vector<double> without, with, cost, cpu_cost, extra_cpu;
    int evaluations = 0;
    for (auto _ : state) {
        search(0);  // the first search of each reads its files into the cache
        search(1);
        // "The best results of the SCE calibration N runs:"
        std::ifstream best(folders[1] / "best.out");
        std::string word;
        while (best >> word && word != "calibration") {
        }
        best >> evaluations;
        for (int k = 0; k < pairs; ++k) {
            Time t[2];
            if (k % 2 == 0) {
                t[0] = search(0);
                t[1] = search(1);
            } else {
                t[1] = search(1);
                t[0] = search(0);
            }
            without.push_back(t[0].wall * 1e3);
            with.push_back(t[1].wall * 1e3);
            cost.push_back(100.0 * (t[1].wall - t[0].wall) / t[0].wall);
            cpu_cost.push_back(100.0 * (t[1].cpu - t[0].cpu) / t[0].cpu);
            extra_cpu.push_back(t[1].cpu - t[0].cpu);
        }
    }
    fs::current_path(before);
    std::fclose(quiet);
    for (const fs::path& folder : folders) fs::remove_all(folder);
    if (without.empty())
        return;
    state.counters["without_ms"] = quantile(without, 0.5);
    state.counters["with_ms"] = quantile(with, 0.5);
    state.counters["cost_pct"] = quantile(cost, 0.5);
    state.counters["cost_spread_pct"] = (quantile(cost, 0.75) - quantile(cost, 0.25)) / 2;
    state.counters["cpu_cost_pct"] = quantile(cpu_cost, 0.5);
    state.counters["cpu_cost_spread_pct"] =
        (quantile(cpu_cost, 0.75) - quantile(cpu_cost, 0.25)) / 2;
    // The same cost per evaluation, whatever the model: what it weighs in a
    // calibration of a real watershed is this against one of its runs.
    state.counters["evaluations"] = evaluations;
    if (evaluations > 0)
        state.counters["cpu_cost_us_per_evaluation"] = 1e6 * quantile(extra_cpu, 0.5) / evaluations;
}

BENCHMARK(BM_CalibrationProgressAndRunLogs)
    ->Arg(12)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

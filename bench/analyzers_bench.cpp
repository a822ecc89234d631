// What analyzers cost a run: the routed valley example (two hours at 2 s
// steps, 109 channel nodes) without analyzers, and with ten analyzers that
// test every node at every step and write their reports to files. The
// difference of the two, over the first, is the share of the run the
// analyzers take.

#include <benchmark/benchmark.h>
#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/context.hpp"
#include "quiet_run.hpp"
#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

// The routed valley's project with its outputs in `folder`, and with the
// analyzer file when one is given.
std::string valley_project(const fs::path& folder, const std::string& analyzers) {
    std::string text =
        "TORVAPROJECT\nWATERSHED_MASK examples/valley/valley.msk\n"
        "ELEVATION examples/valley/valley.ele\nMAPPING_TABLE examples/valley/valley.cmt\n"
        "ROWS 120\nCOLS 100\nGRIDSIZE 20\nOUTROW 120\nOUTCOL 50\nOUTSLOPE 0.008\nOVERTYPE ade\n"
        "RETENTION 1.0\nTIMESTEP 2\nHYD_FREQ 5\nMAP_FREQ 60\nTOT_TIME 120\n"
        "START_DATE 2021 7 14\nSTART_TIME 14 0\nPRECIP_UNIF\nRAIN_INTENSITY 25.0\n"
        "RAIN_DURATION 45\nCHANNEL_INPUT examples/valley/valley.chn\n"
        "STREAM_CELL examples/valley/valley.gst\nCHAN_EXPLIC\nQUIET\n"
        "SUMMARY " +
        (folder / "summary.txt").string() + "\nOUTLET_HYDRO " + (folder / "outlet.otl").string() +
        "\n";
    if (!analyzers.empty())
        text += "ANALYZERS " + analyzers + "\n";
    return text;
}

// Ten watches that test every node at every step and write, each to its
// own file, the nodes that pass and their count: thresholds on the discharge,
// the depth and the flow area, some passed by most nodes most of the time
// (about 20 MB of reports in all).
std::string ten_analyzers(const fs::path& folder) {
    std::string text;
    const char* lines[] = {
        "flow t > 1",     "flow t > 5",   "flow t > 10", "flow t < 0.1",  "depth t > 0.5",
        "depth t < 0.05", "depth t >= 1", "area t > 2",  "area t <= 0.5", "flow t == 0",
    };
    int k = 0;
    for (const char* line : lines)
        text += std::string("2DS ") + line + " tcf 0 " +
                (folder / ("watch" + std::to_string(++k) + ".txt")).string() + "\n";
    return text;
}

void run_valley(benchmark::State& state, bool with_analyzers) {
    const fs::path before = fs::current_path();
    fs::current_path(TORVA_SOURCE_DIR);
    const fs::path folder =
        fs::temp_directory_path() / ("torva_analyzers_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::string analyzer_file;
    if (with_analyzers) {
        analyzer_file = (folder / "ten.anl").string();
        std::ofstream(analyzer_file) << ten_analyzers(folder);
    }
    const std::string project = (folder / "valley.prj").string();
    // One thread: the share of the analyzers, which run on the driver's
    // thread, is then that of the processor time.
    omp_set_num_threads(1);
    std::ofstream(project) << valley_project(folder, analyzer_file);
    for (auto _ : state) {
        torva::RunContext ctx;
        if (!torva::bench::quiet_run(state, ctx, project, "the valley run failed"))
            break;
    }
    omp_set_num_threads(omp_get_num_procs());
    fs::remove_all(folder);
    fs::current_path(before);
}

void BM_ValleyRoutedWithoutAnalyzers(benchmark::State& state) {
    run_valley(state, false);
}

void BM_ValleyRoutedTenAnalyzersEveryStep(benchmark::State& state) {
    run_valley(state, true);
}

BENCHMARK(BM_ValleyRoutedWithoutAnalyzers)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ValleyRoutedTenAnalyzersEveryStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

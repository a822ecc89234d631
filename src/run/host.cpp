#include "run/host.hpp"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

#include "core/context.hpp"
#include "core/host_link.hpp"
#include "run/driver.hpp"

namespace torva {
namespace {

// The console text of one run, kept in memory.
class MemoryStream {
  public:
    MemoryStream() : file_(open_memstream(&buffer_, &size_)) {}
    ~MemoryStream() {
        if (file_)
            std::fclose(file_);
        std::free(buffer_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::FILE* get() const { return file_; }
    std::string text() {
        if (!file_)
            return {};
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_ = nullptr;
};

// The "label = figure" and "label: figure" lines of a piece of a summary;
// with `spaced`, also "label    figure unit" lines, whose label then holds
// no digit (so that a date or a clock time is never taken for a label).
SummaryFigures labelled_figures(const std::string& text, bool spaced) {
    SummaryFigures figures;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t mark = line.find_first_of("=:");
        if (spaced) {
            const std::size_t gap = line.find("  ");
            const std::size_t figure_at = line.find_first_not_of(' ', gap);
            if (gap != std::string::npos && gap > 0 && gap < mark &&
                figure_at != std::string::npos &&
                std::strchr("0123456789-+.", line[figure_at]) != nullptr)
                mark = gap;
        }
        if (mark == std::string::npos || mark == 0)
            continue;
        const char* rest = line.c_str() + mark + (line[mark] == ' ' ? 0 : 1);
        char* end = nullptr;
        const double figure = std::strtod(rest, &end);
        if (end == rest)
            continue;
        std::string label = line.substr(0, mark);
        while (!label.empty() && label.back() == ' ') label.pop_back();
        if (label.empty() || label.front() == '*')
            continue;
        if (spaced && label.find_first_of("0123456789") != std::string::npos)
            continue;
        figures.emplace_back(label, figure);
    }
    return figures;
}

}  // namespace

SummaryFigures balance_figures(const std::string& summary) {
    const std::size_t start = summary.find("GLOBAL MASS BALANCE CALCULATIONS");
    if (start == std::string::npos)
        return {};
    return labelled_figures(summary.substr(start), false);
}

std::vector<SummaryFigures> event_figures(const std::string& summary) {
    static constexpr std::string_view kHeading = "RUNOFF SIMULATION SUMMARY";
    const std::size_t totals = std::min(summary.find("SIMULATION TOTALS"), summary.size());
    std::vector<SummaryFigures> events;
    std::size_t at = summary.find(kHeading);
    while (at < totals) {
        const std::size_t next = std::min(summary.find(kHeading, at + kHeading.size()), totals);
        events.push_back(labelled_figures(summary.substr(at, next - at), true));
        at = next;
    }
    return events;
}

HostResult run_hosted(const HostRequest& request) {
    HostResult result;
    MemoryStream console;
    if (!console.get()) {
        result.status = 1;
        result.messages = "Error: no memory for the console text of the run.\n";
        return result;
    }
    HostLink host;
    host.discard_outputs = !request.outputs;
    host.values_given = request.values_given;
    host.values = request.values;
    host.stop_requested = request.stop_requested;

    RunContext ctx;
    ctx.out = console.get();
    ctx.err = console.get();
    ctx.total_threads = omp_get_num_procs();
    ctx.host = &host;
    // The threads of this run's cell loops are set for the calling thread
    // only, so that runs side by side each keep their own.
    const int threads_before = omp_get_max_threads();
    if (request.threads > 0) {
        ctx.cell_threads = request.threads;
        omp_set_num_threads(request.threads);
    } else if (request.default_threads > 0) {
        // Not a choice of the caller: the project's NUM_THREADS still sets it.
        omp_set_num_threads(request.default_threads);
    }
    result.code = run_simulation(ctx, request.project_file);
    result.threads = omp_get_max_threads();
    omp_set_num_threads(threads_before);
    result.status = ctx.interrupted_by ? 128 + ctx.interrupted_by : (result.code == 0 ? 0 : 1);
    result.messages = console.text();
    result.outlet_time = std::move(host.outlet_time);
    result.outlet_discharge = std::move(host.outlet_discharge);
    result.balance = balance_figures(host.summary_text);
    result.events = event_figures(host.summary_text);
    if (request.outputs)
        result.files_written = ctx.files_written;
    host.summary_text.clear();
    host.stop_requested = nullptr;
    result.kept = std::move(host);
    return result;
}

}  // namespace torva

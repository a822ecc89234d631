#include "run/run_report.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/output_files.hpp"

namespace torva {
namespace {

// The series a file belongs to: its name with the last run of four or more
// digits of the file name (not of its folders) made a "*"; the name itself
// when it has none.
std::string series_pattern(const std::string& path) {
    const std::size_t name_start = path.find_last_of('/') + 1;  // npos + 1 is 0
    std::size_t end = path.size();
    while (end > name_start) {
        std::size_t first = end;
        while (first > name_start && std::isdigit(static_cast<unsigned char>(path[first - 1])))
            --first;
        if (end - first >= 4)
            return path.substr(0, first) + "*" + path.substr(end);
        end = first == end ? end - 1 : first;
    }
    return path;
}

// The files in the order of their first opening, a map series (depth.0001.asc,
// depth.0002.asc...) as one entry with its count.
std::vector<std::pair<std::string, int>> group_map_series(const std::vector<std::string>& files) {
    std::vector<std::pair<std::string, int>> groups;
    std::vector<std::string> patterns;
    for (const std::string& path : files) {
        const std::string pattern = series_pattern(path);
        const auto at = std::find(patterns.begin(), patterns.end(), pattern);
        if (at == patterns.end()) {
            patterns.push_back(pattern);
            groups.emplace_back(path, 1);
            continue;
        }
        auto& group = groups[static_cast<std::size_t>(at - patterns.begin())];
        group.first = pattern;
        ++group.second;
    }
    return groups;
}

// The files the run wrote, one path a line, so that a user (or a script)
// finds every output without reading the project file again.
void list_files_written(RunContext& ctx) {
    if (!ctx.ignored_cards.empty()) {
        ctx.print("Cards ignored (not known to this version):\n");
        for (const std::string& card : ctx.ignored_cards) ctx.print("  %s\n", card.c_str());
    }
    if (ctx.files_written.empty())
        return;
    ctx.print("Files written:\n");
    for (const auto& [path, count] : group_map_series(ctx.files_written)) {
        if (count > 1)
            ctx.print("  %s (%d files)\n", path.c_str(), count);
        else
            ctx.print("  %s\n", path.c_str());
    }
}

}  // namespace

void write_phase_times(RunContext& ctx, double loop_seconds) {
    static constexpr const char* kNames[] = {"precipitation", "rainfall",    "infiltration",
                                             "overland flow", "groundwater", "channel routing",
                                             "output"};
    const PhaseTimes& times = ctx.phase_times;
    double timed_seconds = 0.0;
    ctx.print("Wall time of the time loop by phase (s):\n");
    for (std::size_t k = 0; k < times.seconds.size(); ++k) {
        ctx.print("  %-16s %10.3lf\n", kNames[k], times.seconds[k]);
        timed_seconds += times.seconds[k];
    }
    ctx.print("  %-16s %10.3lf\n", "other", loop_seconds - timed_seconds);
    ctx.print("  %-16s %10.3lf\n", "time loop", loop_seconds);
    ctx.print("Steps whose cell loops ran on one thread: %lld of %lld\n", times.single_thread_steps,
              times.steps);
    ctx.print("Wall time of the dry steps (no water on the ground): %.3lf s of %.3lf s\n",
              times.dry_step_seconds, times.step_seconds);
}

// The run time is appended to out_time.dat in the working folder; a file that
// cannot be opened is passed over, one that cannot be written fails the run.
void write_run_time(RunContext& ctx, double seconds) {
    OutputFile times = ctx.host && ctx.host->discard_outputs ? OutputFile("/dev/null", "a")
                                                             : OutputFile("out_time.dat", "a");
    if (times) {
        times.print("total time (s): %8.2lf\n", seconds);
        if (!(ctx.host && ctx.host->discard_outputs))
            ctx.note_file_written(times.path());
    }
    list_files_written(ctx);
    if (ctx.total_threads == 1)
        ctx.print("Run time: %6.2lf(s) \n", seconds);
    else
        ctx.print("%d: Run time: %6.2lf(s) \n", ctx.partition, seconds);
    std::fflush(ctx.out);
    if (!close_output(ctx, times))
        report_error(ctx);
}

}  // namespace torva

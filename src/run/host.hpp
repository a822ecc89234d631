#pragma once
// Simulations run for a host program inside its own process (the Python
// module): one project file, its console text kept rather than printed, and
// the results handed back as values.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/host_link.hpp"

namespace torva {

struct HostRequest {
    std::string project_file;
    // Replacement values by tag, in place of the project's REPLACE_VALS file.
    bool values_given = false;
    std::vector<std::pair<std::string, std::string>> values;
    bool outputs = true;  // false: no file is written
    // Threads of the run's cell loops; 0: as the command line (NUM_THREADS,
    // else every processor).
    int threads = 0;
    // With `threads` 0 and no NUM_THREADS card: the threads in place of every
    // processor (a host running several simulations at once gives each one);
    // 0 for every processor.
    int default_threads = 0;
    // Asked once a step; true stops the run after it as a SIGINT would.
    std::function<bool()> stop_requested;
};

// The figures of one event's summary, by their label, in order.
using SummaryFigures = std::vector<std::pair<std::string, double>>;

struct HostResult {
    // 0 for a clean run, 1 for a failed one, 128 plus the signal's number for
    // one a stop signal ended; `code` is the error code the run ended with.
    int status = 0;
    int code = 0;
    std::string messages;  // the console text, as the program prints it
    int threads = 0;       // the threads the run's cell loops were given
    std::vector<double> outlet_time;
    std::vector<double> outlet_discharge;
    // The figures of the summary's mass balance, by their label, in order.
    SummaryFigures balance;
    // One entry per event summary the run wrote.
    std::vector<SummaryFigures> events;
    std::vector<std::string> files_written;
    // The hydrograph locations, the maps and the grid's georeference.
    HostLink kept;
};

// Runs one simulation through its own context. Safe to call from several
// threads at once; paths resolve against the process's working folder.
HostResult run_hosted(const HostRequest& request);

// The "label = figure" lines of a summary text from its mass balance on.
SummaryFigures balance_figures(const std::string& summary);
// The figures of each event summary of a summary text.
std::vector<SummaryFigures> event_figures(const std::string& summary);

}  // namespace torva

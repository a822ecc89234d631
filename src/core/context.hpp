#pragma once
// The per-simulation context: the values that live outside the Model state for
// the length of a run (error record, replacement values, series lists, batch
// numbering, console streams). Every simulation owns one, so simulations that
// run side by side (calibration) never share them.

#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/host_link.hpp"
#include "core/phase_times.hpp"
#include "core/replacement.hpp"
#include "core/series_lists.hpp"

namespace torva {

struct RunContext {
    ErrorRecord error;

    // Console streams; tests point them at files to compare output.
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // The reporter's reference to the run's summary file; empty until opened.
    std::FILE* summary = nullptr;

    // The signal (SIGINT, SIGTERM) that stopped the run after a whole step; 0 if none.
    int interrupted_by = 0;

    // Batch numbering of output files.
    int batch_flag = 0;
    int run_number = 0;
    int replace_line = 0;       // zero-based line of the replacement value file
    std::string output_folder;  // REPLACE_FOLDER, with its trailing backslash
    int partition = 0;          // always 0; printed before the run-time line
    int total_threads = 1;      // processors at start-up
    // Threads of this simulation's cell loops when a calibration runs it
    // beside others (then NUM_THREADS does not change them); 0 otherwise.
    int cell_threads = 0;

    Replacement replacement;
    // Set when a host program runs this simulation in its own process.
    HostLink* host = nullptr;
    SeriesLists series;
    PhaseTimes phase_times;

    // The files this simulation has opened for writing, in the order of their
    // first opening; the run lists them at its end.
    std::vector<std::string> files_written;
    void note_file_written(const std::string& path);

    // printf to the console.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // printf to the console and, once it is open, to the summary file.
    void print_and_log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // printf to the summary file only (nothing while it is not open).
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void print_error(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

}  // namespace torva

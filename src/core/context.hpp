#pragma once
// The per-simulation context: the values that live outside the Model state for
// the length of a run (error record, replacement values, series lists, batch
// numbering, console streams). Every simulation owns one, so simulations that
// run side by side (calibration) never share them.

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
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
    // No output opens before every input has been read and checked, so that a
    // run refused at set-up leaves the files of an earlier run as they were.
    // The summary lines of the set-up wait here meanwhile, and go to the
    // summary file when it opens (or are dropped when the run stops first).
    bool holding_summary = false;
    std::string held_summary;
    // Starts holding the summary lines until open_summary().
    void hold_summary();
    // The summary file is open: the held lines go to it first. A null file
    // (no SUMMARY card) drops them.
    void open_summary(std::FILE* file);
    // Text for the summary file: written when it is open, held while the
    // set-up holds it, dropped otherwise.
    void to_summary(std::string_view text);

    // The signal (SIGINT, SIGTERM) that stopped the run after a whole step; 0 if none.
    int interrupted_by = 0;

    // Batch numbering of output files.
    int batch_flag = 0;
    int run_number = 0;
    int replace_line = 0;       // zero-based line of the replacement value file
    std::string output_folder;  // REPLACE_FOLDER, with its trailing backslash
    // Folders an output file needs are made when it is opened (the run
    // folders of a calibration); otherwise they must exist.
    bool make_output_folders = false;
    int partition = 0;      // always 0; printed before the run-time line
    int total_threads = 1;  // processors at start-up
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
    // The project lines this simulation ignored ("line 3 of p.prj:
    // OUTLET_HYDROGRAPH (did you mean OUTLET_HYDRO?)"), repeated at its end
    // where the last screen shows them.
    std::vector<std::string> ignored_cards;

    // A line on a terminal that the next console line replaces (the progress
    // of a long run).
    bool transient_line = false;
    void clear_transient_line();

    // printf to the console.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // printf to the console and, once it is open, to the summary file.
    void print_and_log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // printf to the summary file only (nothing while it is not open).
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vlog(const char* format, va_list args);
    void print_error(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

}  // namespace torva

#pragma once
// Simulations run for a host program inside its own process (the Python
// module): one project file, its console text kept rather than printed, and
// the results handed back as values.

#include <string>
#include <utility>
#include <vector>

namespace torva {

struct HostRequest {
    std::string project_file;
    // Replacement values by tag, in place of the project's REPLACE_VALS file.
    bool values_given = false;
    std::vector<std::pair<std::string, std::string>> values;
    bool outputs = true;  // false: no file is written
};

struct HostResult {
    // 0 for a clean run, 1 for a failed one, 128 plus the signal's number for
    // one a stop signal ended; `code` is the error code the run ended with.
    int status = 0;
    int code = 0;
    std::string messages;  // the console text, as the program prints it
    std::vector<double> outlet_time;
    std::vector<double> outlet_discharge;
    // The figures of the summary's mass balance, by their label, in order.
    std::vector<std::pair<std::string, double>> balance;
    std::vector<std::string> files_written;
};

// Runs one simulation through its own context. Safe to call from several
// threads at once; paths resolve against the process's working folder.
HostResult run_hosted(const HostRequest& request);

// The "label = figure" lines of a summary text from its mass balance on.
std::vector<std::pair<std::string, double>> balance_figures(const std::string& summary);

}  // namespace torva

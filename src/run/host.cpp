#include "run/host.hpp"

#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

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

}  // namespace

std::vector<std::pair<std::string, double>> balance_figures(const std::string& summary) {
    std::vector<std::pair<std::string, double>> figures;
    const std::size_t start = summary.find("GLOBAL MASS BALANCE CALCULATIONS");
    if (start == std::string::npos)
        return figures;
    std::istringstream lines(summary.substr(start));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t mark = line.find_first_of("=:");
        if (mark == std::string::npos || mark == 0)
            continue;
        const char* rest = line.c_str() + mark + 1;
        char* end = nullptr;
        const double figure = std::strtod(rest, &end);
        if (end == rest)
            continue;
        std::string label = line.substr(0, mark);
        while (!label.empty() && label.back() == ' ') label.pop_back();
        if (label.empty() || label.front() == '*')
            continue;
        figures.emplace_back(label, figure);
    }
    return figures;
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

    RunContext ctx;
    ctx.out = console.get();
    ctx.err = console.get();
    ctx.total_threads = omp_get_num_procs();
    ctx.host = &host;
    result.code = run_simulation(ctx, request.project_file);
    result.status = ctx.interrupted_by ? 128 + ctx.interrupted_by : (result.code == 0 ? 0 : 1);
    result.messages = console.text();
    result.outlet_time = std::move(host.outlet_time);
    result.outlet_discharge = std::move(host.outlet_discharge);
    result.balance = balance_figures(host.summary_text);
    if (request.outputs)
        result.files_written = ctx.files_written;
    return result;
}

}  // namespace torva

// The compiled half of the torva Python module: one simulation per call, run
// with the interpreter lock released so that Python threads run simulations
// side by side.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

#include "run/host.hpp"

namespace py = pybind11;

namespace {

// Input and output paths resolve against the process's working folder, which
// all threads share. Runs in the same folder go side by side; a run in another
// folder waits until they have finished, then moves the process there.
class FolderLease {
  public:
    explicit FolderLease(const std::string& folder) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return users_ == 0 || current_ == folder; });
        if (users_ == 0 && current_ != folder) {
            if (::chdir(folder.c_str()) != 0) {
                failure_ = "Error: cannot work in folder " + folder + ": " + std::strerror(errno);
                return;
            }
            current_ = folder;
        }
        ++users_;
        held_ = true;
    }
    ~FolderLease() {
        if (!held_)
            return;
        std::lock_guard lock(mutex_);
        --users_;
        changed_.notify_all();
    }
    FolderLease(const FolderLease&) = delete;
    FolderLease& operator=(const FolderLease&) = delete;

    const std::string& failure() const { return failure_; }

  private:
    static inline std::mutex mutex_;
    static inline std::condition_variable changed_;
    static inline int users_ = 0;
    static inline std::string current_;
    bool held_ = false;
    std::string failure_;
};

// The simulations this process runs at the moment. A run that starts while
// others are in progress and whose threads nobody chose runs its cell loops on
// one thread: the runs beside it already keep the other processors busy, and
// threads that share a processor with another run wait for each other at
// every loop.
class RunsInProgress {
  public:
    RunsInProgress() : others_(count_.fetch_add(1)) {}
    ~RunsInProgress() { count_.fetch_sub(1); }
    RunsInProgress(const RunsInProgress&) = delete;
    RunsInProgress& operator=(const RunsInProgress&) = delete;

    int others() const { return others_; }
    static int count() { return count_.load(); }

  private:
    static inline std::atomic<int> count_{0};
    int others_;
};

// Ctrl-C while simulations run. Python's own handler only notes the signal
// for its main thread, which waits in a run with the interpreter lock let go;
// the module's handler also counts it, and every run in progress stops at the
// end of its step, writes its summary and ends as the program would. The
// handler is in place while runs are in progress, then Python's again.
class InterruptWatch {
  public:
    InterruptWatch() {
        std::lock_guard lock(mutex_);
        if (runs_++ > 0)
            return;
        struct sigaction ours {};
        ours.sa_handler = on_interrupt;
        sigemptyset(&ours.sa_mask);
        ours.sa_flags = SA_RESTART;
        // A SIGINT that is ignored, or left to end the process, stays so.
        struct sigaction current {};
        sigaction(SIGINT, nullptr, &current);
        if ((current.sa_flags & SA_SIGINFO) == 0 &&
            (current.sa_handler == SIG_IGN || current.sa_handler == SIG_DFL))
            return;
        previous_ = current;
        installed_ = sigaction(SIGINT, &ours, nullptr) == 0;
    }
    ~InterruptWatch() {
        std::lock_guard lock(mutex_);
        if (--runs_ > 0 || !installed_)
            return;
        sigaction(SIGINT, &previous_, nullptr);
        installed_ = false;
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // True once a SIGINT has come since this run began.
    std::function<bool()> stop_request() const {
        const unsigned at_start = count_.load();
        return [at_start] { return count_.load(std::memory_order_relaxed) != at_start; };
    }

  private:
    static void on_interrupt(int signal) {
        count_.fetch_add(1);
        if (previous_.sa_flags & SA_SIGINFO)
            previous_.sa_sigaction(signal, nullptr, nullptr);
        else if (previous_.sa_handler != SIG_IGN && previous_.sa_handler != SIG_DFL)
            previous_.sa_handler(signal);
    }

    static inline std::mutex mutex_;
    static inline int runs_ = 0;
    static inline bool installed_ = false;
    static inline struct sigaction previous_ {};
    static inline std::atomic<unsigned> count_{0};
};

py::array_t<double> to_array(const std::vector<double>& values) {
    py::array_t<double> array(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

// Values of `count` maps of rows x cols, one after another, as an array of
// shape (count, rows, cols); (rows, cols) when count is 0.
py::array_t<double> to_maps(const std::vector<double>& values, int count, int rows, int cols) {
    std::vector<py::ssize_t> shape{rows, cols};
    if (count > 0)
        shape.insert(shape.begin(), count);
    py::array_t<double> array(shape);
    const std::size_t expected = static_cast<std::size_t>(std::max(count, 1)) * rows * cols;
    if (values.size() == expected)
        std::copy(values.begin(), values.end(), array.mutable_data());
    else
        std::fill(array.mutable_data(), array.mutable_data() + array.size(),
                  std::numeric_limits<double>::quiet_NaN());
    return array;
}

// Location values kept row by row, as an array of shape (rows, locations).
py::array_t<double> to_table(const std::vector<double>& values, std::size_t columns) {
    const std::size_t rows = columns > 0 ? values.size() / columns : 0;
    py::array_t<double> array(std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows),
                                                       static_cast<py::ssize_t>(columns)});
    std::copy_n(values.begin(), rows * columns, array.mutable_data());
    return array;
}

py::dict to_dict(const std::vector<std::pair<std::string, double>>& figures) {
    py::dict d;
    for (const auto& [label, figure] : figures) d[py::str(label)] = figure;
    return d;
}

py::dict run(const std::string& project, const std::string& workdir,
             const std::optional<std::vector<std::pair<std::string, std::string>>>& values,
             bool outputs, int threads) {
    torva::HostRequest request;
    request.project_file = project;
    request.values_given = values.has_value();
    if (values)
        request.values = *values;
    request.outputs = outputs;
    request.threads = threads;

    torva::HostResult result;
    {
        py::gil_scoped_release released;
        InterruptWatch watch;
        request.stop_requested = watch.stop_request();
        FolderLease lease(workdir);
        RunsInProgress runs;
        if (threads == 0 && runs.others() > 0)
            request.default_threads = 1;
        if (lease.failure().empty()) {
            result = torva::run_hosted(request);
        } else {
            result.status = 1;
            result.messages = lease.failure() + "\n";
        }
    }
    // The interrupt stopped the run, which raises it with its results; the
    // signal Python noted for its main thread is then spent.
    if (result.status == 128 + SIGINT && PyErr_CheckSignals() != 0)
        PyErr_Clear();
    const torva::HostLink& kept = result.kept;
    py::list events;
    for (const auto& figures : result.events) events.append(to_dict(figures));
    py::dict maps;
    for (const torva::HostMapSeries& series : kept.maps) {
        py::dict one;
        one["units"] = series.units;
        one["minutes"] = to_array(series.minutes);
        one["values"] =
            to_maps(series.values, static_cast<int>(series.minutes.size()), kept.rows, kept.cols);
        maps[py::str(series.kind)] = one;
    }
    py::dict d;
    d["status"] = result.status;
    d["code"] = result.code;
    d["messages"] = result.messages;
    d["threads"] = result.threads;
    d["time"] = to_array(result.outlet_time);
    d["discharge"] = to_array(result.outlet_discharge);
    d["balance"] = to_dict(result.balance);
    d["events"] = events;
    d["files_written"] = result.files_written;
    d["locations"] = kept.locations;
    d["location_discharge"] = to_table(kept.location_discharge, kept.locations.size());
    d["location_depth"] = to_table(kept.location_depth, kept.locations.size());
    d["rows"] = kept.rows;
    d["cols"] = kept.cols;
    d["west"] = kept.west;
    d["north"] = kept.north;
    d["cell_size"] = kept.cell_size;
    d["wkt"] = kept.spatial_reference;
    d["final_depth"] = to_maps(kept.final_depth, 0, kept.rows, kept.cols);
    d["maps"] = maps;
    return d;
}

}  // namespace

PYBIND11_MODULE(_torva, m) {
    m.doc() = "Runs TORVA simulations in this process.";
    m.def("run", &run, py::arg("project"), py::arg("workdir"), py::arg("values"),
          py::arg("outputs"), py::arg("threads"),
          "Runs one simulation in the folder workdir; a dict of its results.");
    m.def("runs_in_progress", &RunsInProgress::count,
          "The simulations this process is running at the moment.");
}

// The compiled half of the torva Python module: one simulation per call, run
// with the interpreter lock released so that Python threads run simulations
// side by side.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
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

py::array_t<double> to_array(const std::vector<double>& values) {
    py::array_t<double> array(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), array.mutable_data());
    return array;
}

py::dict run(const std::string& project, const std::string& workdir,
             const std::optional<std::vector<std::pair<std::string, std::string>>>& values,
             bool outputs) {
    torva::HostRequest request;
    request.project_file = project;
    request.values_given = values.has_value();
    if (values)
        request.values = *values;
    request.outputs = outputs;

    torva::HostResult result;
    {
        py::gil_scoped_release released;
        FolderLease lease(workdir);
        if (lease.failure().empty()) {
            result = torva::run_hosted(request);
        } else {
            result.status = 1;
            result.messages = lease.failure() + "\n";
        }
    }
    py::dict balance;
    for (const auto& [label, figure] : result.balance) balance[py::str(label)] = figure;
    py::dict d;
    d["status"] = result.status;
    d["code"] = result.code;
    d["messages"] = result.messages;
    d["time"] = to_array(result.outlet_time);
    d["discharge"] = to_array(result.outlet_discharge);
    d["balance"] = balance;
    d["files_written"] = result.files_written;
    return d;
}

}  // namespace

PYBIND11_MODULE(_torva, m) {
    m.doc() = "Runs TORVA simulations in this process.";
    m.def("run", &run, py::arg("project"), py::arg("workdir"), py::arg("values"),
          py::arg("outputs"), "Runs one simulation in the folder workdir; a dict of its results.");
}

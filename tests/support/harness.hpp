#pragma once
// Test support: temporary working folders, files, and whole-program runs with
// their console output captured.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace torva {
struct RunContext;
}

namespace torva::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;
    // The full name of a file in the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    bool exists(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

struct ProgramRun {
    std::string out;
    std::string err;
    int status = 0;
};

// Runs the whole program in-process, as `torva args...` started in `folder`.
ProgramRun run_program_in(const std::filesystem::path& folder,
                          const std::vector<std::string>& args);

// Replaces what depends on the machine and the clock (thread count, timings)
// by fixed words, and drops the list of files written at the end of a run,
// so console output can be compared with golden files.
std::string normalise(const std::string& console);

std::string read_file(const std::filesystem::path& file);
// Everything written to an open temporary file so far.
std::string contents(std::FILE* file);
// An open temporary file holding the text, positioned at its start.
std::FILE* file_with(const std::string& text);

// A run context whose console (and error stream) go to temporary files.
class Console {
  public:
    explicit Console(RunContext& ctx);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    std::string text() const { return contents(out_); }
    std::string errors() const { return contents(err_); }
    // The console so far, cleared for the next check.
    std::string take();

  private:
    RunContext& ctx_;
    std::FILE* out_;
    std::FILE* err_;
};
// Whether /dev/full is the character device whose every write fails for want
// of room. Some containers lack it, and writing to the name there (as root)
// would make an ordinary file outside the test's folder, so the write-failure
// cases skip themselves instead.
bool full_device_present();
// For table rows that write to /dev/full (directly or through a link): true,
// after saying that the row is skipped, when the device is missing.
bool skip_without_full_device(const std::string& row);
inline constexpr const char* kNoFullDevice =
    "/dev/full is not a character device on this machine: write-failure case skipped";

// The number printed after `label` in the text (a summary file, a console):
// a failure of the test, and NaN, when the label is not there.
double figure(const std::string& text, const std::string& label);

// The balance errors of a summary lie within `tolerance` percent of 0: the
// event's mass conservation error, the run's overall error and the error of
// its surface components, or the labels given.
void expect_balances_close(const std::string& summary, double tolerance,
                           const std::vector<std::string>& labels = {
                               "mass conservation error:", "Overall mass balance error =",
                               "Mass balance error of surface components ="});

// Golden file under tests/<relative>.
std::string golden(const std::string& relative);

}  // namespace torva::test

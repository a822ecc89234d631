#pragma once
// Output files: the one opener of every output file (it strips the enclosing
// quotes of the name and, in numbered runs, puts the output folder and the run
// number in front of the file name) and the checked file it returns.
//
// A full device or a vanished folder must never leave a cut output behind a
// run that reports success, so an OutputFile remembers the first write, flush
// or close that failed, and the caller reports it through the error record:
//
//     OutputFile file = open_output_file(ctx, name, Numbering::numbered);
//     if (!file)
//         return raise_open_failure(ctx, file);   // "Can't open output file"
//     file.print("%8.2lf %9.3lf\n", t, q);
//     if (!close_output(ctx, file))              // raises the write failure
//         return false;

#include <cstdio>
#include <string>
#include <string_view>

namespace torva {

struct RunContext;

// An output file open for writing. Writers that print to a FILE* of their own
// use get(); the stream's error flag then carries their failure to the next
// flush() or close().
class OutputFile {
  public:
    OutputFile() = default;
    // Opens the path as given; is_open() tells whether it could be.
    explicit OutputFile(std::string path, const char* mode = "w");
    // Closes a file still open; a failure then goes unreported, so writers
    // close with close() or close_output().
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool is_open() const { return file_ != nullptr; }
    explicit operator bool() const { return is_open(); }
    // The path as opened (or as tried), for messages.
    const std::string& path() const { return path_; }
    std::FILE* get() const { return file_; }

    // Each returns false once anything written to the file has failed.
    bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool write(const void* data, std::size_t bytes);
    bool flush();
    // Flushes and closes; false when this or any earlier write failed (or the
    // file never opened). A closed file stays failed until reopened.
    bool close();

    // A write, flush or close has failed.
    bool failed() const;
    // Why the first failure happened ("No space left on device"); empty when none.
    std::string failure() const;

  private:
    bool note(bool ok);

    std::FILE* file_ = nullptr;
    std::string path_;
    int error_ = 0;  // errno of the first failure; 0 while none
    bool failed_ = false;
};

enum class Numbering { plain, numbered };

// The path an output file of this name gets in this run; empty for an empty name.
std::string output_path(const RunContext& ctx, std::string_view name, Numbering numbering);

// Opens the output file for writing (mode "w", "a", "wb"...); a name that is
// empty or cannot be opened gives a file that is not open, with the path tried.
// A file opened for writing joins the run's list of files written.
OutputFile open_output_file(RunContext& ctx, std::string_view name, Numbering numbering,
                            const char* mode = "w");

// Makes the folders that lead to the file, when missing; false when they
// cannot be made (the opening that follows then fails and says so).
bool make_folders_for(const std::string& path);

// Raises "Can't open output file" naming the file; false, so that callers can
// return it.
bool raise_open_failure(RunContext& ctx, const OutputFile& file);
// Raises the write failure of the file unless an earlier error is pending,
// and closes the file: a file that failed is written no more, and reported
// once. False, so that callers can return it.
bool raise_write_failure(RunContext& ctx, OutputFile& file);
// Flushes the file and raises its write failure; false then.
bool flush_output(RunContext& ctx, OutputFile& file);
// Closes the file and raises its write failure; false then. A file that is
// not open closes without a message.
bool close_output(RunContext& ctx, OutputFile& file);
// For files written outside a simulation (the calibration's): closes the file;
// false, after printing "Error: unable to write the file NAME (reason)" to the
// console, when any write to it failed. A file that is not open closes quietly.
bool close_and_say(OutputFile& file, std::FILE* console);

}  // namespace torva

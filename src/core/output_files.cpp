#include "core/output_files.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <utility>

#include "core/context.hpp"
#include "core/file_names.hpp"

namespace torva {

OutputFile::OutputFile(std::string path, const char* mode) : path_(std::move(path)) {
    errno = 0;
    file_ = path_.empty() ? nullptr : std::fopen(path_.c_str(), mode);
    if (!file_) {
        error_ = errno;
        failed_ = true;
    }
}

OutputFile::~OutputFile() {
    if (file_)
        std::fclose(file_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      path_(std::move(other.path_)),
      error_(other.error_),
      failed_(other.failed_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (file_)
            std::fclose(file_);
        file_ = std::exchange(other.file_, nullptr);
        path_ = std::move(other.path_);
        error_ = other.error_;
        failed_ = other.failed_;
    }
    return *this;
}

// Keeps the first failure's reason: later ones are usually its consequence.
bool OutputFile::note(bool ok) {
    if (!ok && !failed_) {
        failed_ = true;
        error_ = errno;
    }
    return !failed();
}

bool OutputFile::print(const char* format, ...) {
    if (!file_)
        return note(false);
    std::va_list args;
    va_start(args, format);
    errno = 0;
    const int written = std::vfprintf(file_, format, args);
    va_end(args);
    return note(written >= 0);
}

bool OutputFile::write(const void* data, std::size_t bytes) {
    if (!file_)
        return note(false);
    errno = 0;
    return note(std::fwrite(data, 1, bytes, file_) == bytes);
}

bool OutputFile::flush() {
    if (!file_)
        return note(false);
    errno = 0;
    return note(std::fflush(file_) == 0 && !std::ferror(file_));
}

bool OutputFile::close() {
    if (!file_)
        return note(false);
    errno = 0;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    note(ok);
    errno = 0;
    ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return note(ok);
}

bool OutputFile::failed() const {
    return failed_ || (file_ && std::ferror(file_));
}

std::string OutputFile::failure() const {
    if (!failed())
        return {};
    return error_ != 0 ? std::strerror(error_) : "write error";
}

std::string output_path(const RunContext& ctx, std::string_view name, Numbering numbering) {
    std::string file = strip_quotes(name);
    if (file.empty())
        return {};
    const bool writing_numbered_run = ctx.batch_flag == 1;
    if (!writing_numbered_run)
        return file;
    // The run number goes in front of the file name, not of its folders, so
    // that out/summary.txt becomes out/0000_summary.txt.
    std::string folders;
    if (const std::size_t slash = file.find_last_of("/\\"); slash != std::string::npos) {
        folders = file.substr(0, slash + 1);
        file.erase(0, slash + 1);
    }
    std::string path = ctx.output_folder + folders;
    if (numbering == Numbering::numbered) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%04d_", ctx.run_number);
        path += prefix;
    }
    return path + file;
}

bool make_folders_for(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return !ec;
}

OutputFile open_output_file(RunContext& ctx, std::string_view name, Numbering numbering,
                            const char* mode) {
    const bool writing = std::strchr(mode, 'w') || std::strchr(mode, 'a');
    if (writing && ctx.host && ctx.host->discard_outputs &&
        !output_path(ctx, name, numbering).empty())
        return OutputFile("/dev/null", mode);
    const std::string path = writing ? output_path(ctx, name, numbering) : strip_quotes(name);
    if (writing && ctx.make_output_folders)
        make_folders_for(path);
    OutputFile file(path, mode);
    if (writing && file)
        ctx.note_file_written(file.path());
    return file;
}

bool raise_open_failure(RunContext& ctx, const OutputFile& file) {
    if (!ctx.error.pending())
        ctx.error.raise(err::open_output_file, {.text2 = file.path()});
    return false;
}

bool raise_write_failure(RunContext& ctx, OutputFile& file) {
    file.close();
    if (!ctx.error.pending())
        ctx.error.raise(err::write_output_file, {.text1 = file.failure(), .text2 = file.path()});
    return false;
}

bool flush_output(RunContext& ctx, OutputFile& file) {
    if (!file.is_open() || file.flush())
        return true;
    return raise_write_failure(ctx, file);
}

bool close_output(RunContext& ctx, OutputFile& file) {
    if (!file.is_open() || file.close())
        return true;
    return raise_write_failure(ctx, file);
}

bool close_and_say(OutputFile& file, std::FILE* console) {
    if (!file.is_open() || file.close())
        return true;
    std::fprintf(console, "Error: unable to write the file %s (%s)\n", file.path().c_str(),
                 file.failure().c_str());
    return false;
}

}  // namespace torva

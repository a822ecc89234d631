#include "core/context.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace torva {
namespace {

// The host keeps a copy of the summary file's text.
void copy_for_host(RunContext& ctx, const char* format, va_list args) {
    if (!ctx.host)
        return;
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return;
    std::string& text = ctx.host->summary_text;
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data() + at, static_cast<std::size_t>(length) + 1, format, args);
    text.resize(at + static_cast<std::size_t>(length));
}

}  // namespace
}  // namespace torva

namespace torva {

void RunContext::note_file_written(const std::string& path) {
    if (std::find(files_written.begin(), files_written.end(), path) == files_written.end())
        files_written.push_back(path);
}

void RunContext::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
}

void RunContext::print_and_log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (summary) {
        va_list copy;
        va_copy(copy, args);
        std::vfprintf(summary, format, copy);
        va_end(copy);
        va_copy(copy, args);
        copy_for_host(*this, format, copy);
        va_end(copy);
    }
    std::vfprintf(out, format, args);
    va_end(args);
}

void RunContext::log(const char* format, ...) {
    if (!summary)
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    copy_for_host(*this, format, copy);
    va_end(copy);
    std::vfprintf(summary, format, args);
    va_end(args);
}

void RunContext::print_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(err, format, args);
    va_end(args);
}

}  // namespace torva

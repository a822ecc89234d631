#include "core/context.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace torva {

void RunContext::note_file_written(const std::string& path) {
    if (std::find(files_written.begin(), files_written.end(), path) == files_written.end())
        files_written.push_back(path);
}

void RunContext::hold_summary() {
    holding_summary = true;
    held_summary.clear();
}

void RunContext::open_summary(std::FILE* file) {
    summary = file;
    if (summary && !held_summary.empty())
        std::fwrite(held_summary.data(), 1, held_summary.size(), summary);
    holding_summary = false;
    held_summary.clear();
    held_summary.shrink_to_fit();
}

void RunContext::to_summary(std::string_view text) {
    // A host keeps a copy of the summary's text.
    if (host && (summary || holding_summary))
        host->summary_text.append(text);
    if (summary)
        std::fwrite(text.data(), 1, text.size(), summary);
    else if (holding_summary)
        held_summary.append(text);
}

void RunContext::vlog(const char* format, va_list args) {
    if (!summary && !holding_summary)
        return;
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    to_summary(text);
}

void RunContext::clear_transient_line() {
    if (!transient_line)
        return;
    std::fputs("\r\033[K", out);
    transient_line = false;
}

void RunContext::print(const char* format, ...) {
    clear_transient_line();
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
}

void RunContext::print_and_log(const char* format, ...) {
    clear_transient_line();
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    vlog(format, copy);
    va_end(copy);
    std::vfprintf(out, format, args);
    va_end(args);
}

void RunContext::log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog(format, args);
    va_end(args);
}

void RunContext::print_error(const char* format, ...) {
    clear_transient_line();
    va_list args;
    va_start(args, format);
    std::vfprintf(err, format, args);
    va_end(args);
}

}  // namespace torva

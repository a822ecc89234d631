#include "core/context.hpp"

#include <algorithm>
#include <cstdarg>

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
    }
    std::vfprintf(out, format, args);
    va_end(args);
}

void RunContext::log(const char* format, ...) {
    if (!summary)
        return;
    va_list args;
    va_start(args, format);
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

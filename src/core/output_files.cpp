#include "core/output_files.hpp"

#include <cstring>

#include "core/context.hpp"
#include "core/file_names.hpp"

namespace torva {

std::string output_path(const RunContext& ctx, std::string_view name, Numbering numbering) {
    std::string file = strip_quotes(name);
    if (file.empty())
        return {};
    const bool writing_numbered_run = ctx.batch_flag == 1;
    if (!writing_numbered_run)
        return file;
    std::string path = ctx.output_folder;
    if (numbering == Numbering::numbered) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%04d_", ctx.run_number);
        path += prefix;
    }
    return path + file;
}

std::FILE* open_output_file(const RunContext& ctx, std::string_view name, Numbering numbering,
                            const char* mode) {
    const bool writing = std::strchr(mode, 'w') || std::strchr(mode, 'a');
    const std::string path = writing ? output_path(ctx, name, numbering) : strip_quotes(name);
    if (path.empty())
        return nullptr;
    return std::fopen(path.c_str(), mode);
}

}  // namespace torva

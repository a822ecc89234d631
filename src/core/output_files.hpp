#pragma once
// The one opener of every output file: strips the enclosing quotes of the name
// and, in numbered runs, puts the output folder and the run number in front.

#include <cstdio>
#include <string>
#include <string_view>

namespace torva {

struct RunContext;

enum class Numbering { plain, numbered };

// The path an output file of this name gets in this run; empty for an empty name.
std::string output_path(const RunContext& ctx, std::string_view name, Numbering numbering);

// Opens the output file for writing (mode "w", "a", "wb"...); nullptr when the
// name is empty or the file cannot be opened.
std::FILE* open_output_file(const RunContext& ctx, std::string_view name, Numbering numbering,
                            const char* mode = "w");

}  // namespace torva

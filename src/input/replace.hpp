#pragma once
// Replacement values: tags such as [KSAT] in any input line are replaced by the
// values of the current simulation before the line is parsed.

#include <string>
#include <vector>

namespace torva {

struct RunContext;

struct ReplacementParameter {
    std::string tag;     // brackets included
    std::string format;  // printf-style conversion
    enum class Kind { integer, real, text } kind = Kind::real;
    double real_value = 0.0;
    int integer_value = 0;
    std::string text_value;
    bool used = false;
};

struct Replacement {
    std::vector<ReplacementParameter> parameters;
    bool active = false;  // once values are loaded; survives into later runs
    int count = 0;        // replacements made since the values were loaded
};

// The REPLACE_PARAMS and REPLACE_VALS files. Errors print their message and
// let the run go on. Return 0, or -1 after an error.
int read_replacement_parameters(RunContext& ctx, const std::string& file_name);
int read_replacement_values(RunContext& ctx, const std::string& file_name);

// The two reports, to the summary file and the console.
void report_replacement_values(RunContext& ctx);
void report_replacement_use(RunContext& ctx);

// Substitutes every declared tag of the line in place, scanning left to right;
// the rewritten line never grows beyond max_length characters.
void substitute_tags(RunContext& ctx, std::string& line, std::size_t max_length);

}  // namespace torva

#pragma once
// Replacement values: tags such as [KSAT] in any input line are replaced by the
// values of the current simulation before the line is parsed.

#include <cstddef>
#include <string>

#include "core/replacement.hpp"

namespace torva {

struct RunContext;

// The declared tag and format fit these fields of the parameter file.
inline constexpr std::size_t kMaxTagLength = 27;
inline constexpr std::size_t kMaxFormatLength = 11;

// Checks a user's value format and gives the kind its letters decide (the last
// of d, f and s). The format must hold exactly one conversion of that kind
// (d or i; f, e or g; s) without '*' widths; literal text and %% may surround
// it. Returns false for any other format, which would print garbage or read
// arguments that are not there.
bool parse_value_format(const std::string& format, ReplacementParameter::Kind& kind);

// The value printed with the parameter's format; a format that does not pass
// parse_value_format prints the value plainly.
std::string format_value(const ReplacementParameter& parameter);

// The REPLACE_PARAMS and REPLACE_VALS files. Errors print their message and
// let the run go on. Return 0, or -1 after an error.
int read_replacement_parameters(RunContext& ctx, const std::string& file_name);
int read_replacement_values(RunContext& ctx, const std::string& file_name);

// The host's replacement values, by tag, in place of the REPLACE_VALS file.
// A key that names no declared tag, a declared tag without a value, and a value
// that its format's kind cannot hold stop the run with a message. Returns 0,
// or -1 after an error.
int apply_host_values(RunContext& ctx);

// Tries the declared tags at line[position] (a '['), first declared first.
// On a match the line is rewritten in place, new_length is its length, the
// count grows and the tag is marked used; returns 1. Returns 0 when no tag
// starts there, and -1 when the rewritten line would be longer than
// max_length (the line is then left as it was).
int substitute_at(RunContext& ctx, std::string& line, std::size_t position, std::size_t max_length,
                  std::size_t& new_length);

// Substitutes every declared tag of the line in place, scanning left to right;
// the rewritten line never grows beyond max_length characters.
void substitute_tags(RunContext& ctx, std::string& line, std::size_t max_length);

// The two reports, to the summary file and the console.
void report_replacement_values(RunContext& ctx);
void report_replacement_use(RunContext& ctx);

}  // namespace torva

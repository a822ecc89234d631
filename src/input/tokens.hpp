#pragma once
// The token and line readers shared by every input file of the program.
// Blanks, tabs, commas and newlines separate tokens; a token that starts with a
// double quote runs to the next double quote and may hold blanks and commas.

#include <cstdio>
#include <string>
#include <string_view>

#include "input/numbers.hpp"

#include "core/file_names.hpp"

namespace torva {

struct RunContext;

// The rest of one input line, taken apart from the left.
class Tokens {
  public:
    explicit Tokens(std::string_view line) : rest_(line) {}

    // Removes the next token and the separators after it. Returns false (and
    // an empty token) when nothing is left.
    bool text(std::string& token);
    // A missing or unreadable number reads as 0, or as much of the number as
    // the conversion can read from the start of the token.
    double real();
    int integer();
    // Checked forms: false when the token is missing or not wholly a number,
    // a real that is not finite or an integer that does not fit (the value is
    // then 0).
    bool real(double& value);
    bool integer(int& value);
    // The same, telling what is wrong (NumberFault::none when nothing is).
    NumberFault read(double& value);
    NumberFault read(int& value);

    std::string_view rest() const { return rest_; }
    bool empty() const;

  private:
    std::string_view rest_;
};

bool is_separator(char c);

// Reads the lines of one input file through a 20000-character buffer: a longer
// line is split and its rest comes back as the next line. When replacement
// values are active, their tags are substituted before the line is returned.
class LineReader {
  public:
    static constexpr int kBufferSize = 20000;

    LineReader(std::FILE* file, RunContext& ctx) : file_(file), ctx_(ctx) {}

    // Next line without its newline; false at end of file.
    bool next(std::string& line);
    int line_number() const { return line_number_; }

  private:
    std::FILE* file_;
    RunContext& ctx_;
    int line_number_ = 0;
    char buffer_[kBufferSize];
};

}  // namespace torva

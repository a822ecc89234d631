#pragma once
// The replacement list of a simulation: tags such as [KSAT] and the values
// that stand for them in every input line of the current simulation.

#include <string>
#include <vector>

namespace torva {

struct ReplacementParameter {
    std::string tag;     // brackets included
    std::string format;  // printf-style conversion, as the user wrote it
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

}  // namespace torva

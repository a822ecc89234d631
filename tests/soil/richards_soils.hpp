#pragma once
// Soil tables of Richards columns for the soil tests.

#include <string>

namespace torva::test {

// A table of one soil type of three layers: `first` over `second` over
// `third`, each a Brooks-Corey line; an empty layer is a 1 cm/h default.
inline std::string soil_table(const std::string& first, const std::string& second = "",
                              const std::string& third = "") {
    const auto layer = [](const std::string& line) {
        return line.empty() ? std::string("1 0.4 0.05 0.1 0.3 10 0 0.06 0.2 1 0") : line;
    };
    return "1 0\n1\n" + first + "\n" + layer(second) + "\n" + layer(third) + "\n";
}

}  // namespace torva::test

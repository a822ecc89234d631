#pragma once
// Small, complete projects for end-to-end tests.

#include <string>

#include "support/harness.hpp"

namespace torva::test {

// Writes p.prj (uniform rain over a 3 x 3 watershed of 10 m cells, 30 s steps,
// 10 minutes) with its mask and elevation maps into the folder. `extra_cards`
// are appended; `time_step` replaces the time step's value.
void write_small_project(const TempDir& dir, const std::string& extra_cards = "",
                         const std::string& time_step = "30");

std::string small_project_text(const std::string& extra_cards = "",
                               const std::string& time_step = "30");

}  // namespace torva::test

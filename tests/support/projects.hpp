#pragma once
// Small, complete projects for end-to-end tests, and the table-driven check of
// what the program says when it runs one with some lines changed.

#include <string>
#include <utility>
#include <vector>

#include "support/harness.hpp"

namespace torva::test {

// Writes p.prj (uniform rain over a 3 x 3 watershed of 10 m cells, 30 s steps,
// 10 minutes) with its mask and elevation maps into the folder. `extra_cards`
// are appended; `time_step` replaces the time step's value.
void write_small_project(const TempDir& dir, const std::string& extra_cards = "",
                         const std::string& time_step = "30");

std::string small_project_text(const std::string& extra_cards = "",
                               const std::string& time_step = "30");

// The header of a map of the small project's 3 x 3 grid.
inline const std::string kSmallHeader =
    "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n";

// The small project with lines changed, one change a line: a line whose first
// word is a card of the project takes that card's line, "-CARD" removes the
// card, any other line is added at the end. The small project's cards stand
// on these lines: 9 OUTSLOPE, 10 MANNING_N, 11 TIMESTEP, 12 TOT_TIME,
// 13 HYD_FREQ, 14 MAP_FREQ, 18 RAIN_INTENSITY, 19 RAIN_DURATION; added
// cards from line 20.
std::string edited_project(const std::string& edits);

// One run of the edited small project, with files written over it, and what
// the program must answer: a text found in its console and its exit status.
struct ProjectCase {
    std::string edits;
    std::string message;
    int status = 1;
    std::vector<std::pair<std::string, std::string>> files = {};
};

// A card whose value is refused: the message names the card and its line,
// "Error: card CARD on line N of p.prj: <reason>.".
ProjectCase card_refusal(const std::string& edit, const std::string& reason);

// Runs each case in a fresh folder and checks the message and the status; a
// refused run must stop before its time loop starts.
void expect_project_cases(const std::vector<ProjectCase>& cases);

}  // namespace torva::test

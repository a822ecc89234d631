#pragma once
// The project file: the cards a user writes, read into the project settings,
// the run settings derived from them, and the rules that refuse combinations of
// cards that cannot work together.

#include <string>
#include <string_view>

#include "input/cards.hpp"
#include "input/project_state.hpp"

namespace torva {

struct RunContext;
struct Model;

// Clears the settings and puts in the values that stand when a card is absent.
void set_project_defaults(ProjectSettings& settings);

// Reads the project file into model.project. Failures print their message and
// leave settings.read false or raise a code.
void read_project_file(Model& model, RunContext& ctx, std::string_view file_name);

// Performs one card line (the card word first); used by the project reader and
// by tests of single cards. Returns false when the reading must stop.
bool perform_card_line(ProjectSettings& settings, RunContext& ctx, std::string_view line);

// Copies the cards into the run settings, prints the end-of-reading line and
// refuses an unread project (code 3) or an unsupported map type (code 5).
void derive_run_settings(Model& model, RunContext& ctx);

// The cross-card rules, in order; raises the first code that applies.
void validate_cards(Model& model, RunContext& ctx);

}  // namespace torva

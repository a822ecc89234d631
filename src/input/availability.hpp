#pragma once
// What this version simulates. A card that asks for a process this version
// does not simulate stops the run at set-up; a card that only concerns a
// host's display changes no simulated number and only warns.

#include <string_view>

#include "input/cards.hpp"

namespace torva {

struct ProjectSettings;
struct RunContext;

enum class CardUse {
    simulated,      // acted on by this version
    not_simulated,  // its process is not available: the run stops
    display_only,   // a host's display only: a warning, no effect
};

CardUse card_use(Card card);

// The process a card that is not simulated (or only displayed) belongs to,
// as the messages name it; empty for a simulated card.
std::string_view card_process(Card card);

// Prints one warning for every display-only card of the project, and, when it
// gives any card whose process is not simulated, one message naming every such
// card, and raises code 4000 so that the run stops before any output is opened.
void refuse_unavailable_cards(const ProjectSettings& settings, RunContext& ctx,
                              std::string_view project_file);

}  // namespace torva

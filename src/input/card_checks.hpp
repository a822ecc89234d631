#pragma once
// The checks a card's numbers pass where they are read: a number that is
// there must be one the card can use, and a card word that is not known is
// compared with the known ones to suggest what was meant.

#include <string>
#include <string_view>

#include "input/cards.hpp"
#include "input/numbers.hpp"

namespace torva {

struct RunContext;
struct ProjectSettings;

// Prints "Error: card TIMESTEP on line 11 of p.prj: <value> <problem>.\n" (the
// place is left out for a card not read from a file) and raises the
// printed-message error.
void refuse_card_value(RunContext& ctx, const ProjectSettings& settings, Card card,
                       std::string_view value, std::string_view problem);

// The number arguments of a card: a missing one reads as 0, one that is there
// must read wholly as a finite real or an integer that fits, or the card is
// refused. False after the refusal.
bool read_card_real(RunContext& ctx, const ProjectSettings& settings, Card card,
                    std::string_view token, double& value);
bool read_card_integer(RunContext& ctx, const ProjectSettings& settings, Card card,
                       std::string_view token, int& value);

// Cards whose quantity cannot be negative (a time step, a run length, a rain
// intensity, a slope, a roughness, a depth) refuse a negative value as soon as
// it is read. Zero is left to the checks that give it a message of its own.
bool check_card_range(RunContext& ctx, const ProjectSettings& settings, Card card);

// The known card word nearest to an unknown one (lower case), when it is
// within two edits (one for words of four letters or fewer); failing that, the
// longest card word the unknown one begins with or holds; empty otherwise.
std::string closest_card_word(std::string_view unknown);

// Edit distance counting a swap of two neighbouring letters as one edit.
int edit_distance(std::string_view a, std::string_view b);

}  // namespace torva

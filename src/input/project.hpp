#pragma once
// The project file: the cards a user writes, read into the project settings,
// the run settings derived from them, and the rules that refuse combinations of
// cards that cannot work together.

#include <string>
#include <string_view>

#include "input/cards.hpp"

namespace torva {

struct RunContext;
struct Model;

enum class InfiltrationMethod {
    none = 0,
    green_ampt = 1,
    redistribution = 2,
    layered_soil = 3,
    richards = 4
};
enum class ChannelRouting {
    none = 0,
    preissmann = 1,
    drain = 2,
    explicit_routing = 3,
    mesh = 4,
    backwater = 5
};
enum class PrecipitationKind { uniform = 0, gauges = 1 };

struct ProjectSettings {
    std::array<CardValue, kCardCount> cards{};
    bool read = false;  // the file was opened and had a valid header

    // Method selectors: the last card of each group decides.
    InfiltrationMethod infiltration = InfiltrationMethod::none;
    ChannelRouting channel_routing = ChannelRouting::none;
    bool channels_simulated = false;
    PrecipitationKind precipitation = PrecipitationKind::uniform;

    int richards_k_option = 2;
    int richards_c_option = 0;
    int richards_upper_option = 1;
    int calib_comp_data = 2;
    int calib_obj_func = 2;
    int tanvik_event_num = -1;
    int nutrients = 0;

    const CardValue& operator[](Card c) const { return cards[static_cast<int>(c)]; }
    CardValue& operator[](Card c) { return cards[static_cast<int>(c)]; }
    bool given(Card c) const { return (*this)[c].given; }
    const std::string& text(Card c) const { return (*this)[c].text; }
    double real(Card c, int i = 0) const { return (*this)[c].real[i]; }
    int integer(Card c, int i = 0) const { return (*this)[c].integer[i]; }
};

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

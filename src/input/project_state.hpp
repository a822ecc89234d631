#pragma once
// The project settings of one simulation: the cards as read and the methods
// they select.

#include <array>
#include <string>
#include "input/cards.hpp"

namespace torva {

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
    bool read = false;      // the file was opened and had a valid header
    std::string file_name;  // the project file, for messages
    int line = 0;           // the line being read

    // Method selectors: the last card of each group decides.
    InfiltrationMethod infiltration = InfiltrationMethod::none;
    ChannelRouting channel_routing = ChannelRouting::none;
    bool channels_simulated = false;
    PrecipitationKind precipitation = PrecipitationKind::uniform;

    int richards_k_option = 2;
    // Brooks-Corey when RICHARDS_C_OPTION is absent; -1 marks a word of
    // neither kind (K and C options), refused when the project is checked.
    int richards_c_option = 1;
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

}  // namespace torva

#pragma once
// The channel input file as its readers see it: its lines, replacement tags
// already substituted, and the card words. The file is read once into memory;
// each reading pass (links, connectivity, nodes, sections, lakes) then walks
// the lines after the header, so a card's meaning depends only on the LINK and
// NODE cards before it.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "input/tokens.hpp"

namespace torva {

struct Model;
struct RunContext;

// Every card word of the channel input file.
enum class ChanCard {
    unknown,
    alpha,
    beta,
    theta,
    links,
    maxnodes,
    connect,
    link,
    type_word,
    erode,
    subsurface,
    nodes,
    dx,
    mannings_n,
    max_erosion,
    k_river,
    m_river,
    dispersion_coeff,
    decay_coeff,
    node,
    elev,
    xsec,
    bottom_width,
    bankfull_depth,
    side_slope,
    npairs,
    num_interp,
    x1,
    lake,
    mlake,
    minwse,
    initwse,
    maxwse,
    numpts,
    structure,
    numstructs,
    structtype,
    structure_parameter,
    pointsource,
    pumpto,
    num_outlets
};

// The structure element fields that parameter cards fill.
enum class StructureField {
    length,
    upstream_invert,
    downstream_invert,
    slope,
    forward_coefficient,
    reverse_coefficient,
    first_size,
    second_size,
    crest_low_location,
    roughness
};

// One card line: the card, its word as written, what follows it, its line number.
struct CardLine {
    ChanCard card = ChanCard::unknown;
    std::string word;
    Tokens args{""};
    int line = 0;
    int link_type = 0;                              // for a type word, the link type it gives
    StructureField field = StructureField::length;  // for a structure parameter card
};

// The card's word in capitals, as messages name it.
std::string card_name(const CardLine& c);

struct ChannelFile {
    std::string path;
    std::vector<std::string> lines;
    std::size_t body = 0;  // first line after the header

    // The card of line i (a blank line or an unknown word gives ChanCard::unknown).
    CardLine card(std::size_t i) const;

    // Argument readers: a missing value or one that is not wholly a finite
    // number prints its message naming the card and line, raises the fatal
    // error and returns false.
    bool real(RunContext& ctx, CardLine& c, double& value) const;
    bool integer(RunContext& ctx, CardLine& c, int& value) const;

    // Prints "Error in the channel input file <path>, line <n>: <what>" and
    // raises the fatal error; returns false.
    bool refuse(RunContext& ctx, int line, const std::string& what) const;
    // The same for a fault of a link as a whole: "..., link <n>: <what>".
    bool refuse_link(RunContext& ctx, int link, const std::string& what) const;
};

// Reads the whole file (lines of up to 19,999 characters, replacement tags
// substituted). False when it cannot be opened (code 4 raised).
bool load_channel_file(RunContext& ctx, const std::string& path, ChannelFile& file);

// printf into a string, for the texts of messages.
std::string message_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Message lines that stop the set-up: each printed with a newline, then the
// fatal error 4000 is raised. Returns false.
bool stop_with(RunContext& ctx, std::initializer_list<std::string_view> lines);

// Progress lines: to the console unless a quiet card is given, and always to
// the summary file.
void channel_progress(const Model& model, RunContext& ctx, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace torva

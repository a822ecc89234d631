#include "channel/channel_file.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

struct CardWord {
    ChanCard card;
    int link_type = 0;
    StructureField field = StructureField::length;
};

const std::unordered_map<std::string_view, CardWord>& card_words() {
    using F = StructureField;
    static const std::unordered_map<std::string_view, CardWord> words{
        {"alpha", {ChanCard::alpha}},
        {"beta", {ChanCard::beta}},
        {"theta", {ChanCard::theta}},
        {"links", {ChanCard::links}},
        {"maxnodes", {ChanCard::maxnodes}},
        {"connect", {ChanCard::connect}},
        {"link", {ChanCard::link}},
        {"trapezoid", {ChanCard::type_word, 4}},
        {"trapezoid_subsurface", {ChanCard::type_word, 5}},
        {"subsurface_trapezoid", {ChanCard::type_word, 5}},
        {"trapezoid_erode", {ChanCard::type_word, 6}},
        {"trap_erode", {ChanCard::type_word, 6}},
        {"trapezoid_subsurface_erode", {ChanCard::type_word, 7}},
        {"trapezoid_erode_subsurface", {ChanCard::type_word, 7}},
        {"breakpoint", {ChanCard::type_word, 8}},
        {"breakpoint_subsurface", {ChanCard::type_word, 9}},
        {"subsurface_breakpoint", {ChanCard::type_word, 9}},
        {"breakpoint_erode", {ChanCard::type_word, 10}},
        {"break_erode", {ChanCard::type_word, 10}},
        {"breakpoint_subsurface_erode", {ChanCard::type_word, 11}},
        {"breakpoint_erode_subsurface", {ChanCard::type_word, 11}},
        {"erode", {ChanCard::erode}},
        {"erodible", {ChanCard::erode}},
        {"subsurface", {ChanCard::subsurface}},
        {"nodes", {ChanCard::nodes}},
        {"dx", {ChanCard::dx}},
        {"mannings_n", {ChanCard::mannings_n}},
        {"max_erosion", {ChanCard::max_erosion}},
        {"k_river", {ChanCard::k_river}},
        {"gw_bed_conductivity", {ChanCard::k_river}},
        {"m_river", {ChanCard::m_river}},
        {"gw_bed_thickness", {ChanCard::m_river}},
        {"dispersion_coeff", {ChanCard::dispersion_coeff}},
        {"decay_coeff", {ChanCard::decay_coeff}},
        {"node", {ChanCard::node}},
        {"elev", {ChanCard::elev}},
        {"xsec", {ChanCard::xsec}},
        {"bottom_width", {ChanCard::bottom_width}},
        {"bankfull_depth", {ChanCard::bankfull_depth}},
        {"side_slope", {ChanCard::side_slope}},
        {"npairs", {ChanCard::npairs}},
        {"num_interp", {ChanCard::num_interp}},
        {"x1", {ChanCard::x1}},
        {"lake", {ChanCard::lake, 32}},
        {"mlake", {ChanCard::mlake}},
        {"minwse", {ChanCard::minwse}},
        {"initwse", {ChanCard::initwse}},
        {"maxwse", {ChanCard::maxwse}},
        {"numpts", {ChanCard::numpts}},
        {"structure", {ChanCard::structure, 64}},
        {"numstructs", {ChanCard::numstructs}},
        {"structtype", {ChanCard::structtype}},
        {"upinvert", {ChanCard::structure_parameter, 0, F::upstream_invert}},
        {"crest_low_elev", {ChanCard::structure_parameter, 0, F::upstream_invert}},
        {"downinvert", {ChanCard::structure_parameter, 0, F::downstream_invert}},
        {"inlet_disch_coeff", {ChanCard::structure_parameter, 0, F::forward_coefficient}},
        {"discharge_coeff_forward", {ChanCard::structure_parameter, 0, F::forward_coefficient}},
        {"rev_flow_disch_coeff", {ChanCard::structure_parameter, 0, F::reverse_coefficient}},
        {"discharge_coeff_reverse", {ChanCard::structure_parameter, 0, F::reverse_coefficient}},
        {"slope", {ChanCard::structure_parameter, 0, F::slope}},
        {"length", {ChanCard::structure_parameter, 0, F::length}},
        {"crest_length", {ChanCard::structure_parameter, 0, F::length}},
        {"width", {ChanCard::structure_parameter, 0, F::first_size}},
        {"diameter", {ChanCard::structure_parameter, 0, F::first_size}},
        {"a_value", {ChanCard::structure_parameter, 0, F::first_size}},
        {"steep_slope", {ChanCard::structure_parameter, 0, F::first_size}},
        {"height", {ChanCard::structure_parameter, 0, F::second_size}},
        {"b_value", {ChanCard::structure_parameter, 0, F::second_size}},
        {"shallow_slope", {ChanCard::structure_parameter, 0, F::second_size}},
        {"crest_low_loc", {ChanCard::structure_parameter, 0, F::crest_low_location}},
        {"rough_coeff", {ChanCard::structure_parameter, 0, F::roughness}},
        {"pointsource", {ChanCard::pointsource}},
        {"pumpto", {ChanCard::pumpto}},
        {"num_outlets", {ChanCard::num_outlets}},
    };
    return words;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string card_name(const CardLine& c) {
    return upper(c.word);
}

CardLine ChannelFile::card(std::size_t i) const {
    CardLine c;
    c.line = static_cast<int>(i) + 1;
    c.args = Tokens(lines[i]);
    if (!c.args.text(c.word))
        return c;
    std::string lower = c.word;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const auto found = card_words().find(lower);
    if (found != card_words().end()) {
        c.card = found->second.card;
        c.link_type = found->second.link_type;
        c.field = found->second.field;
    }
    return c;
}

bool ChannelFile::refuse(RunContext& ctx, int line, const std::string& what) const {
    ctx.print("Error in the channel input file %s, line %d: %s\n", path.c_str(), line,
              what.c_str());
    ctx.error.raise(err::message_printed);
    return false;
}

bool ChannelFile::refuse_link(RunContext& ctx, int link, const std::string& what) const {
    ctx.print("Error in the channel input file %s, link %d: %s\n", path.c_str(), link,
              what.c_str());
    ctx.error.raise(err::message_printed);
    return false;
}

bool ChannelFile::real(RunContext& ctx, CardLine& c, double& value) const {
    std::string token;
    value = 0.0;
    if (!c.args.text(token))
        return refuse(ctx, c.line, "the " + card_name(c) + " card needs a number.");
    char* end = nullptr;
    errno = 0;
    value = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        return refuse(ctx, c.line,
                      "the " + card_name(c) + " card needs a number, not \"" + token + "\".");
    return true;
}

bool ChannelFile::integer(RunContext& ctx, CardLine& c, int& value) const {
    std::string token;
    value = 0;
    if (!c.args.text(token))
        return refuse(ctx, c.line, "the " + card_name(c) + " card needs a whole number.");
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno == ERANGE || v > 2147483647L ||
        v < -2147483647L - 1)
        return refuse(ctx, c.line,
                      "the " + card_name(c) + " card needs a whole number, not \"" + token + "\".");
    value = static_cast<int>(v);
    return true;
}

bool load_channel_file(RunContext& ctx, const std::string& path, ChannelFile& file) {
    file.path = path;
    file.lines.clear();
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        ctx.error.raise(err::open_file, {.text1 = "channel input", .text2 = path});
        return false;
    }
    LineReader reader(f, ctx);
    std::string line;
    while (reader.next(line)) file.lines.push_back(line);
    std::fclose(f);
    return true;
}

std::string message_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

bool stop_with(RunContext& ctx, std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines)
        ctx.print("%.*s\n", static_cast<int>(line.size()), line.data());
    ctx.error.raise(err::message_printed);
    return false;
}

void channel_progress(const Model& model, RunContext& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    ctx.vlog(format, copy);
    va_end(copy);
    if (!model.run.quiet && !model.run.super_quiet)
        std::vfprintf(ctx.out, format, args);
    va_end(args);
}

}  // namespace torva

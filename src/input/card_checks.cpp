#include "input/card_checks.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "input/project_state.hpp"

namespace torva {
namespace {

struct NotNegative {
    Card card;
    const char* rule;  // what the quantity is and what it must be
};

constexpr NotNegative kNotNegative[] = {
    {Card::TIMESTEP, "the time step (seconds) must be greater than 0"},
    {Card::TOT_TIME, "the length of the run (minutes) must be greater than 0"},
    {Card::GRIDSIZE, "the cell size (metres) must be greater than 0"},
    {Card::OUTSLOPE, "the outlet slope must be greater than 0"},
    {Card::MANNING_N, "the Manning roughness must be greater than 0"},
    {Card::RETENTION, "the retention depth (mm) cannot be negative"},
    {Card::RAIN_INTENSITY, "the rain intensity (mm/h) cannot be negative"},
    {Card::RAIN_DURATION, "the rain duration (minutes) cannot be negative"},
    {Card::HYD_FREQ, "the hydrograph interval (minutes) cannot be negative"},
    {Card::MAP_FREQ, "the map interval (minutes) cannot be negative"},
};

Args args_of(Card card) {
    for (const CardWord& w : known_card_words())
        if (w.card == card)
            return w.args;
    return Args::none;
}

std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

void refuse_card_value(RunContext& ctx, const ProjectSettings& settings, Card card,
                       std::string_view value, std::string_view problem) {
    const std::string name = card_name(card);
    const std::string shown(value);
    const std::string what(problem);
    const int line = settings[card].line;
    if (line > 0)
        ctx.print_and_log("Error: card %s on line %d of %s: %s %s.\n", name.c_str(), line,
                          settings.file_name.c_str(), shown.c_str(), what.c_str());
    else
        ctx.print_and_log("Error: card %s: %s %s.\n", name.c_str(), shown.c_str(), what.c_str());
    ctx.error.raise(err::message_printed);
}

bool read_card_real(RunContext& ctx, const ProjectSettings& settings, Card card,
                    std::string_view token, double& value) {
    const NumberFault fault = read_real(token, value);
    if (fault == NumberFault::none || fault == NumberFault::missing)
        return true;
    refuse_card_value(ctx, settings, card, token, number_fault_text(fault));
    return false;
}

bool read_card_integer(RunContext& ctx, const ProjectSettings& settings, Card card,
                       std::string_view token, int& value) {
    const NumberFault fault = read_integer(token, value);
    if (fault == NumberFault::none || fault == NumberFault::missing)
        return true;
    refuse_card_value(ctx, settings, card, token, number_fault_text(fault));
    return false;
}

bool check_card_range(RunContext& ctx, const ProjectSettings& settings, Card card) {
    for (const NotNegative& limit : kNotNegative) {
        if (limit.card != card)
            continue;
        const CardValue& v = settings[card];
        const bool integer = args_of(card) == Args::integer;
        const double value = integer ? v.integer[0] : v.real[0];
        if (value >= 0.0)
            return true;
        char shown[64];
        if (integer)
            std::snprintf(shown, sizeof shown, "%d", v.integer[0]);
        else
            std::snprintf(shown, sizeof shown, "%g", v.real[0]);
        refuse_card_value(ctx, settings, card, shown, std::string("is negative; ") + limit.rule);
        return false;
    }
    return true;
}

int edit_distance(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    // Three rows of the optimal-string-alignment table.
    std::vector<int> before(m + 1), previous(m + 1), current(m + 1);
    for (std::size_t j = 0; j <= m; ++j) previous[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

namespace {

// The longest known card word that the unknown word begins with or holds
// (OUTLET_HYDROGRAPH holds OUTLET_HYDRO); words of fewer than five letters are
// too common inside others to be a hint.
std::string_view card_within(std::string_view unknown) {
    constexpr std::size_t kShortest = 5;
    std::string_view best;
    bool best_begins = false;
    for (const CardWord& w : known_card_words()) {
        if (w.word.size() < kShortest || w.word.size() >= unknown.size())
            continue;
        const std::size_t at = unknown.find(w.word);
        if (at == std::string_view::npos)
            continue;
        const bool begins = at == 0;
        if (w.word.size() > best.size() ||
            (w.word.size() == best.size() && begins && !best_begins)) {
            best = w.word;
            best_begins = begins;
        }
    }
    return best;
}

}  // namespace

std::string closest_card_word(std::string_view unknown) {
    const int allowed = unknown.size() <= 4 ? 1 : 2;
    int best = allowed + 1;
    std::string_view closest;
    for (const CardWord& w : known_card_words()) {
        const std::size_t longer = std::max(w.word.size(), unknown.size());
        const std::size_t shorter = std::min(w.word.size(), unknown.size());
        if (longer - shorter > static_cast<std::size_t>(allowed))
            continue;
        const int d = edit_distance(unknown, w.word);
        if (d < best) {
            best = d;
            closest = w.word;
        }
    }
    if (closest.empty())
        closest = card_within(unknown);
    return closest.empty() ? std::string{} : upper(closest);
}

}  // namespace torva

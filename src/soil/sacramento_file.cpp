// The Sacramento parameter file: its first line the word TORVA_SACRAMENTO,
// then one NAME value pair a line for the sixteen parameters and the six
// initial stores, FRACTION when the stores are given as fractions of their
// capacities, and optionally WEIGHTS naming a file of stream-cell weights.
// Every value is checked where it is read, and every missing name is named.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/tokens.hpp"
#include "soil/sacramento.hpp"

namespace torva {
namespace {

// Capacities beyond this (mm) are taken for a fault of the file.
constexpr double kLargestCapacity = 10000.0;

enum class Range {
    capacity,       // above 0, at most kLargestCapacity
    depletion,      // above 0, at most 1
    fraction,       // 0 to 1
    non_negative,   // 0 or more
    initial_store,  // 0 to the store's capacity (mm), or 0 to 1 with FRACTION
};

struct Entry {
    const char* name;
    Range range;
    double SacramentoParameters::*parameter;
    double SacramentoStores::*store;
};

constexpr Entry kEntries[] = {
    {"UZTWM", Range::capacity, &SacramentoParameters::uztwm, nullptr},
    {"UZFWM", Range::capacity, &SacramentoParameters::uzfwm, nullptr},
    {"LZTWM", Range::capacity, &SacramentoParameters::lztwm, nullptr},
    {"LZFSM", Range::capacity, &SacramentoParameters::lzfsm, nullptr},
    {"LZFPM", Range::capacity, &SacramentoParameters::lzfpm, nullptr},
    {"UZK", Range::depletion, &SacramentoParameters::uzk, nullptr},
    {"LZSK", Range::depletion, &SacramentoParameters::lzsk, nullptr},
    {"LZPK", Range::depletion, &SacramentoParameters::lzpk, nullptr},
    {"PCTIM", Range::fraction, &SacramentoParameters::pctim, nullptr},
    {"ADIMP", Range::fraction, &SacramentoParameters::adimp, nullptr},
    {"RIVA", Range::fraction, &SacramentoParameters::riva, nullptr},
    {"ZPERC", Range::non_negative, &SacramentoParameters::zperc, nullptr},
    {"REXP", Range::non_negative, &SacramentoParameters::rexp, nullptr},
    {"PFREE", Range::fraction, &SacramentoParameters::pfree, nullptr},
    {"SIDE", Range::non_negative, &SacramentoParameters::side, nullptr},
    {"RSERV", Range::fraction, &SacramentoParameters::rserv, nullptr},
    {"UZTWC", Range::initial_store, nullptr, &SacramentoStores::uztwc},
    {"UZFWC", Range::initial_store, nullptr, &SacramentoStores::uzfwc},
    {"LZTWC", Range::initial_store, nullptr, &SacramentoStores::lztwc},
    {"LZFSC", Range::initial_store, nullptr, &SacramentoStores::lzfsc},
    {"LZFPC", Range::initial_store, nullptr, &SacramentoStores::lzfpc},
    {"ADIMC", Range::initial_store, nullptr, &SacramentoStores::adimc},
};
constexpr std::size_t kEntryCount = std::size(kEntries);

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string upper(std::string word) {
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

// What the range asks, to follow "must" in a message; empty when met.
std::string out_of_range(Range range, double value) {
    switch (range) {
        case Range::capacity:
            return value > 0.0 && value <= kLargestCapacity ? ""
                                                            : "lie above 0 and at most 10000 mm";
        case Range::depletion:
            return value > 0.0 && value <= 1.0 ? "" : "lie above 0 and at most 1";
        case Range::fraction:
            return value >= 0.0 && value <= 1.0 ? "" : "lie from 0 to 1";
        case Range::non_negative:
            return value >= 0.0 ? "" : "not be negative";
        case Range::initial_store:
            return value >= 0.0 ? "" : "not be negative";
    }
    return "";
}

class ParameterReader {
  public:
    ParameterReader(RunContext& ctx, const std::string& file) : ctx_(ctx), file_(file) {}

    bool fault(int line, const std::string& what) {
        ctx_.print_and_log("Error: Sacramento parameter file %s, line %d: %s\n", file_.c_str(),
                           line, what.c_str());
        ctx_.error.raise(err::message_printed);
        return false;
    }
    bool fault(const std::string& what) {
        ctx_.print_and_log("Error: Sacramento parameter file %s: %s\n", file_.c_str(),
                           what.c_str());
        ctx_.error.raise(err::message_printed);
        return false;
    }

  private:
    RunContext& ctx_;
    const std::string& file_;
};

}  // namespace

bool parse_sacramento_parameters(Sacramento& sac, RunContext& ctx,
                                 const std::vector<std::string>& lines, const std::string& file) {
    ParameterReader in(ctx, file);
    double values[kEntryCount] = {};
    int given_on[kEntryCount] = {};
    int fraction_line = 0;
    bool header = false;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const int number = static_cast<int>(k) + 1;
        Tokens tokens(lines[k]);
        std::string word;
        if (!tokens.text(word) || word[0] == '#')
            continue;  // blank lines and comments
        if (!header) {
            if (word != "TORVA_SACRAMENTO")
                return in.fault(number, "the file must begin with the word TORVA_SACRAMENTO, not " +
                                            word + ".");
            header = true;
            continue;
        }
        const std::string name = upper(word);
        if (name == "FRACTION") {
            if (fraction_line > 0)
                return in.fault(number, "FRACTION is given twice (first on line " +
                                            std::to_string(fraction_line) + ").");
            fraction_line = number;
            continue;
        }
        if (name == "WEIGHTS") {
            std::string weights;
            if (!tokens.text(weights))
                return in.fault(number, "WEIGHTS must name the file of stream-cell weights.");
            if (!sac.weight_file.empty())
                return in.fault(number, "WEIGHTS is given twice.");
            sac.weight_file = strip_quotes(weights);
            continue;
        }
        const auto at = std::find_if(std::begin(kEntries), std::end(kEntries),
                                     [&](const Entry& e) { return name == e.name; });
        if (at == std::end(kEntries))
            return in.fault(number, "unknown name " + word + ".");
        const std::size_t e = static_cast<std::size_t>(at - std::begin(kEntries));
        if (given_on[e] > 0)
            return in.fault(number, name + " is given twice (first on line " +
                                        std::to_string(given_on[e]) + ").");
        double value = 0.0;
        const NumberFault bad = tokens.read(value);
        if (bad != NumberFault::none)
            return in.fault(number, "the value of " + name + " " + number_fault_text(bad) + ".");
        if (!tokens.empty())
            return in.fault(number, "one value only may follow " + name + ".");
        const std::string must = out_of_range(at->range, value);
        if (!must.empty())
            return in.fault(number, name + " is " + figure(value) + "; it must " + must + ".");
        values[e] = value;
        given_on[e] = number;
    }
    if (!header)
        return in.fault("the file is empty; it must begin with the word TORVA_SACRAMENTO.");
    std::string missing;
    for (std::size_t e = 0; e < kEntryCount; ++e)
        if (given_on[e] == 0)
            missing += std::string(missing.empty() ? "" : ", ") + kEntries[e].name;
    if (!missing.empty())
        return in.fault("missing " + missing + ".");

    SacramentoParameters& par = sac.par;
    SacramentoStores& s = sac.stores;
    for (std::size_t e = 0; e < kEntryCount; ++e)
        if (kEntries[e].parameter)
            par.*kEntries[e].parameter = values[e];
    if (par.pctim + par.adimp > 1.0)
        return in.fault(given_on[9], "PCTIM and ADIMP together are " +
                                         figure(par.pctim + par.adimp) +
                                         "; they must not exceed 1.");
    // The stores against their capacities, mm or fractions.
    const double capacity[] = {par.uztwm, par.uzfwm, par.lztwm,
                               par.lzfsm, par.lzfpm, par.uztwm + par.lztwm};
    for (std::size_t k = 0; k < 6; ++k) {
        const std::size_t e = 16 + k;
        double value = values[e];
        if (fraction_line > 0) {
            if (value > 1.0)
                return in.fault(given_on[e], std::string(kEntries[e].name) + " is " +
                                                 figure(value) +
                                                 "; with FRACTION it must lie from 0 to 1.");
            value *= capacity[k];
        } else if (value > capacity[k]) {
            return in.fault(given_on[e], std::string(kEntries[e].name) + " is " + figure(value) +
                                             " mm; it must not exceed " + "its capacity of " +
                                             figure(capacity[k]) + " mm.");
        }
        s.*kEntries[e].store = value;
    }
    sac.initial = s;
    return true;
}

bool read_sacramento_file(Model& model, RunContext& ctx) {
    Sacramento& sac = model.sacramento;
    sac = Sacramento{};
    sac.on = true;
    sac.file = strip_quotes(model.project.text(Card::SACRAMENTO));
    std::FILE* file = sac.file.empty() ? nullptr : std::fopen(sac.file.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "Sacramento parameter", .text2 = sac.file});
        return false;
    }
    LineReader reader(file, ctx);
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line)) lines.push_back(line);
    std::fclose(file);
    if (ctx.error.pending())
        return false;
    return parse_sacramento_parameters(sac, ctx, lines, sac.file);
}

}  // namespace torva

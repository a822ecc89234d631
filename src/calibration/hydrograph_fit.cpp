#include "calibration/hydrograph_fit.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "calibration/calibration_state.hpp"
#include "core/context.hpp"
#include "input/numbers.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

struct Named {
    const char* word;
    Objective objective;
};
constexpr Named kObjectives[] = {{"HMLE", Objective::hmle},
                                 {"NSE", Objective::nse},
                                 {"LOGNSE", Objective::log_nse},
                                 {"KGE", Objective::kge},
                                 {"PBIAS", Objective::pbias}};

double mean_of(const std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

// 1 - sum of squared errors / sum of squared departures from the observed mean.
double nash_sutcliffe(const std::vector<double>& o, const std::vector<double>& s) {
    const double mean = mean_of(o);
    double errors = 0.0, spread = 0.0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        errors += (s[i] - o[i]) * (s[i] - o[i]);
        spread += (o[i] - mean) * (o[i] - mean);
    }
    if (spread == 0.0)
        return errors == 0.0 ? 1.0 : -INFINITY;
    return 1.0 - errors / spread;
}

// The first word of a line in capitals.
std::string upper_word(const std::string& line) {
    Tokens tokens(line);
    std::string word;
    tokens.text(word);
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

}  // namespace

bool objective_named(const std::string& word, Objective& objective) {
    std::string upper = word;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Named& n : kObjectives)
        if (upper == n.word) {
            objective = n.objective;
            return true;
        }
    return false;
}

const char* objective_word(Objective objective) {
    for (const Named& n : kObjectives)
        if (n.objective == objective)
            return n.word;
    return "HMLE";
}

bool read_observed_hydrograph(RunContext& ctx, const std::string& file_name,
                              ObservedHydrograph& observed) {
    observed = {};
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Error: unable to open the observed hydrograph %s.\n", file_name.c_str());
        return false;
    }
    LineReader reader(file, ctx);
    std::string line;
    int number = 0;
    bool ok = true;
    while (ok && reader.next(line)) {
        ++number;
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        Tokens tokens(line);
        if (observed.minutes.empty() && observed.link == 0 && upper_word(line) == "LOCATION") {
            std::string word;
            tokens.text(word);
            if (!tokens.integer(observed.link) || !tokens.integer(observed.node) ||
                observed.link < 1 || observed.node < 1) {
                ctx.print(
                    "Error: line %d of the observed hydrograph %s is not LOCATION link node "
                    "(a hydrograph location of the project): %s\n",
                    number, file_name.c_str(), line.c_str());
                ok = false;
            }
            continue;
        }
        std::string words[2];
        double values[2] = {0.0, 0.0};
        for (int k = 0; k < 2 && ok; ++k)
            ok = tokens.text(words[k]) && read_real(words[k], values[k]) == NumberFault::none;
        if (!ok) {
            ctx.print(
                "Error: line %d of the observed hydrograph %s is not a time in minutes and a "
                "discharge: %s\n",
                number, file_name.c_str(), line.c_str());
        } else if (values[1] < 0.0) {
            ctx.print("Error: line %d of the observed hydrograph %s has a negative discharge.\n",
                      number, file_name.c_str());
            ok = false;
        } else if (!observed.minutes.empty() && values[0] <= observed.minutes.back()) {
            ctx.print(
                "Error: line %d of the observed hydrograph %s is not later than the line before.\n",
                number, file_name.c_str());
            ok = false;
        } else {
            observed.minutes.push_back(values[0]);
            observed.discharge.push_back(values[1]);
        }
    }
    std::fclose(file);
    if (ok && observed.minutes.size() < 2) {
        ctx.print("Error: the observed hydrograph %s holds fewer than two points.\n",
                  file_name.c_str());
        ok = false;
    }
    if (!ok)
        observed = {};
    return ok;
}

HydrographFit hydrograph_fit(const std::vector<double>& o, const std::vector<double>& s) {
    HydrographFit fit;
    fit.points = static_cast<int>(std::min(o.size(), s.size()));
    if (fit.points < 2 || o.size() != s.size()) {
        fit.nse = fit.log_nse = fit.kge = -INFINITY;
        fit.pbias = INFINITY;
        return fit;
    }
    fit.nse = nash_sutcliffe(o, s);

    const double mean_o = mean_of(o), mean_s = mean_of(s);
    const double eps = 0.01 * mean_o;
    std::vector<double> log_o(o.size()), log_s(s.size());
    for (std::size_t i = 0; i < o.size(); ++i) {
        log_o[i] = std::log(o[i] + eps);
        log_s[i] = std::log(std::max(s[i], 0.0) + eps);
    }
    fit.log_nse = mean_o > 0.0 ? nash_sutcliffe(log_o, log_s) : -INFINITY;

    // Kling-Gupta: correlation r, variability ratio alpha = sd_s / sd_o and
    // bias ratio beta = mean_s / mean_o; KGE = 1 - sqrt((r-1)^2 + (alpha-1)^2 + (beta-1)^2).
    double cov = 0.0, var_o = 0.0, var_s = 0.0, total_o = 0.0, total_s = 0.0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        cov += (o[i] - mean_o) * (s[i] - mean_s);
        var_o += (o[i] - mean_o) * (o[i] - mean_o);
        var_s += (s[i] - mean_s) * (s[i] - mean_s);
        total_o += o[i];
        total_s += s[i];
    }
    if (var_o > 0.0 && var_s > 0.0 && mean_o > 0.0) {
        const double r = cov / std::sqrt(var_o * var_s);
        const double alpha = std::sqrt(var_s / var_o);
        const double beta = mean_s / mean_o;
        fit.kge = 1.0 - std::sqrt((r - 1.0) * (r - 1.0) + (alpha - 1.0) * (alpha - 1.0) +
                                  (beta - 1.0) * (beta - 1.0));
    } else {
        fit.kge = -INFINITY;
    }
    fit.pbias = total_o > 0.0 ? 100.0 * (total_o - total_s) / total_o : INFINITY;
    return fit;
}

void pair_with_simulation(const ObservedHydrograph& observed, const CalibrationResults& results,
                          std::vector<double>& observed_values, std::vector<double>& simulated) {
    observed_values.clear();
    simulated.clear();
    const std::vector<double>& t = results.hydrograph_minutes;
    const std::vector<double>& q = results.hydrograph_discharge;
    if (t.empty())
        return;
    std::size_t k = 0;
    for (std::size_t i = 0; i < observed.minutes.size(); ++i) {
        const double when = observed.minutes[i];
        if (when > t.back() + 1e-9)
            break;
        while (k + 1 < t.size() && t[k + 1] < when) ++k;
        double value = q[k];
        if (when <= t.front()) {
            value = q.front();
        } else if (k + 1 < t.size()) {
            const double share = (when - t[k]) / (t[k + 1] - t[k]);
            value = q[k] + share * (q[k + 1] - q[k]);
        }
        observed_values.push_back(observed.discharge[i]);
        simulated.push_back(value);
    }
}

double objective_value(Objective objective, const HydrographFit& fit) {
    switch (objective) {
        case Objective::nse:
            return 1.0 - fit.nse;
        case Objective::log_nse:
            return 1.0 - fit.log_nse;
        case Objective::kge:
            return 1.0 - fit.kge;
        case Objective::pbias:
            return std::fabs(fit.pbias);
        case Objective::hmle:
            break;
    }
    return INFINITY;
}

}  // namespace torva

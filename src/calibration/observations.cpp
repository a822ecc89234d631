#include "calibration/observations.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "calibration/results.hpp"
#include "core/context.hpp"
#include "input/tokens.hpp"

namespace torva {

bool read_observations(RunContext& ctx, const std::string& file_name, Observations& obs) {
    obs = Observations{};
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file)
        return false;
    LineReader reader(file, ctx);
    std::string line;
    int count = 0;
    Observations read;
    bool ok = reader.next(line);
    if (ok) {
        Tokens first(line);
        std::string word;
        first.text(word);
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (word == "LOCATION") {
            ok = first.integer(read.link) && first.integer(read.node) && read.link >= 1 &&
                 read.node >= 1 && reader.next(line);
        }
    }
    ok = ok && Tokens(line).integer(count) && count > 0;
    if (ok) {
        read.count = count;
        for (auto* v : {&read.peak, &read.peak_weight, &read.volume, &read.volume_weight})
            v->assign(count + 1, 0.0);
        for (int i = 1; ok && i <= count; ++i) {
            ok = reader.next(line);
            if (!ok)
                line.clear();
            Tokens tokens(line);
            for (auto* v : {&read.peak, &read.peak_weight, &read.volume, &read.volume_weight})
                ok = ok && tokens.real((*v)[i]) && std::isfinite((*v)[i]);
            // A switched-on term needs a positive observation: its weight is
            // the observation squared, and a zero weight scores every point alike.
            ok = ok && !(read.peak_weight[i] > kWeightOn && read.peak[i] <= 0.0) &&
                 !(read.volume_weight[i] > kWeightOn && read.volume[i] <= 0.0);
        }
    }
    std::fclose(file);
    if (ok)
        obs = std::move(read);
    return ok;
}

bool read_scoring_data(RunContext& ctx, const std::string& file_name, Objective objective,
                       Observations& obs) {
    if (objective == Objective::hmle)
        return read_observations(ctx, file_name, obs);
    obs = Observations{};
    obs.objective = objective;
    const bool read = read_observed_hydrograph(ctx, file_name, obs.hydrograph);
    obs.link = obs.hydrograph.link;
    obs.node = obs.hydrograph.node;
    return read;
}

// The volume terms are scaled by the ratio of the largest observed peak to the
// largest observed volume, so that peaks and volumes weigh alike.
Score score_events(const Observations& obs, const CalibrationResults& simulated,
                   std::FILE* working) {
    Score score;
    // The simulated values at the place of the observations.
    const int at = obs.link > 0 ? simulated.location_of(obs.link, obs.node) : 0;
    if (obs.link > 0 && at == 0) {
        score.location_missing = true;
        return score;
    }
    auto simulated_peak = [&](int i) { return at ? simulated.peak_at(i, at) : simulated.peak(i); };
    auto simulated_volume = [&](int i) {
        return at ? simulated.volume_at(i, at) : simulated.volume(i);
    };
    double largest_peak = 0.0, largest_volume = 0.0;
    for (int i = 1; i <= obs.count; ++i) {
        largest_peak = std::max(largest_peak, obs.peak[i]);
        largest_volume = std::max(largest_volume, obs.volume[i]);
    }
    const double r = largest_volume > 0.0 ? largest_peak / largest_volume : 0.0;
    double sum = 0.0, log_weights = 0.0, squares = 0.0;
    int terms = 0;
    for (int i = 1; i <= obs.count; ++i) {
        if (obs.peak_weight[i] > kWeightOn) {
            const double q = obs.peak[i];
            const double s = simulated_peak(i);
            const double w = q * q;
            sum += w * (s - q) * (s - q);
            log_weights += std::log(w);
            squares += (s - q) * (s - q);
            ++terms;
            score.largest_peak = std::max(score.largest_peak, s);
            if (working)
                std::fprintf(working, "p:%lf, %lf  ", s, s - q);
        }
        if (obs.volume_weight[i] > kWeightOn) {
            const double v = obs.volume[i];
            const double t = simulated_volume(i);
            const double w = (r * v) * (r * v);
            sum += w * (t - v) * (t - v) * r * r;
            log_weights += std::log(w);
            squares += ((t - v) * r) * ((t - v) * r);
            ++terms;
            score.largest_volume = std::max(score.largest_volume, t);
            if (working)
                std::fprintf(working, "v:%lf, %lf  ", t, t - v);
        }
    }
    score.rmse = std::sqrt(squares);
    if (terms == 0)
        return score;
    // The geometric mean of the weights, taken through their logarithms so
    // that the product of many large weights cannot overflow.
    const double top = sum / terms;
    const double bottom = std::exp(log_weights / terms);
    score.hmle = top / bottom;
    score.criterion = score.hmle;
    if (working) {
        std::fprintf(working, "Total Points: %d\n", terms);
        std::fprintf(working, "top: %lf     bottom: %lf    hmle: %lf\n", top, bottom, score.hmle);
        std::fprintf(working, "-------------------------------------------------------\n");
    }
    return score;
}

Score score_simulation(const Observations& obs, const CalibrationResults& simulated,
                       std::FILE* working) {
    if (obs.objective == Objective::hmle)
        return score_events(obs, simulated, working);
    Score score = score_events(obs, simulated, nullptr);
    std::vector<double> observed, paired;
    pair_with_simulation(obs.hydrograph, simulated, observed, paired);
    const HydrographFit fit = hydrograph_fit(observed, paired);
    score.criterion = objective_value(obs.objective, fit);
    if (!std::isfinite(score.criterion))
        score.criterion = INFINITY;
    if (working)
        std::fprintf(working,
                     "points: %d  NSE: %lf  logNSE: %lf  KGE: %lf  PBIAS: %lf %%  %s criterion: "
                     "%lf\n",
                     fit.points, fit.nse, fit.log_nse, fit.kge, fit.pbias,
                     objective_word(obs.objective), score.criterion);
    return score;
}

void write_observation_table(const Observations& obs, std::FILE* log) {
    std::fprintf(log, "-------------------------------------------------------\n");
    std::fprintf(log, "Event    weight     peak       weight      volume\n");
    for (int i = 1; i <= obs.count; ++i)
        std::fprintf(log, "%-4d    %-4.2lf    %-8.2lf    %-4.2lf     %-10.2lf\n", i,
                     obs.peak_weight[i], obs.peak[i], obs.volume_weight[i], obs.volume[i]);
    std::fprintf(log, "\n\n");
}

void ScoreHistory::add(const Score& score, const Point& x) {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.push_back({score, x});
}

std::size_t ScoreHistory::size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_.size();
}

std::vector<HistoryEntry> ScoreHistory::ordered_by(Key key) const {
    std::vector<HistoryEntry> sorted;
    {
        std::lock_guard<std::mutex> hold(lock_);
        sorted = entries_;
    }
    auto value = [key](const HistoryEntry& e) {
        switch (key) {
            case Key::hmle:
                return e.score.criterion;
            case Key::rmse:
                return e.score.rmse;
            case Key::peak:
                return e.score.largest_peak;
            case Key::volume:
                return e.score.largest_volume;
        }
        return 0.0;
    };
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [&](const HistoryEntry& a, const HistoryEntry& b) { return value(a) < value(b); });
    return sorted;
}

}  // namespace torva

#include "calibration/sce_search.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>

#include "calibration/random.hpp"
#include "core/output_files.hpp"

namespace torva {
namespace {

constexpr double kTiny = 1e-20;            // floor of a variance, and of a range in gnrng
constexpr double kConvergedRange = 0.001;  // gnrng at which the population has converged
constexpr int kHistoryLength = 20;

// The search ranks points by the magnitude of the objective; a value that is
// not a number ranks last, like a failed simulation.
double criterion_of(double value) {
    return std::isnan(value) ? std::numeric_limits<double>::infinity() : std::fabs(value);
}

class Search {
  public:
    Search(SceSettings& s, Evaluator& evaluator, SceStreams& io)
        : s_(s), evaluator_(evaluator), io_(io), random_(s.iseed) {}
    ~Search() {
        if (!close_and_say(log_, io_.console))
            io_.log_failed = true;
    }

    int run(SceOutcome& outcome);

  private:
    bool in_box(const Point& x) const;
    Point random_point(SearchRandom& random) const;
    Point point_near(const Point& centre, SearchRandom& random) const;

    void draw_and_evaluate_population();
    void sort_population();
    void compute_statistics();
    void evolve_complex(int k, int seed, int worker);
    void evolve_sub_complex(std::vector<Point>& s, std::vector<double>& sf, SearchRandom& random,
                            int worker);
    double evaluate_logged(const Point& x, int worker);
    void write_log_line(const char* prefix, double criterion, const Point& x);
    void write_loop(int loop);
    void reduce_complexes();
    void write_final();
    void report_progress(int loop);

    SceSettings& s_;
    Evaluator& evaluator_;
    SceStreams& io_;
    SearchRandom random_;

    int npt_ = 0;
    std::vector<Point> x_;    // the population, rows 1 to npt
    std::vector<double> xf_;  // criterion of each point
    std::vector<double> normalised_sd_;
    double gnrng_ = 0.0;
    std::atomic<int> counter_{0};

    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::mutex log_lock_;
    OutputFile log_;
    bool log_refused_ = false;
};

bool Search::in_box(const Point& x) const {
    for (int j = 1; j <= s_.nopt; ++j)
        if (x[j] < s_.bl[j] || x[j] > s_.bu[j])
            return false;
    return true;
}

Point Search::random_point(SearchRandom& random) const {
    Point x(s_.nopt + 1, 0.0);
    do {
        for (int j = 1; j <= s_.nopt; ++j)
            x[j] = s_.bl[j] + random.uniform() * (s_.bu[j] - s_.bl[j]);
    } while (!in_box(x));
    return x;
}

// A point drawn around `centre`, each coordinate spread by the population's
// normalised standard deviation of that parameter.
Point Search::point_near(const Point& centre, SearchRandom& random) const {
    Point x(s_.nopt + 1, 0.0);
    do {
        for (int j = 1; j <= s_.nopt; ++j)
            x[j] = centre[j] + random.normal() * normalised_sd_[j] * (s_.bu[j] - s_.bl[j]);
    } while (!in_box(x));
    return x;
}

void Search::write_log_line(const char* prefix, double criterion, const Point& x) {
    if (!log_ && !log_refused_) {
        log_ = OutputFile(io_.log_name);
        if (!log_) {
            std::fprintf(io_.console, "Error: unable to open the log file.\n");
            log_refused_ = true;
        }
    }
    if (!log_)
        return;
    log_.print("%s%8.3lf  : ", prefix, criterion);
    for (int j = 1; j <= s_.nopt; ++j) log_.print(" %lf", x[j]);
    log_.print("\n");
}

// The initial population: drawn serially from the search's generator, so the
// points do not depend on the workers, then evaluated side by side.
void Search::draw_and_evaluate_population() {
    x_.assign(npt_ + 1, Point());
    xf_.assign(npt_ + 1, 0.0);
    for (int i = 1; i <= npt_; ++i)
        x_[i] = (i == 1 && s_.iniflg == 1) ? s_.a : random_point(random_);
    const int first = counter_.load();
    evaluator_.for_each(npt_, [&](int i, int worker) {
        xf_[i + 1] = criterion_of(evaluator_.evaluate(x_[i + 1], first + i + 1, worker));
    });
    counter_ += npt_;
    std::lock_guard<std::mutex> hold(log_lock_);
    for (int i = 1; i <= npt_; ++i) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%-5d  ", first + i);
        write_log_line(prefix, xf_[i], x_[i]);
    }
}

// Ascending by criterion; equal criteria keep their order, so the ranking is
// the same on every machine.
void Search::sort_population() {
    std::vector<int> order(npt_);
    std::iota(order.begin(), order.end(), 1);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return xf_[a] < xf_[b]; });
    std::vector<Point> x(npt_ + 1);
    std::vector<double> xf(npt_ + 1, 0.0);
    for (int i = 1; i <= npt_; ++i) {
        x[i] = std::move(x_[order[i - 1]]);
        xf[i] = xf_[order[i - 1]];
    }
    x_ = std::move(x);
    xf_ = std::move(xf);
}

// The spread of every parameter over the population, normalised by its
// range, and the normalised geometric range of the whole population.
void Search::compute_statistics() {
    normalised_sd_.assign(s_.nopt + 1, 0.0);
    double log_sum = 0.0;
    for (int j = 1; j <= s_.nopt; ++j) {
        double largest = -std::numeric_limits<double>::max();
        double smallest = std::numeric_limits<double>::max();
        double sum = 0.0, sum_squares = 0.0;
        for (int i = 1; i <= npt_; ++i) {
            const double v = x_[i][j];
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
            sum += v;
            sum_squares += v * v;
        }
        const double range = s_.bu[j] - s_.bl[j];
        const double mean = sum / npt_;
        const double variance = std::max(sum_squares / npt_ - mean * mean, kTiny);
        normalised_sd_[j] = std::sqrt(variance) / range;
        log_sum += std::log((largest - smallest) / range + kTiny);
    }
    gnrng_ = std::exp(log_sum / s_.nopt);
}

double Search::evaluate_logged(const Point& x, int worker) {
    const int number = ++counter_;
    const double criterion = criterion_of(evaluator_.evaluate(x, number, worker));
    std::lock_guard<std::mutex> hold(log_lock_);
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%d  %-5d  ", worker, number);
    write_log_line(prefix, criterion, x);
    return criterion;
}

// Competitive complex evolution of one sub-complex (sorted, best first): the
// worst point is reflected through the centroid of the others; a reflection
// that leaves the box is replaced by a point drawn around the best one; a new
// point worse than the worst is first contracted towards the centroid and
// then, if still worse, replaced by a point drawn around the best one.
void Search::evolve_sub_complex(std::vector<Point>& s, std::vector<double>& sf,
                                SearchRandom& random, int worker) {
    const int n = static_cast<int>(s.size()) - 1;
    const Point& worst = s[n];
    const double worst_criterion = sf[n];
    Point centroid(s_.nopt + 1, 0.0);
    for (int j = 1; j <= s_.nopt; ++j) {
        for (int i = 1; i < n; ++i) centroid[j] += s[i][j];
        centroid[j] /= n - 1;
    }
    Point next(s_.nopt + 1, 0.0);
    for (int j = 1; j <= s_.nopt; ++j) next[j] = 2.0 * centroid[j] - worst[j];
    if (!in_box(next))
        next = point_near(s[1], random);
    double next_criterion = evaluate_logged(next, worker);
    if (next_criterion > worst_criterion) {
        for (int j = 1; j <= s_.nopt; ++j) next[j] = centroid[j] - (centroid[j] - worst[j]) * 0.5;
        next_criterion = evaluate_logged(next, worker);
        if (next_criterion > worst_criterion) {
            next = point_near(s[1], random);
            next_criterion = evaluate_logged(next, worker);
        }
    }
    s[n] = std::move(next);
    sf[n] = next_criterion;
}

// Complex k holds the sorted points k, k + ngs, k + 2 ngs, ...; it evolves
// nspl times, each time through a sub-complex chosen with a trapezoidal
// probability that favours its better points.
void Search::evolve_complex(int k, int seed, int worker) {
    SearchRandom random(seed);
    const int npg = s_.npg;
    std::vector<Point> cx(npg + 1);
    std::vector<double> cf(npg + 1, 0.0);
    for (int j = 1; j <= npg; ++j) {
        cx[j] = x_[k + s_.ngs * (j - 1)];
        cf[j] = xf_[k + s_.ngs * (j - 1)];
    }
    std::vector<int> chosen(s_.nps + 1, 0);
    for (int step = 1; step <= s_.nspl; ++step) {
        if (s_.nps == npg) {
            std::iota(chosen.begin() + 1, chosen.end(), 1);
        } else {
            for (int i = 1; i <= s_.nps; ++i) {
                int position = 0;
                do {
                    const double u = random.uniform();
                    position = 1 + static_cast<int>(npg + 0.5 -
                                                    std::sqrt((npg + 0.5) * (npg + 0.5) -
                                                              npg * (npg + 1.0) * u));
                    position = std::clamp(position, 1, npg);
                } while (std::find(chosen.begin() + 1, chosen.begin() + i, position) !=
                         chosen.begin() + i);
                chosen[i] = position;
            }
            std::sort(chosen.begin() + 1, chosen.end());
        }
        std::vector<Point> sub(s_.nps + 1);
        std::vector<double> subf(s_.nps + 1, 0.0);
        for (int i = 1; i <= s_.nps; ++i) {
            sub[i] = cx[chosen[i]];
            subf[i] = cf[chosen[i]];
        }
        evolve_sub_complex(sub, subf, random, worker);
        for (int i = 1; i <= s_.nps; ++i) {
            cx[chosen[i]] = std::move(sub[i]);
            cf[chosen[i]] = subf[i];
        }
        std::vector<int> order(npg);
        std::iota(order.begin(), order.end(), 1);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cf[a] < cf[b]; });
        std::vector<Point> sorted(npg + 1);
        std::vector<double> sortedf(npg + 1, 0.0);
        for (int j = 1; j <= npg; ++j) {
            sorted[j] = std::move(cx[order[j - 1]]);
            sortedf[j] = cf[order[j - 1]];
        }
        cx = std::move(sorted);
        cf = std::move(sortedf);
    }
    // Complexes own disjoint rows of the population, so they write back side
    // by side.
    for (int j = 1; j <= npg; ++j) {
        x_[k + s_.ngs * (j - 1)] = std::move(cx[j]);
        xf_[k + s_.ngs * (j - 1)] = cf[j];
    }
}

void Search::write_loop(int loop) {
    std::FILE* out = io_.output;
    if (!out)
        return;
    std::fprintf(out, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", loop, counter_.load(), s_.ngs,
                 xf_[1], xf_[npt_], gnrng_);
    for (int j = 1; j <= std::min(8, s_.nopt); ++j) std::fprintf(out, "%10.3lf ", x_[1][j]);
    std::fprintf(out, "\n");
    if (s_.nopt >= 9) {
        for (int j = 9; j <= s_.nopt; ++j) std::fprintf(out, "%10.3lf ", x_[1][j]);
        std::fprintf(out, "\n");
    }
    if (s_.iprint == 1) {
        std::fprintf(out, " POPULATION AT LOOP %d\n", loop);
        for (int i = 1; i <= npt_; ++i) {
            std::fprintf(out, "%10.5lf ", xf_[i]);
            for (int j = 1; j <= std::min(8, s_.nopt); ++j) std::fprintf(out, "%10.5lf ", x_[i][j]);
            for (int j = 9; j <= s_.nopt; ++j) std::fprintf(out, "%10.3lf ", x_[i][j]);
            std::fprintf(out, "\n");
        }
    }
}

// One complex fewer: the points that complexes 1 to ngs - 1 held stay, in
// the layout of the smaller set of complexes, and are sorted again.
void Search::reduce_complexes() {
    const int old_ngs = s_.ngs;
    const int ngs = old_ngs - 1;
    std::vector<Point> x(ngs * s_.npg + 1);
    std::vector<double> xf(ngs * s_.npg + 1, 0.0);
    for (int k = 1; k <= ngs; ++k)
        for (int j = 1; j <= s_.npg; ++j) {
            x[(j - 1) * ngs + k] = std::move(x_[(j - 1) * old_ngs + k]);
            xf[(j - 1) * ngs + k] = xf_[(j - 1) * old_ngs + k];
        }
    s_.ngs = ngs;
    npt_ = ngs * s_.npg;
    x_ = std::move(x);
    xf_ = std::move(xf);
    sort_population();
}

// One line per loop on the console, with the output file flushed, so that a
// long search shows how it goes and what it has found survives a stop.
void Search::report_progress(int loop) {
    if (!io_.progress)
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const int done = counter_.load();
    const double left = done > 0 ? elapsed / done * std::max(s_.maxn - done, 0) : 0.0;
    std::fprintf(io_.console,
                 "Loop %d: %d evaluations, best objective %.6g, %.1f s elapsed, at most %.0f s "
                 "left\n",
                 loop, done, xf_[1], elapsed, left);
    std::fflush(io_.console);
    if (io_.output)
        std::fflush(io_.output);
}

void Search::write_final() {
    if (!io_.output)
        return;
    std::fprintf(io_.output,
                 " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n");
    std::fprintf(io_.output, "%lf ", xf_[1]);
    for (int j = 1; j <= std::min(12, s_.nopt); ++j) std::fprintf(io_.output, "%lf ", x_[1][j]);
    std::fprintf(io_.output, "\n");
}

int Search::run(SceOutcome& outcome) {
    std::fprintf(io_.console, " ENTER THE SCEUA SUBROUTINE --- \n");
    if (io_.output)
        std::fprintf(io_.output, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
    std::fprintf(io_.console, " ***  Evolution Loop Number %d\n", 0);
    npt_ = s_.ngs * s_.npg;
    if (s_.maxn < npt_) {
        std::fprintf(io_.console,
                     "Error: maximum number of function calls less than the number of points\n");
        return -1;
    }

    draw_and_evaluate_population();
    sort_population();
    compute_statistics();
    if (std::isinf(xf_[1])) {
        // Not one point could be simulated: the search has nothing to go on,
        // and its "best" point would be a failure reported as a result.
        std::fprintf(io_.console,
                     "Error: every simulation of the initial population failed; the search "
                     "stops.\n");
        return -1;
    }
    report_progress(0);

    std::vector<double> history(kHistoryLength + 1, 0.0);  // one-based; the newest last
    bool done = gnrng_ <= kConvergedRange || counter_.load() >= s_.maxn;
    for (int loop = 1; !done; ++loop) {
        std::fprintf(io_.console, " ***  Evolution Loop Number %d\n", loop);
        std::vector<int> seeds(s_.ngs);
        for (int& seed : seeds) seed = 1 + static_cast<int>(random_.uniform() * 2147483646.0);
        evaluator_.for_each(s_.ngs,
                            [&](int k, int worker) { evolve_complex(k + 1, seeds[k], worker); });

        sort_population();
        compute_statistics();
        write_loop(loop);
        report_progress(loop);

        if (counter_.load() >= s_.maxn) {
            std::fprintf(io_.console,
                         " *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n"
                         " MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n"
                         " SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n",
                         s_.maxn, 0, 0, loop);
            break;
        }
        history[kHistoryLength] = xf_[1];
        if (loop >= s_.kstop + 1) {
            const double old = history[kHistoryLength - s_.kstop];
            const double change = std::fabs(old - xf_[1]) / (std::fabs(old + xf_[1]) * 0.5);
            if (change < s_.pcento) {
                if (io_.output)
                    std::fprintf(
                        io_.output,
                        " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n"
                        " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n",
                        s_.pcento * 100.0, s_.kstop);
                break;
            }
        }
        std::rotate(history.begin() + 1, history.begin() + 2, history.end());
        if (gnrng_ <= kConvergedRange) {
            if (io_.output)
                std::fprintf(
                    io_.output,
                    " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n"
                    "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n",
                    gnrng_ * 100.0);
            break;
        }
        if (s_.ngs > s_.mings)
            reduce_complexes();
    }

    write_final();
    outcome.evaluations = counter_.load();
    outcome.best = x_[1];
    outcome.best_criterion = xf_[1];
    return outcome.evaluations;
}

}  // namespace

int run_sce_search(SceSettings& settings, Evaluator& evaluator, SceStreams& streams,
                   SceOutcome& outcome) {
    Search search(settings, evaluator, streams);
    return search.run(outcome);
}

}  // namespace torva

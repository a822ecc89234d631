#include "run/step_threads.hpp"

#include <omp.h>

#include <algorithm>

namespace torva {

StepThreadChoice::StepThreadChoice(int threads)
    : all_(std::max(threads, 1)),
      chosen_(all_),
      wait_(kShortestWait),
      until_trial_(kFirstTrialAfter) {}

int StepThreadChoice::threads_for_step() const {
    if (trial_step_ < 0)
        return chosen_;
    return trying_other() ? other() : chosen_;
}

// The pairs of a trial take turns at which choice goes first (other, present;
// present, other; ...): a change of thread count every second step rather
// than every step, and a machine whose speed drifts during the trial favours
// neither.
bool StepThreadChoice::trying_other() const {
    const bool first_of_pair = trial_step_ % 2 == 0;
    const bool even_pair = (trial_step_ / 2) % 2 == 0;
    return first_of_pair == even_pair;
}

void StepThreadChoice::step_took(double seconds, bool settled) {
    if (all_ == 1)
        return;
    if (trial_step_ < 0) {
        if (--until_trial_ <= 0)
            trial_step_ = 0;
        return;
    }
    // The step that paid for a change of thread count is run again.
    if (!settled)
        return;
    const int pair = trial_step_ / 2;
    if (trying_other())
        other_times_[pair] = seconds;
    else
        chosen_times_[pair] = seconds;
    ++trial_step_;
    const int pairs = trial_step_ / 2;
    if (trial_step_ % 2 == 0 && pairs > kTrialPairs / 2)
        end_trial_if_decided(pairs);
}

// The trial's medians: a step that writes a map, or one in which another
// program took the processor, does not decide it. Once more than half its
// pairs are in, the trial ends as soon as the pairs still to come cannot
// change its outcome: when the other choice's fastest step so far is slower
// (by the margin) than the present one's slowest, its median will be too,
// and the other way round. On a grid that plainly pays for its threads the
// trials then cost as few steps on one thread as they can.
void StepThreadChoice::end_trial_if_decided(int pairs) {
    const auto other = std::minmax_element(other_times_.begin(), other_times_.begin() + pairs);
    const auto chosen = std::minmax_element(chosen_times_.begin(), chosen_times_.begin() + pairs);
    if (*other.first >= kWinningMargin * *chosen.second) {
        end_trial(false);
    } else if (*other.second < kWinningMargin * *chosen.first) {
        end_trial(true);
    } else if (pairs == kTrialPairs) {
        std::sort(other_times_.begin(), other_times_.end());
        std::sort(chosen_times_.begin(), chosen_times_.end());
        const double other_median = other_times_[kTrialPairs / 2];
        const double chosen_median = chosen_times_[kTrialPairs / 2];
        end_trial(other_median < kWinningMargin * chosen_median);
    }
}

void StepThreadChoice::end_trial(bool other_wins) {
    if (other_wins) {
        chosen_ = other();
        wait_ = kShortestWait;
    } else {
        wait_ = std::min(2 * wait_, kLongestWait);
    }
    until_trial_ = wait_;
    trial_step_ = -1;
}

StepThreadChoices::StepThreadChoices(int threads) : wet_(threads), dry_(threads) {}

int StepThreadChoices::threads_for_step() const {
    return coming().threads_for_step();
}

void StepThreadChoices::step_took(double seconds, bool dry) {
    const int threads = threads_for_step();
    if (dry == last_dry_) {
        StepThreadChoice& choice = dry ? dry_ : wet_;
        choice.step_took(seconds, threads == last_threads_);
    }
    last_dry_ = dry;
    last_threads_ = threads;
}

StepThreads::StepThreads() : threads_(omp_get_max_threads()), choices_(threads_) {}

StepThreads::~StepThreads() {
    omp_set_num_threads(threads_);
}

void StepThreads::start_step() {
    const int threads = choices_.threads_for_step();
    if (threads != step_threads_ || steps_ == 0)
        omp_set_num_threads(threads);
    step_threads_ = threads;
    started_ = std::chrono::steady_clock::now();
}

void StepThreads::end_step(bool dry) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - started_).count();
    choices_.step_took(seconds, dry);
    seconds_ += seconds;
    if (dry)
        dry_seconds_ += seconds;
    ++steps_;
    if (step_threads_ == 1)
        ++single_thread_steps_;
}

}  // namespace torva

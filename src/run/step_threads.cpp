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
    // Even steps of a trial try the other choice.
    return trial_step_ % 2 == 0 ? other() : chosen_;
}

void StepThreadChoice::step_took(double seconds) {
    if (all_ == 1)
        return;
    if (trial_step_ < 0) {
        if (--until_trial_ <= 0)
            trial_step_ = 0;
        return;
    }
    const int pair = trial_step_ / 2;
    if (trial_step_ % 2 == 0)
        other_times_[pair] = seconds;
    else
        chosen_times_[pair] = seconds;
    if (++trial_step_ == 2 * kTrialPairs)
        end_trial();
}

void StepThreadChoice::end_trial() {
    // Medians: a step that writes a map, or one in which another program
    // took the processor, does not decide the trial.
    std::sort(other_times_.begin(), other_times_.end());
    std::sort(chosen_times_.begin(), chosen_times_.end());
    const double other_median = other_times_[kTrialPairs / 2];
    const double chosen_median = chosen_times_[kTrialPairs / 2];
    if (other_median < kWinningMargin * chosen_median) {
        chosen_ = other();
        wait_ = kShortestWait;
    } else {
        wait_ = std::min(2 * wait_, kLongestWait);
    }
    until_trial_ = wait_;
    trial_step_ = -1;
}

StepThreads::StepThreads() : threads_(omp_get_max_threads()), choice_(threads_) {}

StepThreads::~StepThreads() {
    omp_set_num_threads(threads_);
}

void StepThreads::start_step() {
    const int threads = choice_.threads_for_step();
    if (threads != step_threads_ || steps_ == 0)
        omp_set_num_threads(threads);
    step_threads_ = threads;
    started_ = std::chrono::steady_clock::now();
}

void StepThreads::end_step(bool dry) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - started_).count();
    choice_.step_took(seconds);
    seconds_ += seconds;
    if (dry)
        dry_seconds_ += seconds;
    ++steps_;
    if (step_threads_ == 1)
        ++single_thread_steps_;
}

}  // namespace torva

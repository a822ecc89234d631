#pragma once
// How many threads the cell loops of each step run on, chosen from the steps'
// own wall times as the run goes.

#include <array>
#include <chrono>

namespace torva {

// Whether the run's threads beat one thread depends on the grid, on the share
// of it that is wet and on what else the machine is doing, and all three
// change during a run: a small grid pays more to wake and wait for the other
// threads than they save, and on a busy machine a thread waits for one that
// has lost its processor. So the run tries the other choice now and then:
// a trial runs steps with the other choice and with the present one in turn,
// and the faster by median step time is kept. A trial that confirms the
// present choice doubles the wait for the next one, so a run settled on its
// best choice spends few steps trying. Every result is the same to the last
// digit whatever the thread count, so only the wall time changes.
class StepThreadChoice {
  public:
    // Steps with the other choice and with the present one in a trial.
    static constexpr int kTrialPairs = 5;
    // Steps before the first trial, and the shortest and longest waits
    // between trials.
    static constexpr int kFirstTrialAfter = 4;
    static constexpr int kShortestWait = 16;
    static constexpr int kLongestWait = 2048;
    // The other choice wins only when its median step is at least this much
    // shorter: measurements of a shared machine carry some noise.
    static constexpr double kWinningMargin = 0.97;

    explicit StepThreadChoice(int threads);

    // The threads of the coming step's cell loops.
    int threads_for_step() const;
    // The wall time of the step just run on threads_for_step() threads.
    void step_took(double seconds);

    int chosen() const { return chosen_; }

  private:
    int all_;
    int chosen_;
    int wait_;
    int until_trial_;
    int trial_step_ = -1;  // -1 outside a trial
    std::array<double, kTrialPairs> other_times_{};
    std::array<double, kTrialPairs> chosen_times_{};

    int other() const { return chosen_ == all_ ? 1 : all_; }
    void end_trial();
};

// Sets the thread count of each step's cell loops from a StepThreadChoice and
// gives it the step's wall time; the run's own count is set again at the end.
class StepThreads {
  public:
    StepThreads();
    ~StepThreads();
    StepThreads(const StepThreads&) = delete;
    StepThreads& operator=(const StepThreads&) = delete;

    void start_step();
    // `dry`: no water stood on the ground in the step.
    void end_step(bool dry);

    // Steps run so far, and how many of them on one thread.
    long long steps() const { return steps_; }
    long long single_thread_steps() const { return single_thread_steps_; }
    // Wall time of the steps so far, and of the dry ones.
    double seconds() const { return seconds_; }
    double dry_seconds() const { return dry_seconds_; }

  private:
    int threads_;
    StepThreadChoice choice_;
    int step_threads_ = 1;
    long long steps_ = 0;
    long long single_thread_steps_ = 0;
    double seconds_ = 0.0;
    double dry_seconds_ = 0.0;
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace torva

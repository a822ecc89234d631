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
//
// The first step after a change of thread count pays for the change: the
// other thread wakes from its sleep, and the cells' data moves to the cache
// of the processor that now works on them. On a small grid that costs as
// much as the step itself, so a trial times only steps that ran on the same
// count as the step before; otherwise whichever choice the run happens to
// hold would win every trial.
class StepThreadChoice {
  public:
    // Timed steps with the other choice and with the present one in a trial.
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
    // The wall time of the step just run on threads_for_step() threads;
    // `settled`: the step before it ran on as many threads.
    void step_took(double seconds, bool settled);

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
    bool trying_other() const;
    void end_trial_if_decided(int pairs);
    void end_trial(bool other_wins);
};

// Steps with water on the ground and dry ones make separate choices. In a
// long-term run they are different work: a dry step is mostly a weather
// hour's evapotranspiration and soil accounting after a dry-spell stride, a
// wet step of a storm moves water over a few rows. What pays for one says
// nothing of the other, and a choice made in a dry spell would otherwise
// hold through the next storm. A step is taken to be of the kind of the one
// before it (runs of dry and of wet steps are long); a step that turns out
// otherwise counts for neither choice.
class StepThreadChoices {
  public:
    explicit StepThreadChoices(int threads);

    int threads_for_step() const;
    // The wall time of the step just run on threads_for_step() threads, and
    // whether it was dry.
    void step_took(double seconds, bool dry);

    const StepThreadChoice& wet() const { return wet_; }
    const StepThreadChoice& dry() const { return dry_; }

  private:
    StepThreadChoice wet_;
    StepThreadChoice dry_;
    bool last_dry_ = false;
    int last_threads_ = 0;  // 0 before the first step

    const StepThreadChoice& coming() const { return last_dry_ ? dry_ : wet_; }
};

// Sets the thread count of each step's cell loops from StepThreadChoices and
// gives them the step's wall time; the run's own count is set again at the end.
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
    StepThreadChoices choices_;
    int step_threads_ = 1;
    long long steps_ = 0;
    long long single_thread_steps_ = 0;
    double seconds_ = 0.0;
    double dry_seconds_ = 0.0;
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace torva

// The choice, step by step, between the run's threads and one thread, made
// from the steps' wall times.

#include <gtest/gtest.h>

#include "run/step_threads.hpp"

namespace torva {
namespace {

using Choice = StepThreadChoice;

// Steps that take `one` seconds on one thread and `all` on every thread, and
// `penalty` more when the step before ran on fewer threads (the others wake
// from their sleep, the data moves to their caches).
struct Steps {
    double one, all, penalty = 0.0;
};

double step_seconds(const Steps& t, int threads, int last) {
    return (threads == 1 ? t.one : t.all) + (threads > last ? t.penalty : 0.0);
}

// Runs `steps` steps; returns how many ran on one thread.
int run_steps(Choice& choice, int steps, Steps t) {
    int single = 0;
    int last = choice.threads_for_step();
    for (int s = 0; s < steps; ++s) {
        const int threads = choice.threads_for_step();
        single += threads == 1;
        choice.step_took(step_seconds(t, threads, last), threads == last);
        last = threads;
    }
    return single;
}

// Enough steps for the first trial, whatever its changes of thread count.
constexpr int kFirstTrialEnds = Choice::kFirstTrialAfter + 4 * Choice::kTrialPairs;

TEST(StepThreads, FirstTrialKeepsTheFasterChoice) {
    const struct {
        Steps steps;
        int expected;
    } cases[] = {
        {{1.0, 0.6}, 2},   // the threads pay
        {{1.0, 2.0}, 1},   // waking and waiting cost more than they save
        {{1.0, 0.99}, 2},  // within the noise: the present choice stays
        {{1.0, 1.02}, 2},
        {{1.0, 1.04}, 1},
        // A change of thread count that costs more than the step itself
        // decides nothing: the threads still pay once running.
        {{1.0, 0.5, 2.0}, 2},
        {{0.5, 1.0, 2.0}, 1},
    };
    for (const auto& c : cases) {
        Choice choice(2);
        EXPECT_EQ(choice.threads_for_step(), 2);
        run_steps(choice, kFirstTrialEnds, c.steps);
        EXPECT_EQ(choice.chosen(), c.expected)
            << c.steps.one << " " << c.steps.all << " " << c.steps.penalty;
    }
}

// A machine that gets busy, then idle again: the choice follows it by the
// next trial, at most the longest wait later, however dear the change of
// thread count is.
TEST(StepThreads, ChoiceFollowsTheMachine) {
    constexpr int kNextTrialEnds = Choice::kLongestWait + 4 * Choice::kTrialPairs;
    Choice choice(2);
    run_steps(choice, 5000, {1.0, 0.6, 3.0});
    EXPECT_EQ(choice.chosen(), 2);
    run_steps(choice, kNextTrialEnds, {1.0, 3.0, 3.0});
    EXPECT_EQ(choice.chosen(), 1);
    run_steps(choice, kNextTrialEnds, {1.0, 0.6, 3.0});
    EXPECT_EQ(choice.chosen(), 2);
}

// Once settled, the run tries the other choice seldom: trials come after
// waits of 32, 64 ... 2048 steps.
TEST(StepThreads, TrialsGrowRarerWhileTheChoiceHolds) {
    Choice choice(2);
    const int single = run_steps(choice, 20000, {1.0, 0.5});
    EXPECT_EQ(choice.chosen(), 2);
    // A trial whose outcome is plain ends after three of its pairs: 10
    // steps, as its pairs take turns at which choice goes first and the
    // first step after each of its three changes of thread count is run
    // again; 5 of them on one thread.
    int trials = 0;
    for (long long at = 4, wait = 16; at < 20000; ++trials) {
        at += 10;
        wait = std::min<long long>(2 * wait, Choice::kLongestWait);
        at += wait;
    }
    EXPECT_EQ(single, 5 * trials);
    EXPECT_LT(single, 20000 / 100);
}

// A slow step now and then (a map written, the processor taken by another
// program) does not turn the choice.
TEST(StepThreads, StrayStepsDoNotDecide) {
    Choice choice(2);
    int last = 2;
    for (int s = 0; s < kFirstTrialEnds; ++s) {
        const int threads = choice.threads_for_step();
        choice.step_took(threads == 2 ? (s % 5 == 0 ? 9.0 : 0.5) : 1.0, threads == last);
        last = threads;
    }
    EXPECT_EQ(choice.chosen(), 2);
}

TEST(StepThreads, OneThreadRunNeverTries) {
    Choice choice(1);
    EXPECT_EQ(run_steps(choice, 1000, {2.0, 1.0}), 1000);
}

// Dry and wet steps choose apart: dry spells that run faster on one thread
// between storms that run faster on both leave every storm on both, and the
// other way round. Each spell is long enough for several trials.
TEST(StepThreads, DryAndWetStepsChooseApart) {
    const struct {
        Steps dry, wet;
        int dry_expected, wet_expected;
    } cases[] = {
        {{1.0, 2.0, 1.5}, {1.0, 0.5, 1.5}, 1, 2},
        {{2.0, 1.0, 1.5}, {0.5, 1.0, 1.5}, 2, 1},
    };
    for (const auto& c : cases) {
        StepThreadChoices choices(2);
        int last = choices.threads_for_step();
        long long wet_steps = 0, wet_on_expected = 0;
        for (int spell = 0; spell < 8; ++spell) {
            const bool dry = spell % 2 == 0;
            for (int s = 0; s < 3000; ++s) {
                const int threads = choices.threads_for_step();
                const double seconds = step_seconds(dry ? c.dry : c.wet, threads, last);
                if (!dry) {
                    ++wet_steps;
                    wet_on_expected += threads == c.wet_expected;
                }
                choices.step_took(seconds, dry);
                last = threads;
            }
            EXPECT_EQ(choices.dry().chosen(), c.dry_expected);
            if (spell > 0)
                EXPECT_EQ(choices.wet().chosen(), c.wet_expected);
        }
        // Only the wet choice's own trials, and the first step of each
        // storm, leave it.
        EXPECT_GT(wet_on_expected, wet_steps * 98 / 100);
    }
}

}  // namespace
}  // namespace torva

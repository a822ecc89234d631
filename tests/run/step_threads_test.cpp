// The choice, step by step, between the run's threads and one thread, made
// from the steps' wall times.

#include <gtest/gtest.h>

#include "run/step_threads.hpp"

namespace torva {
namespace {

using Choice = StepThreadChoice;

// Runs `steps` steps that take `one` seconds on one thread and `all` on every
// thread; returns how many ran on one thread.
int run_steps(Choice& choice, int steps, double one, double all) {
    int single = 0;
    for (int s = 0; s < steps; ++s) {
        const bool on_one = choice.threads_for_step() == 1;
        single += on_one;
        choice.step_took(on_one ? one : all);
    }
    return single;
}

constexpr int kFirstTrialEnds = Choice::kFirstTrialAfter + 2 * Choice::kTrialPairs;

TEST(StepThreads, FirstTrialKeepsTheFasterChoice) {
    const struct {
        double one, all;
        int expected;
    } cases[] = {
        {1.0, 0.6, 2},   // the threads pay
        {1.0, 2.0, 1},   // waking and waiting cost more than they save
        {1.0, 0.99, 2},  // within the noise: the present choice stays
        {1.0, 1.02, 2}, {1.0, 1.04, 1},
    };
    for (const auto& c : cases) {
        Choice choice(2);
        EXPECT_EQ(choice.threads_for_step(), 2);
        run_steps(choice, kFirstTrialEnds, c.one, c.all);
        EXPECT_EQ(choice.chosen(), c.expected) << c.one << " " << c.all;
    }
}

// A machine that gets busy, then idle again: the choice follows it by the
// next trial, at most the longest wait later.
TEST(StepThreads, ChoiceFollowsTheMachine) {
    constexpr int kNextTrialEnds = Choice::kLongestWait + 2 * Choice::kTrialPairs;
    Choice choice(2);
    run_steps(choice, 5000, 1.0, 0.6);
    EXPECT_EQ(choice.chosen(), 2);
    run_steps(choice, kNextTrialEnds, 1.0, 3.0);
    EXPECT_EQ(choice.chosen(), 1);
    run_steps(choice, kNextTrialEnds, 1.0, 0.6);
    EXPECT_EQ(choice.chosen(), 2);
}

// Once settled, the run tries the other choice seldom: trials come after
// waits of 32, 64 ... 2048 steps, five trial steps each.
TEST(StepThreads, TrialsGrowRarerWhileTheChoiceHolds) {
    Choice choice(2);
    const int single = run_steps(choice, 20000, 1.0, 0.5);
    EXPECT_EQ(choice.chosen(), 2);
    // Trials start after 4, then 32, 64, ..., 2048 steps, then every 2048.
    int trials = 0;
    for (long long at = 4, wait = 16; at < 20000; ++trials) {
        at += 2 * Choice::kTrialPairs;
        wait = std::min<long long>(2 * wait, Choice::kLongestWait);
        at += wait;
    }
    EXPECT_EQ(single, Choice::kTrialPairs * trials);
    EXPECT_LT(single, 20000 / 100);
}

// A slow step now and then (a map written, the processor taken by another
// program) does not turn the choice.
TEST(StepThreads, StrayStepsDoNotDecide) {
    Choice choice(2);
    for (int s = 0; s < kFirstTrialEnds; ++s) {
        const bool on_all = choice.threads_for_step() == 2;
        choice.step_took(on_all ? (s % 5 == 0 ? 9.0 : 0.5) : 1.0);
    }
    EXPECT_EQ(choice.chosen(), 2);
}

TEST(StepThreads, OneThreadRunNeverTries) {
    Choice choice(1);
    EXPECT_EQ(run_steps(choice, 1000, 2.0, 1.0), 1000);
}

}  // namespace
}  // namespace torva

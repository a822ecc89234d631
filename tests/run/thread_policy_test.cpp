// How waiting threads wait, chosen from the machine's load at start-up, and
// the thread count a user sets with OMP_NUM_THREADS.

#include <gtest/gtest.h>
#include <omp.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run/thread_policy.hpp"

namespace torva {
namespace {

// Waiting threads spin a while only where every thread of the run finds a
// processor no other program is using now: a program counts when it is
// runnable at every look (this one is counted in each). The load averages,
// which still count programs that have ended, do not decide; anything
// unreadable counts as busy.
TEST(ThreadPolicy, SpinsOnlyWhereEveryThreadHasAFreeProcessor) {
    struct Case {
        std::vector<std::string> loads;
        int processors, threads;
        const char* expected;  // the variable set, or "" for none (the runtime's spin)
    } cases[] = {
        {{"0.05 0.10 0.20 1/230 4567"}, 2, 2, ""},  // idle
        {{"1.90 1.50 0.90 1/230 4567", "1.90 1.50 0.90 1/230 4567"},
         2,
         2,
         ""},  // the runs of a script before, ended
        {{"0.05 0.10 0.20 2/230 4567", "0.05 0.10 0.20 2/230 4567"},
         2,
         2,
         "OMP_WAIT_POLICY"},  // another program at work
        {{"0.05 0.10 0.20 2/230 4567", "0.05 0.10 0.20 1/230 4567", "0.05 0.10 0.20 2/230 4567"},
         2,
         2,
         ""},                                                      // one woken for an instant
        {{"2.00 2.00 2.00 3/230 4567"}, 2, 2, "OMP_WAIT_POLICY"},  // two busy programs
        {{"1.00 1.00 1.00 2/230 4567"}, 4, 2, ""},                 // room for two more
        {{"1.00 1.00 1.00 4/230 4567"}, 4, 2, "OMP_WAIT_POLICY"},  // but not for three
        {{"0.00 0.00 0.00 1/230 4567"}, 2, 4, "OMP_WAIT_POLICY"},  // more threads than cores
        {{"0.00 0.00 0.00 1/230 4567"}, 2, 1, "OMP_WAIT_POLICY"},  // one thread waits for none
        {{}, 2, 2, "OMP_WAIT_POLICY"},                             // nothing read
        {{""}, 2, 2, "OMP_WAIT_POLICY"},                           // no /proc
        {{"0.05 0.10 0.20 1/230 4567", "0.05 0.10 0.20 garbage"}, 2, 2, "OMP_WAIT_POLICY"},
        {{"0.05 0.10 0.20 0/230 4567"}, 2, 2, "OMP_WAIT_POLICY"},  // not even this one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loads.empty() ? "none" : c.loads.back());
        const WaitSetting s = choose_wait_setting(false, c.loads, c.processors, c.threads);
        if (*c.expected == '\0') {
            EXPECT_EQ(s.name, nullptr);
            continue;
        }
        ASSERT_NE(s.name, nullptr);
        EXPECT_STREQ(s.name, c.expected);
        EXPECT_STREQ(s.value, "passive");
    }
    // The user's own setting is left alone.
    EXPECT_EQ(choose_wait_setting(true, {"0.0 0.0 0.0 1/2 3"}, 2, 2).name, nullptr);
}

// OMP_NUM_THREADS sets the loops' threads unless it is not a positive count.
TEST(ThreadPolicy, OmpNumThreadsSetsTheThreadCount) {
    const char* before = std::getenv("OMP_NUM_THREADS");
    const std::string saved = before ? before : "";
    const int processors = omp_get_num_procs();
    const struct {
        const char* value;
        int expected;
    } cases[] = {{"1", 1},           {"3", 3},           {"2,1", 2},
                 {"0", processors},  {"-2", processors}, {"two", processors},
                 {"2x", processors}, {"", processors}};
    for (const auto& c : cases) {
        setenv("OMP_NUM_THREADS", c.value, 1);
        EXPECT_EQ(default_thread_count(), c.expected) << c.value;
    }
    unsetenv("OMP_NUM_THREADS");
    EXPECT_EQ(default_thread_count(), processors);
    if (before)
        setenv("OMP_NUM_THREADS", saved.c_str(), 1);
}

}  // namespace
}  // namespace torva

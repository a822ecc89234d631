// How waiting threads wait, chosen from the machine's load at start-up, and
// the thread count a user sets with OMP_NUM_THREADS.

#include <gtest/gtest.h>
#include <omp.h>

#include <cstdlib>
#include <string>

#include "run/thread_policy.hpp"

namespace torva {
namespace {

// Waiting threads spin a while only where every thread of the run finds a
// free processor, now (runnable processes, this one included) and over the
// last minute; anything unreadable counts as busy.
TEST(ThreadPolicy, SpinsOnlyWhereEveryThreadHasAFreeProcessor) {
    struct Case {
        const char* load;
        int processors, threads;
        const char* expected;  // the variable set, or "" for none
    } cases[] = {
        {"0.05 0.10 0.20 1/230 4567", 2, 2, "GOMP_SPINCOUNT"},   // idle
        {"0.40 0.10 0.20 1/230 4567", 2, 2, "GOMP_SPINCOUNT"},   // idle enough
        {"0.90 0.10 0.20 1/230 4567", 2, 2, "GOMP_SPINCOUNT"},   // the run before
        {"1.30 0.10 0.20 1/230 4567", 2, 2, "OMP_WAIT_POLICY"},  // busy lately
        {"0.05 0.10 0.20 2/230 4567", 2, 2, "OMP_WAIT_POLICY"},  // busy now
        {"2.00 2.00 2.00 3/230 4567", 2, 2, "OMP_WAIT_POLICY"},  // two busy programs
        {"1.00 1.00 1.00 2/230 4567", 4, 2, "GOMP_SPINCOUNT"},   // room for two more
        {"0.00 0.00 0.00 1/230 4567", 2, 4, "OMP_WAIT_POLICY"},  // more threads than cores
        {"0.00 0.00 0.00 1/230 4567", 2, 1, "OMP_WAIT_POLICY"},  // one thread waits for none
        {"", 2, 2, "OMP_WAIT_POLICY"},                           // no /proc
        {"0.05 0.10 0.20 garbage", 2, 2, "OMP_WAIT_POLICY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.load);
        const WaitSetting s = choose_wait_setting(false, c.load, c.processors, c.threads);
        ASSERT_NE(s.name, nullptr);
        EXPECT_STREQ(s.name, c.expected);
        EXPECT_STREQ(s.value, std::string(c.expected) == "GOMP_SPINCOUNT" ? kSpinCount : "passive");
    }
    // The user's own setting is left alone.
    EXPECT_EQ(choose_wait_setting(true, "0.0 0.0 0.0 1/2 3", 2, 2).name, nullptr);
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

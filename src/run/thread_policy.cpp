#include "run/thread_policy.hpp"

#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace torva {

WaitSetting choose_wait_setting(bool user_chose, const std::string& load, int processors,
                                int threads) {
    if (user_chose)
        return {nullptr, nullptr};
    const WaitSetting sleep{"OMP_WAIT_POLICY", "passive"};
    std::istringstream in(load);
    double minute = 0.0, five = 0.0, fifteen = 0.0;
    int runnable = 0, all = 0;
    char slash = 0;
    if (!(in >> minute >> five >> fifteen >> runnable >> slash >> all) || slash != '/')
        return sleep;
    // The runnable count includes this program. The last minute's load still
    // counts what ran just before (a build, the previous run), so only a
    // whole processor busy on average, beyond the ones the threads need,
    // counts as another program at work; the steps' own choice between one
    // thread and all of them catches a machine that gets busy later.
    const int free_now = processors - (runnable - 1);
    const double free_lately = processors - minute;
    if (threads <= 1 || free_now < threads || free_lately + 1.0 < threads)
        return sleep;
    return {"GOMP_SPINCOUNT", kSpinCount};
}

int default_thread_count() {
    const int processors = omp_get_num_procs();
    const char* text = std::getenv("OMP_NUM_THREADS");
    if (!text || !*text)
        return processors;
    // The first number of a list ("4,2") is the count of the outermost loops.
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || n < 1 || n > 4096 || (*end != '\0' && *end != ','))
        return processors;
    return static_cast<int>(n);
}

void start_with_chosen_waiting(char** argv) {
    const bool user_chose = std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT");
    std::string load;
    if (!user_chose) {
        std::ifstream file("/proc/loadavg");
        std::getline(file, load);
    }
    const WaitSetting s =
        choose_wait_setting(user_chose, load, omp_get_num_procs(), default_thread_count());
    if (!s.name || setenv(s.name, s.value, 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // The new start failed: run on with the runtime's own policy.
}

}  // namespace torva
